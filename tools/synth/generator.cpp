#include "generator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velkor::synth {

namespace {

uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

uint64_t splitmix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

constexpr double kTwoPi = 2 * std::numbers::pi;

} // namespace

Random::Random(uint64_t seed) {
  uint64_t state = seed;
  for (uint64_t& word : s_) word = splitmix(state);
}

uint64_t Random::next() {
  uint64_t result = rotl(s_[1] * 5, 7) * 9;
  uint64_t t = s_[1] << 17;
  s_[2] ^= s_[0];
  s_[3] ^= s_[1];
  s_[1] ^= s_[2];
  s_[0] ^= s_[3];
  s_[2] ^= t;
  s_[3] = rotl(s_[3], 45);
  return result;
}

double Random::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

Generator::Generator(const Scenario& scenario)
    : scenario_(scenario), rate_(scenario.trueRate), pulseEnd_(scenario.config.pulseend * 1e-6),
      noise_(scenario.config.seed), impulseRandom_(scenario.config.seed ^ 0x5DEECE66Dull) {
  if (scenario.config.impulserate > 0)
    nextImpulse_ = -std::log(1.0 - impulseRandom_.uniform()) / scenario.config.impulserate;
}

void Generator::next(std::size_t count, float* re, float* im) {
  std::fill(re, re + count, static_cast<float>(scenario_.config.dcre));
  std::fill(im, im + count, static_cast<float>(scenario_.config.dcim));
  for (const StationTruth& station : scenario_.stations) addPulses(station, position_, count, re, im);
  if (scenario_.config.noise > 0) addNoise(count, re, im);
  if (scenario_.config.impulserate > 0) addImpulses(position_, count, re, im);
  if (scenario_.config.cwamplitude != 0) addCw(position_, count, re, im);
  position_ += static_cast<int64_t>(count);
}

void Generator::addPulses(const StationTruth& st, int64_t first, std::size_t count, float* re, float* im) const {
  if (count == 0 || st.amplitude == 0) return;
  const double tStart = static_cast<double>(first) / rate_;
  const double tEnd = static_cast<double>(first + static_cast<int64_t>(count) - 1) / rate_;
  const double P = st.pci;
  const double a0 = st.streamArrival;
  const double omega = kTwoPi * scenario_.basebandFrequency;
  const double phase0 = st.carrierPhase * std::numbers::pi / 180.0;
  const int64_t last = first + static_cast<int64_t>(count) - 1;
  const double inverseRise = 1.0 / kPulseRise;
  int64_t kFirst = static_cast<int64_t>(std::floor((tStart - pulseEnd_ - a0) / P)) - 1;
  int64_t kLast = static_cast<int64_t>(std::floor((tEnd - a0) / P));
  for (int64_t k = kFirst; k <= kLast; ++k) {
    const double pciStart = a0 + static_cast<double>(k) * P;
    for (std::size_t i = 0; i < st.pulseOffsets.size(); ++i) {
      const double tp = pciStart + st.pulseOffsets[i];
      int64_t n0 = std::max(first, static_cast<int64_t>(std::ceil(tp * rate_)));
      int64_t n1 = std::min(last, static_cast<int64_t>(std::floor((tp + pulseEnd_) * rate_)));
      if (n0 > n1) continue;
      const double a = st.amplitude * st.pulseSigns[i];
      for (int64_t n = n0; n <= n1; ++n) {
        const double t = static_cast<double>(n) / rate_;
        const double x = (t - tp) * inverseRise;
        const double envelope = a * x * x * std::exp(2.0 - 2.0 * x);
        const double phase = phase0 + omega * t;
        const std::size_t j = static_cast<std::size_t>(n - first);
        re[j] += static_cast<float>(envelope * std::cos(phase));
        im[j] += static_cast<float>(envelope * std::sin(phase));
      }
    }
  }
}

void Generator::addNoise(std::size_t count, float* re, float* im) {
  const double rms = scenario_.config.noise;
  for (std::size_t j = 0; j < count; ++j) {
    const double u1 = 1.0 - noise_.uniform(); // (0, 1]
    const double u2 = noise_.uniform();
    const double r = rms * std::sqrt(-2.0 * std::log(u1));
    const double angle = kTwoPi * u2;
    re[j] += static_cast<float>(r * std::cos(angle));
    im[j] += static_cast<float>(r * std::sin(angle));
  }
}

void Generator::addImpulses(int64_t first, std::size_t count, float* re, float* im) {
  const double blockEnd = static_cast<double>(first + static_cast<int64_t>(count)) / rate_;
  const double rate = scenario_.config.impulserate;
  while (nextImpulse_ < blockEnd) {
    const double angle = kTwoPi * impulseRandom_.uniform();
    const double peak = scenario_.config.impulseamplitude;
    pending_.push_back({nextImpulse_, peak * std::cos(angle), peak * std::sin(angle)});
    ++impulseCount_;
    nextImpulse_ += -std::log(1.0 - impulseRandom_.uniform()) / rate;
  }
  const int64_t last = first + static_cast<int64_t>(count) - 1;
  for (const Impulse& p : pending_) {
    int64_t n0 = std::max(first, static_cast<int64_t>(std::ceil(p.time * rate_)));
    int64_t n1 = std::min(last, static_cast<int64_t>(std::floor((p.time + kImpulseLength) * rate_)));
    for (int64_t n = n0; n <= n1; ++n) {
      const double decay = std::exp(-(static_cast<double>(n) / rate_ - p.time) / kImpulseDecay);
      const std::size_t j = static_cast<std::size_t>(n - first);
      re[j] += static_cast<float>(p.re * decay);
      im[j] += static_cast<float>(p.im * decay);
    }
  }
  std::erase_if(pending_,
                [&](const Impulse& p) { return (p.time + kImpulseLength) * rate_ < static_cast<double>(last + 1); });
}

void Generator::addCw(int64_t first, std::size_t count, float* re, float* im) const {
  const double a = scenario_.config.cwamplitude;
  const double f = scenario_.config.cwfrequency / rate_; // cycles per sample
  for (std::size_t j = 0; j < count; ++j) {
    const double cycles = f * static_cast<double>(first + static_cast<int64_t>(j));
    const double angle = kTwoPi * (cycles - std::floor(cycles));
    re[j] += static_cast<float>(a * std::cos(angle));
    im[j] += static_cast<float>(a * std::sin(angle));
  }
}

} // namespace velkor::synth
