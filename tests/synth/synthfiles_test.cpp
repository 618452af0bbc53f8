// The files the synthesiser writes: WAV header, raw layouts and splitting,
// 8-bit and mono samples, clipping, determinism, and the program itself.
#include "recording.h"
#include "samplewriter.h"
#include "synthtestutil.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velkor::synth::test {

namespace {

uint32_t le32(const std::string& b, std::size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
uint32_t le16(const std::string& b, std::size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8;
}

SynthConfig fileConfig(const velkor::test::ScratchDir& dir, const std::string& name) {
  SynthConfig c = quietConfig();
  c.sr = 8000;
  c.duration = 3.5;
  c.noise = 40;
  c.seed = 7;
  c.origin = true;
  c.stations = {{7499, 'M', 1.0, 0}, {7499, 'X', 0.5, 45}};
  c.output = dir.file(name);
  return c;
}

RecordingResult run(const SynthConfig& c) { return writeRecording(buildScenario(c, testTable())); }

} // namespace

TEST(SynthFiles, WavHeaderCarriesTheNominalFormat) {
  velkor::test::ScratchDir dir;
  for (int header : {44, 46}) {
    SynthConfig c = fileConfig(dir, "h.wav");
    c.headerBytes = header;
    c.ppm = 100; // the header keeps the nominal rate
    Scenario s = buildScenario(c, testTable());
    run(c);
    std::string b = readFile(c.output);
    const uint32_t data = static_cast<uint32_t>(s.frames * 4);
    ASSERT_EQ(b.size(), header + data);
    EXPECT_EQ(b.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(b, 16), header == 44 ? 16u : 18u);
    EXPECT_EQ(le16(b, 20), 1u);
    EXPECT_EQ(le16(b, 22), 2u);
    EXPECT_EQ(le32(b, 24), 8000u);
    EXPECT_EQ(le32(b, 28), 32000u);
    EXPECT_EQ(le16(b, 32), 4u);
    EXPECT_EQ(le16(b, 34), 16u);
    if (header == 46) {
      EXPECT_EQ(le16(b, 36), 0u);
    }
    EXPECT_EQ(b.substr(static_cast<std::size_t>(header) - 8, 4), "data");
    EXPECT_EQ(le32(b, static_cast<std::size_t>(header) - 4), data);
  }
  EXPECT_EQ(wavHeader(1, 8, 22050, 10, 44).substr(22, 14),
            std::string("\x01\x00\x22\x56\x00\x00\x22\x56\x00\x00\x01\x00\x08\x00", 14));
}

TEST(SynthFiles, RawSplitFilesJoinToTheWholeRecording) {
  velkor::test::ScratchDir dir;
  SynthConfig whole = fileConfig(dir, "whole.dat");
  whole.kind = OutputKind::Raw;
  RecordingResult one = run(whole);
  ASSERT_EQ(one.files, std::vector<std::string>{whole.output});
  SynthConfig split = fileConfig(dir, "audio");
  split.kind = OutputKind::Raw;
  split.split = 1;
  RecordingResult parts = run(split);
  ASSERT_EQ(parts.files.size(), 4u);
  std::string joined;
  for (std::size_t i = 0; i < parts.files.size(); ++i) {
    EXPECT_EQ(parts.files[i], dir.file("audio.00" + std::to_string(i)));
    std::string bytes = readFile(parts.files[i]);
    EXPECT_EQ(bytes.size(), i < 3 ? 32000u : 16000u) << "one second of nominal frames per file";
    joined += bytes;
  }
  EXPECT_EQ(joined, readFile(whole.output));
  EXPECT_EQ(readFile(whole.output).size(), 28000u * 4);
}

TEST(SynthFiles, EightBitAndMonoLayouts) {
  velkor::test::ScratchDir dir;
  SynthConfig base = fileConfig(dir, "s16.dat");
  base.kind = OutputKind::Raw;
  base.amplitude = 60;
  base.noise = 20;
  run(base);
  auto stereo16 = decodeSamples(readFile(base.output), 16);

  SynthConfig eight = base;
  eight.output = dir.file("s8.dat");
  eight.bits = 8;
  run(eight);
  std::string bytes8 = readFile(eight.output);
  ASSERT_EQ(bytes8.size(), stereo16.size());
  auto stereo8 = decodeSamples(bytes8, 8);
  for (std::size_t i = 0; i < stereo16.size(); ++i)
    ASSERT_EQ(stereo8[i], std::clamp(stereo16[i], -128, 127)) << i;

  SynthConfig mono = base;
  mono.output = dir.file("m16.dat");
  mono.channels = 1;
  run(mono);
  auto mono16 = decodeSamples(readFile(mono.output), 16);
  ASSERT_EQ(mono16.size() * 2, stereo16.size());
  for (std::size_t i = 0; i < mono16.size(); ++i) ASSERT_EQ(mono16[i], stereo16[2 * i]) << "I channel only";

  SynthConfig mono8 = mono;
  mono8.output = dir.file("m8.wav");
  mono8.kind = OutputKind::Wav;
  mono8.bits = 8;
  run(mono8);
  std::string wav8 = readFile(mono8.output);
  EXPECT_EQ(le16(wav8, 22), 1u);
  EXPECT_EQ(le16(wav8, 32), 1u);
  EXPECT_EQ(le16(wav8, 34), 8u);
  auto m8 = decodeSamples(wav8, 8, 44);
  ASSERT_EQ(m8.size(), mono16.size());
  for (std::size_t i = 0; i < m8.size(); ++i) ASSERT_EQ(m8[i], std::clamp(mono16[i], -128, 127));
}

TEST(SynthFiles, QuantisedSamplesMatchTheModelAndSaturate) {
  velkor::test::ScratchDir dir;
  SynthConfig c = fileConfig(dir, "q.wav");
  c.noise = 0;
  Scenario s = buildScenario(c, testTable());
  RecordingResult r = run(c);
  EXPECT_EQ(r.clipped, 0);
  auto x = toComplex(decodeSamples(readFile(c.output), 16, 44), 2);
  auto model = generateAll(s);
  ASSERT_EQ(x.size(), model.size());
  for (std::size_t n = 0; n < x.size(); ++n) {
    ASSERT_LE(std::fabs(x[n].real() - model[n].real()), 0.5001) << n;
    ASSERT_LE(std::fabs(x[n].imag() - model[n].imag()), 0.5001) << n;
  }

  SynthConfig loud = c;
  loud.output = dir.file("loud.wav");
  loud.amplitude = 60000;
  RecordingResult clipped = run(loud);
  EXPECT_GT(clipped.clipped, 100);
  auto y = decodeSamples(readFile(loud.output), 16, 44);
  EXPECT_EQ(*std::max_element(y.begin(), y.end()), 32767);
  EXPECT_EQ(*std::min_element(y.begin(), y.end()), -32768);
}

TEST(SynthFiles, FixedSeedGivesTheSameBytes) {
  velkor::test::ScratchDir dir;
  SynthConfig a = fileConfig(dir, "a.wav");
  a.impulserate = 10;
  a.impulseamplitude = 1000;
  SynthConfig b = a;
  b.output = dir.file("b.wav");
  SynthConfig other = a;
  other.output = dir.file("c.wav");
  other.seed = 8;
  run(a);
  run(b);
  run(other);
  EXPECT_EQ(readFile(a.output), readFile(b.output));
  EXPECT_NE(readFile(a.output), readFile(other.output));
}

TEST(SynthFiles, TruthJsonNamesEverything) {
  SynthConfig c = quietConfig();
  c.date = "03-01-2015";
  c.time = "12:00:00.35";
  c.output = "x.wav";
  c.stations = {{7499, 'Y', 0.5, 10}};
  Scenario s = buildScenario(c, testTable());
  RecordingResult r{{"x.wav"}, 3, 4};
  std::string json = truthJson(s, r);
  for (const char* field :
       {"\"utc\": \"2015-03-01 12:00:00.350000\"", "\"internalwhole\": 1803902425", "\"leapseconds\": 3",
        "\"origin\": false", "\"nominal\": 48000", "\"true\": 48000", "\"files\": [\"x.wav\"]", "\"clipped\": 3",
        "\"impulses\": 4", "\"gri\": 7499", "\"letter\": \"Y\"", "\"name\": \"Vaerlandet\"", "\"master\": false",
        "\"amplitude\": 500", "\"emissiondelay\": 0.029499999", "\"arrival\": ", "\"streamarrival\": ",
        "\"streamarrivalsamples\": ", "\"distance\": ", "\"carrierphase\": "})
    EXPECT_NE(json.find(field), std::string::npos) << field << "\n" << json;
  std::string text = truthText(s, r);
  EXPECT_NE(text.find("2015-03-01 12:00:00.350000 UTC"), std::string::npos);
  EXPECT_NE(text.find(" 7499Y Vaerlan"), std::string::npos) << text;
}

#ifdef VELKOR_SYNTH
TEST(SynthProgram, WritesRecordingAndTruthFromASettingsFile) {
  velkor::test::ScratchDir dir;
  dir.write("synth.ini", "[file]\nwav = Rec.wav\n[frequency]\nsr = 8000\n[time]\nduration = 1.5\n"
                         "[signal]\nnoise = 10\n");
  auto r = velkor::test::runProcess({VELKOR_SYNTH}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("12000 frames"), std::string::npos) << r.out;
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "Rec.wav"), 44u + 12000u * 4);
  std::string json = readFile(dir.file("Rec.wav.json"));
  EXPECT_NE(json.find("\"frames\": 12000"), std::string::npos) << json;
  EXPECT_NE(json.find("\"origin\": true"), std::string::npos);

  dir.write("bad.ini", "[frequency]\nsr = 0\n");
  auto bad = velkor::test::runProcess({VELKOR_SYNTH, "bad.ini"}, dir.path());
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("velkor-synth: bad.ini: sr"), std::string::npos) << bad.err;
  auto missing = velkor::test::runProcess({VELKOR_SYNTH, "none.ini"}, dir.path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("none.ini: file not found"), std::string::npos) << missing.err;
}

TEST(SynthProgram, ReadsStationsFromTheStationTable) {
  velkor::test::ScratchDir dir;
  dir.write("table.txt", "7499,0,M,Sylt,54,48,29.975,N,8,17,36.856,E,0,0,250\n"
                         "7499,0,X,Lessay,49,8,55.224,N,1,30,17.029,W,14100,0,250\n");
  dir.write("synth.ini", "[location]\nlat = 48.38\nlon = -4.49\n[file]\ndat = audio\nsplit = 1\n"
                         "[frequency]\nsr = 8000\n[time]\nduration = 2.5\n[stations]\n7499m = 1\n7499x = 0.5, 90\n");
  auto r = velkor::test::runProcess({VELKOR_SYNTH}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"audio.000", "audio.001", "audio.002", "audio.json"})
    EXPECT_TRUE(std::filesystem::exists(dir.path() / name)) << name;
  std::string json = readFile(dir.file("audio.json"));
  EXPECT_NE(json.find("\"name\": \"Lessay\""), std::string::npos) << json;
  EXPECT_NE(r.out.find("Sylt"), std::string::npos) << r.out;

  dir.write("synth.ini", "[file]\ndat = audio\n[stations]\n8940m\n");
  auto missing = velkor::test::runProcess({VELKOR_SYNTH}, dir.path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("8940M is not in the table"), std::string::npos) << missing.err;
}
#endif

} // namespace velkor::synth::test
