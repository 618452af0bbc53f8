#include "image/bmpfile.h"

#include "core/errors.h"
#include "image/bmpreader.h"
#include "image/imagefileaccess.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace velkor {

namespace {

using Bytes = std::vector<uint8_t>;

// An image of `stations` stations of `points` pixels in a scratch directory.
struct ImageHarness {
  test::ScratchDir dir;
  test::TestPlatform t;
  State s;
  ImageHarness(int32_t colour, int32_t points, int32_t stations) {
    s.colour = colour;
    s.displaysamples = points;
    s.stationcount = s.displayedstations = stations;
    s.bmp = dir.file("velkor.bmp");
    createImageFile(s);
  }
  std::string bytes() const { return dir.read("velkor.bmp"); }
  test::BmpImage image() const { return test::readBmp(bytes()); }
  // As the rendering does, every drawn pixel gets a value; the padding keeps its own.
  void paint(uint8_t value) {
    std::fill_n(s.rowbuffer.begin(), s.displaysamples * s.displayedstations * s.bytesperpixel, value);
  }
  void row(uint8_t value, int32_t hour = -1) {
    paint(value);
    s.currenthour = hour;
    appendImageRow(s, t.platform);
  }
};

// The real file, with failures on cue and a record of the writes.
class ScriptedImageFile final : public ImageFileAccess {
public:
  int failOpens = 0, failWrites = 0, failCloses = 0; // [calls] still to fail
  int opens = 0;                                     // [calls]
  std::vector<int64_t> written;                      // offsets of the writes, in order
  bool open(const std::string& path) override {
    ++opens;
    return failOpens > 0 ? fail(failOpens, EACCES) : real_.open(path);
  }
  int64_t size() override { return real_.size(); }
  bool writeAt(int64_t offset, const void* data, std::size_t count) override {
    if (failWrites > 0) return fail(failWrites, ENOSPC);
    written.push_back(offset);
    return real_.writeAt(offset, data, count);
  }
  bool close() override { return real_.close() && (failCloses == 0 || fail(failCloses, EIO)); }
  int error() const override { return error_; }

private:
  bool fail(int& counter, int error) {
    --counter;
    error_ = error;
    return false;
  }
  PosixImageFile real_;
  int error_ = 0;
};

} // namespace

TEST(ImageFile, HeaderPaletteAndGrowthByRows) {
  for (int32_t colour : {0, 1}) {
    ImageHarness h(colour, 100, 1);
    const std::string empty = h.bytes();
    const uint8_t head = colour ? 54 : 0x36, headHigh = colour ? 0 : 0x04;
    const Bytes expected{'B', 'M', head, headHigh, 0, 0, 0, 0, 0, 0, head, headHigh, 0, 0, 40, 0, 0, 0,
                         100, 0,   0,    0,        0, 0, 0, 0, 1, 0, static_cast<uint8_t>(colour ? 24 : 8), 0};
    ASSERT_EQ(empty.size(), colour ? 54u : 1078u);
    EXPECT_EQ(Bytes(empty.begin(), empty.begin() + 30), expected);
    EXPECT_EQ(empty.find_first_not_of('\0', 30), colour ? std::string::npos : 58u) << "zero tail, entry 0 black";
    for (std::size_t i = 0; i < (colour ? 0u : 256u); ++i)
      ASSERT_EQ(empty.substr(54 + 4 * i, 4), std::string({char(i), char(i), char(i), 0})) << i;
    EXPECT_EQ(h.image().problem, "") << "a valid empty image right after start-up";
    EXPECT_EQ(h.s.rowbuffer, Bytes(colour ? 300 : 100, 0x20));

    const uint32_t rowBytes = colour ? 300 : 100;
    for (int n = 1; n <= 3; ++n) {
      h.row(static_cast<uint8_t>(10 * n), 0);
      EXPECT_EQ(h.bytes().size(), empty.size() + n * rowBytes);
      EXPECT_EQ(h.s.imagefilesize, static_cast<int32_t>(empty.size() + n * rowBytes));
    }
    test::BmpImage image = h.image();
    ASSERT_EQ(image.problem, "");
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(image.rows[0], Bytes(rowBytes, 10)) << "the first row is the bottom one";
    EXPECT_EQ(image.rows[2], Bytes(rowBytes, 30));
    std::string now = h.bytes().substr(0, empty.size());
    for (std::size_t offset : {2, 3, 4, 5, 22, 23, 24, 25}) now[offset] = empty[offset];
    EXPECT_EQ(now, empty) << "only the size fields change in header and palette";
  }
}

TEST(ImageFile, WidthRoundsUpToFourWithUndrawnPixels) {
  for (int32_t colour : {0, 1}) {
    ImageHarness h(colour, 101, 1);
    EXPECT_EQ(h.s.imagewidth, 104);
    h.row(7, 0);
    const std::size_t bpp = colour ? 3 : 1;
    test::BmpImage image = h.image();
    ASSERT_EQ(image.problem, "");
    const Bytes& row = image.rows.at(0);
    EXPECT_EQ(Bytes(row.begin() + 101 * bpp, row.end()), Bytes(3 * bpp, 0x20));
    EXPECT_EQ(row[100 * bpp], 7);
  }
}

TEST(ImageFile, HourTicksMarkEachStationsFirstPixels) {
  ImageHarness h(0, 4, 2);
  h.row(100, 0);
  h.row(100, 5);
  h.row(100, 5);
  h.row(100, 23);
  h.row(100, 0);
  const Bytes none(8, 100), one{255, 100, 100, 100, 255, 100, 100, 100}, two{255, 255, 100, 100, 255, 255, 100, 100};
  EXPECT_EQ(h.image().rows, (std::vector<Bytes>{none, one, none, one, two}))
      << "no tick for hour 0 at the start; two pixels from 23 to 0";

  ImageHarness c(1, 1, 4);
  c.row(9, 0);
  c.s.markedhour = 23;
  c.row(9, 0);
  EXPECT_EQ(c.image().rows[1], Bytes(12, 255)) << "colour ticks are white; the last stays inside the row";
}

TEST(ImageFile, CommandCadence) {
  // Rows (1-based) after which the command ran, with hour changes before the listed rows.
  auto runs = [](int32_t bmpcmdcount, int rows, std::vector<int> tickRows) {
    ImageHarness h(0, 4, 1);
    h.s.bmpcmd = "cp velkor.bmp /srv";
    h.s.bmpcmdcount = bmpcmdcount;
    std::vector<int> ran;
    for (int n = 1, hour = 0; n <= rows; ++n) {
      if (std::count(tickRows.begin(), tickRows.end(), n)) ++hour;
      h.row(0, hour);
      if (h.t.commands.commands.size() > ran.size()) ran.push_back(n);
    }
    EXPECT_EQ(h.t.commands.commands, std::vector<std::string>(ran.size(), "cp velkor.bmp /srv"));
    return ran;
  };
  EXPECT_EQ(runs(3, 8, {}), (std::vector<int>{1, 4, 7}));
  EXPECT_EQ(runs(2, 5, {2, 3}), (std::vector<int>{1, 3, 5})) << "ticks count only as rows";
  EXPECT_EQ(runs(0, 3, {}), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(runs(-2, 12, {3, 5, 6, 9, 11}), (std::vector<int>{1, 5, 9})) << "every second hour tick";
  ImageHarness h(0, 4, 1);
  h.row(0);
  EXPECT_TRUE(h.t.commands.commands.empty()) << "no command configured";
}

TEST(ImageFile, RowGoesInBeforeTheSizesAndADeletedFileIsRecreated) {
  ImageHarness h(0, 8, 1);
  ScriptedImageFile first;
  appendImageRowVia(h.s, h.t.platform, first);
  EXPECT_EQ(first.written, (std::vector<int64_t>{1078, 2, 22}));
  h.row(2, 0);
  std::filesystem::remove(h.s.bmp);
  ScriptedImageFile again;
  h.paint(3);
  appendImageRowVia(h.s, h.t.platform, again);
  EXPECT_EQ(again.written, (std::vector<int64_t>{0, 1094, 2, 22})) << "header of an empty image first";
  test::BmpImage image = h.image();
  ASSERT_EQ(image.problem, "");
  EXPECT_EQ(image.rows, (std::vector<Bytes>{Bytes(8, 0), Bytes(8, 0), Bytes(8, 3)})) << "earlier rows are lost";
  EXPECT_EQ(static_cast<uint8_t>(h.bytes()[54 + 4 * 200]), 200) << "the palette is back";

  ImageHarness none(0, 8, 1);
  none.s.bytesperpixel = 0; // as if no image had been created
  std::filesystem::remove(none.s.bmp);
  appendImageRow(none.s, none.t.platform);
  EXPECT_FALSE(std::filesystem::exists(none.s.bmp));
}

TEST(ImageFile, FailingWritesAreRetriedUntilTheRowIsIn) {
  ImageHarness h(0, 8, 1);
  h.s.bmperrorhandling = 1;
  h.row(1, 0);
  ScriptedImageFile file;
  file.failWrites = 5;
  h.paint(2);
  appendImageRowVia(h.s, h.t.platform, file);
  EXPECT_EQ(file.opens, 6);
  EXPECT_NEAR(h.t.clock.slept, 1.0, 1e-9) << "five waits of 200 ms";
  EXPECT_EQ(h.t.text(), "") << "level 1 is silent";
  EXPECT_EQ(h.bytes().size(), 1078u + 16u) << "the row is in the file once";
  EXPECT_EQ(h.image().rows.at(1), Bytes(8, 2));

  // Level 2 prints the errno of each failure; once retrying, a failed open is retried too.
  ImageHarness g(0, 8, 1);
  g.s.bmperrorhandling = 2;
  ScriptedImageFile flaky;
  flaky.failWrites = 1;
  g.t.keyboard.keys = {'Q'};
  struct : Clock {
    ScriptedImageFile* file = nullptr;
    double timer() override { return 0; }
    std::string dateText() override { return {}; }
    std::string timeText() override { return {}; }
    void sleep(double) override { file->failOpens = file->opens == 1 ? 2 : file->failOpens; }
  } clock;
  clock.file = &flaky;
  Platform platform{g.t.console, g.t.keyboard, clock, g.t.commands, g.t.random, g.t.errors};
  appendImageRowVia(g.s, platform, flaky);
  EXPECT_EQ(g.t.text(), " 28 \r\n 13 \r\n 13 \r\n") << "Q is not q";
  EXPECT_EQ(g.image().height, 1);
}

TEST(ImageFile, KeyQEndsTheRetry) {
  ImageHarness h(0, 8, 1);
  h.s.bmperrorhandling = 2;
  ScriptedImageFile file;
  file.failWrites = 100;
  h.t.keyboard.keys = {'x', 'q'};
  EXPECT_THROW(appendImageRowVia(h.s, h.t.platform, file), ProgramEnd);
  EXPECT_EQ(h.t.text(), " 28 \r\n");
}

TEST(ImageFile, FailuresThatAreFatal) {
  auto fatal = [](int16_t handling, void (*setup)(ScriptedImageFile&)) {
    ImageHarness h(0, 8, 1);
    h.s.bmperrorhandling = handling;
    ScriptedImageFile file;
    setup(file);
    try {
      appendImageRowVia(h.s, h.t.platform, file);
    } catch (const FatalError& error) {
      EXPECT_EQ(h.t.clock.slept, 0);
      return error.subject() == h.s.bmp ? error.reason() : "wrong subject " + error.subject();
    }
    return std::string("not fatal");
  };
  EXPECT_EQ(fatal(0, [](ScriptedImageFile& f) { f.failWrites = 1; }), std::strerror(ENOSPC));
  EXPECT_EQ(fatal(2, [](ScriptedImageFile& f) { f.failOpens = 1; }), std::strerror(EACCES)) << "first open";
  EXPECT_EQ(fatal(2, [](ScriptedImageFile& f) { f.failCloses = 1; }), std::strerror(EIO)) << "final close";

  test::ScratchDir dir;
  State s;
  s.bmp = dir.path().string();
  EXPECT_THROW(createImageFile(s), FatalError) << "a directory in the way";
}

} // namespace velkor
