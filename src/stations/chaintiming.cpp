#include "stations/chaintiming.h"

#include "core/numbers.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace velkor {

namespace {

constexpr const char* kNinePulseLetters = "KLMN";
constexpr const char* kEightPulseLetters = "OPQRSTUVWXYZ";
constexpr int kEightPulseCodes = 18; // first phase-code character of the eight-pulse pattern

// The speed of light divided by 1.0009, the latter as the single it was
// always held in [m/s].
constexpr double kGroundWaveSpeed = 299522878.3830014;

bool isOneOf(char letter, const char* letters) {
  return letter != '\0' && std::strchr(letters, letter) != nullptr;
}

void setPulsePattern(State& s, int32_t i) {
  auto& interval = s.pulseinterval[i];
  auto& sign = s.pulsesign[i];
  char letter = s.stationletter[i];
  int32_t gri = s.stationgri[i];
  if (s.singlepulses == 0 && isOneOf(letter, kEightPulseLetters)) {
    s.pulsecount[i] = 16;
    for (int k = 0; k < 16; ++k) {
      interval[k] = k % 8 == 7 ? (gri - 700) * 1e-5 : 0.001;
      sign[k] = phaseCodeSign(kEightPulseCodes + k);
    }
  } else if (s.singlepulses == 0 && isOneOf(letter, kNinePulseLetters)) {
    s.pulsecount[i] = 18;
    for (int k = 0; k < 18; ++k) {
      int inGroup = k % 9;
      interval[k] = inGroup == 8 ? (gri - 900) * 1e-5 : inGroup == 7 ? 0.002 : 0.001;
      sign[k] = phaseCodeSign(k);
    }
  } else {
    int32_t count = letter == 'B' ? 2 : 1;
    if (s.singlepulses != 0) count = s.singlepulses;
    s.pulsecount[i] = count;
    for (int k = 0; k < count; ++k) {
      interval[k] = 2e-5 * gri / count;
      sign[k] = k % 2 == 0 ? 1 : -1;
    }
  }
}

void setBlankingWeights(State& s) {
  if (s.firstblankedsample < 0) s.firstblankedsample = 0;
  if (s.lastblankedsample > s.displaysamples - 1) s.lastblankedsample = static_cast<int16_t>(s.displaysamples - 1);
  int32_t length = s.lastblankedsample - s.firstblankedsample + 1;
  s.blanklength = static_cast<int16_t>(std::clamp<int32_t>(length, std::numeric_limits<int16_t>::min(),
                                                           std::numeric_limits<int16_t>::max()));
  float weight = 1.0f; // share of time not yet blanked [1]
  for (int32_t i : s.stationorder) {
    s.blankingweight[i] = weight;
    if (s.stationblanked[i])
      weight = toSingle(weight * (1.0 - s.blanklength * s.pulsecount[i] / s.sr / s.stationgri[i] * 50000.0));
  }
}

void setLineOffsets(State& s) {
  int32_t c = roundToInteger<int32_t>(std::floor(s.bandcenter / 1000 + 0.5)); // [kHz]
  for (int32_t j = 0; j < s.taicount; ++j) {
    int32_t n = roundToInteger<int32_t>(std::nearbyint(c / 100.0 * s.taigri[j])); // harmonic number
    // Exact where a 32-bit product fits, which holds for every band centre a
    // sound card reaches.
    int64_t harmonic = int64_t{n} * 100000; // [10 us Hz]
    s.tailineoffset[j] = static_cast<double>(harmonic) / s.taigri[j] - s.bandcenter;
  }
}

} // namespace

int32_t pulseGroupLength(char letter, int32_t singlepulses) {
  if (singlepulses != 0) return 0;
  if (isOneOf(letter, kNinePulseLetters)) return 900;
  if (isOneOf(letter, kEightPulseLetters)) return 700;
  return 0;
}

void buildStationOrder(State& s) {
  s.stationorder.clear();
  s.stationorder.reserve(static_cast<std::size_t>(s.stationcount));
  for (int32_t i = 0; i < s.stationcount; ++i)
    if (s.stationblanked[i]) s.stationorder.push_back(i);
  for (int32_t i = 0; i < s.stationcount; ++i)
    if (!s.stationblanked[i]) s.stationorder.push_back(i);
}

void computeChainTiming(State& s) {
  s.propagationspeed = toSingle(kGroundWaveSpeed / s.asf);
  for (int32_t i = 0; i < s.stationcount; ++i) setPulsePattern(s, i);
  setBlankingWeights(s);
  setLineOffsets(s);
}

} // namespace velkor
