// Speed of velkor-synth: ten stations at 48 kHz stereo with noise, impulses
// and a CW interferer, as samples made and written per second of wall time.
// The counter "realtime" is seconds of recording per second of work.
#include "generator.h"
#include "recording.h"
#include "samplewriter.h"
#include "scenario.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using velkor::TableRecord;
using namespace velkor::synth;

TableRecord station(int gri, const char* letter, double lat, double lon, float delay) {
  TableRecord r;
  r.gri = gri;
  r.letter = letter;
  r.name = "bench";
  r.lat = lat;
  r.lon = lon;
  r.delay = delay;
  return r;
}

Scenario tenStations(double seconds, const std::string& output) {
  std::vector<TableRecord> table = {station(7499, "M", 54.81, 8.29, 0),      station(7499, "X", 49.15, -1.50, 14100),
                                    station(7499, "Y", 61.30, 4.70, 29500),  station(6731, "M", 49.15, -1.50, 0),
                                    station(6731, "X", 43.74, -1.38, 13000), station(6731, "Z", 54.81, 8.29, 42100),
                                    station(9007, "M", 62.30, -7.07, 0),     station(9007, "X", 68.64, 14.46, 28000),
                                    station(7001, "M", 68.64, 14.46, 0),     station(7001, "Y", 70.85, 29.20, 29100)};
  SynthConfig c;
  c.lat = 48.39;
  c.lon = -4.49;
  c.sr = 48000;
  c.ppm = 12.5;
  c.date = "03-01-2015";
  c.time = "12:00:00.35";
  c.duration = seconds;
  c.noise = 2500;
  c.impulserate = 4;
  c.impulseamplitude = 20000;
  c.cwfrequency = 2300;
  c.cwamplitude = 300;
  c.output = output;
  for (const TableRecord& r : table) c.stations.push_back({r.gri, r.letter[0], 0.5, 0});
  return buildScenario(c, table);
}

// Samples only, in the blocks the program uses.
void BM_SynthGenerate(benchmark::State& state) {
  Scenario s = tenStations(10, "/dev/null");
  std::vector<float> re(16384), im(16384);
  for (auto _ : state) {
    Generator g(s);
    for (int64_t left = s.frames; left > 0; left -= 16384) {
      auto n = static_cast<std::size_t>(std::min<int64_t>(left, 16384));
      g.next(n, re.data(), im.data());
    }
    benchmark::DoNotOptimize(re.data());
  }
  state.counters["realtime"] =
      benchmark::Counter(10.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SynthGenerate)->Unit(benchmark::kMillisecond);

// Samples, quantisation and writing (to /dev/null).
void BM_SynthRecording(benchmark::State& state) {
  Scenario s = tenStations(10, "/dev/null");
  for (auto _ : state) benchmark::DoNotOptimize(writeRecording(s).clipped);
  state.counters["realtime"] =
      benchmark::Counter(10.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SynthRecording)->Unit(benchmark::kMillisecond);

} // namespace
