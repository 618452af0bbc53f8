// The receiver's hot loop: integrateBlock over 20 stations at 48 kHz, in the
// plain, noise-blanker and mixing paths. Items are input samples, so the
// reported rate is samples per second of processing.
#include "acquisition/source.h"
#include "processing/integration.h"
#include "top/record.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

namespace {

using velkor::Record;

enum Mode { plain, blanking, mixing, plainWithBlankedStations };

// Eight-pulse (secondary) or nine-pulse (master) pattern with the Loran-C codes.
void fillPattern(Record& s, std::size_t station, bool master) {
  const char* codes = velkor::kPhaseCodes;
  double gri = s.stations.stationgri[station];
  if (master) {
    s.stations.pulsecount[station] = 18;
    for (std::size_t k = 0; k < 18; ++k) {
      double step = 0.001;
      if (k == 7 || k == 16) step = 0.002;
      if (k == 8 || k == 17) step = (gri - 900) * 1e-5;
      s.stations.pulseinterval[station][k] = step;
      s.stations.pulsesign[station][k] = codes[k] == '1' ? 1 : -1;
    }
  } else {
    s.stations.pulsecount[station] = 16;
    for (std::size_t k = 0; k < 16; ++k) {
      s.stations.pulseinterval[station][k] = (k == 7 || k == 15) ? (gri - 700) * 1e-5 : 0.001;
      s.stations.pulsesign[station][k] = codes[18 + k] == '1' ? 1 : -1;
    }
  }
}

void setUp(Record& s, Mode mode) {
  const int32_t gris[] = {5930, 6731, 7499, 8000, 9940, 6080, 7270, 8290, 9610, 4990};
  s.settings.sr = 48000;
  s.acquisition.clock.sr = s.settings.sr;
  s.settings.displaysamples = 24;
  s.acquisition.overlap = 256;
  s.acquisition.blocklength = 9216;
  s.acquisition.buffersize = s.acquisition.overlap + s.acquisition.blocklength;
  s.stations.propagationspeed = 297145696.0f;
  s.settings.nb = mode == blanking ? 1 : 0;
  s.settings.bandcenter = mode == mixing ? 1000.0 : 0.0;
  s.settings.nbinit = 4.0e6f; // a few samples of the noise lie above it
  s.stations.blanklength = 8;
  s.stations.stationgri.assign(20, 0);
  velkor::prepareProcessing(s.settings, s.stations, s.processing);
  velkor::dimensionBuffer(s.acquisition);
  s.stations.pulsecount.assign(20, 0);
  s.stations.pulseinterval.assign(20, {});
  s.stations.pulsesign.assign(20, {});
  s.stations.blankingweight.assign(20, 0);
  s.stations.stationgri.clear();
  for (std::size_t i = 0; i < 20; ++i) {
    bool blanked = mode == plainWithBlankedStations && i < 2;
    s.stations.stationgri.push_back(gris[i / 2]);
    s.stations.stationletter.push_back(i % 2 == 0 ? 'M' : 'X');
    s.stations.stationblanked.push_back(blanked ? 1 : 0);
    s.stations.stationdelay.push_back(static_cast<float>(3.7 * static_cast<double>(i)));
    s.stations.stationdistance.push_back(static_cast<float>(100 * i));
    fillPattern(s, i, i % 2 == 0);
    s.stations.blankingweight[i] = 1.0f;
  }
  for (int32_t i = 0; i < 20; ++i) s.stations.stationorder.push_back(i);

  std::mt19937 engine(7);
  std::normal_distribution<float> noise(0.0f, 1000.0f);
  for (std::size_t k = 0; k < s.acquisition.samplere.size(); ++k) {
    s.acquisition.samplere[k] = static_cast<int16_t>(noise(engine));
    s.acquisition.sampleim[k] = static_cast<int16_t>(noise(engine));
    float re = s.acquisition.samplere[k];
    float im = s.acquisition.sampleim[k];
    s.acquisition.samplepower[k] = re * re + im * im;
  }
  s.acquisition.clock.blockstart = -s.acquisition.overlap / s.acquisition.clock.sr;
  s.acquisition.clock.blockend = 0;
  velkor::setupStationTiming(s.settings, s.stations, s.acquisition, s.timing, s.processing);
}

void integrate(benchmark::State& bench, Mode mode) {
  Record s;
  setUp(s, mode);
  for (auto _ : bench) {
    // Time stamps advance as after a block read; the buffer contents stay.
    s.acquisition.clock.blockstart = s.acquisition.clock.blockend - s.acquisition.overlap / s.acquisition.clock.sr;
    s.acquisition.clock.blockend = s.acquisition.clock.blockstart + s.acquisition.buffersize / s.acquisition.clock.sr;
    velkor::integrateBlock(s.settings, s.stations, s.acquisition, s.processing);
    benchmark::DoNotOptimize(s.processing.shortsumre.data());
    benchmark::ClobberMemory();
  }
  bench.SetItemsProcessed(static_cast<int64_t>(bench.iterations()) * s.acquisition.blocklength);
}

void BM_IntegratePlain(benchmark::State& bench) { integrate(bench, plain); }
void BM_IntegrateBlanker(benchmark::State& bench) { integrate(bench, blanking); }
void BM_IntegrateMixing(benchmark::State& bench) { integrate(bench, mixing); }
void BM_IntegratePlainTwoBlanked(benchmark::State& bench) { integrate(bench, plainWithBlankedStations); }

} // namespace

BENCHMARK(BM_IntegratePlain);
BENCHMARK(BM_IntegrateBlanker);
BENCHMARK(BM_IntegrateMixing);
BENCHMARK(BM_IntegratePlainTwoBlanked);
