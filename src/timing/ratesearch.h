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
// folds every entry at the rate found, and the stream time is restamped at it.
#pragma once

#include "core/state.h"
#include "platform/platform.h"
#include "timing/syncsteps.h"

#include <cstdint>
#include <vector>

namespace velkor {

inline constexpr double kLargestRateSearch = 1000.0;   // [ppm] srsearch above this is taken as this
inline constexpr int64_t kLargestKeptSamples = 1 << 24; // [samples] kept for the search (64 MB)

// The new samples of the synchronisation's averaging, in stream order.
struct KeptSamples {
  std::vector<int16_t> re;    // [sample units]
  std::vector<int16_t> im;    // [sample units]
  double oscillatorrate = 0;  // losamplerate while they were decoded [Hz]
};

// Prepares the store for one averaging of integrationtime seconds.
KeptSamples beginKeeping(const State& state);

// Appends the new samples of the buffer (up to kLargestKeptSamples).
void keepNewSamples(const State& state, KeptSamples& kept);

// The rate [Hz] at which the reference entry's fold of the kept samples
// correlates best, within srsearch ppm of sr. Reads the settings and the
// synchronisation entries; changes nothing.
double searchSampleRate(const State& state, const KeptSamples& kept);

// Takes `rate` as the sample rate: sr, the digital oscillator's rate and the
// stream time stamps of the totalsamples samples read so far [samples].
void restampStream(State& state, double rate, int64_t totalsamples);

// Folds every entry's window of the kept samples at the current sr into the
// average (laid out by beginAverage for that sr); sets taiwindows.
void foldKeptSamples(State& state, const KeptSamples& kept, TaiAverage& average);

// Samples by which the reference entry's pulse edge (edgelevel of its peak)
// comes before its correlation peak in the average; the tracking finds its
// edge there. Reads the average, changes nothing.
double edgeBeforePeak(const State& state, const TaiAverage& average);

// Moves the stream time stamps so that the reference edge, edgebeforepeak
// samples before the synchronisation's peak, lands where the sample-clock
// loop holds it (point pulseoffset - 1).
void placeReferenceEdge(State& state, double edgebeforepeak);

} // namespace velkor
