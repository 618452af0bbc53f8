#include "processing/integration.h"

#include "core/numbers.h"
#include "processing/windowkernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace velkor {

namespace {

enum class WindowMode { plain, blanking, mixing };

WindowMode windowMode(const State& s, int32_t station) {
  if (s.bandcenter != 0) return WindowMode::mixing;
  int32_t blanker = s.nb == 2 ? 1 - s.stationblanked[station] : s.nb;
  return blanker != 0 ? WindowMode::blanking : WindowMode::plain;
}

// Removes a blanked station's pulse from the buffer so that stations
// integrated after it do not receive it.
void removePulse(State& s, int32_t windowstart) {
  int64_t from = int64_t{windowstart} + s.firstblankedsample;
  int64_t to = from + s.blanklength;
  from = std::max<int64_t>(from, 0);
  to = std::min<int64_t>(to, s.buffersize);
  for (int64_t k = from; k < to; ++k) {
    auto i = static_cast<std::size_t>(k);
    s.samplere[i] = 0;
    s.sampleim[i] = 0;
    s.samplepower[i] = 0;
  }
}

void integrateStation(State& s, int32_t station) {
  auto st = static_cast<std::size_t>(station);
  int32_t count = s.pulsecount[st];
  if (count <= 0 || count > kPatternSlots) return; // no pattern: nothing to walk

  double t = s.nextpulse[st];
  int32_t index = s.pulseindex[st];
  int32_t integrated = s.pulsesintegrated[st];
  int32_t signsum = s.signsum[st];
  float residue = s.roundingresidue[st];
  if (index < 0 || index >= count) index = 0;

  const int32_t points = s.displaysamples;
  const std::size_t j0 = st * static_cast<std::size_t>(points);
  int32_t* sumre = s.shortsumre.data() + j0;
  int32_t* sumim = s.shortsumim.data() + j0;
  const WindowMode mode = windowMode(s, station);
  const bool blanked = s.stationblanked[st] == 1;
  const auto& intervals = s.pulseinterval[st];
  const auto& signs = s.pulsesign[st];
  const double windowspan = points / s.sr;   // [s]
  const int64_t lastwindowstart = int64_t{s.buffersize} - points; // [samples]

  while (t + windowspan < s.blockend) {
    double pos = (t - s.blockstart) * s.sr; // [samples]
    long k = std::lrint(pos);
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
    const int16_t* re = s.samplere.data() + first;
    const int16_t* im = s.sampleim.data() + first;

    switch (mode) {
    case WindowMode::mixing: {
      double ph = t * s.bandcenter; // [cycles]
      auto phi = static_cast<float>(2.0 * kPiSingle * (ph - std::floor(ph)));
      float c = std::cos(phi) * sign;
      float q = std::sin(phi) * sign;
      addWindowMixed(sumre, sumim, re, im, points, c, q);
      break;
    }
    case WindowMode::blanking:
      addWindowBlanking(sumre, sumim, s.nbpowersum.data() + j0, s.nbthreshold.data() + j0,
                        s.nbblankcount.data() + j0, re, im, s.samplepower.data() + first, points, sign);
      break;
    case WindowMode::plain:
      addWindowPlain(sumre, sumim, re, im, points, sign);
      break;
    }

    if (blanked) removePulse(s, static_cast<int32_t>(k));

    signsum += sign;
    t += intervals[static_cast<std::size_t>(index)];
    if (++index == count) index = 0;
    integrated += 1;
  }

  s.nextpulse[st] = t;
  s.pulseindex[st] = index;
  s.pulsesintegrated[st] = integrated;
  s.signsum[st] = signsum;
  s.roundingresidue[st] = residue;
}

} // namespace

void setupStationTiming(State& s) {
  s.resyncrequests = 0;
  s.lockcount = 0;
  std::fill(s.nbthreshold.begin(), s.nbthreshold.end(), s.nbinit);
  s.gri6000count = 0;
  s.gri7950count = 0;

  for (int32_t station = 0; station < s.stationcount; ++station) {
    auto st = static_cast<std::size_t>(station);
    double period = s.stationgri[st] / 50000.0; // [s] one phase-code interval

    s.arrivaloffset[st] = static_cast<float>(s.stationdelay[st] / 1000.0 +
                                             1000.0 * s.stationdistance[st] / s.propagationspeed);
    if (s.stationgri[st] == 6000) {
      // The three GRI-6000 strips stand 40 ms apart so that the image can
      // subtract the cross-rate interference of the outer two from the middle.
      if (s.gri6000count == 1) s.arrivaloffset[st] += -0.04f;
      if (s.gri6000count == 2) s.arrivaloffset[st] += 0.04f;
      s.gri6000count += 1;
    }
    if (s.stationgri[st] == 7950) {
      if (s.gri7950count >= 3) {
        double shift = 0.001 * s.xrcdelay7950; // [s]
        bool even = (s.gri7950count - 3) % 2 == 0;
        s.arrivaloffset[st] = static_cast<float>(even ? s.arrivaloffset[st] - shift : s.arrivaloffset[st] + shift);
      }
      s.gri7950count += 1;
    }

    if (!(period > 0)) {
      // No phase-code interval to place pulses on: the station never comes due.
      s.arrivalphase[st] = 0;
      s.nextpulse[st] = std::numeric_limits<double>::infinity();
    } else {
      double x = (s.arrivaloffset[st] - s.timeorigin) / period;
      s.arrivalphase[st] = (x - std::floor(x)) * period;
      double y = s.arrivalphase[st] - s.blockstart - s.overlap / s.sr;
      y = y - std::floor(y / period) * period;
      s.nextpulse[st] = s.blockstart + y + (s.overlap - s.pulseoffset) / s.sr;
    }
    s.pulseindex[st] = 0;
    s.pulsesintegrated[st] = 0;
    s.roundingresidue[st] = 0;
    s.signsum[st] = 0;
  }

  s.crossrateindex = crossRateStart(s);

  s.phaserefcos = static_cast<float>(std::cos(kPiSingle * s.phasereference / 180.0));
  s.phaserefsin = static_cast<float>(std::sin(kPiSingle * s.phasereference / 180.0));
  s.phaserotre = s.phaserefcos;
  s.phaserotim = s.phaserefsin;
}

int32_t crossRateStart(const State& s) {
  int32_t start = 0;
  if (s.gri6000count == 3) start = -2;
  if (s.gri7950count == 9) start -= 6;
  return start;
}

void integrateBlock(State& s) {
  for (int32_t station : s.stationorder) integrateStation(s, station);
}

void updateNoiseBlanker(State& s) {
  const int32_t points = s.displaysamples;
  for (int32_t station = 0; station < s.stationcount; ++station) {
    int32_t n = s.pulsesintegrated[static_cast<std::size_t>(station)];
    if (n <= 0) continue;
    std::size_t j0 = static_cast<std::size_t>(station) * static_cast<std::size_t>(points);
    float* powersum = s.nbpowersum.data() + j0;
    float* threshold = s.nbthreshold.data() + j0;
    for (int32_t p = 0; p < points; ++p) {
      // The neighbourhood keeps a pulse's own spread of power from being
      // blanked at the points next to its peak.
      float m = powersum[p];
      for (int32_t d = 1; d <= s.nbspread; ++d) {
        if (p - d >= 0 && powersum[p - d] > m) m = powersum[p - d];
        if (p + d < points && powersum[p + d] > m) m = powersum[p + d];
      }
      threshold[p] = static_cast<float>((1.0 - s.nbupdate) * threshold[p] + s.nbupdate * s.nbfac * m / n);
    }
    std::fill(powersum, powersum + points, 0.0f);
  }
}

} // namespace velkor
