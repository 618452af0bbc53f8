#include "acquisition/source.h"
#include "core/cycle.h"
#include "core/errors.h"

#include "acquisition/receiver.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace velkor {

using test::Receiver;
using test::Sample;

namespace {

std::string le16(uint32_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// One chunk with its pad byte; `declared` overrides the size field.
std::string chunk(const std::string& id, const std::string& payload, std::optional<uint32_t> declared = {}) {
  std::string out = id + le32(declared.value_or(static_cast<uint32_t>(payload.size()))) + payload;
  if (payload.size() % 2 == 1 && !declared) out += '\0';
  return out;
}

std::string fmt(uint32_t channels, uint32_t bits, uint32_t rate) {
  return chunk("fmt ", le16(1) + le16(channels) + le32(rate) + le32(rate * channels * bits / 8) +
                           le16(channels * bits / 8) + le16(bits));
}

std::string riff(const std::string& chunks) { return "RIFF" + le32(static_cast<uint32_t>(4 + chunks.size())) + "WAVE" + chunks; }

std::string bytesOf(const std::vector<int16_t>& values, int width = 2) { return test::sampleBytes(values, width); }

std::vector<Sample> readWav(Receiver& r, const std::string& content) {
  r.dir.write("in.wav", content);
  r.start();
  return r.readAll();
}

} // namespace

TEST(WavInput, HeadersOf44And46BytesReadTheSame) {
  const auto values = test::rampFrames(5000);
  Receiver a, b;
  test::writeWav(a.s.inputfile, values, {2, 2, 22050, 44});
  test::writeWav(b.s.inputfile, values, {2, 2, 22050, 46});
  a.start();
  b.start();
  EXPECT_EQ(a.s.inputremaining, 20000);
  EXPECT_EQ(b.s.inputremaining, 20000);
  const auto fromA = a.readAll();
  EXPECT_EQ(fromA, test::asSamples(values)) << "real and imaginary parts in place";
  EXPECT_EQ(b.readAll(), fromA);
  EXPECT_TRUE(a.t.errors.str().empty());
  EXPECT_TRUE(b.t.errors.str().empty());
}

TEST(WavInput, SamplesAreTheDataChunksInFileOrder) {
  // As KiwiSDR writes it: a "kiwi" chunk before every data chunk, and other
  // chunks between, one of them odd-sized with its pad byte.
  const auto first = test::rampFrames(300);
  std::vector<int16_t> second{11, -11, 22, -22, 33, -33};
  std::vector<int16_t> third{-5, 5};
  const std::string content = riff(fmt(2, 16, 22050) + chunk("kiwi", std::string(10, '\1')) + chunk("data", bytesOf(first)) +
                                   chunk("LIST", "odd") + chunk("kiwi", std::string(10, '\2')) +
                                   chunk("data", bytesOf(second)) + chunk("kiwi", std::string(10, '\3')) +
                                   chunk("data", bytesOf(third)));
  Receiver r;
  r.s.fileblocklen = 128; // blocks that straddle the chunks
  auto samples = readWav(r, content);
  std::vector<int16_t> all = first;
  all.insert(all.end(), second.begin(), second.end());
  all.insert(all.end(), third.begin(), third.end());
  EXPECT_EQ(samples, test::asSamples(all));
  EXPECT_TRUE(r.t.errors.str().empty());
}

TEST(WavInput, InputRemainingCountsSampleBytesOnly) {
  const std::string content = riff(fmt(2, 16, 22050) + chunk("kiwi", std::string(10, 0)) +
                                   chunk("data", std::string(2048, 0)) + chunk("kiwi", std::string(10, 0)) +
                                   chunk("data", std::string(2048, 0)));
  Receiver r;
  r.dir.write("in.wav", content);
  r.start();
  EXPECT_EQ(r.s.inputremaining, 4096);
  readBlock(r.s, r.t.platform);
  EXPECT_EQ(r.s.newsamples, 1024);
  EXPECT_EQ(r.s.inputremaining, 0);
}

TEST(WavInput, OddSizedDataChunkIsFollowedByItsPadByte) {
  // 8-bit mono: three samples, a pad byte, then the next chunks.
  Receiver r;
  r.s.bytespersample = 1;
  r.s.channels = 1;
  const auto samples = readWav(r, riff(fmt(1, 8, 22050) + chunk("data", bytesOf({1, 2, 3}, 1)) +
                                       chunk("junk", "x") + chunk("data", bytesOf({4, 5}, 1))));
  EXPECT_EQ(samples, (std::vector<Sample>{{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}}));
}

TEST(WavInput, DataSizeZeroOrAllOnesMeansToTheEndOfTheFile) {
  for (uint32_t declared : {0u, 0xFFFFFFFFu}) {
    Receiver r;
    const auto values = test::rampFrames(1000);
    const std::string content = riff(fmt(2, 16, 22050) + chunk("data", "", declared)) + bytesOf(values);
    auto samples = readWav(r, content);
    EXPECT_EQ(samples, test::asSamples(values)) << declared;
  }
}

TEST(WavInput, DataChunkCutShortByTheEndOfTheFile) {
  Receiver r;
  const auto values = test::rampFrames(1000);
  const std::string content = riff(fmt(2, 16, 22050) + chunk("data", "", 4 * 5000)) + bytesOf(values);
  EXPECT_EQ(readWav(r, content), test::asSamples(values));
}

TEST(WavInput, FileWithoutRiffHeaderSkips46Bytes) {
  Receiver r;
  const auto values = test::rampFrames(700);
  EXPECT_EQ(readWav(r, std::string(46, 'h') + bytesOf(values)), test::asSamples(values));
  Receiver tiny;
  tiny.dir.write("in.wav", std::string(30, 'h'));
  tiny.start();
  EXPECT_EQ(tiny.s.inputremaining, 0);
}

TEST(WavInput, HeaderThatDisagreesWithTheSettingsIsNamedInOneWarning) {
  Receiver r;
  r.s.sr = 12000;
  const auto values = test::rampFrames(100);
  const auto samples = readWav(r, riff(fmt(1, 8, 48000) + chunk("data", bytesOf(values))));
  EXPECT_EQ(r.t.errors.str(), "velkor: warning: " + r.s.inputfile +
                                  ": the file holds 1 channel of 8 bits at 48000 Hz, the settings say 2 channels "
                                  "of 16 bits at 12000 Hz; it is read as the settings say\n");
  EXPECT_EQ(samples, test::asSamples(values)) << "the settings rule";
}

TEST(WavInput, RateWithinOnePercentIsNoDisagreement) {
  for (auto [rate, warned] : {std::pair{11999u, false}, {12120u, false}, {11880u, false}, {12121u, true}, {11879u, true}}) {
    Receiver r;
    r.s.sr = 12000;
    readWav(r, riff(fmt(2, 16, rate) + chunk("data", bytesOf({1, 2}))));
    EXPECT_EQ(r.t.errors.str().empty(), !warned) << rate;
  }
  Receiver width;
  readWav(width, riff(fmt(2, 24, 22050) + chunk("data", bytesOf({1, 2}))));
  EXPECT_NE(width.t.errors.str().find("of 24 bits"), std::string::npos);
}

TEST(WavInput, MissingFileIsFatal) {
  Receiver r;
  computeBlockGeometry(r.s);
  dimensionArrays(r.s);
  initialiseDecoder(r.s);
  try {
    openSource(r.s, r.t.platform);
    FAIL() << "a missing recording must stop the run";
  } catch (const FatalError& error) {
    EXPECT_EQ(error.subject(), r.s.inputfile);
    EXPECT_EQ(error.reason(), "file not found");
  }
  EXPECT_EQ(r.t.keyboard.waits, 0);
}

TEST(WavInput, EndOfTheRecordingEndsTheMainCycle) {
  test::ScratchDir dir;
  test::writeWav(dir.file("rec.wav"), test::rampFrames(3000), {});
  dir.write("velkor.ini", "[file]\nwav = rec.wav\ntable = table.txt\n");
  dir.write("table.txt", "");
  test::TestPlatform t;
  auto s = std::make_unique<State>();
  int status = -1;
  test::inDirectory(dir.path(), [&] {
    try {
      startUp(*s, t.platform, "velkor.ini", readBlock);
      runMainCycle(*s, t.platform, readBlock);
    } catch (const ProgramEnd& end) {
      status = end.status;
    }
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(s->inputremaining, 0);
  EXPECT_DOUBLE_EQ(s->blockend, 3000 / 22050.0);
  EXPECT_FALSE(s->input.isOpen());
  EXPECT_TRUE(t.errors.str().empty()) << t.errors.str();
}

} // namespace velkor
