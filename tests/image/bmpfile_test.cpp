#include "image/bmpfile.h"

#include "core/errors.h"
#include "image/bmpreader.h"
#include "image/imagefileaccess.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace velkor {

namespace {

// An image of `stations` displayed stations of `points` pixels each, in a scratch directory.
struct ImageHarness {
  test::ScratchDir dir;
  test::TestPlatform t;
  State s;

  ImageHarness(int32_t colour, int32_t points, int32_t stations) {
    s.colour = colour;
    s.displaysamples = points;
    s.stationcount = stations;
    s.displayedstations = stations;
    s.bmp = dir.file("velkor.bmp");
  }

  std::string bytes() const { return dir.read("velkor.bmp"); }
  test::BmpImage image() const { return test::readBmp(bytes()); }

  // What the rendering does before every row: every drawn pixel gets a value.
  void paint(uint8_t value) {
    std::size_t drawn = static_cast<std::size_t>(s.displaysamples * s.displayedstations * s.bytesperpixel);
    std::fill(s.rowbuffer.begin(), s.rowbuffer.begin() + static_cast<std::ptrdiff_t>(drawn), value);
  }

  void row(uint8_t value) {
    paint(value);
    appendImageRow(s, t.platform);
  }
};

// The image file reached through the real file system, with failures on cue.
class ScriptedImageFile final : public ImageFileAccess {
public:
  int failOpens = 0;    // the next this many opens fail
  int failWrites = 0;   // the next this many writes fail
  int failCloses = 0;   // the next this many closes of an open file fail
  int opens = 0;        // open attempts
  std::vector<int64_t> written;   // offsets of the successful writes, in order

  bool open(const std::string& path) override {
    ++opens;
    if (failOpens > 0) return fail(failOpens, EACCES);
    return real_.open(path);
  }
  int64_t size() override { return real_.size(); }
  bool writeAt(int64_t offset, const void* data, std::size_t count) override {
    if (failWrites > 0) return fail(failWrites, ENOSPC);
    written.push_back(offset);
    return real_.writeAt(offset, data, count);
  }
  bool close() override {
    bool closed = real_.close();
    if (failCloses > 0) return fail(failCloses, EIO);
    return closed;
  }
  int error() const override { return error_ != 0 ? error_ : real_.error(); }

private:
  bool fail(int& counter, int error) {
    --counter;
    error_ = error;
    return false;
  }
  PosixImageFile real_;
  int error_ = 0;
};

std::string header(const std::string& bytes) { return bytes.substr(0, 54); }

} // namespace

TEST(ImageFile, GreyImageStartsWithHeaderAndPaletteRamp) {
  ImageHarness h(0, 100, 1);
  createImageFile(h.s);
  const std::string bytes = h.bytes();
  ASSERT_EQ(bytes.size(), 1078u);
  const unsigned char expected[54] = {'B', 'M', 0x36, 0x04, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0, 40, 0, 0, 0,
                                      100, 0, 0, 0, 0, 0, 0, 0, 1, 0, 8, 0};
  EXPECT_EQ(header(bytes), std::string(reinterpret_cast<const char*>(expected), 54));
  for (int i = 0; i < 256; ++i) {
    const std::size_t entry = 54 + 4 * static_cast<std::size_t>(i);
    ASSERT_EQ(static_cast<uint8_t>(bytes[entry]), i) << "blue of entry " << i;
    ASSERT_EQ(static_cast<uint8_t>(bytes[entry + 1]), i) << "green of entry " << i;
    ASSERT_EQ(static_cast<uint8_t>(bytes[entry + 2]), i) << "red of entry " << i;
    ASSERT_EQ(bytes[entry + 3], 0) << "reserved of entry " << i;
  }
  EXPECT_EQ(h.s.bytesperpixel, 1);
  EXPECT_EQ(h.s.palettebytes, 1024);
  EXPECT_EQ(h.s.imagewidth, 100);
  EXPECT_EQ(h.s.imageheight, 0);
  EXPECT_EQ(h.s.imagefilesize, 1078);
  EXPECT_EQ(h.s.rowbuffer, std::vector<uint8_t>(100, 0x20));
}

TEST(ImageFile, ColourImageHasNoPalette) {
  ImageHarness h(1, 100, 1);
  createImageFile(h.s);
  const std::string bytes = h.bytes();
  ASSERT_EQ(bytes.size(), 54u);
  const unsigned char expected[54] = {'B', 'M', 54, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                                      100, 0, 0, 0, 0, 0, 0, 0, 1, 0, 24, 0};
  EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(expected), 54));
  EXPECT_EQ(h.s.bytesperpixel, 3);
  EXPECT_EQ(h.s.palettebytes, 0);
  EXPECT_EQ(h.s.rowbuffer, std::vector<uint8_t>(300, 0x20));
  // Any colour mode other than 0 draws in colour.
  ImageHarness g(2, 100, 1);
  createImageFile(g.s);
  EXPECT_EQ(g.bytes().size(), 54u);
}

TEST(ImageFile, FreshImageIsAValidEmptyBmp) {
  for (int32_t colour : {0, 1}) {
    ImageHarness h(colour, 24, 3);
    createImageFile(h.s);
    test::BmpImage image = h.image();
    EXPECT_EQ(image.problem, "") << "colour " << colour;
    EXPECT_EQ(image.width, 72);
    EXPECT_EQ(image.height, 0);
    EXPECT_EQ(image.bitsperpixel, colour ? 24 : 8);
    EXPECT_EQ(image.infosize, 40u);
    EXPECT_EQ(image.planes, 1);
    EXPECT_EQ(image.reserved, 0u);
    EXPECT_EQ(image.infotail, std::vector<uint8_t>(24, 0));
    EXPECT_EQ(image.palette.size(), colour ? 0u : 1024u);
  }
}

TEST(ImageFile, CreationEmptiesAnEarlierImage) {
  ImageHarness h(0, 8, 1);
  h.dir.write("velkor.bmp", std::string(5000, 'x'));
  createImageFile(h.s);
  EXPECT_EQ(h.bytes().size(), 1078u);
  EXPECT_EQ(h.image().problem, "");
}

TEST(ImageFile, WidthRoundsUpToFourWithUndrawnPixels) {
  ImageHarness h(0, 101, 1);
  createImageFile(h.s);
  EXPECT_EQ(h.s.imagewidth, 104);
  h.row(7);
  h.row(9);
  test::BmpImage image = h.image();
  ASSERT_EQ(image.problem, "");
  EXPECT_EQ(image.width, 104);
  for (const auto& row : image.rows) {
    ASSERT_EQ(row.size(), 104u);
    EXPECT_EQ(row[100], row[1]);
    EXPECT_EQ(std::vector<uint8_t>(row.begin() + 101, row.end()), std::vector<uint8_t>(3, 0x20));
  }

  ImageHarness c(1, 101, 1);
  createImageFile(c.s);
  c.row(7);
  test::BmpImage colour = c.image();
  ASSERT_EQ(colour.problem, "");
  EXPECT_EQ(colour.rows[0].size(), 312u);
  EXPECT_EQ(std::vector<uint8_t>(colour.rows[0].begin() + 303, colour.rows[0].end()), std::vector<uint8_t>(9, 0x20));

  // 3 x 7 = 21 points: 24 pixels.
  ImageHarness w(0, 7, 3);
  createImageFile(w.s);
  EXPECT_EQ(w.s.imagewidth, 24);
}

TEST(ImageFile, HiddenStationsTakeNoPixels) {
  ImageHarness h(0, 10, 5);
  h.s.displayedstations = 3;
  createImageFile(h.s);
  EXPECT_EQ(h.s.imagewidth, 32);
  ImageHarness none(0, 10, 2);
  none.s.displayedstations = 0;
  createImageFile(none.s);
  EXPECT_EQ(none.s.imagewidth, 0);
  none.row(1);
  EXPECT_EQ(none.image().height, 1);
  EXPECT_EQ(none.image().problem, "");
}

TEST(ImageFile, EachRowGrowsHeightAndSize) {
  ImageHarness grey(0, 100, 1);
  createImageFile(grey.s);
  for (int n = 1; n <= 3; ++n) {
    grey.row(static_cast<uint8_t>(10 * n));
    EXPECT_EQ(grey.s.imageheight, n);
    EXPECT_EQ(grey.s.imagefilesize, 1078 + 100 * n);
    EXPECT_EQ(grey.bytes().size(), 1078u + 100u * static_cast<unsigned>(n));
  }
  test::BmpImage image = grey.image();
  ASSERT_EQ(image.problem, "");
  EXPECT_EQ(image.height, 3);
  EXPECT_EQ(image.filesize, 1378u);
  // Bottom-up: the first row written is the bottom row; the tick of the first row aside.
  EXPECT_EQ(image.rows[0][1], 10);
  EXPECT_EQ(image.rows[1], std::vector<uint8_t>(100, 20));
  EXPECT_EQ(image.rows[2], std::vector<uint8_t>(100, 30));

  ImageHarness colour(1, 100, 1);
  createImageFile(colour.s);
  for (int n = 1; n <= 3; ++n) colour.row(static_cast<uint8_t>(n));
  EXPECT_EQ(colour.bytes().size(), 54u + 3u * 300u);
  EXPECT_EQ(colour.image().height, 3);
  EXPECT_EQ(colour.image().rows[2], std::vector<uint8_t>(300, 3));
}

TEST(ImageFile, RowUpdateLeavesHeaderAndPaletteAlone) {
  ImageHarness h(0, 8, 1);
  createImageFile(h.s);
  {
    File file;
    ASSERT_TRUE(file.open(h.s.bmp, File::Mode::ReadWrite));
    ASSERT_TRUE(file.writeAt(30, "Q", 1));
    ASSERT_TRUE(file.writeAt(600, "Q", 1));
  }
  h.row(5);
  const std::string bytes = h.bytes();
  EXPECT_EQ(bytes[30], 'Q');
  EXPECT_EQ(bytes[600], 'Q');
  EXPECT_EQ(bytes.size(), 1086u);
}

TEST(ImageFile, RowIsWrittenBeforeTheSizesThatCountIt) {
  ImageHarness h(0, 8, 1);
  createImageFile(h.s);
  ScriptedImageFile file;
  appendImageRowVia(h.s, h.t.platform, file);
  EXPECT_EQ(file.written, (std::vector<int64_t>{1078, 2, 22}));
}

TEST(ImageFile, DeletedImageIsRecreatedAsAValidBmp) {
  ImageHarness h(0, 8, 1);
  createImageFile(h.s);
  h.s.currenthour = 0;
  h.row(1);
  h.row(2);
  std::filesystem::remove(h.s.bmp);
  ScriptedImageFile file;
  h.paint(3);
  appendImageRowVia(h.s, h.t.platform, file);
  // Header of an empty image first, so that no moment leaves an unreadable file.
  EXPECT_EQ(file.written, (std::vector<int64_t>{0, 1094, 2, 22}));
  const std::string bytes = h.bytes();
  test::BmpImage image = test::readBmp(bytes);
  ASSERT_EQ(image.problem, "");
  EXPECT_EQ(image.height, 3);
  EXPECT_EQ(image.width, 8);
  EXPECT_EQ(image.pixeloffset, 1078u);
  EXPECT_EQ(image.palette[4 * 200], 200);
  EXPECT_EQ(image.rows[0], std::vector<uint8_t>(8, 0)) << "earlier rows are lost";
  EXPECT_EQ(image.rows[1], std::vector<uint8_t>(8, 0));
  EXPECT_EQ(image.rows[2], std::vector<uint8_t>(8, 3));

  // The fresh header equals the one written at start-up apart from the sizes.
  ImageHarness fresh(0, 8, 1);
  createImageFile(fresh.s);
  std::string expected = fresh.bytes();
  std::string got = bytes.substr(0, 1078);
  for (std::size_t offset : {2u, 3u, 22u}) got[offset] = expected[offset];
  EXPECT_EQ(got, expected);

  // The next row goes on normally.
  h.row(4);
  EXPECT_EQ(h.image().height, 4);
  EXPECT_EQ(h.image().rows[3], std::vector<uint8_t>(8, 4));
}

TEST(ImageFile, EmptiedColourImageGetsItsHeaderBack) {
  ImageHarness h(1, 4, 1);
  createImageFile(h.s);
  h.s.currenthour = 0;
  h.row(1);
  h.dir.write("velkor.bmp", "");
  h.row(2);
  test::BmpImage image = h.image();
  ASSERT_EQ(image.problem, "");
  EXPECT_EQ(image.bitsperpixel, 24);
  EXPECT_EQ(image.rows[0], std::vector<uint8_t>(12, 0));
  EXPECT_EQ(image.rows[1], std::vector<uint8_t>(12, 2));
}

TEST(ImageFile, NoImageCreatedNoRowWritten) {
  ImageHarness h(0, 8, 1);
  appendImageRow(h.s, h.t.platform);
  EXPECT_FALSE(std::filesystem::exists(h.s.bmp));
  EXPECT_EQ(h.s.imageheight, 0);
}

TEST(ImageFile, RowsTooWideForTheSizeFieldsAreRefused) {
  ImageHarness h(1, 1 << 29, 1);
  EXPECT_THROW(createImageFile(h.s), FatalError);
}

// ---- Hour ticks -------------------------------------------------------------

TEST(HourTicks, EveryChangeOfHourMarksTheFirstPixelOfEachStation) {
  ImageHarness h(0, 4, 2);
  createImageFile(h.s);
  h.s.currenthour = 5;
  h.row(100);
  EXPECT_EQ(h.s.hourtick, 1);
  EXPECT_EQ(h.s.markedhour, 5);
  h.row(100);
  EXPECT_EQ(h.s.hourtick, 0);
  h.s.currenthour = 6;
  h.row(100);
  h.s.currenthour = 23;
  h.row(100);
  h.s.currenthour = 0;
  h.row(100);
  EXPECT_EQ(h.s.hourtick, 1);
  test::BmpImage image = h.image();
  ASSERT_EQ(image.height, 5);
  const std::vector<uint8_t> one{255, 100, 100, 100, 255, 100, 100, 100};
  const std::vector<uint8_t> none(8, 100);
  const std::vector<uint8_t> two{255, 255, 100, 100, 255, 255, 100, 100};
  EXPECT_EQ(image.rows[0], one);
  EXPECT_EQ(image.rows[1], none);
  EXPECT_EQ(image.rows[2], one) << "5 to 6";
  EXPECT_EQ(image.rows[3], one);
  EXPECT_EQ(image.rows[4], two) << "23 to 0";
}

TEST(HourTicks, ColourTicksAreWhitePixels) {
  ImageHarness h(1, 4, 2);
  createImageFile(h.s);
  h.s.currenthour = 0;
  h.row(9);
  EXPECT_EQ(h.s.hourtick, 0) << "the first row at hour 0 carries no tick";
  h.s.currenthour = 23;
  h.row(9);
  h.s.currenthour = 0;
  h.row(9);
  test::BmpImage image = h.image();
  std::vector<uint8_t> expected(24, 9);
  EXPECT_EQ(image.rows[0], expected);
  std::fill(expected.begin(), expected.begin() + 3, 255);
  std::fill(expected.begin() + 12, expected.begin() + 15, 255);
  EXPECT_EQ(image.rows[1], expected);
  std::fill(expected.begin(), expected.begin() + 6, 255);
  std::fill(expected.begin() + 12, expected.begin() + 18, 255);
  EXPECT_EQ(image.rows[2], expected);
}

TEST(HourTicks, BeforeTheFirstStatusLineTheHourIsMinusOne) {
  ImageHarness h(0, 4, 1);
  createImageFile(h.s);
  h.row(50);
  EXPECT_EQ(h.s.hourtick, 1);
  EXPECT_EQ(h.s.markedhour, -1);
  EXPECT_EQ(h.image().rows[0], (std::vector<uint8_t>{255, 50, 50, 50}));
}

TEST(HourTicks, DoubleTickOfTheLastStationStaysInsideTheRow) {
  ImageHarness h(0, 1, 4);
  createImageFile(h.s);
  h.s.currenthour = 0;
  h.s.markedhour = 23;
  h.row(1);
  EXPECT_EQ(h.s.rowbuffer, std::vector<uint8_t>(4, 255));
  EXPECT_EQ(h.bytes().size(), 1082u);
}

// ---- Image command ----------------------------------------------------------

namespace {

// Rows after which bmpcmd ran, for rows 1 ... `rows` with hour ticks on the listed rows.
std::vector<int> commandRows(int32_t bmpcmdcount, int rows, const std::vector<int>& tickRows = {}) {
  ImageHarness h(0, 4, 1);
  h.s.bmpcmd = "cp image.bmp /srv/www";
  h.s.bmpcmdcount = bmpcmdcount;
  h.s.currenthour = 0;
  createImageFile(h.s);
  std::vector<int> ran;
  for (int n = 1; n <= rows; ++n) {
    if (std::find(tickRows.begin(), tickRows.end(), n) != tickRows.end()) h.s.currenthour = (h.s.currenthour + 1) % 24;
    std::size_t before = h.t.commands.commands.size();
    h.row(0);
    if (h.t.commands.commands.size() > before) ran.push_back(n);
  }
  for (const auto& command : h.t.commands.commands) EXPECT_EQ(command, "cp image.bmp /srv/www");
  return ran;
}

} // namespace

TEST(ImageCommand, RunsAtTheConfiguredCadence) {
  EXPECT_EQ(commandRows(3, 8), (std::vector<int>{1, 4, 7}));
  EXPECT_EQ(commandRows(1, 3), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(commandRows(0, 3), (std::vector<int>{1, 2, 3}));
  // Every second hour-tick row after the first row.
  EXPECT_EQ(commandRows(-2, 12, {3, 5, 6, 9, 11}), (std::vector<int>{1, 5, 9}));
  EXPECT_EQ(commandRows(-1, 6, {2, 5}), (std::vector<int>{1, 2, 5}));
}

TEST(ImageCommand, TicksCountForPositiveCadenceOnlyAsRows) {
  EXPECT_EQ(commandRows(2, 5, {2, 3}), (std::vector<int>{1, 3, 5}));
}

TEST(ImageCommand, NothingRunsWithoutACommand) {
  ImageHarness h(0, 4, 1);
  createImageFile(h.s);
  for (int n = 0; n < 3; ++n) h.row(0);
  EXPECT_TRUE(h.t.commands.commands.empty());
  EXPECT_EQ(h.s.bmpcmdcounter, 0);
}

TEST(ImageCommand, RunsAfterTheRowIsInTheFile) {
  ImageHarness h(0, 4, 1);
  h.s.bmpcmd = "viewer";
  createImageFile(h.s);
  struct CheckingRunner final : CommandRunner {
    const ImageHarness* h = nullptr;
    int32_t heightSeen = -1;
    void run(const std::string&) override { heightSeen = h->image().height; }
  } runner;
  runner.h = &h;
  Platform platform{h.t.console, h.t.keyboard, h.t.clock, runner, h.t.random, h.t.errors};
  appendImageRow(h.s, platform);
  EXPECT_EQ(runner.heightSeen, 1);
}

// ---- Failures and the retry ---------------------------------------------------

TEST(ImageRetry, FailingWritesAreRetriedUntilTheRowIsWritten) {
  ImageHarness h(0, 8, 1);
  h.s.bmperrorhandling = 1;
  h.s.currenthour = 0;
  createImageFile(h.s);
  h.row(1);
  ScriptedImageFile file;
  file.failWrites = 5;
  h.paint(2);
  appendImageRowVia(h.s, h.t.platform, file);
  EXPECT_EQ(file.opens, 6);
  EXPECT_NEAR(h.t.clock.slept, 1.0, 1e-9) << "five waits of 200 ms";
  EXPECT_EQ(h.t.text(), "") << "bmperrorhandling 1 is silent";
  EXPECT_EQ(h.s.imageheight, 2) << "advanced once";
  test::BmpImage image = h.image();
  ASSERT_EQ(image.problem, "");
  ASSERT_EQ(image.height, 2);
  EXPECT_EQ(image.rows[1], std::vector<uint8_t>(8, 2));
  EXPECT_EQ(h.bytes().size(), 1078u + 16u) << "the row is in the file exactly once";
}

TEST(ImageRetry, ErrorCodesPrintedFromLevelTwo) {
  ImageHarness h(0, 8, 1);
  h.s.bmperrorhandling = 2;
  createImageFile(h.s);
  ScriptedImageFile file;
  file.failWrites = 1;
  file.failOpens = 0;
  appendImageRowVia(h.s, h.t.platform, file);
  EXPECT_EQ(h.t.text(), " 28 \r\n");

  // Once a retry is under way a failing open is retried as well.
  ImageHarness g(0, 8, 1);
  g.s.bmperrorhandling = 3;
  createImageFile(g.s);
  struct OpenFailsAfterWrite final : ImageFileAccess {
    ScriptedImageFile inner;
    bool open(const std::string& path) override {
      if (inner.opens == 1) inner.failOpens = 2;
      return inner.open(path);
    }
    int64_t size() override { return inner.size(); }
    bool writeAt(int64_t offset, const void* data, std::size_t count) override {
      return inner.writeAt(offset, data, count);
    }
    bool close() override { return inner.close(); }
    int error() const override { return inner.error(); }
  } flaky;
  flaky.inner.failWrites = 1;
  appendImageRowVia(g.s, g.t.platform, flaky);
  EXPECT_EQ(g.t.text(), " 28 \r\n 13 \r\n 13 \r\n");
  EXPECT_EQ(flaky.inner.opens, 4);
  EXPECT_EQ(g.image().height, 1);
}

TEST(ImageRetry, KeyQEndsTheProgramDuringTheRetry) {
  ImageHarness h(0, 8, 1);
  h.s.bmperrorhandling = 2;
  createImageFile(h.s);
  ScriptedImageFile file;
  file.failWrites = 100;
  h.t.keyboard.keys = {'x', 'Q', 'q'};
  try {
    appendImageRowVia(h.s, h.t.platform, file);
    ADD_FAILURE() << "q did not end the program";
  } catch (const ProgramEnd& end) {
    EXPECT_EQ(end.status, 0);
  }
  EXPECT_EQ(h.t.text(), " 28 \r\n 28 \r\n") << "the third attempt is ended before its code";
  EXPECT_EQ(file.opens, 3);
}

TEST(ImageRetry, FailuresAreFatalWithoutErrorHandling) {
  ImageHarness h(0, 8, 1);
  createImageFile(h.s);
  ScriptedImageFile file;
  file.failWrites = 1;
  try {
    appendImageRowVia(h.s, h.t.platform, file);
    ADD_FAILURE() << "a failed write went on";
  } catch (const FatalError& error) {
    EXPECT_EQ(error.subject(), h.s.bmp);
    EXPECT_EQ(error.reason(), std::strerror(ENOSPC));
  }
  EXPECT_EQ(h.t.clock.slept, 0);
}

TEST(ImageRetry, FirstOpenAndFinalCloseStayFatal) {
  for (int16_t handling : {0, 1, 2}) {
    ImageHarness h(0, 8, 1);
    h.s.bmperrorhandling = handling;
    createImageFile(h.s);
    ScriptedImageFile opening;
    opening.failOpens = 1;
    EXPECT_THROW(appendImageRowVia(h.s, h.t.platform, opening), FatalError) << handling;
    ScriptedImageFile closing;
    closing.failCloses = 1;
    try {
      appendImageRowVia(h.s, h.t.platform, closing);
      ADD_FAILURE() << "a failed close went on";
    } catch (const FatalError& error) {
      EXPECT_EQ(error.reason(), std::strerror(EIO));
    }
    EXPECT_EQ(h.t.clock.slept, 0);
  }
}

TEST(ImageRetry, ImageFileThatIsADirectoryIsFatal) {
  ImageHarness h(0, 8, 1);
  std::filesystem::create_directory(h.s.bmp);
  try {
    createImageFile(h.s);
    ADD_FAILURE() << "created an image over a directory";
  } catch (const FatalError& error) {
    EXPECT_EQ(error.subject(), h.s.bmp);
    EXPECT_EQ(error.reason(), std::strerror(EISDIR));
  }

  ImageHarness g(0, 8, 1);
  g.s.bmperrorhandling = 2;
  createImageFile(g.s);
  std::filesystem::remove(g.s.bmp);
  std::filesystem::create_directory(g.s.bmp);
  EXPECT_THROW(appendImageRow(g.s, g.t.platform), FatalError) << "the first open of a row is not retried";
}

namespace {

// Puts the image file back after a number of waits.
class RepairingClock final : public Clock {
public:
  int sleeps = 0;
  int repairAfter = 0;        // [sleeps]
  std::function<void()> repair;
  double timer() override { return 0; }
  std::string dateText() override { return "01-01-2001"; }
  std::string timeText() override { return "00:00:00"; }
  void sleep(double) override {
    if (++sleeps == repairAfter) repair();
  }
};

} // namespace

TEST(ImageRetry, FullDiskForAboutOneSecond) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
  ImageHarness h(0, 8, 1);
  h.s.bmperrorhandling = 1;
  h.s.currenthour = 0;
  createImageFile(h.s);
  h.row(1);
  const std::string kept = h.dir.file("kept.bmp");
  std::filesystem::rename(h.s.bmp, kept);
  std::filesystem::create_symlink("/dev/full", h.s.bmp);
  RepairingClock clock;
  clock.repairAfter = 5;
  clock.repair = [&] {
    std::filesystem::remove(h.s.bmp);
    std::filesystem::rename(kept, h.s.bmp);
  };
  Platform platform{h.t.console, h.t.keyboard, clock, h.t.commands, h.t.random, h.t.errors};
  h.paint(2);
  appendImageRow(h.s, platform);
  EXPECT_EQ(clock.sleeps, 5);
  test::BmpImage image = h.image();
  ASSERT_EQ(image.problem, "");
  ASSERT_EQ(image.height, 2);
  EXPECT_EQ(image.rows[0], std::vector<uint8_t>(8, 1));
  EXPECT_EQ(image.rows[1], std::vector<uint8_t>(8, 2));
}

} // namespace velkor
