// Speed of the TAI synchronisation's inner loops: the averaging (every sample
// once per entry, with or without the mixer) and the phase-code correlation.
#include "acquisition/source.h"
#include "timing/sync.h"
#include "top/record.h"
#include "timing/syncsteps.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

using velkor::Record;
using velkor::TaiAverage;

// Ten synchronisation entries on different chains, one full block of noise.
Record averagingState(double sr, bool mixing) {
  Record s;
  s.settings.sr = sr;
  s.acquisition.clock.sr = sr;
  s.acquisition.overlap = 256;
  s.acquisition.blocklength = static_cast<int32_t>(std::floor(sr / 5512.5 + 0.5)) * 1024;
  s.acquisition.buffersize = s.acquisition.overlap + s.acquisition.blocklength;
  s.settings.bandcenter = mixing ? 12000.0 : 0.0;
  const int32_t gris[10] = {7499, 6731, 8000, 9007, 7001, 5990, 6780, 8390, 9930, 4990};
  for (int32_t gri : gris) {
    s.settings.taientries.push_back({gri, 'M', 1});
    s.stations.taidelay.push_back(0);
    s.stations.taidistance.push_back(0);
    double harmonic = std::nearbyint(12.0 / 100 * gri);
    s.stations.tailineoffset.push_back(mixing ? harmonic * 100000 / gri - 12000.0 : 0.0);
  }
  velkor::dimensionBuffer(s.acquisition);
  velkor::prepareTiming(s.settings, s.timing);
  std::mt19937 engine(1);
  std::uniform_int_distribution<int> sample(-3000, 3000);
  for (std::size_t i = 0; i < s.acquisition.samplere.size(); ++i) {
    s.acquisition.samplere[i] = static_cast<int16_t>(sample(engine));
    s.acquisition.sampleim[i] = static_cast<int16_t>(sample(engine));
  }
  s.acquisition.newsamples = s.acquisition.blocklength;
  s.acquisition.clock.blockstart = -s.acquisition.overlap / s.acquisition.clock.sr;
  s.acquisition.clock.blockend = s.acquisition.blocklength / s.acquisition.clock.sr;
  return s;
}

// Arguments: sample rate [Hz], mixer on (1) or off (0). Rate: input samples
// per second of processing time, all ten entries included.
void averaging(benchmark::State& bench) {
  Record s = averagingState(static_cast<double>(bench.range(0)), bench.range(1) != 0);
  TaiAverage average = velkor::beginAverage(s.settings, s.acquisition);
  for (auto _ : bench) {
    velkor::averageBlock(s.settings, s.stations, s.acquisition, s.timing, average);
    benchmark::DoNotOptimize(average.taisumre.data());
    benchmark::ClobberMemory();
    // The same block again, as the next one in stream time.
    s.acquisition.clock.blockstart = s.acquisition.clock.blockend - s.acquisition.overlap / s.acquisition.clock.sr;
    s.acquisition.clock.blockend =
        s.acquisition.clock.blockstart + (s.acquisition.newsamples + s.acquisition.overlap) / s.acquisition.clock.sr;
  }
  bench.counters["samples/s"] = benchmark::Counter(static_cast<double>(bench.iterations()) * s.acquisition.newsamples,
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(averaging)->ArgsProduct({{48000, 192000}, {0, 1}})->ArgNames({"sr", "mixing"})->Unit(benchmark::kMicrosecond);

// One entry's correlation over its whole window. Rate: lags per second.
void correlation(benchmark::State& bench) {
  Record s = averagingState(static_cast<double>(bench.range(0)), false);
  TaiAverage average = velkor::beginAverage(s.settings, s.acquisition);
  for (std::size_t i = 0; i < average.taisumre.size(); ++i) {
    average.taisumre[i] = static_cast<int32_t>(i * 7919 % 20001) - 10000;
    average.taisumim[i] = static_cast<int32_t>(i * 104729 % 20001) - 10000;
  }
  const auto length = static_cast<std::size_t>(average.windows[0].taiwindowend - average.windows[0].taiwindowstart);
  std::vector<float> mastercorr(length), secondarycorr(length);
  const velkor::TaiPulsePattern pattern = velkor::pulsePattern(s.settings.taientries[0].gri, s.settings.sr);
  for (auto _ : bench) {
    velkor::correlateWindow(average, 0, pattern, mastercorr, secondarycorr);
    benchmark::DoNotOptimize(mastercorr.data());
    benchmark::ClobberMemory();
  }
  bench.counters["lags/s"] = benchmark::Counter(static_cast<double>(bench.iterations()) * static_cast<double>(length),
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(correlation)->Arg(48000)->Arg(192000)->ArgName("sr")->Unit(benchmark::kMicrosecond);

} // namespace
