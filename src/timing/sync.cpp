#include "timing/sync.h"

#include "ground/arrays.h"
#include "ground/kernels.h"
#include "ground/loran.h"
#include "ground/numbers.h"
#include "stations/chaintiming.h"
#include "timing/foldkernels.h"
#include "timing/syncsteps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <ostream>
#include <string_view>

namespace velkor {

namespace {

// The folded sums may run past 32 bits only with absurd averaging times;
// they then wrap around instead of being undefined.
// So far each side of a correlation peak the pulse group's own side lobes
// reach: a group lasts 9 ms [s].
constexpr double kSideLobeReach = 0.009;
// The PC clock reads a raw file's first sample this late on average [s].
constexpr double kRebaseLag = 0.05;
// The ambiguity search asks for q after this many pairs of shifts, a few
// milliseconds of work with ten entries.
constexpr long kShiftsBetweenPolls = 65536;

int32_t wrapIndex(int64_t index, int32_t length) {
  int64_t wrapped = index % length;
  return static_cast<int32_t>(wrapped < 0 ? wrapped + length : wrapped);
}

// Adds samples first ... first + count - 1 of the buffer unchanged.
void foldSamples(const Acquisition& acq, TaiAverage& a, int32_t first, int32_t position, int32_t count) {
  addFoldPlain(a.taisumre.data() + position, a.taisumim.data() + position, acq.samplere.data() + first,
               acq.sampleim.data() + first, count);
}

// Adds samples multiplied by exp(-j theta), theta advancing by delta per sample
// added; returns the phase reached [rad].
float foldSamplesMixed(const Acquisition& acq, TaiAverage& a, int32_t first, int32_t position, int32_t count,
                       float theta, float delta) {
  return a.foldmixed(a.taisumre.data() + position, a.taisumim.data() + position, acq.samplere.data() + first,
                     acq.sampleim.data() + first, count, theta, delta, acq.sincos);
}

// The mixer's phase at the entry's next sample and its step per sample [rad].
void mixerStart(const Stations& stn, const Acquisition& acq, const TaiAverage& a, int n, float& theta, float& delta) {
  const TaiWindow& w = a.windows[static_cast<std::size_t>(n)];
  double offset = stn.tailineoffset[static_cast<std::size_t>(n)];
  double t = (w.taicarry + a.totalsamples - acq.overlap) / acq.clock.sr;
  double cycles = t * offset;
  theta = static_cast<float>(2.0 * kPiSingle * (cycles - std::floor(cycles)));
  delta = static_cast<float>(2.0 * kPiSingle * offset / acq.clock.sr);
}

// After a window's last sample: the next window starts at the sample nearest
// its nominal start, counted from the sample just added; this keeps the fold
// on the interval although the interval is no whole number of samples.
// Returns the buffer index to go on from.
int32_t nextWindow(const Settings& cfg, const Acquisition& acq, Timing& tim, TaiWindow& w, int n, int32_t k) {
  const double pci = phaseCodeInterval(cfg.taientries[static_cast<std::size_t>(n)].gri);
  int32_t added = k - 1;
  w.tainominal += pci;
  double late = w.tainominal - (acq.clock.blockstart + (added + acq.overlap) / acq.clock.sr);
  tim.taiwindows[static_cast<std::size_t>(n)] += 1;
  return added + roundToInteger<int32_t>(late * acq.clock.sr) + 1;
}

// Whether entry n's samples go through the mixer: with a band centre, unless
// the entry's line lies on the band centre itself. There the mixer's phase
// stays +0, its cosine 1 and its sine +0, and x 1 + y 0 and y 1 - x 0 are x and
// y exactly (a sum with -0 included), so the plain fold adds the same values.
bool mixesEntry(const Settings& cfg, const Stations& stn, int n) {
  return cfg.bandcenter != 0 && stn.tailineoffset[static_cast<std::size_t>(n)] != 0;
}

void averageEntry(const Settings& cfg, const Stations& stn, const Acquisition& acq, Timing& tim, TaiAverage& a, int n) {
  TaiWindow& w = a.windows[static_cast<std::size_t>(n)];
  const bool mixing = mixesEntry(cfg, stn, n);
  const int32_t last = acq.newsamples + acq.overlap - 1;
  int32_t p = w.taiwritepos;
  int32_t k = w.taicarry;
  float theta = 0; // mixer phase [rad]
  float delta = 0; // its step per sample [rad]
  if (mixing) mixerStart(stn, acq, a, n, theta, delta);
  while (k <= last) {
    // Runs of samples up to the window's end or the buffer's end, whichever comes first.
    int32_t run = std::min(w.taiwindowend - p, last - k + 1);
    if (mixing) {
      theta = foldSamplesMixed(acq, a, k, p, run, theta, delta);
    } else {
      foldSamples(acq, a, k, p, run);
    }
    k += run;
    p += run;
    if (p == w.taiwindowend) {
      k = nextWindow(cfg, acq, tim, w, n, k);
      p = w.taiwindowstart;
    }
  }
  w.taicarry = k - acq.newsamples;
  w.taiwritepos = p;
}

// From this many mixing entries on, the lock-step fold advances their phases
// a stretch at a time side by side, each stretch's sincos pass over one table.
constexpr int kLockStepEntries = 2;

// Folds entry n on from buffer index k and its write position by at most
// `available` samples whose cosines and sines are c and q, as averageEntry
// folds them (its runs only split further); moves k on and returns whether
// the entry has reached the buffer's end.
bool foldStretch(const Settings& cfg, const Acquisition& acq, Timing& tim, TaiAverage& a, int n, int32_t& k,
                 const float* c, const float* q, int32_t available) {
  TaiWindow& w = a.windows[static_cast<std::size_t>(n)];
  const int32_t last = acq.newsamples + acq.overlap - 1;
  int32_t p = w.taiwritepos;
  int32_t used = 0; // [samples] of the stretch
  while (k <= last && used < available) {
    const int32_t run = std::min({w.taiwindowend - p, last - k + 1, available - used});
    a.foldproducts(a.taisumre.data() + p, a.taisumim.data() + p, acq.samplere.data() + k, acq.sampleim.data() + k,
                   c + used, q + used, run);
    k += run;
    p += run;
    used += run;
    if (p == w.taiwindowend) {
      k = nextWindow(cfg, acq, tim, w, n, k);
      p = w.taiwindowstart;
    }
  }
  w.taiwritepos = p;
  return k > last;
}

// The mixing fold of up to kPhaseLanes entries entry[0 ... lanes - 1] in lock
// step: every entry adds whole stretches until the buffer's end, so the phases
// of all of them advance a stretch at a time side by side.
void averageLockStep(const Settings& cfg, const Stations& stn, const Acquisition& acq, Timing& tim, TaiAverage& a,
                     const int* entry, int lanes) {
  float theta[kPhaseLanes] = {}; // [rad]
  float delta[kPhaseLanes] = {}; // [rad] per sample
  int32_t k[kPhaseLanes] = {};   // buffer index each entry goes on from [samples]
  for (int l = 0; l < lanes; ++l) {
    mixerStart(stn, acq, a, entry[l], theta[l], delta[l]);
    k[l] = a.windows[static_cast<std::size_t>(entry[l])].taicarry;
  }
  bool done[kPhaseLanes] = {};
  int active = lanes;
  float* phase = a.foldphases.data();
  float c[kFoldStretch]; // cosines of one entry's stretch
  float q[kFoldStretch]; // their sines
  while (active > 0) {
    tabulatePhaseLanes(phase, theta, delta, lanes);
    for (int l = 0; l < lanes; ++l) {
      if (done[l]) continue;
      acq.sincos(phase + l * kFoldStretch, q, c, kFoldStretch);
      done[l] = foldStretch(cfg, acq, tim, a, entry[l], k[l], c, q, kFoldStretch);
      active -= done[l] ? 1 : 0;
    }
  }
  for (int l = 0; l < lanes; ++l) a.windows[static_cast<std::size_t>(entry[l])].taicarry = k[l] - acq.newsamples;
}

void findAmplitudePeak(const Settings& cfg, const Acquisition& acq, Timing& tim, int n, const TaiAverage& a,
                       std::vector<SyncPeak>& peaks) {
  const TaiWindow& w = a.windows[static_cast<std::size_t>(n)];
  const int32_t length = w.taiwindowend - w.taiwindowstart;
  float best = 0; // largest squared magnitude [sample units^2]
  int32_t at = 0; // [samples] into the window
  for (int32_t i = 0; i < length; ++i) {
    float re = static_cast<float>(a.taisumre[static_cast<std::size_t>(w.taiwindowstart + i)]);
    float im = static_cast<float>(a.taisumim[static_cast<std::size_t>(w.taiwindowstart + i)]);
    float power = re * re + im * im;
    if (power > best) {
      best = power;
      at = i;
    }
  }
  auto slot = static_cast<std::size_t>(n);
  tim.taicandamp[slot][0] = best > 0 ? std::sqrt(best) / static_cast<float>(tim.taiwindows[slot]) : 0.0f;
  tim.taicandtime[slot][0] = static_cast<float>(at / acq.clock.sr);
  if (cfg.syncverbose)
    peaks.push_back({"", cfg.taientries[slot].gri, tim.taicandamp[slot][0], tim.taicandtime[slot][0]});
}

void blank(std::vector<float>& mastercorr, std::vector<float>& secondarycorr, int64_t first, int32_t count,
           int32_t length) {
  for (int32_t i = 0; i < count; ++i) {
    auto at = static_cast<std::size_t>(wrapIndex(first + i, length));
    mastercorr[at] = 0;
    secondarycorr[at] = 0;
  }
}

void findCodedPeaks(const Settings& cfg, const Acquisition& acq, Timing& tim, int n, const TaiAverage& a,
                    std::vector<float>& mastercorr, std::vector<float>& secondarycorr, std::vector<SyncPeak>& peaks) {
  const auto entry = static_cast<std::size_t>(n);
  const TaiWindow& w = a.windows[entry];
  const int32_t length = w.taiwindowend - w.taiwindowstart;
  correlateWindow(a, n, pulsePattern(cfg.taientries[entry].gri, acq.clock.sr), mastercorr, secondarycorr);
  tim.taicandamp[entry].fill(0.0f);
  int32_t mastersfound = 0;
  int32_t secondariesfound = 0;
  const int32_t halfwidth = roundToInteger<int32_t>(kSideLobeReach * acq.clock.sr); // [samples] blanked each side
  for (int pass = 0; pass < kCandidateSlots; ++pass) {
    float best = 0;  // [sample units^2]
    int32_t lag = 0; // [samples]
    bool master = false;
    bool found = false;
    for (int32_t j = 0; j < length; ++j) {
      auto at = static_cast<std::size_t>(j);
      if (mastercorr[at] > best) {
        best = mastercorr[at];
        lag = j;
        master = true;
        found = true;
      }
      if (secondarycorr[at] > best) {
        best = secondarycorr[at];
        lag = j;
        master = false;
        found = true;
      }
    }
    // Nothing positive left: the pass counts as amplitude 0 at lag 0, as the
    // master while none has been found, else as the next secondary.
    if (!found) master = mastersfound == 0;
    int slot = -1;
    if (master) {
      if (mastersfound == 0) slot = 0;
      mastersfound += 1;
    } else {
      secondariesfound += 1;
      slot = secondariesfound;
    }
    float amplitude = found ? std::sqrt(best) / static_cast<float>(tim.taiwindows[entry]) : 0.0f;
    float time = static_cast<float>(lag / acq.clock.sr);
    if (slot >= 0 && slot < kCandidateSlots) {
      tim.taicandamp[entry][static_cast<std::size_t>(slot)] = amplitude;
      tim.taicandtime[entry][static_cast<std::size_t>(slot)] = time;
    }
    // The station's own side lobes, here and one GRI later, must not come back as peaks.
    const int32_t span = 2 * halfwidth + 1;
    blank(mastercorr, secondarycorr, int64_t{lag} - halfwidth, span, length);
    blank(mastercorr, secondarycorr, roundToInteger<int64_t>(lag + length / 2.0 - halfwidth), span, length);
    if (cfg.syncverbose) peaks.push_back({master ? "M" : "S", cfg.taientries[entry].gri, amplitude, time});
  }
}

// The day is kept; the time of day becomes the PC clock's time of the first
// averaged sample plus 0.05 s. Only raw input has a PC clock to go by.
// With rawlatency the stamps already say when the samples were captured:
// the first averaged sample's PC time is taken as it is.
void rebaseClock(const Settings& cfg, const Acquisition& acq, Timing& tim, const TaiAverage& a) {
  const double day = tim.clocktime - std::fmod(tim.clocktime, kSecondsPerDay); // [s] start of the day
  if (cfg.rawlatencygiven != 0) {
    tim.clocktime = day + (tim.pcbufferend - a.totalsamples / acq.clock.sr);
    return;
  }
  tim.clocktime = day + (tim.pcbuffertime - a.totalsamples / acq.clock.sr) + kRebaseLag;
}

} // namespace

TaiAverage beginAverage(const Settings& cfg, const Acquisition& acq) {
  TaiAverage a;
  a.foldmixed = chooseFoldMixed();
  a.foldproducts = chooseFoldProducts();
  a.foldphases.assign(static_cast<std::size_t>(kPhaseLanes * kFoldStretch), 0.0f);
  a.windows.resize(static_cast<std::size_t>(cfg.taicount()));
  int32_t start = 0;
  for (std::size_t n = 0; n < a.windows.size(); ++n) {
    TaiWindow& w = a.windows[n];
    w.taiwindowstart = start;
    w.taiwindowend = roundToInteger<int32_t>(start + phaseCodeInterval(cfg.taientries[n].gri) * acq.clock.sr);
    // A window must hold a sample, else the fold would never complete one.
    w.taiwindowend = std::max(w.taiwindowend, start + 1);
    w.taiwritepos = start;
    w.taicarry = acq.overlap;
    w.tainominal = acq.overlap / acq.clock.sr;
    start = w.taiwindowend;
  }
  a.taisumre.assign(static_cast<std::size_t>(start), 0);
  a.taisumim.assign(static_cast<std::size_t>(start), 0);
  return a;
}

void averageBlock(const Settings& cfg, const Stations& stn, const Acquisition& acq, Timing& tim, TaiAverage& a) {
  std::array<int, kTaiCapacity> mixing{}; // the entries whose samples go through the mixer
  int mixers = 0;
  for (int n = 0; n < cfg.taicount(); ++n) {
    if (mixesEntry(cfg, stn, n) && mixers < kTaiCapacity) mixing[static_cast<std::size_t>(mixers++)] = n;
    else averageEntry(cfg, stn, acq, tim, a, n);
  }
  if (mixers >= kLockStepEntries) {
    for (int m = 0; m < mixers; m += kPhaseLanes)
      averageLockStep(cfg, stn, acq, tim, a, mixing.data() + m, std::min(kPhaseLanes, mixers - m));
  } else {
    for (int m = 0; m < mixers; ++m) averageEntry(cfg, stn, acq, tim, a, mixing[static_cast<std::size_t>(m)]);
  }
  a.totalsamples += acq.newsamples;
}

TaiPulsePattern pulsePattern(int32_t gri, double sr) {
  TaiPulsePattern pattern;
  const double gritime = gri / kGriUnitsPerSecond; // one GRI [s]
  auto place = [&](int group, int index, double seconds, int code) {
    pattern.taipulseoffset[static_cast<std::size_t>(group)][static_cast<std::size_t>(index)] =
        roundToInteger<int32_t>(seconds * sr);
    pattern.taipulsesign[static_cast<std::size_t>(group)][static_cast<std::size_t>(index)] = phaseCodeSign(code);
  };
  for (int i = 0; i <= 7; ++i) place(0, i, kPulseSpacing * i, i);
  place(0, 8, kNinthPulseAt, 8);
  for (int i = 9; i <= 16; ++i) place(0, i, gritime + kPulseSpacing * (i - 9), i);
  place(0, 17, gritime + kNinthPulseAt, 17);
  for (int i = 0; i <= 7; ++i) place(1, i, kPulseSpacing * i, kEightPulseCodes + i);
  for (int i = 8; i <= 15; ++i) place(1, i, gritime + kPulseSpacing * (i - 8), kEightPulseCodes + i);
  return pattern;
}

void correlateWindow(const TaiAverage& a, int n, const TaiPulsePattern& pattern, std::vector<float>& mastercorr,
                     std::vector<float>& secondarycorr) {
  const TaiWindow& w = a.windows[static_cast<std::size_t>(n)];
  const int32_t length = w.taiwindowend - w.taiwindowstart;
  const int32_t* re = a.taisumre.data() + w.taiwindowstart;
  const int32_t* im = a.taisumim.data() + w.taiwindowstart;
  // Offsets reduced into the window once, so that one subtraction wraps a lag.
  std::array<std::array<int32_t, kMasterPulses>, 2> offset{};
  for (std::size_t g = 0; g < 2; ++g)
    for (std::size_t i = 0; i < kMasterPulses; ++i) offset[g][i] = wrapIndex(pattern.taipulseoffset[g][i], length);
  auto correlate = [&](std::size_t group, int pulses, int32_t lag) {
    float sumre = 0; // [sample units]
    float sumim = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(pulses); ++i) {
      int32_t at = lag + offset[group][i];
      if (at >= length) at -= length;
      float sign = pattern.taipulsesign[group][i];
      sumre += sign * static_cast<float>(re[at]);
      sumim += sign * static_cast<float>(im[at]);
    }
    return sumre * sumre + sumim * sumim;
  };
  // Normalised by the square of the pulse count, so that the master's and a
  // secondary's correlations compare as powers per pulse.
  constexpr double masterNorm = double{kMasterPulses} * kMasterPulses;          // 324
  constexpr double secondaryNorm = double{kSecondaryPulses} * kSecondaryPulses; // 256
  for (int32_t j = 0; j < length; ++j) {
    mastercorr[static_cast<std::size_t>(j)] = static_cast<float>(correlate(0, kMasterPulses, j) / masterNorm);
    secondarycorr[static_cast<std::size_t>(j)] = static_cast<float>(correlate(1, kSecondaryPulses, j) / secondaryNorm);
  }
}

void findPeaks(const Settings& cfg, const Acquisition& acq, Timing& tim, int n, const TaiAverage& a,
               std::vector<float>& mastercorr, std::vector<float>& secondarycorr, std::vector<SyncPeak>& peaks) {
  if (cfg.taientries[static_cast<std::size_t>(n)].letter == kAmplitudeLetter) {
    findAmplitudePeak(cfg, acq, tim, n, a, peaks);
  } else {
    findCodedPeaks(cfg, acq, tim, n, a, mastercorr, secondarycorr, peaks);
  }
}

void measurePositions(const Settings& cfg, const Stations& stn, Timing& tim) {
  for (std::size_t n = 0; n < static_cast<std::size_t>(cfg.taicount()); ++n) {
    const double pci = phaseCodeInterval(cfg.taientries[n].gri);
    // Where the pulses stand after each interval's start [s].
    float taiarrival = static_cast<float>(predictedArrival(cfg, stn, stn.taidelay[n], stn.taidistance[n]));
    double x = (taiarrival - tim.clocktime) / pci;
    tim.taiexpected[n] = static_cast<float>((x - std::floor(x)) * pci);
    bool master = isOneOf(cfg.taientries[n].letter, kMasterSyncLetters);
    tim.taimeasured[n] = master ? tim.taicandtime[n][0] : tim.taicandtime[n][1];
  }
}

TaiAmbiguity resolveAmbiguity(const Settings& cfg, Timing& tim, const QuitPoll& quitRequested) {
  TaiAmbiguity result;
  const double reference = phaseCodeInterval(cfg.taientries[0].gri);
  float e = tim.taiexpected[0] - tim.taimeasured[0]; // [s], formed from single positions
  if (e > reference / 2) e = static_cast<float>(e - reference);
  if (e < -reference / 2) e = static_cast<float>(e + reference);
  result.referenceerror = e;
  const long shifts = roundToInteger<long>(cfg.searchrange / reference);
  double besterror = 1000000.0;
  long bestshift = 0;
  bool done = false;
  for (long m = 0; m <= shifts && !done; ++m) {
    if (m % kShiftsBetweenPolls == kShiftsBetweenPolls - 1 && quitRequested && quitRequested()) {
      result.quit = true;
      return result;
    }
    for (long shift : {-m, m}) {
      double trial = shift * reference + e;
      double error = 0;
      for (std::size_t n = 1; n < static_cast<std::size_t>(cfg.taicount()); ++n) {
        double pci = phaseCodeInterval(cfg.taientries[n].gri);
        double y = (tim.taiexpected[n] - tim.taimeasured[n] - trial) / pci;
        double d = (y - std::floor(y + 0.5)) * pci;
        double weighted = d * cfg.taientries[n].value;
        error += weighted * weighted;
      }
      if (error < besterror) {
        besterror = error;
        bestshift = shift;
      }
      if (error < 1.0) {
        done = true;
        break;
      }
    }
  }
  result.besterror = besterror;
  result.match = besterror < 1.0;
  // Without a fitting shift only the reference's position is left.
  result.remaining = result.match ? undecidedPeriod(cfg) : reference;
  result.shift = static_cast<int32_t>(bestshift);
  tim.syncoffset = result.match ? bestshift * reference + e : e;
  return result;
}

double undecidedPeriod(const Settings& cfg) {
  const int64_t reference = cfg.taientries[0].gri; // [1/50000 s]
  if (cfg.taicount() == 1 || reference <= 0) return phaseCodeInterval(cfg.taientries[0].gri);
  // The search tries shifts -K ... K of the reference interval: 2K of them apart at most.
  const double shifts = std::nearbyint(cfg.searchrange / phaseCodeInterval(cfg.taientries[0].gri));
  const double reach = 2.0 * std::max(shifts, 0.0) * static_cast<double>(reference); // [1/50000 s]
  int64_t common = reference;                                                        // [1/50000 s]
  for (std::size_t n = 1; n < static_cast<std::size_t>(cfg.taicount()); ++n) {
    // An entry of weight 0 adds nothing to the error, so it decides nothing.
    if (cfg.taientries[n].value == 0 || cfg.taientries[n].gri <= 0) continue;
    common = std::lcm(common, int64_t{cfg.taientries[n].gri});
    if (static_cast<double>(common) > reach) return 0; // also keeps the product far from overflowing
  }
  return static_cast<double>(common) > reach ? 0 : static_cast<double>(common) / kGriPerPhaseCodeSecond;
}

void prepareTiming(const Settings& cfg, Timing& tim) {
  dimension(tim.taiwindows, cfg.taicount());
  dimension(tim.taicandamp, cfg.taicount());
  dimension(tim.taicandtime, cfg.taicount());
  dimension(tim.taiexpected, cfg.taicount());
  dimension(tim.taimeasured, cfg.taicount());
}

SyncPlan syncPlan(const Settings& cfg) {
  if (cfg.integrationtime == 0) return SyncPlan::none;
  if (cfg.taicount() <= 0) return SyncPlan::noEntries;
  return SyncPlan::run;
}

Outcome averageForSync(const Settings& cfg, const Stations& stn, const Acquisition& acq, Timing& tim,
                       const BlockReader& readBlock, TaiAverage& average, KeptSamples* kept) {
  average = beginAverage(cfg, acq);
  std::fill(tim.taiwindows.begin(), tim.taiwindows.end(), 0);
  while (acq.clock.blockend < cfg.integrationtime) {
    const Outcome read = readBlock();
    if (read != Outcome::ready) return read;
    if (kept != nullptr) {
      keepNewSamples(acq, *kept);
      average.totalsamples += acq.newsamples;
    } else {
      averageBlock(cfg, stn, acq, tim, average);
    }
  }
  return Outcome::ready;
}

SyncReport evaluateSync(const Settings& cfg, const Stations& stn, const Acquisition& acq, Timing& tim,
                        const TaiAverage& average, const QuitPoll& quitRequested) {
  SyncReport report;
  int32_t longest = 0; // [samples] of the longest phase-coded window
  for (std::size_t n = 0; n < average.windows.size(); ++n)
    if (cfg.taientries[n].letter != kAmplitudeLetter)
      longest = std::max(longest, average.windows[n].taiwindowend - average.windows[n].taiwindowstart);
  std::vector<float> mastercorr(static_cast<std::size_t>(longest));
  std::vector<float> secondarycorr(static_cast<std::size_t>(longest));
  for (int n = 0; n < cfg.taicount(); ++n)
    findPeaks(cfg, acq, tim, n, average, mastercorr, secondarycorr, report.peaks);

  if (!cfg.wavinput) rebaseClock(cfg, acq, tim, average);
  measurePositions(cfg, stn, tim);
  report.ambiguity = resolveAmbiguity(cfg, tim, quitRequested);
  if (report.ambiguity.quit) {
    report.outcome = Outcome::quit;
    return report;
  }
  tim.timeorigin = tim.syncoffset + tim.clocktime;
  return report;
}

SyncReport synchronise(const Settings& cfg, const Stations& stn, const Acquisition& acq, Timing& tim,
                       const BlockReader& readBlock, const QuitPoll& quitRequested) {
  TaiAverage average;
  const Outcome averaged = averageForSync(cfg, stn, acq, tim, readBlock, average, nullptr);
  if (averaged != Outcome::ready) return SyncReport{averaged, {}, {}};
  return evaluateSync(cfg, stn, acq, tim, average, quitRequested);
}

} // namespace velkor
