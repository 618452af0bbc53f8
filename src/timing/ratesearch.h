// Sample-rate acquisition (setting srsearch): before the sample-clock loop
// takes over, the rate of the sound card is measured from the signal itself.
//
// The synchronisation keeps the samples it averages. The reference entry's
// chain is then folded again at candidate rates: at the right rate its pulses
// stay in place over the whole fold and, with a carrier away from 0 Hz or a
// digital oscillator, keep their carrier phase, so its phase-code correlation
// peaks highest there. Short stretches of the samples try a wide grid of
// candidates, longer ones a finer grid around the best, until the whole
// averaging decides; then the move of the chain's fold between the first and
// the second half of the averaging refines the rate. The synchronisation
// folds every entry at the rate found, and the top restamps the stream at it.
#pragma once

#include "acquisition/acquisition.h"
#include "config/settings.h"
#include "stations/stations.h"
#include "timing/syncsteps.h"
#include "timing/timing.h"

#include <cstdint>
#include <vector>

namespace velkor {

inline constexpr double kLargestRateSearch = 1000.0;    // [ppm] srsearch above this is taken as this
inline constexpr int64_t kLargestKeptSamples = 1 << 24; // [samples] kept for the search (64 MB)

// The new samples of the synchronisation's averaging, in stream order, and
// the rates they were read with.
struct KeptSamples {
  std::vector<int16_t> re;   // [sample units]
  std::vector<int16_t> im;   // [sample units]
  double samplerate = 0;     // [Hz] the stream clock's sr while they were read
  double oscillatorrate = 0; // [Hz] the digital oscillator's rate while they were decoded
  double looffset = 0;       // [Hz] the digital oscillator's shift
};

// An empty store for one averaging of integrationtime seconds at the
// acquisition's current rates.
KeptSamples beginKeeping(const Settings& settings, const Acquisition& acquisition);

// Appends the new samples of the buffer (up to kLargestKeptSamples).
void keepNewSamples(const Acquisition& acquisition, KeptSamples& kept);

// The rate [Hz] at which the reference entry's fold of the kept samples
// correlates best, within srsearch ppm of the rate they were read with.
double searchSampleRate(const Settings& settings, const Stations& stations, const KeptSamples& kept);

// Folds every entry's window of the kept samples at `rate` [Hz] into the
// average (laid out by beginAverage for that rate); sets taiwindows.
void foldKeptSamples(const Settings& settings, const Stations& stations, const KeptSamples& kept, double rate,
                     TaiAverage& average, Timing& timing);

// [s] by which the stream time stamps move so that the reference entry's
// pulse edge (edgelevel of its correlation peak in the average folded at
// `rate` [Hz]) lands where the sample-clock loop holds it (point
// pulseoffset - 1). Reads the average, changes nothing.
double referenceEdgeShift(const Settings& settings, const TaiAverage& average, double rate);

} // namespace velkor
