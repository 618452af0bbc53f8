#include "stations/chaintiming.h"

#include "ground/arrays.h"
#include "ground/loran.h"
#include "ground/numbers.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace velkor {

namespace {

// The speed of light divided by 1.0009, the latter as the single it was
// always held in [m/s].
constexpr double kGroundWaveSpeed = 299522878.3830014;

void setPulsePattern(const Settings& cfg, Stations& stn, int32_t i) {
  auto& interval = stn.pulseinterval[i];
  auto& sign = stn.pulsesign[i];
  char letter = stn.stationletter[i];
  int32_t gri = stn.stationgri[i];
  if (cfg.singlepulses == 0 && isOneOf(letter, kEightPulseLetters)) {
    stn.pulsecount[i] = kSecondaryPulses;
    for (int k = 0; k < kSecondaryPulses; ++k) {
      interval[k] = k % 8 == 7 ? (gri - kEightPulseGroup) * kSecondsPerGriUnit : kPulseSpacing;
      sign[k] = phaseCodeSign(kEightPulseCodes + k);
    }
  } else if (cfg.singlepulses == 0 && isOneOf(letter, kNinePulseLetters)) {
    stn.pulsecount[i] = kMasterPulses;
    for (int k = 0; k < kMasterPulses; ++k) {
      int inGroup = k % 9;
      interval[k] = inGroup == 8   ? (gri - kNinePulseGroup) * kSecondsPerGriUnit
                    : inGroup == 7 ? kNinthPulseGap
                                   : kPulseSpacing;
      sign[k] = phaseCodeSign(k);
    }
  } else {
    int32_t count = letter == kTwoPulseLetter ? 2 : 1;
    if (cfg.singlepulses != 0) count = cfg.singlepulses;
    stn.pulsecount[i] = count;
    for (int k = 0; k < count; ++k) {
      interval[k] = 2e-5 * gri / count; // the phase-code interval 2 GRI x 10 us, shared out
      sign[k] = k % 2 == 0 ? 1 : -1;
    }
  }
}

// The blanked window is clamped into the station window at start-up
// (clampBlankingWindow); stations integrated after a blanked one see that
// share of every phase-code interval less.
void setBlankingWeights(const Settings& cfg, Stations& stn) {
  int32_t length = cfg.lastblankedsample - cfg.firstblankedsample + 1;
  stn.blanklength = static_cast<int16_t>(
      std::clamp<int32_t>(length, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
  float weight = 1.0f; // share of time not yet blanked [1]
  for (int32_t i : stn.stationorder) {
    stn.blankingweight[i] = weight;
    if (stn.stationblanked[i])
      weight = toSingle(
          weight * (1.0 - stn.blanklength * stn.pulsecount[i] / cfg.sr / stn.stationgri[i] * kGriPerPhaseCodeSecond));
  }
}

void setLineOffsets(const Settings& cfg, Stations& stn) {
  int32_t c = roundToInteger<int32_t>(std::floor(cfg.bandcenter / 1000 + 0.5)); // [kHz]
  for (int32_t j = 0; j < cfg.taicount(); ++j) {
    int32_t n = roundToInteger<int32_t>(std::nearbyint(c / 100.0 * cfg.taientries[j].gri)); // harmonic number
    // Exact where a 32-bit product fits, which holds for every band centre a
    // sound card reaches.
    int64_t harmonic = int64_t{n} * 100000; // [10 us Hz]
    stn.tailineoffset[j] = static_cast<double>(harmonic) / cfg.taientries[j].gri - cfg.bandcenter;
  }
}

} // namespace

int32_t pulseGroupLength(char letter, int32_t singlepulses) {
  if (singlepulses != 0) return 0;
  if (isOneOf(letter, kNinePulseLetters)) return kNinePulseGroup;
  if (isOneOf(letter, kEightPulseLetters)) return kEightPulseGroup;
  return 0;
}

void buildStationOrder(Stations& stn) {
  stn.stationorder.clear();
  stn.stationorder.reserve(static_cast<std::size_t>(stn.stationcount()));
  for (int32_t i = 0; i < stn.stationcount(); ++i)
    if (stn.stationblanked[i]) stn.stationorder.push_back(i);
  for (int32_t i = 0; i < stn.stationcount(); ++i)
    if (!stn.stationblanked[i]) stn.stationorder.push_back(i);
}

double predictedArrival(const Settings& cfg, const Stations& stn, float delay, float distance) {
  return delay / 1000.0 + 1000.0 * distance / stn.propagationspeed + cfg.receiverdelay / 1000.0;
}

void computeChainTiming(const Settings& cfg, Stations& stn) {
  const int32_t stations = stn.stationcount();
  dimension(stn.pulsecount, stations);
  dimension(stn.pulseinterval, stations);
  dimension(stn.pulsesign, stations);
  dimension(stn.blankingweight, stations);
  stn.propagationspeed = toSingle(kGroundWaveSpeed / cfg.asf);
  stn.gri6000count = 0;
  stn.gri7950count = 0;
  for (int32_t i = 0; i < stn.stationcount(); ++i) {
    setPulsePattern(cfg, stn, i);
    if (stn.stationgri[i] == 6000) stn.gri6000count += 1;
    if (stn.stationgri[i] == 7950) stn.gri7950count += 1;
  }
  setBlankingWeights(cfg, stn);
  setLineOffsets(cfg, stn);
}

} // namespace velkor
