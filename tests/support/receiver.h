// A receiver reduced to its sample input: settings, a scratch directory for
// the input file, a test platform, and helpers to read the decoded samples.
#pragma once

#include "acquisition/source.h"
#include "ground/errors.h"
#include "top/input.h"
#include "top/startup.h"

#include "support/testplatform.h"
#include "support/wavfile.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace velkor::test {

using Sample = std::pair<int16_t, int16_t>; // real, imaginary
using Samples = std::vector<Sample>;

// "hh:mm:ss" of a time of day [s], wrapped into one day.
inline std::string clockText(double secondOfDay) {
  const auto s = (static_cast<long long>(std::floor(secondOfDay)) % 86400 + 86400) % 86400;
  char text[16];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

struct Receiver {
  ScratchDir dir;
  TestPlatform t;
  Record s;

  explicit Receiver(const std::string& inputName = "in.wav") {
    s.settings.inputfile = dir.file(inputName);
    s.settings.wavinput = inputName.ends_with(".wav") ? 1 : 0;
    t.clock.timeAt = clockText; // the timer reads as the time of day, so calibrations end
  }

  // Start-up as far as the sample input goes (no stations, no synchronisation).
  void start() {
    prepareIntegration(s);
    openInput(s, t.platform);
  }

  Outcome read() { return readNextBlock(s, t.platform); }

  Samples newSamples() const {
    Samples out;
    for (auto i = static_cast<std::size_t>(s.acquisition.overlap);
         i < static_cast<std::size_t>(s.acquisition.overlap + s.acquisition.newsamples); ++i)
      out.emplace_back(s.acquisition.samplere[i], s.acquisition.sampleim[i]);
    return out;
  }

  // Reads blocks until the input is used up, as the main cycle does.
  Samples readAll() {
    Samples out;
    while (s.acquisition.inputremaining > 0) {
      read();
      const auto block = newSamples();
      out.insert(out.end(), block.begin(), block.end());
    }
    return out;
  }
};

// Interleaved values of `frames` stereo frames with a recognisable pattern.
inline std::vector<int16_t> rampFrames(int32_t frames) {
  std::vector<int16_t> values;
  for (int32_t k = 0; k < frames; ++k)
    values.insert(values.end(), {static_cast<int16_t>(k % 20000 - 10000), static_cast<int16_t>(7 * k % 30011 - 15000)});
  return values;
}

inline Samples asSamples(const std::vector<int16_t>& interleaved) {
  Samples out;
  for (std::size_t i = 0; i + 1 < interleaved.size(); i += 2) out.emplace_back(interleaved[i], interleaved[i + 1]);
  return out;
}

} // namespace velkor::test
