// The synthesised samples checked against the truth from first principles.
#include "synthtestutil.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velkor::synth::test {

namespace {

constexpr double kPi = std::numbers::pi;

Scenario scenarioOf(const SynthConfig& config) { return buildScenario(config, testTable()); }

// The folded recording: frame n adds into cell round(frac(n / rate / pci) · cells).
std::vector<Complex> fold(const std::vector<Complex>& x, double rate, double pci, std::size_t cells) {
  std::vector<Complex> f(cells);
  for (std::size_t n = 0; n < x.size(); ++n) {
    double cycles = static_cast<double>(n) / rate / pci;
    auto cell = static_cast<std::size_t>(std::nearbyint((cycles - std::floor(cycles)) * static_cast<double>(cells)));
    f[cell % cells] += x[n];
  }
  return f;
}

// Correlation magnitude of the folded window with a station's pulse pattern at every lag.
std::vector<double> patternCorrelation(const std::vector<Complex>& folded, double rate, int32_t gri, bool master) {
  const auto offsets = pulseOffsets(gri, master);
  const auto signs = codeSigns(master);
  std::vector<double> shape;
  for (double u = 0; u <= 500e-6; u += 1 / rate) shape.push_back(envelope(u));
  const std::size_t cells = folded.size();
  std::vector<double> out(cells);
  for (std::size_t lag = 0; lag < cells; ++lag) {
    Complex sum = 0;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      auto base = lag + static_cast<std::size_t>(std::nearbyint(offsets[i] * rate));
      for (std::size_t u = 0; u < shape.size(); ++u) sum += signs[i] * shape[u] * folded[(base + u) % cells];
    }
    out[lag] = std::abs(sum);
  }
  return out;
}

} // namespace

TEST(SynthSignal, FoldedRecordingPeaksAtEveryStationsTruePosition) {
  SynthConfig c = quietConfig();
  c.date = "03-01-2015";
  c.time = "12:00:00.35";
  c.duration = 6;
  c.noise = 200; // well below the integrated pulses
  c.stations = {{7499, 'M', 1.0, 0}, {7499, 'X', 1.0, 40}, {6731, 'Z', 0.8, -100}, {9007, 'M', 0.7, 170}};
  Scenario s = scenarioOf(c);
  auto x = generateAll(s);
  for (const StationTruth& t : s.stations) {
    // one PCI of the recording, folded; the station's own code correlates best at its own position
    const auto cells = static_cast<std::size_t>(std::floor(t.pci * s.trueRate));
    auto folded = fold(x, s.trueRate, t.pci, cells);
    auto correlation = patternCorrelation(folded, s.trueRate, t.gri, t.master);
    auto best = static_cast<double>(std::max_element(correlation.begin(), correlation.end()) - correlation.begin());
    double expected = t.streamArrival / t.pci * static_cast<double>(cells);
    double d = std::fabs(best - expected);
    EXPECT_LE(std::min(d, static_cast<double>(cells) - d), 1.0) << t.gri << t.letter;
  }
}

TEST(SynthSignal, MatchedFilterFindsArrivalAmplitudeAndCarrierPhase) {
  SynthConfig c = quietConfig();
  c.date = "2015-03-01";
  c.time = "12:00:00.35";
  for (const StationEntry& entry : {StationEntry{6731, 'Z', 0.8, 33}, StationEntry{9007, 'M', 1.2, -75}}) {
    c.stations = {entry}; // alone: other chains' pulses would overlap some of its pulses
    Scenario s = scenarioOf(c);
    auto x = generateAll(s);
    const StationTruth& t = s.stations[0];
    double found = findStart(x, s.trueRate, t.gri, t.master, t.streamArrival, 40e-6, 2e-6, 0, 8);
    EXPECT_NEAR(found, t.streamArrival, 0.1e-6) << t.gri << t.letter;
    Complex m = matchedFilter(x, s.trueRate, t.gri, t.master, t.streamArrival, 0, 8);
    EXPECT_NEAR(std::abs(m), t.amplitude, 1e-3 * t.amplitude);
    EXPECT_NEAR(wrapRadians(std::arg(m) - t.carrierPhase * kPi / 180), 0, 1e-4);
  }
}

TEST(SynthSignal, EnvelopeAndPhaseCodeSamplesFollowTheModel) {
  SynthConfig c = quietConfig();
  c.origin = true;
  c.stations = {{7499, 'M', 1.0, 10}};
  Scenario s = scenarioOf(c);
  auto x = generateAll(s, 4096);
  const StationTruth& t = s.stations[0];
  const auto signs = codeSigns(true);
  const auto offsets = pulseOffsets(7499, true);
  Complex carrier = std::polar(1.0, t.carrierPhase * kPi / 180);
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    double tp = t.streamArrival + t.pci + offsets[i];
    auto n0 = static_cast<int64_t>(std::ceil(tp * s.trueRate));
    for (int64_t n = n0; n < n0 + 24; ++n) {
      Complex expected = t.amplitude * signs[i] * envelope(static_cast<double>(n) / s.trueRate - tp) * carrier;
      EXPECT_NEAR(std::abs(x[static_cast<std::size_t>(n)] - expected), 0, 1e-3) << i << " " << n;
    }
    EXPECT_EQ(std::abs(x[static_cast<std::size_t>(n0 - 1)]), 0.0) << "nothing before the pulse start";
  }
  // at grid origin the stream and the 1958 grid coincide
  EXPECT_DOUBLE_EQ(t.streamArrival, t.arrival);
}

TEST(SynthSignal, SampleClockErrorMovesPulsesByTheTrueRate) {
  SynthConfig c = quietConfig();
  c.origin = true;
  c.sr = 8000;
  c.ppm = 250;
  c.duration = 21;
  c.stations = {{7499, 'M', 1.0, 0}};
  Scenario s = scenarioOf(c);
  ASSERT_DOUBLE_EQ(s.trueRate, 8002.0);
  auto x = generateAll(s);
  const StationTruth& t = s.stations[0];
  // find the first and the 133rd PCI's pulses anywhere within ± 6 ms of the truth, in sample indices
  auto measure = [&](int k) {
    double start = findStart(x, s.trueRate, 7499, true, t.streamArrival, 6e-3, 20e-6, k, k);
    return (start + k * t.pci) * s.trueRate;
  };
  double first = measure(0);
  double later = measure(133);
  double span = 133 * t.pci;
  EXPECT_NEAR(later - first, span * s.trueRate, 0.05);
  EXPECT_GT(std::fabs((later - first) - span * c.sr), 4.5) << "a nominal-rate drift would be visible";
  EXPECT_NEAR(first, t.streamArrivalSamples, 0.05);
}

TEST(SynthSignal, BandCenterPutsTheCarrierAtMinusBandcenter) {
  SynthConfig c = quietConfig();
  c.origin = true;
  c.bandcenter = 1500;
  c.stations = {{7499, 'X', 1.0, 0}};
  Scenario s = scenarioOf(c);
  EXPECT_DOUBLE_EQ(s.basebandFrequency, -1500);
  auto x = generateAll(s);
  const StationTruth& t = s.stations[0];
  const auto signs = codeSigns(false);
  const auto offsets = pulseOffsets(7499, false);
  for (int k = 0; k < 5; ++k) {
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      double tp = t.streamArrival + k * t.pci + offsets[i];
      auto n = static_cast<std::size_t>(std::llround((tp + 65e-6) * s.trueRate));
      double time = static_cast<double>(n) / s.trueRate;
      double expected = t.carrierPhase * kPi / 180 + 2 * kPi * -1500 * time + (signs[i] < 0 ? kPi : 0);
      EXPECT_NEAR(wrapRadians(std::arg(x[n]) - expected), 0, 1e-4) << k << " " << i;
    }
  }
}

TEST(SynthSignal, OscillatorErrorTurnsTheCarrierSlowly) {
  SynthConfig c = quietConfig();
  c.origin = true;
  c.sr = 8000;
  c.duration = 12;
  c.loerror = 2e-6; // 0.2 Hz at 100 kHz
  c.stations = {{7499, 'M', 1.0, 0}};
  Scenario s = scenarioOf(c);
  EXPECT_NEAR(s.basebandFrequency, -0.2, 1e-12);
  auto x = generateAll(s);
  const StationTruth& t = s.stations[0];
  const auto signs = codeSigns(true);
  const auto offsets = pulseOffsets(7499, true);
  // the carrier phase at every pulse's sample nearest the envelope peak, unwrapped, fitted by a line
  double previous = 0, turn = 0, st = 0, sp = 0, stt = 0, stp = 0, count = 0;
  for (int k = 0; (k + 1) * t.pci < 12; ++k) {
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      auto n = static_cast<std::size_t>(std::llround((t.streamArrival + k * t.pci + offsets[i] + 65e-6) * 8000));
      double time = static_cast<double>(n) / 8000;
      double phase = std::arg(x[n] * static_cast<double>(signs[i]));
      if (count > 0) turn += wrapRadians(phase - previous);
      previous = phase;
      double unwrapped = count > 0 ? turn : phase;
      if (count == 0) turn = phase;
      st += time, sp += unwrapped, stt += time * time, stp += time * unwrapped, ++count;
    }
  }
  double slope = (count * stp - st * sp) / (count * stt - st * st);
  EXPECT_NEAR(slope / (2 * kPi), -0.2, 1e-6);
  EXPECT_GT(std::fabs(turn), 2 * kPi * 2) << "more than two turns in 12 s";
}

TEST(SynthSignal, NoiseDcCwAndImpulsesHaveTheirConfiguredSize) {
  SynthConfig c = quietConfig();
  c.origin = true;
  c.sr = 8000;
  c.duration = 20;
  c.noise = 100;
  c.dcre = 12;
  c.dcim = -7;
  Scenario s = scenarioOf(c);
  auto x = generateAll(s);
  Complex mean = 0;
  for (const Complex& v : x) mean += v;
  mean /= static_cast<double>(x.size());
  double sre = 0, sim = 0;
  for (const Complex& v : x) {
    sre += (v.real() - mean.real()) * (v.real() - mean.real());
    sim += (v.imag() - mean.imag()) * (v.imag() - mean.imag());
  }
  EXPECT_NEAR(mean.real(), 12, 1.0);
  EXPECT_NEAR(mean.imag(), -7, 1.0);
  EXPECT_NEAR(std::sqrt(sre / static_cast<double>(x.size())), 100, 1.5);
  EXPECT_NEAR(std::sqrt(sim / static_cast<double>(x.size())), 100, 1.5);

  SynthConfig w = quietConfig();
  w.origin = true;
  w.sr = 8000;
  w.cwfrequency = -440;
  w.cwamplitude = 300;
  Scenario cw = scenarioOf(w);
  auto y = generateAll(cw);
  for (std::size_t n = 1; n < y.size(); n += 997) {
    EXPECT_NEAR(std::abs(y[n]), 300, 1e-3);
    EXPECT_NEAR(std::arg(y[n] / y[n - 1]), 2 * kPi * -440 / 8000, 1e-6);
  }

  SynthConfig p = quietConfig();
  p.origin = true;
  p.sr = 8000;
  p.duration = 50;
  p.impulserate = 20;
  p.impulseamplitude = 5000;
  Scenario imp = scenarioOf(p);
  Generator generator(imp);
  std::vector<float> re(static_cast<std::size_t>(imp.frames)), im(re.size());
  generator.next(re.size(), re.data(), im.data());
  EXPECT_NEAR(static_cast<double>(generator.impulses()), 1000, 160); // Poisson: 5 sigma
  // every impulse starts with at least e^(−125 us / 50 us) of its peak on its first sample
  std::size_t events = 0;
  float peak = 0;
  for (std::size_t n = 0; n < re.size(); ++n) {
    float a = std::hypot(re[n], im[n]);
    peak = std::max(peak, a);
    bool quietBefore = n == 0 || std::hypot(re[n - 1], im[n - 1]) < 50;
    if (a > 50 && quietBefore) ++events;
  }
  EXPECT_LE(peak, 2 * 5000.0f);
  EXPECT_GT(peak, 0.9f * 5000.0f);
  EXPECT_NEAR(static_cast<double>(events), static_cast<double>(generator.impulses()), 0.02 * 1000);
}

TEST(SynthSignal, SamplesDoNotDependOnTheBlockLength) {
  SynthConfig c = quietConfig();
  c.date = "06-30-2012";
  c.time = "23:59:59.999";
  c.noise = 50;
  c.impulserate = 30;
  c.impulseamplitude = 3000;
  c.cwfrequency = 1234;
  c.cwamplitude = 20;
  c.stations = {{7499, 'M', 1.0, 0}, {6731, 'X', 0.5, 90}};
  Scenario s = scenarioOf(c);
  auto a = generateAll(s, 16384);
  auto b = generateAll(s, 333);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t n = 0; n < a.size(); ++n) ASSERT_EQ(a[n], b[n]) << n;
}

} // namespace velkor::synth::test
