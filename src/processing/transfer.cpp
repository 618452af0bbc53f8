#include "processing/transfer.h"

#include "acquisition/source.h"
#include "ground/loran.h"

#include <algorithm>
#include <cstdint>

namespace velkor {

namespace {

void clearStationCounters(Processing& proc, std::size_t station) {
  proc.pulsesintegrated[station] = 0;
  proc.signsum[station] = 0;
  proc.roundingresidue[station] = 0;
}

// A blanked station's removed points hold, on average, only the receiver's DC
// bias; their sum estimates the bias that the removal takes out of the
// stations integrated after it.
void carryBiasFromBlankedStation(const Settings& cfg, const Stations& stn, double sr, Processing& proc,
                                 std::size_t station, int32_t n) {
  const int32_t points = cfg.displaysamples;
  const std::size_t j0 = station * static_cast<std::size_t>(points);
  int32_t first = std::max<int32_t>(cfg.firstblankedsample, 0);
  int32_t last = std::min<int32_t>(cfg.lastblankedsample, points - 1);
  double sre = 0; // [sample units]
  double sim = 0; // [sample units]
  for (int32_t p = first; p <= last; ++p) {
    sre += proc.shortsumre[j0 + static_cast<std::size_t>(p)];
    sim += proc.shortsumim[j0 + static_cast<std::size_t>(p)];
  }
  double g = 4.0 * cfg.blankingoffsetcorr / sr / stn.stationgri[station] * kGriPerPhaseCodeSecond / n;
  proc.workbiasre = static_cast<float>(proc.workbiasre - g * sre);
  proc.workbiasim = static_cast<float>(proc.workbiasim - g * sim);
}

} // namespace

void transferShortSums(const Settings& cfg, const Stations& stn, Acquisition& acq, Processing& proc) {
  if (cfg.phasecorr != 0 && proc.edgeamplitude > 0) {
    proc.phaserotre = (proc.phaserefcos * proc.edgere - proc.phaserefsin * proc.edgeim) / proc.edgeamplitude;
    proc.phaserotim = (proc.phaserefcos * proc.edgeim + proc.phaserefsin * proc.edgere) / proc.edgeamplitude;
  }

  if (cfg.notch100khz != 0) {
    const DcSums dc = takeDcSums(acq);
    if (dc.count > 0) {
      proc.dcmeanre = dc.re / dc.count;
      proc.dcmeanim = dc.im / dc.count;
    }
  }

  proc.workbiasre = cfg.biasreal;
  proc.workbiasim = cfg.biasimag;

  const int32_t points = cfg.displaysamples;
  const bool blankercorrection = cfg.nb > 0 && cfg.nbcorr > 0;
  for (int32_t station = 0; station < stn.stationcount(); ++station) {
    auto st = static_cast<std::size_t>(station);
    int32_t n = proc.pulsesintegrated[st];
    float norm = stn.blankingweight[st] * n;
    // A station blanked away for the whole period has no mean to add.
    if (n == 0 || norm == 0) {
      clearStationCounters(proc, st);
      continue;
    }
    proc.longdrift[st] += proc.roundingresidue[st] / n;

    float offre; // [sample units] per point
    float offim; // [sample units] per point
    if (cfg.notch100khz != 0) {
      float k = proc.signsum[st] / norm; // the DC offset survives only where the signs do not cancel
      offre = k * proc.dcmeanre;
      offim = k * proc.dcmeanim;
    } else {
      offre = static_cast<float>(4.0 * proc.workbiasre / stn.pulsecount[st]);
      offim = static_cast<float>(4.0 * proc.workbiasim / stn.pulsecount[st]);
    }

    const std::size_t j0 = st * static_cast<std::size_t>(points);
    for (int32_t p = 0; p < points; ++p) {
      std::size_t i = j0 + static_cast<std::size_t>(p);
      float a = proc.shortsumre[i] / norm - offre;
      float b = proc.shortsumim[i] / norm - offim;
      if (blankercorrection) {
        // Blanked samples are missing from the sum, not zero in the signal.
        auto f = static_cast<float>(1.0 - proc.nbblankcount[i] * cfg.nbcorr / n);
        proc.nbblankcount[i] = 0;
        if (f > 0) {
          a = a / f;
          b = b / f;
        }
      }
      proc.longsumre[i] += proc.phaserotre * a + proc.phaserotim * b;
      proc.longsumim[i] += proc.phaserotre * b - proc.phaserotim * a;
    }

    if (stn.stationblanked[st] != 0) carryBiasFromBlankedStation(cfg, stn, acq.clock.sr, proc, st, n);
    clearStationCounters(proc, st);
  }

  std::fill(proc.shortsumre.begin(), proc.shortsumre.end(), 0);
  std::fill(proc.shortsumim.begin(), proc.shortsumim.end(), 0);
}

} // namespace velkor
