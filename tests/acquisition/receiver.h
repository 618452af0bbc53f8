// A receiver reduced to its sample input: settings, a scratch directory for
// the input file, a test platform, and helpers to read the decoded samples.
#pragma once

#include "acquisition/source.h"
#include "core/startup.h"

#include "support/testplatform.h"
#include "support/wavfile.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace velkor::test {

struct Sample {
  int16_t re;
  int16_t im;
  bool operator==(const Sample&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Sample& s) { return out << "(" << s.re << ", " << s.im << ")"; }

inline std::string clockTextAt(double timer) {
  const auto second = static_cast<long long>(std::floor(timer)) % 86400;
  char text[16];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", second / 3600, second / 60 % 60, second % 60);
  return text;
}

struct Receiver {
  ScratchDir dir;
  TestPlatform t;
  State s;

  explicit Receiver(const std::string& inputName = "in.wav", bool wav = true) {
    s.inputfile = dir.file(inputName);
    s.wavinput = wav ? 1 : 0;
    // The PC clock reads the timer as the time of day, so calibrations end.
    t.clock.timeAt = clockTextAt;
  }

  // Start-up as far as the sample input goes.
  void start() {
    computeBlockGeometry(s);
    dimensionArrays(s);
    s.nominalsr = s.sr;
    s.blockstart = -s.overlap / s.sr;
    s.blockend = 0;
    s.newsamples = 0;
    initialiseDecoder(s);
    openSource(s, t.platform);
  }

  std::vector<Sample> newSamples() const {
    std::vector<Sample> out;
    for (int32_t i = s.overlap; i < s.overlap + s.newsamples; ++i)
      out.push_back({s.samplere[static_cast<std::size_t>(i)], s.sampleim[static_cast<std::size_t>(i)]});
    return out;
  }

  // Reads blocks until the input is used up, as the main cycle does.
  std::vector<Sample> readAll() {
    std::vector<Sample> out;
    while (s.inputremaining > 0) {
      readBlock(s, t.platform);
      auto block = newSamples();
      out.insert(out.end(), block.begin(), block.end());
    }
    return out;
  }
};

// Interleaved values of `frames` stereo frames with a recognisable pattern.
inline std::vector<int16_t> rampFrames(int32_t frames) {
  std::vector<int16_t> values;
  for (int32_t k = 0; k < frames; ++k) {
    values.push_back(static_cast<int16_t>(k % 20000 - 10000));
    values.push_back(static_cast<int16_t>(7 * k % 30011 - 15000));
  }
  return values;
}

inline std::vector<Sample> asSamples(const std::vector<int16_t>& interleaved) {
  std::vector<Sample> out;
  for (std::size_t i = 0; i + 1 < interleaved.size(); i += 2) out.push_back({interleaved[i], interleaved[i + 1]});
  return out;
}

} // namespace velkor::test
