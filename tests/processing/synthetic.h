// Test material for the signal processing: a hand-built station set-up (the
// pulse patterns laid down by letter, as the chain timing does at start-up),
// and a synthetic Loran-C signal generated from the transmitters' own timing
// with a block reader that buffers it as the sample input does.
#pragma once

#include "core/state.h"
#include "platform/platform.h"

#include <complex>
#include <cstdint>
#include <functional>
#include <vector>

namespace velkor::test {

struct TestStation {
  int32_t gri = 8000;  // [10 us]
  char letter = 'X';   // decides the pulse pattern
  int16_t blanked = 0; // 1: pulses removed after integration
  float delay = 0;     // arrival after the interval epoch [ms]
};

// Eight pulses for O ... Z, nine for K ... N, otherwise one (two for B).
void fillPulsePattern(State& s, int32_t station);

// A state ready for integration: stations with patterns, blanked-first order,
// blanking weights 1, the block geometry for `blocklength`, every array
// dimensioned, and the stream clock at its start (blockstart = -overlap/sr).
State stationState(const std::vector<TestStation>& stations, double sr, int32_t blocklength = 4096,
                   int32_t displaysamples = 24);

// ---- Synthetic signal ------------------------------------------------------

// One transmitter as received. Its pulses: interval n starts at
// arrival + n * 2 * gri * 10 us; GRI A holds pulses at 0 ... 7 ms (and 9 ms for
// a master), GRI B the same one GRI later, each with its published phase code.
struct Transmitter {
  int32_t gri = 8000;      // [10 us]
  bool master = false;     // nine pulses per GRI instead of eight
  double arrival = 0;      // stream time of the first pulse of interval 0 [s]
  double amplitude = 1000; // [sample units] at the shape's peak of 1
  double phase = 0;        // carrier phase at the receiver [rad]
};

// Complex pulse shape `seconds` after the pulse's arrival time.
using PulseShape = std::function<std::complex<double>(double seconds)>;

class SyntheticSignal {
public:
  std::vector<Transmitter> transmitters;
  double rate = 48000;     // true sample rate [Hz]
  PulseShape shape;
  double shapestart = 0;   // [s] relative to the arrival, where the shape begins
  double shapelength = 0;  // [s] over which the shape is non-zero
  double noise = 0;        // rms of each component [sample units]
  uint64_t seed = 12345;   // of the noise

  // Samples first ... first + count - 1 (sample i at stream time i / rate),
  // rounded and saturated to 16 bits.
  void render(int64_t first, int32_t count, int16_t* re, int16_t* im);

  // Pulse arrival times in [from, to) with their phase-code signs.
  struct Pulse {
    double time; // [s]
    int sign;
  };
  std::vector<Pulse> pulses(double from, double to) const;

private:
  std::vector<double> accre_, accim_; // [sample units]
  std::vector<Pulse> pulses_;         // of one transmitter in one block
};

// The Loran-C pulse envelope (t / 65 us)^2 exp(2 - 2 t / 65 us), peak 1 at 65 us.
std::complex<double> loranEnvelope(double seconds);

// Hands the signal to the receiver block by block, as the sample input does:
// the oldest samples retire into the DC sums, the overlap moves down, the
// block is decoded behind it and the time stamps advance with the current sr.
class SyntheticReader {
public:
  SyntheticReader(SyntheticSignal& signal, int64_t totalsamples) : signal_(signal), total_(totalsamples) {}
  void start(State& s) const; // inputremaining for the whole recording
  void operator()(State& s, Platform& platform);
  BlockReader reader() {
    return [this](State& s, Platform& p) { (*this)(s, p); };
  }
  int64_t produced() const { return produced_; }

private:
  SyntheticSignal& signal_;
  int64_t total_;        // [samples] in the recording
  int64_t produced_ = 0; // [samples] handed out
};

} // namespace velkor::test
