// The synthesiser checked against its truth from first principles: pulse
// shape, phase codes and carrier of the documented model, the sample files it
// writes, the truth it reports and the program's refusals.
#include "generator.h"
#include "recording.h"
#include "scenario.h"
#include "synthtime.h"

#include "support/testplatform.h"
#include "support/wavfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <tuple>

namespace velkor::synth {

namespace {

using Complex = std::complex<double>;
constexpr double kPi = std::numbers::pi;

// A few western European stations (positions rounded, delays as published).
Scenario scenarioOf(const SynthConfig& c) {
  return buildScenario(c, {{7499, "M", "Sylt", 54.81, 8.29, 0, 250},
                           {7499, "X", "Lessay", 49.15, -1.51, 14100, 250},
                           {7499, "Y", "Vaerlandet", 61.30, 4.70, 29500, 250},
                           {9007, "M", "Ejde", 62.30, -7.07, 0, 250},
                           {6731, "Z", "Sylt", 54.81, 8.29, 42100, 250}});
}

// Brest, 8 kHz, 2 s from absolute time 0.
SynthConfig quietConfig() {
  SynthConfig c;
  std::tie(c.lat, c.lon, c.sr, c.duration, c.origin) = std::tuple(48.4, -4.5, 8000, 2, true);
  return c;
}

// All frames as I + jQ before quantisation, made in uneven blocks.
std::vector<Complex> generateAll(const Scenario& s, int64_t* impulses = nullptr) {
  Generator generator(s);
  std::vector<Complex> out;
  std::vector<float> re(333), im(333);
  for (int64_t left = s.frames; left > 0; left -= 333) {
    auto n = static_cast<std::size_t>(std::min<int64_t>(left, 333));
    generator.next(n, re.data(), im.data());
    for (std::size_t j = 0; j < n; ++j) out.emplace_back(re[j], im[j]);
  }
  if (impulses) *impulses = generator.impulses();
  return out;
}

double envelope(double u) { return u < 0 || u > 500e-6 ? 0 : std::pow(u / 65e-6, 2) * std::exp(2 - u / 32.5e-6); }

// Pulse starts within a PCI and their signs, from the published phase codes.
std::vector<std::pair<double, int>> pulses(int32_t gri, bool master) {
  const char* code = master ? "110010101100111110" : "1111100110101100";
  const int group = master ? 9 : 8;
  std::vector<std::pair<double, int>> p;
  for (int i = 0; code[i]; ++i) // 1 ms apart; a master's ninth 2 ms after its eighth; the second group a GRI later
    p.emplace_back(i / group * gri * 1e-5 + (i % group < 8 ? i % group : 9) * 1e-3, code[i] == '1' ? 1 : -1);
  return p;
}

// Interleaved sample values of a file's bytes (8 bit: byte − 128; 16 bit: little-endian).
std::vector<int16_t> decode(const std::string& b, int bits, std::size_t skip) {
  std::vector<int16_t> v;
  for (std::size_t i = skip; i < b.size(); i += static_cast<std::size_t>(bits / 8))
    v.push_back(static_cast<int16_t>(bits == 8 ? static_cast<uint8_t>(b[i]) - 128
                                               : static_cast<uint8_t>(b[i]) | static_cast<uint8_t>(b[i + 1]) << 8));
  return v;
}

} // namespace

TEST(SynthSignal, EveryStationPeaksAtItsTruePositionInTheFoldedRecording) {
  SynthConfig c = quietConfig();
  std::tie(c.date, c.time, c.sr, c.duration, c.noise) = std::tuple("03-01-2015", "12:00:00.35", 48000, 6, 200);
  c.stations = {{7499, 'M', 1.0, 0}, {7499, 'X', 1.0, 40}, {6731, 'Z', 0.8, -100}, {9007, 'M', 0.7, 170}};
  Scenario s = scenarioOf(c);
  auto x = generateAll(s);
  for (const StationTruth& t : s.stations) {
    // One PCI of cells, every sample added into its cell; then the station's
    // pulse shape and phase code correlated at every lag.
    const auto cells = static_cast<std::size_t>(t.pci * s.trueRate);
    std::vector<Complex> folded(cells);
    for (std::size_t n = 0; n < x.size(); ++n) {
      double cell = std::fmod(static_cast<double>(n) / s.trueRate, t.pci) / t.pci * static_cast<double>(cells);
      folded[static_cast<std::size_t>(std::nearbyint(cell)) % cells] += x[n];
    }
    const auto pattern = pulses(t.gri, t.master);
    std::vector<double> score(cells);
    for (std::size_t lag = 0; lag < cells; ++lag) {
      Complex sum = 0;
      for (auto [offset, sign] : pattern)
        for (std::size_t u = 0, at = lag + static_cast<std::size_t>(std::llround(offset * s.trueRate)); u < 24; ++u)
          sum += sign * envelope(static_cast<double>(u) / s.trueRate) * folded[(at + u) % cells];
      score[lag] = std::abs(sum);
    }
    double d = std::fabs(static_cast<double>(std::max_element(score.begin(), score.end()) - score.begin()) -
                         t.streamArrival / t.pci * static_cast<double>(cells));
    EXPECT_LE(std::min(d, static_cast<double>(cells) - d), 1.0) << t.gri << t.letter;
  }
}

TEST(SynthSignal, SamplesFollowTheModelAtTheTrueRateAndTheCarrierAfterTheOscillator) {
  SynthConfig c = quietConfig();
  std::tie(c.ppm, c.duration, c.bandcenter, c.loerror) = std::tuple(250, 12, 1500, 2e-6);
  const double rate = 8000 * (1 + 250e-6), f = -1500 - 2e-6 * 101500; // 0.2 Hz of oscillator error
  for (StationEntry station : {StationEntry{7499, 'X', 0.5, 30}, {9007, 'M', 1.2, -75}}) {
    c.stations = {station};
    Scenario s = scenarioOf(c);
    auto x = generateAll(s);
    const StationTruth& t = s.stations[0];
    EXPECT_NEAR(t.streamArrivalSamples, t.streamArrival * rate, 1e-6);
    EXPECT_NEAR(s.basebandFrequency, f, 1e-9);
    int checked = 0, wrong = 0; // samples around every pulse, from just before its start to past its end
    for (int k = 0; (k + 1) * t.pci < 12; ++k) {
      for (auto [offset, sign] : pulses(t.gri, t.master)) {
        double tp = t.streamArrival + k * t.pci + offset, phase = t.carrierPhase * kPi / 180;
        for (int64_t n = std::llround(tp * rate) - 1; n <= std::llround(tp * rate) + 4; ++n, ++checked) {
          double time = static_cast<double>(n) / rate;
          double a = 1000 * station.amplitude * sign * envelope(time - tp);
          wrong += std::abs(x[static_cast<std::size_t>(n)] - a * std::polar(1.0, phase + 2 * kPi * f * time)) > 0.01;
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "of " << checked << " samples of " << t.gri << t.letter;
  }
}

TEST(SynthSignal, NoiseDcCwAndImpulsesHaveTheirConfiguredSize) {
  SynthConfig c = quietConfig();
  std::tie(c.duration, c.noise, c.dcre, c.dcim, c.cwfrequency, c.cwamplitude) = std::tuple(20, 100, 12, -7, -440, 300);
  auto x = generateAll(scenarioOf(c));
  const auto frames = static_cast<double>(x.size());
  Complex mean = 0, tone = 0; // the tone is -440 Hz of amplitude 300 and phase 0 at stream time 0
  double re2 = 0, im2 = 0, reim = 0;
  for (std::size_t n = 0; n < x.size(); ++n) {
    mean += x[n] / frames, tone += x[n] * std::polar(1.0, 2 * kPi * 440 * static_cast<double>(n) / 8000) / frames;
    re2 += x[n].real() * x[n].real() / frames, im2 += x[n].imag() * x[n].imag() / frames;
    reim += x[n].real() * x[n].imag() / frames;
  }
  EXPECT_NEAR(std::abs(mean - Complex(12, -7)), 0, 1);
  EXPECT_NEAR(std::abs(tone - 300.0), 0, 1);
  EXPECT_NEAR(std::sqrt(re2 - 12 * 12 - 300 * 300 / 2), 100, 1.5) << "noise besides DC and tone";
  EXPECT_NEAR(std::sqrt(im2 - 7 * 7 - 300 * 300 / 2), 100, 1.5);
  EXPECT_NEAR(reim + 12 * 7, 0, 150) << "I and Q independent";

  std::tie(c.duration, c.noise, c.dcre, c.dcim, c.cwamplitude) = std::tuple(50, 0, 0, 0, 0);
  std::tie(c.impulserate, c.impulseamplitude) = std::tuple(20, 5000);
  int64_t impulses = 0, starts = 0;
  auto y = generateAll(scenarioOf(c), &impulses);
  double peak = 0;
  for (std::size_t n = 0; n < y.size(); ++n)
    peak = std::max(peak, std::abs(y[n])), starts += std::abs(y[n]) > 50 && (n == 0 || std::abs(y[n - 1]) < 50);
  EXPECT_NEAR(static_cast<double>(impulses), 1000, 160) << "Poisson: 5 sigma";
  EXPECT_NEAR(static_cast<double>(starts), static_cast<double>(impulses), 20) << "a few overlap";
  EXPECT_TRUE(peak > 0.9 * 5000 && peak <= 2 * 5000) << peak;
}

TEST(SynthFiles, LayoutsHeadersQuantisationAndClipping) {
  test::ScratchDir dir;
  using enum OutputKind;
  for (auto [kind, header, channels, bits, amplitude] :
       {std::tuple(Wav, 44, 2, 16, 1000), {Wav, 46, 1, 8, 1000}, {Raw, 44, 2, 8, 100}, {Raw, 44, 1, 16, 60000}}) {
    SynthConfig c = quietConfig();
    std::tie(c.kind, c.headerBytes, c.channels, c.bits) = std::tuple(kind, header, channels, bits);
    std::tie(c.amplitude, c.duration, c.ppm, c.noise, c.impulserate, c.impulseamplitude) =
        std::tuple(amplitude, 3.5, 100, 40, 10, 1000);
    c.stations = {{7499, 'M', 1, 0}, {7499, 'X', 0.5, 45}};
    c.output = dir.file("out");
    Scenario s = scenarioOf(c);
    RecordingResult result = writeRecording(s);
    const std::string bytes = dir.read("out");
    auto v = decode(bytes, bits, kind == Wav ? static_cast<std::size_t>(header) : 0);
    auto model = generateAll(s); // in other blocks than the writer's
    const auto width = static_cast<std::size_t>(channels);
    ASSERT_EQ(s.frames, 28003) << "3.5 s at the true rate";
    ASSERT_EQ(v.size(), model.size() * width);
    const double top = bits == 8 ? 127 : 32767;
    int64_t clipped = 0, wrong = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
      double value = i % width ? model[i / width].imag() : model[i / width].real(); // I first, then Q
      clipped += std::round(value) > top || std::round(value) < -top - 1;
      wrong += std::fabs(v[i] - std::clamp(value, -top - 1, top)) > 0.5001;
    }
    EXPECT_EQ(wrong, 0) << bits << " bits, " << channels << " channels";
    EXPECT_EQ(result.clipped, clipped);
    if (kind == Wav) { // the header's fields, at the nominal rate
      auto field = [&](std::size_t at, int size) {
        uint32_t x = 0;
        for (int b = size - 1; b >= 0; --b) x = x << 8 | static_cast<uint8_t>(bytes[at + static_cast<std::size_t>(b)]);
        return x;
      };
      const std::size_t data = static_cast<std::size_t>(header) - 8;
      EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(8, 8), "RIFFWAVEfmt ");
      EXPECT_EQ(field(4, 4), bytes.size() - 8);
      EXPECT_EQ(field(16, 4), header == 46 ? 18u : 16u);
      EXPECT_EQ(field(20, 2), 1u);
      EXPECT_EQ(field(22, 2), static_cast<uint32_t>(channels));
      EXPECT_EQ(field(24, 4), 8000u);
      EXPECT_EQ(field(28, 4), 8000u * static_cast<uint32_t>(channels * bits / 8));
      EXPECT_EQ(field(32, 2), static_cast<uint32_t>(channels * bits / 8));
      EXPECT_EQ(field(34, 2), static_cast<uint32_t>(bits));
      EXPECT_EQ(bytes.substr(data, 4), "data");
      EXPECT_EQ(field(data + 4, 4), bytes.size() - static_cast<std::size_t>(header));
    }
  }
}

TEST(SynthFiles, SplitFilesJoinIntoTheWholeAndTheSeedFixesTheBytes) {
  test::ScratchDir dir;
  SynthConfig c = quietConfig();
  std::tie(c.kind, c.duration, c.ppm, c.noise, c.seed) = std::tuple(OutputKind::Raw, 3.5, 100, 40, 7);
  std::tie(c.output, c.stations) = std::tuple(dir.file("whole"), std::vector<StationEntry>{{7499, 'M', 1.0, 0}});
  writeRecording(scenarioOf(c));
  std::tie(c.split, c.output) = std::tuple(1, dir.file("audio"));
  EXPECT_EQ(writeRecording(scenarioOf(c)).files.size(), 4u);
  std::string joined;
  for (std::string name : {"audio.000", "audio.001", "audio.002", "audio.003"}) {
    EXPECT_EQ(dir.read(name).size(), name == "audio.003" ? 16012u : 32000u) << "a second of nominal frames per file";
    joined += dir.read(name);
  }
  EXPECT_EQ(joined, dir.read("whole")) << "the same seed gives the same bytes";
  std::tie(c.split, c.seed, c.output) = std::tuple(0, 8, dir.file("other"));
  writeRecording(scenarioOf(c));
  EXPECT_NE(dir.read("other"), dir.read("whole"));
}

TEST(SynthTruth, ArrivalsOnTheGridAndTheirRecord) {
  SynthConfig c = quietConfig();
  std::tie(c.sr, c.origin, c.date, c.time, c.ppm) = std::tuple(48000, false, "03-01-2015", "12:00:00.35", 10);
  c.stations = {{7499, 'Y', 0.5, 10}, {6731, 'Z', 1, 0}};
  Scenario s = scenarioOf(c);
  for (const StationTruth& t : s.stations) { // the grid starts at absolute time 0, the stream at 1803902425.35
    double tau = t.emissionDelay + t.distance * 1000 / (299792458 / 1.0009 / 1.008);
    long double pci = t.gri / 50000.0L, stream = std::fmod(t.arrival - std::fmod(1803902425.35L, pci) + pci, pci);
    EXPECT_NEAR(t.arrival, std::fmod(tau, t.pci), 1e-12);
    EXPECT_NEAR(t.streamArrival, static_cast<double>(stream), 1e-8);
    EXPECT_NEAR(std::remainder(t.carrierPhase - t.phase + 360 * 1e5 * tau, 360), 0, 1e-4);
  }
  const std::string json = truthJson(s, {{"x.wav"}, 3, 4});
  for (const char* field :
       {"\"utc\": \"2015-03-01 12:00:00.350000\"", "\"internalwhole\": 1803902425", "\"leapseconds\": 3",
        "\"origin\": false", "\"nominal\": 48000", "\"true\": 48000.48", "\"files\": [\"x.wav\"]", "\"clipped\": 3",
        "\"impulses\": 4", "\"gri\": 7499", "\"letter\": \"Y\"", "\"name\": \"Vaerlandet\"", "\"master\": false",
        "\"amplitude\": 500", "\"emissiondelay\": 0.029499999"})
    EXPECT_NE(json.find(field), std::string::npos) << field << "\n" << json;
}

TEST(SynthTruth, LeapSecondsCountAsTheReceiverCountsThem) {
  auto at = [](const char* date) { return internalTime(*parseCivilTime(date, "00:00:00")).seconds; };
  EXPECT_EQ(std::tuple(at("01-01-1958"), at("2015-03-01") + 12 * 3600), std::tuple(22, 1803902425));
  for (auto [from, to, day] : {std::tuple("12-31-2005", "01-01-2006", 86401),
                               {"2006-12-31", "2007-01-01", 86400},
                               {"2008-12-31", "2009-01-01", 86401},
                               {"2012-05-31", "2012-06-01", 86401}})
    EXPECT_EQ(at(to) - at(from), day) << to;
}

TEST(SynthConfigFile, KeysInTheReceiversStyle) {
  SynthConfig c = parseSynthConfig(
      "sr = 1\n[File]\r\n table = Data/T.txt ; note\ndat = Out/Audio\nbits = 8\nmono\ndate = 03-01-2015\n"
      "[frequency]\nsr = 44100\nppm = -12.5\nbandcenter = 2000\nloerror = 1e-9\n[time]\nduration = 90\nasf = 1.01\n"
      "[signal]\namplitude = 800\nnoise = 300\nseed = 42\ndc = 5, -3\nimpulserate = 2\nimpulseamplitude = 2e4\n"
      "cwfrequency = -1234.5\ncwamplitude = 100\npulseend = 400\n"
      "[stations]\n7499m\n6731X = 0.5, -45 ' c\n-8940m = .25\n");
  EXPECT_EQ(std::tuple(c.table, c.output, c.kind, c.bits, c.channels, c.date),
            std::tuple("Data/T.txt", "Out/Audio", OutputKind::Raw, 8, 1, "03-01-2015"));
  EXPECT_EQ(std::tuple(c.sr, c.ppm, c.bandcenter, c.loerror, c.duration, c.asf, c.amplitude, c.noise, c.seed),
            std::tuple(44100, -12.5, 2000, 1e-9, 90, 1.01, 800, 300, 42u));
  EXPECT_EQ(std::tuple(c.dcre, c.dcim, c.impulserate, c.impulseamplitude, c.cwfrequency, c.cwamplitude, c.pulseend),
            std::tuple(5, -3, 2, 20000, -1234.5, 100, 400));
  std::vector<std::tuple<int32_t, char, double, double>> stations;
  for (const StationEntry& e : c.stations) stations.emplace_back(e.gri, e.letter, e.amplitude, e.phase);
  EXPECT_EQ(stations, (decltype(stations){{7499, 'M', 1, 0}, {6731, 'X', 0.5, -45}, {8940, 'M', 0.25, 0}}));
}

#ifdef VELKOR_SYNTH
TEST(SynthProgram, RefusesBadSettingsMissingFilesAndUnknownStations) {
  test::ScratchDir dir;
  dir.write("table.txt", "7499,0,M,Sylt,54,48,29.975,N,8,17,36.856,E,0,0,250\n");
  for (auto [name, settings, message] :
       {std::tuple("bad.ini", "[frequency]\nsr = 0\n", "velkor-synth: bad.ini: sr"),
        {"none.ini", "", "none.ini: file not found"},
        {"long.ini", "[time]\nduration = 30000\n", "long.ini: a WAV file holds at most 4 GB"},
        {"synth.ini", "[file]\ndat = a\n[stations]\n7499m\n8940m\n", "8940M is not in the table"}}) {
    if (*settings) dir.write(name, settings);
    auto r = test::runProcess({VELKOR_SYNTH, name}, dir.path());
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  }
}
#endif

} // namespace velkor::synth
