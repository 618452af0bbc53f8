#include "processing/transfer.h"

#include <algorithm>
#include <cstdint>

namespace velkor {

namespace {

void clearStationCounters(State& s, std::size_t station) {
  s.pulsesintegrated[station] = 0;
  s.signsum[station] = 0;
  s.roundingresidue[station] = 0;
}

// A blanked station's removed points hold, on average, only the receiver's DC
// bias; their sum estimates the bias that the removal takes out of the
// stations integrated after it.
void carryBiasFromBlankedStation(State& s, std::size_t station, int32_t n) {
  const int32_t points = s.displaysamples;
  const std::size_t j0 = station * static_cast<std::size_t>(points);
  int32_t first = std::max<int32_t>(s.firstblankedsample, 0);
  int32_t last = std::min<int32_t>(s.lastblankedsample, points - 1);
  double sre = 0; // [sample units]
  double sim = 0; // [sample units]
  for (int32_t p = first; p <= last; ++p) {
    sre += s.shortsumre[j0 + static_cast<std::size_t>(p)];
    sim += s.shortsumim[j0 + static_cast<std::size_t>(p)];
  }
  double g = 4.0 * s.blankingoffsetcorr / s.sr / s.stationgri[station] * 50000.0 / n;
  s.workbiasre = static_cast<float>(s.workbiasre - g * sre);
  s.workbiasim = static_cast<float>(s.workbiasim - g * sim);
}

} // namespace

void transferShortSums(State& s) {
  if (s.phasecorr != 0 && s.edgeamplitude > 0) {
    s.phaserotre = (s.phaserefcos * s.edgere - s.phaserefsin * s.edgeim) / s.edgeamplitude;
    s.phaserotim = (s.phaserefcos * s.edgeim + s.phaserefsin * s.edgere) / s.edgeamplitude;
  }

  if (s.notch100khz != 0) {
    if (s.dccount > 0) {
      s.dcmeanre = s.dcsumre / s.dccount;
      s.dcmeanim = s.dcsumim / s.dccount;
    }
    s.dcsumre = 0;
    s.dcsumim = 0;
    s.dccount = 0;
  }

  s.workbiasre = s.biasreal;
  s.workbiasim = s.biasimag;

  const int32_t points = s.displaysamples;
  const bool blankercorrection = s.nb > 0 && s.nbcorr > 0;
  for (int32_t station = 0; station < s.stationcount; ++station) {
    auto st = static_cast<std::size_t>(station);
    int32_t n = s.pulsesintegrated[st];
    float norm = s.blankingweight[st] * n;
    // A station blanked away for the whole period has no mean to add.
    if (n == 0 || norm == 0) {
      clearStationCounters(s, st);
      continue;
    }
    s.longdrift[st] += s.roundingresidue[st] / n;

    float offre; // [sample units] per point
    float offim; // [sample units] per point
    if (s.notch100khz != 0) {
      float k = s.signsum[st] / norm; // the DC offset survives only where the signs do not cancel
      offre = k * s.dcmeanre;
      offim = k * s.dcmeanim;
    } else {
      offre = static_cast<float>(4.0 * s.workbiasre / s.pulsecount[st]);
      offim = static_cast<float>(4.0 * s.workbiasim / s.pulsecount[st]);
    }

    const std::size_t j0 = st * static_cast<std::size_t>(points);
    for (int32_t p = 0; p < points; ++p) {
      std::size_t i = j0 + static_cast<std::size_t>(p);
      float a = s.shortsumre[i] / norm - offre;
      float b = s.shortsumim[i] / norm - offim;
      if (blankercorrection) {
        // Blanked samples are missing from the sum, not zero in the signal.
        auto f = static_cast<float>(1.0 - s.nbblankcount[i] * s.nbcorr / n);
        s.nbblankcount[i] = 0;
        if (f > 0) {
          a = a / f;
          b = b / f;
        }
      }
      s.longsumre[i] += s.phaserotre * a + s.phaserotim * b;
      s.longsumim[i] += s.phaserotre * b - s.phaserotim * a;
    }

    if (s.stationblanked[st] != 0) carryBiasFromBlankedStation(s, st, n);
    clearStationCounters(s, st);
  }

  std::fill(s.shortsumre.begin(), s.shortsumre.end(), 0);
  std::fill(s.shortsumim.begin(), s.shortsumim.end(), 0);
}

} // namespace velkor
