// Makes the samples of a scenario, block by block, as floating-point I and Q
// in output sample units before quantisation. Only the samples near pulses
// are touched per station; noise, impulses, the CW interferer and the DC
// offset are added to every sample.
//
// Noise: independent Gaussian values of rms `noise` on I and Q (Box-Muller on
// a xoshiro256** generator seeded from `seed`), drawn in frame order, so the
// samples do not depend on the block lengths asked for and a mono recording
// is the I channel of the stereo one. Impulses: a Poisson process of
// `impulserate` per second from a second generator; each impulse has the peak
// `impulseamplitude`, a uniformly random phase and decays as exp(−u / 50 µs)
// over 250 µs. CW: cwamplitude · exp(j 2π cwfrequency t) from stream time 0.
#pragma once

#include "scenario.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velkor::synth {

// xoshiro256** seeded through splitmix64: a small, fast generator whose
// sequence is the same on every platform.
class Random {
public:
  explicit Random(uint64_t seed);
  uint64_t next();
  double uniform(); // [0, 1)

private:
  std::array<uint64_t, 4> s_{};
};

inline constexpr double kImpulseDecay = 50e-6;   // [s]
inline constexpr double kImpulseLength = 250e-6; // [s]

class Generator {
public:
  explicit Generator(const Scenario& scenario);

  // Fills the next `count` frames (re and im, both `count` long) and advances.
  void next(std::size_t count, float* re, float* im);

  int64_t position() const { return position_; } // frames made so far
  int64_t impulses() const { return impulseCount_; }

private:
  struct Impulse {
    double time;   // stream time [s]
    double re, im; // complex peak
  };
  void addPulses(const StationTruth& station, int64_t first, std::size_t count, float* re, float* im) const;
  void addNoise(std::size_t count, float* re, float* im);
  void addImpulses(int64_t first, std::size_t count, float* re, float* im);
  void addCw(int64_t first, std::size_t count, float* re, float* im) const;

  const Scenario& scenario_;
  double rate_;     // true sample rate [Hz]
  double pulseEnd_; // [s]
  int64_t position_ = 0;
  Random noise_;
  Random impulseRandom_;
  double nextImpulse_ = 0; // stream time of the next impulse not yet drawn [s]
  std::vector<Impulse> pending_;
  int64_t impulseCount_ = 0;
};

} // namespace velkor::synth
