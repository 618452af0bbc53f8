// The receiver's hot loop: integrateBlock over 20 stations at 48 kHz, in the
// plain, noise-blanker and mixing paths. Items are input samples, so the
// reported rate is samples per second of processing.
#include "core/startup.h"
#include "processing/integration.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

namespace {

using velkor::State;

enum Mode { plain, blanking, mixing, plainWithBlankedStations };

// Eight-pulse (secondary) or nine-pulse (master) pattern with the Loran-C codes.
void fillPattern(State& s, std::size_t station, bool master) {
  const char* codes = velkor::kPhaseCodes;
  double gri = s.stationgri[station];
  if (master) {
    s.pulsecount[station] = 18;
    for (std::size_t k = 0; k < 18; ++k) {
      double step = 0.001;
      if (k == 7 || k == 16) step = 0.002;
      if (k == 8 || k == 17) step = (gri - 900) * 1e-5;
      s.pulseinterval[station][k] = step;
      s.pulsesign[station][k] = codes[k] == '1' ? 1 : -1;
    }
  } else {
    s.pulsecount[station] = 16;
    for (std::size_t k = 0; k < 16; ++k) {
      s.pulseinterval[station][k] = (k == 7 || k == 15) ? (gri - 700) * 1e-5 : 0.001;
      s.pulsesign[station][k] = codes[18 + k] == '1' ? 1 : -1;
    }
  }
}

void setUp(State& s, Mode mode) {
  const int32_t gris[] = {5930, 6731, 7499, 8000, 9940, 6080, 7270, 8290, 9610, 4990};
  s.sr = 48000;
  s.nominalsr = s.sr;
  s.displaysamples = 24;
  s.overlap = 256;
  s.blocklength = 9216;
  s.buffersize = s.overlap + s.blocklength;
  s.stationcount = 20;
  s.propagationspeed = 297145696.0f;
  s.nb = mode == blanking ? 1 : 0;
  s.bandcenter = mode == mixing ? 1000.0 : 0.0;
  s.nbinit = 4.0e6f; // a few samples of the noise lie above it
  s.blanklength = 8;
  velkor::dimensionArrays(s);
  for (std::size_t i = 0; i < 20; ++i) {
    bool blanked = mode == plainWithBlankedStations && i < 2;
    s.stationgri.push_back(gris[i / 2]);
    s.stationletter.push_back(i % 2 == 0 ? 'M' : 'X');
    s.stationblanked.push_back(blanked ? 1 : 0);
    s.stationdelay.push_back(static_cast<float>(3.7 * static_cast<double>(i)));
    s.stationdistance.push_back(static_cast<float>(100 * i));
    fillPattern(s, i, i % 2 == 0);
    s.blankingweight[i] = 1.0f;
  }
  for (int32_t i = 0; i < 20; ++i) s.stationorder.push_back(i);

  std::mt19937 engine(7);
  std::normal_distribution<float> noise(0.0f, 1000.0f);
  for (std::size_t k = 0; k < s.samplere.size(); ++k) {
    s.samplere[k] = static_cast<int16_t>(noise(engine));
    s.sampleim[k] = static_cast<int16_t>(noise(engine));
    float re = s.samplere[k];
    float im = s.sampleim[k];
    s.samplepower[k] = re * re + im * im;
  }
  s.blockstart = -s.overlap / s.sr;
  s.blockend = 0;
  velkor::setupStationTiming(s);
}

void integrate(benchmark::State& bench, Mode mode) {
  State s;
  setUp(s, mode);
  for (auto _ : bench) {
    // Time stamps advance as after a block read; the buffer contents stay.
    s.blockstart = s.blockend - s.overlap / s.sr;
    s.blockend = s.blockstart + s.buffersize / s.sr;
    velkor::integrateBlock(s);
    benchmark::DoNotOptimize(s.shortsumre.data());
    benchmark::ClobberMemory();
  }
  bench.SetItemsProcessed(static_cast<int64_t>(bench.iterations()) * s.blocklength);
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
