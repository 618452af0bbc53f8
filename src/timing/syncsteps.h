// The stages of the TAI synchronisation, one by one, so that each can be
// exercised and timed on its own. synchronise() in sync.h runs them in order.
//
// The averaging folds the stream modulo each entry's phase-code interval into
// a window of its own in two shared integer accumulators; the peak search then
// looks for the Loran-C phase codes in every window, and the ambiguity search
// turns the positions found into a clock offset.
#pragma once

#include "acquisition/acquisition.h"
#include "config/settings.h"
#include "ground/loran.h"
#include "ground/outcome.h"
#include "stations/stations.h"
#include "timing/foldkernels.h"
#include "timing/timing.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velkor {

// Where one entry's window lies in the accumulators and how far its folding
// has come. The window is one phase-code interval rounded to whole samples.
struct TaiWindow {
  int32_t taiwindowstart = 0; // first accumulator index of the window [samples]
  int32_t taiwindowend = 0;   // one past the last accumulator index [samples]
  int32_t taiwritepos = 0;    // accumulator index the next sample goes to [samples]
  int32_t taicarry = 0;       // buffer index at which the entry continues in the next block [samples]
  double tainominal = 0;      // nominal start of the current window, stream time + overlap / sr [s]
};

// Working data of one synchronisation run; it lives only as long as the run.
struct TaiAverage {
  std::vector<TaiWindow> windows;                  // one per entry
  std::vector<int32_t> taisumre;                   // folded real parts, all windows back to back [sample units]
  std::vector<int32_t> taisumim;                   // folded imaginary parts [sample units]
  int32_t totalsamples = 0;                        // new samples averaged so far, T [samples]
  FoldMixedPass foldmixed = addFoldMixed;          // the mixing fold's build; chooseFoldMixed as the run begins
  FoldProductsPass foldproducts = addFoldProducts; // its product pass for the lock-step fold; chooseFoldProducts
  std::vector<float> foldphases; // the lock-step fold's phases, kPhaseLanes rows of kFoldStretch [rad]
};

// Pulse positions of one phase-code interval for both pulse groups, as
// sample offsets from the interval's start. Group 0 is the master pattern
// (18 pulses), group 1 the secondary pattern (16 pulses).
struct TaiPulsePattern {
  std::array<std::array<int32_t, kMasterPulses>, 2> taipulseoffset{}; // [samples]
  std::array<std::array<int16_t, kMasterPulses>, 2> taipulsesign{};   // +1 / -1
};

// Outcome of the search over whole phase-code intervals.
struct TaiAmbiguity {
  bool match = false;        // some shift brought the weighted error below 1
  int32_t shift = 0;         // best shift [reference phase-code intervals]
  double besterror = 0;      // smallest weighted error found [1]
  double referenceerror = 0; // e: expected minus measured of entry 0, within +-P0/2 [s]
  double remaining = 0;      // period the result is known only modulo, 0 when decided [s]
  bool quit = false;         // the search was ended by q before it was done
};

// One peak as the detailed synchronisation lines show it (syncverbose).
struct SyncPeak {
  const char* label = ""; // "M" master, "S" secondary, "" amplitude entry
  int32_t gri = 0;        // [10 us]
  float amplitude = 0;    // [sample units]
  float time = 0;         // position within the window [s]
};

// Lays out one window per [taisync] entry for the current sr [Hz] and clears
// the accumulators.
TaiAverage beginAverage(const Settings& settings, const Acquisition& acquisition);

// Folds the new samples of the buffer into every entry's window (mixed down by
// tailineoffset when bandcenter is set); counts taiwindows.
void averageBlock(const Settings& settings, const Stations& stations, const Acquisition& acquisition, Timing& timing,
                  TaiAverage& average);

// The pulse pattern of a chain with GRI gri [10 us] at sample rate sr [Hz].
TaiPulsePattern pulsePattern(int32_t gri, double sr);

// Correlates window n of the average with both pulse groups; the results go
// to mastercorr and secondarycorr, lag by lag, over the window's length.
void correlateWindow(const TaiAverage& average, int n, const TaiPulsePattern& pattern, std::vector<float>& mastercorr,
                     std::vector<float>& secondarycorr);

// Fills taicandamp [sample units] / taicandtime [s] of entry n from its
// window; with syncverbose every peak found is appended to `peaks`.
// mastercorr and secondarycorr are scratch space at least as long as the window.
void findPeaks(const Settings& settings, const Acquisition& acquisition, Timing& timing, int n,
               const TaiAverage& average, std::vector<float>& mastercorr, std::vector<float>& secondarycorr,
               std::vector<SyncPeak>& peaks);

// taiexpected and taimeasured [s] of every entry, from the current clocktime
// and each entry's delay and distance.
void measurePositions(const Settings& settings, const Stations& stations, Timing& timing);

// The weighted search over +-searchrange [s]; sets syncoffset [s]. Asks
// `quitRequested` now and then, and stops (quit) when it says so.
TaiAmbiguity resolveAmbiguity(const Settings& settings, Timing& timing, const QuitPoll& quitRequested = {});

// [s] The period after which the phase-code intervals of the reference and
// of every weighted entry all start together again, when two shifts the
// search tries lie that far apart (no chain can then tell them apart); the
// reference's interval with a single entry; 0 when the entries decide every
// shift within searchrange. Reads the [taisync] entries and searchrange.
double undecidedPeriod(const Settings& settings);

} // namespace velkor
