// Speed of the TAI synchronisation's inner loops: the averaging (every sample
// once per entry, with or without the mixer) and the phase-code correlation.
#include "core/startup.h"
#include "timing/syncsteps.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

using velkor::State;
using velkor::TaiAverage;

// Ten synchronisation entries on different chains, one full block of noise.
State averagingState(double sr, bool mixing) {
  State s;
  s.sr = sr;
  s.overlap = 256;
  s.blocklength = static_cast<int32_t>(std::floor(sr / 5512.5 + 0.5)) * 1024;
  s.buffersize = s.overlap + s.blocklength;
  s.bandcenter = mixing ? 12000.0 : 0.0;
  const int32_t gris[10] = {7499, 6731, 8000, 9007, 7001, 5990, 6780, 8390, 9930, 4990};
  for (int32_t gri : gris) {
    s.taigri.push_back(gri);
    s.tailetter.push_back('M');
    s.taivalue.push_back(1);
    s.taidelay.push_back(0);
    s.taidistance.push_back(0);
    double harmonic = std::nearbyint(12.0 / 100 * gri);
    s.tailineoffset.push_back(mixing ? harmonic * 100000 / gri - 12000.0 : 0.0);
  }
  s.taicount = 10;
  velkor::dimensionArrays(s);
  std::mt19937 engine(1);
  std::uniform_int_distribution<int> sample(-3000, 3000);
  for (std::size_t i = 0; i < s.samplere.size(); ++i) {
    s.samplere[i] = static_cast<int16_t>(sample(engine));
    s.sampleim[i] = static_cast<int16_t>(sample(engine));
  }
  s.newsamples = s.blocklength;
  s.blockstart = -s.overlap / s.sr;
  s.blockend = s.blocklength / s.sr;
  return s;
}

// Arguments: sample rate [Hz], mixer on (1) or off (0). Rate: input samples
// per second of processing time, all ten entries included.
void averaging(benchmark::State& bench) {
  State s = averagingState(static_cast<double>(bench.range(0)), bench.range(1) != 0);
  TaiAverage average = velkor::beginAverage(s);
  for (auto _ : bench) {
    velkor::averageBlock(s, average);
    benchmark::DoNotOptimize(average.taisumre.data());
    benchmark::ClobberMemory();
    // The same block again, as the next one in stream time.
    s.blockstart = s.blockend - s.overlap / s.sr;
    s.blockend = s.blockstart + (s.newsamples + s.overlap) / s.sr;
  }
  bench.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(bench.iterations()) * s.newsamples, benchmark::Counter::kIsRate);
}
BENCHMARK(averaging)->ArgsProduct({{48000, 192000}, {0, 1}})->ArgNames({"sr", "mixing"})->Unit(benchmark::kMicrosecond);

// One entry's correlation over its whole window. Rate: lags per second.
void correlation(benchmark::State& bench) {
  State s = averagingState(static_cast<double>(bench.range(0)), false);
  TaiAverage average = velkor::beginAverage(s);
  for (std::size_t i = 0; i < average.taisumre.size(); ++i) {
    average.taisumre[i] = static_cast<int32_t>(i * 7919 % 20001) - 10000;
    average.taisumim[i] = static_cast<int32_t>(i * 104729 % 20001) - 10000;
  }
  const auto length = static_cast<std::size_t>(average.windows[0].taiwindowend - average.windows[0].taiwindowstart);
  std::vector<float> mastercorr(length), secondarycorr(length);
  const velkor::TaiPulsePattern pattern = velkor::pulsePattern(s.taigri[0], s.sr);
  for (auto _ : bench) {
    velkor::correlateWindow(average, 0, pattern, mastercorr, secondarycorr);
    benchmark::DoNotOptimize(mastercorr.data());
    benchmark::ClobberMemory();
  }
  bench.counters["lags/s"] =
      benchmark::Counter(static_cast<double>(bench.iterations()) * static_cast<double>(length),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(correlation)->Arg(48000)->Arg(192000)->ArgName("sr")->Unit(benchmark::kMicrosecond);

} // namespace
