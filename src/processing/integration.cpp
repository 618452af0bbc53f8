#include "processing/integration.h"

#include "acquisition/source.h"
#include "ground/arrays.h"
#include "ground/loran.h"
#include "ground/numbers.h"
#include "processing/windowkernels.h"
#include "stations/chaintiming.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace velkor {

namespace {

enum class WindowMode { plain, blanking, mixing };

// The three GRI-6000 strips stand this far apart [s], so that the image can
// subtract the cross-rate interference of the outer two from the middle one.
constexpr float kCrossRateSpacing = 0.04f;

WindowMode windowMode(const Settings& cfg, const Stations& stn, int32_t station) {
  if (cfg.bandcenter != 0) return WindowMode::mixing;
  int32_t blanker = cfg.nb == 2 ? 1 - stn.stationblanked[station] : cfg.nb;
  return blanker != 0 ? WindowMode::blanking : WindowMode::plain;
}

// The mixing windows' cosines and sines, tabulated for the next kPhasesAhead
// pulse times at once so that the sincos pass runs over a table instead of
// once per window. The pulse times advance exactly as the window loop
// advances them, whether the window is integrated or passed over; entries
// beyond the block's last window are computed and never used.
constexpr int32_t kPhasesAhead = 16; // [pulses]

struct WindowPhases {
  float cosine[kPhasesAhead] = {}; // of the pulse's mixing phase
  float sine[kPhasesAhead] = {};
  int32_t used = kPhasesAhead; // [pulses] of the table consumed
};

// Fills the table for the pulse times from t [s] on, the pattern slot being index.
void tabulateWindowPhases(const Settings& cfg, const Acquisition& acq, const WindowKernels& windows,
                          const std::array<double, kPatternSlots>& intervals, int32_t count, double t, int32_t index,
                          WindowPhases& phases) {
  double times[kPhasesAhead]; // [s]
  for (double& time : times) {
    time = t;
    t += intervals[static_cast<std::size_t>(index)];
    if (++index == count) index = 0;
  }
  float phi[kPhasesAhead]; // [rad]
  windows.phases(phi, times, cfg.bandcenter, kPhasesAhead);
  acq.sincos(phi, phases.sine, phases.cosine, kPhasesAhead);
  phases.used = 0;
}

// Removes a blanked station's pulse from the buffer so that stations
// integrated after it do not receive it.
void removePulse(const Settings& cfg, const Stations& stn, Acquisition& acq, int32_t windowstart) {
  int64_t from = int64_t{windowstart} + cfg.firstblankedsample;
  int64_t to = from + stn.blanklength;
  from = std::max<int64_t>(from, 0);
  to = std::min<int64_t>(to, acq.buffersize);
  for (int64_t k = from; k < to; ++k) {
    auto i = static_cast<std::size_t>(k);
    acq.samplere[i] = 0;
    acq.sampleim[i] = 0;
    acq.samplepower[i] = 0;
  }
}

void integrateStation(const Settings& cfg, const Stations& stn, Acquisition& acq, Processing& proc, int32_t station) {
  auto st = static_cast<std::size_t>(station);
  int32_t count = stn.pulsecount[st];
  if (count <= 0 || count > kPatternSlots) return; // no pattern: nothing to walk

  double t = proc.nextpulse[st];
  int32_t index = proc.pulseindex[st];
  int32_t integrated = proc.pulsesintegrated[st];
  int32_t signsum = proc.signsum[st];
  float residue = proc.roundingresidue[st];
  if (index < 0 || index >= count) index = 0;

  const int32_t points = cfg.displaysamples;
  const std::size_t j0 = st * static_cast<std::size_t>(points);
  int32_t* sumre = proc.shortsumre.data() + j0;
  int32_t* sumim = proc.shortsumim.data() + j0;
  const WindowMode mode = windowMode(cfg, stn, station);
  const bool blanked = stn.stationblanked[st] == 1;
  const auto& intervals = stn.pulseinterval[st];
  const auto& signs = stn.pulsesign[st];
  const double windowspan = points / acq.clock.sr;                  // [s]
  const int64_t lastwindowstart = int64_t{acq.buffersize} - points; // [samples]
  WindowPhases phases;

  while (t + windowspan < acq.clock.blockend) {
    if (mode == WindowMode::mixing && phases.used == kPhasesAhead)
      tabulateWindowPhases(cfg, acq, proc.windows, intervals, count, t, index, phases);
    const int32_t ahead = phases.used++;                    // this pulse's entry in the table
    double pos = (t - acq.clock.blockstart) * acq.clock.sr; // [samples]
    const int64_t k = roundToInteger<int64_t>(pos);         // [samples], saturated far outside the buffer
    if (k < 0) {
      // After a large sample-clock correction a window can start before the
      // buffer; its pulse is passed over rather than read from outside.
      t += intervals[static_cast<std::size_t>(index)];
      if (++index == count) index = 0;
      continue;
    }
    if (k > lastwindowstart) break; // cannot happen with consistent time stamps
    residue = static_cast<float>(residue + (pos - static_cast<double>(k)));
    int16_t sign = signs[static_cast<std::size_t>(index)];
    auto first = static_cast<std::size_t>(k);
    const int16_t* re = acq.samplere.data() + first;
    const int16_t* im = acq.sampleim.data() + first;

    switch (mode) {
    case WindowMode::mixing: {
      float cosine = phases.cosine[ahead] * sign;
      float sine = phases.sine[ahead] * sign;
      proc.windows.mixed(sumre, sumim, re, im, points, cosine, sine);
      break;
    }
    case WindowMode::blanking:
      proc.windows.blanking(sumre, sumim, proc.nbpowersum.data() + j0, proc.nbthreshold.data() + j0,
                            proc.nbblankcount.data() + j0, re, im, acq.samplepower.data() + first, points, sign);
      break;
    case WindowMode::plain:
      proc.windows.plain(sumre, sumim, re, im, points, sign);
      break;
    }

    if (blanked) removePulse(cfg, stn, acq, static_cast<int32_t>(k));

    signsum += sign;
    t += intervals[static_cast<std::size_t>(index)];
    if (++index == count) index = 0;
    integrated += 1;
  }

  proc.nextpulse[st] = t;
  proc.pulseindex[st] = index;
  proc.pulsesintegrated[st] = integrated;
  proc.signsum[st] = signsum;
  proc.roundingresidue[st] = residue;
}

} // namespace

void setupStationTiming(const Settings& cfg, const Stations& stn, const Acquisition& acq, const Timing& tim,
                        Processing& proc) {
  proc.resyncrequests = 0;
  proc.lockcount = 0;
  proc.clocklost = 0;
  std::fill(proc.nbthreshold.begin(), proc.nbthreshold.end(), cfg.nbinit);
  int32_t gri6000seen = 0; // [stations] of GRI 6000 placed so far
  int32_t gri7950seen = 0; // [stations] of GRI 7950 placed so far

  for (int32_t station = 0; station < stn.stationcount(); ++station) {
    auto st = static_cast<std::size_t>(station);
    double period = phaseCodeInterval(stn.stationgri[st]); // [s]

    proc.arrivaloffset[st] =
        static_cast<float>(predictedArrival(cfg, stn, stn.stationdelay[st], stn.stationdistance[st])); // [s]
    if (stn.stationgri[st] == 6000) {
      if (gri6000seen == 1) proc.arrivaloffset[st] += -kCrossRateSpacing;
      if (gri6000seen == 2) proc.arrivaloffset[st] += kCrossRateSpacing;
      gri6000seen += 1;
    }
    if (stn.stationgri[st] == 7950) {
      if (gri7950seen >= 3) {
        double shift = 0.001 * cfg.xrcdelay7950; // [s]
        bool even = (gri7950seen - 3) % 2 == 0;
        proc.arrivaloffset[st] =
            static_cast<float>(even ? proc.arrivaloffset[st] - shift : proc.arrivaloffset[st] + shift);
      }
      gri7950seen += 1;
    }

    if (!(period > 0)) {
      // No phase-code interval to place pulses on: the station never comes due.
      proc.arrivalphase[st] = 0;
      proc.nextpulse[st] = std::numeric_limits<double>::infinity();
    } else {
      double x = (proc.arrivaloffset[st] - tim.timeorigin) / period;
      proc.arrivalphase[st] = (x - std::floor(x)) * period;
      double y = proc.arrivalphase[st] - acq.clock.blockstart - acq.overlap / acq.clock.sr;
      y = y - std::floor(y / period) * period;
      proc.nextpulse[st] = acq.clock.blockstart + y + (acq.overlap - cfg.pulseoffset) / acq.clock.sr;
    }
    proc.pulseindex[st] = 0;
    proc.pulsesintegrated[st] = 0;
    proc.roundingresidue[st] = 0;
    proc.signsum[st] = 0;
  }

  proc.phaserefcos = static_cast<float>(std::cos(kPiSingle * cfg.phasereference / 180.0));
  proc.phaserefsin = static_cast<float>(std::sin(kPiSingle * cfg.phasereference / 180.0));
  proc.phaserotre = proc.phaserefcos;
  proc.phaserotim = proc.phaserefsin;
}

int32_t crossRateStart(const Stations& stn) {
  int32_t start = 0;
  if (stn.gri6000count == 3) start = -2;
  if (stn.gri7950count == 9) start -= 6;
  return start;
}

void integrateBlock(const Settings& cfg, const Stations& stn, Acquisition& acq, Processing& proc) {
  for (int32_t station : stn.stationorder) integrateStation(cfg, stn, acq, proc, station);
}

void updateNoiseBlanker(const Settings& cfg, const Stations& stn, Processing& proc) {
  const int32_t points = cfg.displaysamples;
  for (int32_t station = 0; station < stn.stationcount(); ++station) {
    int32_t n = proc.pulsesintegrated[static_cast<std::size_t>(station)];
    if (n <= 0) continue;
    std::size_t j0 = static_cast<std::size_t>(station) * static_cast<std::size_t>(points);
    float* powersum = proc.nbpowersum.data() + j0;
    float* threshold = proc.nbthreshold.data() + j0;
    for (int32_t p = 0; p < points; ++p) {
      // The neighbourhood keeps a pulse's own spread of power from being
      // blanked at the points next to its peak.
      float m = powersum[p];
      for (int32_t d = 1; d <= cfg.nbspread; ++d) {
        if (p - d >= 0 && powersum[p - d] > m) m = powersum[p - d];
        if (p + d < points && powersum[p + d] > m) m = powersum[p + d];
      }
      threshold[p] = static_cast<float>((1.0 - cfg.nbupdate) * threshold[p] + cfg.nbupdate * cfg.nbfac * m / n);
    }
    std::fill(powersum, powersum + points, 0.0f);
  }
}

void prepareProcessing(const Settings& cfg, const Stations& stn, Processing& proc) {
  const int64_t stations = stn.stationcount();
  const int64_t points = int64_t{cfg.displaysamples} * stations;
  for (auto* array : {&proc.arrivaloffset, &proc.roundingresidue, &proc.longdrift}) dimension(*array, stations);
  dimension(proc.arrivalphase, stations);
  dimension(proc.nextpulse, stations);
  dimension(proc.pulseindex, stations);
  dimension(proc.pulsesintegrated, stations);
  dimension(proc.signsum, stations);
  for (auto* array : {&proc.shortsumre, &proc.shortsumim}) dimension(*array, points);
  for (auto* array : {&proc.longsumre, &proc.longsumim, &proc.nbpowersum, &proc.nbthreshold, &proc.nbblankcount})
    dimension(*array, points);
  dimension(proc.envelope, cfg.displaysamples);
  proc.pllavgfreq = cfg.pllavfini;
  proc.windows = chooseWindowKernels();
}

void clearLongSums(Processing& proc) {
  std::fill(proc.longsumre.begin(), proc.longsumre.end(), 0.0f);
  std::fill(proc.longsumim.begin(), proc.longsumim.end(), 0.0f);
  std::fill(proc.longdrift.begin(), proc.longdrift.end(), 0.0f);
}

} // namespace velkor
