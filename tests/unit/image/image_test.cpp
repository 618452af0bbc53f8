// The growing BMP image, read back by the suite's own reader, and the pixels a
// row of long sums turns into.
#include "image/bmpfile.h"
#include "support/bmpreader.h"
#include "image/imagefileaccess.h"
#include "image/render.h"

#include "ground/errors.h"
#include "processing/integration.h"
#include "top/cycle.h"
#include "top/startup.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <tuple>

namespace velkor {

namespace {

using Bytes = std::vector<uint8_t>;
using Pixels = std::vector<int>;
using Adjust = std::function<void(Record&)>;

// An image of `stations` strips of `points` pixels in a scratch directory.
struct ImageHarness {
  test::ScratchDir dir;
  test::TestPlatform t;
  Record s;
  ImageHarness(int32_t colour, int32_t points, int32_t stations = 1) {
    std::tie(s.settings.colour, s.settings.displaysamples, s.stations.displayedstations) =
        std::tuple(colour, points, stations);
    s.stations.stationgri.assign(static_cast<std::size_t>(stations), 7499);
    s.settings.bmp = dir.file("velkor.bmp");
    createImageFile(s.settings, s.stations, s.image);
  }
  test::BmpImage image() const { return test::readBmp(dir.read("velkor.bmp")); }
  void paint(uint8_t value, int32_t hour = 0) { // every drawn pixel; the padding keeps its own
    std::fill_n(s.image.rowbuffer.begin(),
                s.settings.displaysamples * s.stations.displayedstations * s.image.bytesperpixel, value);
    s.cycle.currenthour = hour;
  }
  void row(uint8_t value, int32_t hour = 0) {
    paint(value, hour);
    PosixImageFile file;
    appendImageRow(s, t.platform, file);
  }
};

// The real file, with writes failing on cue and the offsets of those that went through.
class FlakyFile final : public ImageFileAccess {
public:
  int failWrites = 0;
  std::vector<int64_t> written;
  bool open(const std::string& path) override { return real_.open(path); }
  int64_t size() override { return real_.size(); }
  bool writeAt(int64_t offset, const void* data, std::size_t count) override {
    if (failWrites > 0) return failWrites--, false;
    written.push_back(offset);
    return real_.writeAt(offset, data, count);
  }
  bool truncate(int64_t size) override { return real_.truncate(size); }
  bool close() override { return real_.close(); }
  int error() const override { return ENOSPC; }

private:
  PosixImageFile real_;
};

// The bytes of a row of `stations` strips, the last `hidden` not drawn, from
// the sums re (and im) of all their points, after `setup`; fullscale 200,
// longintegration 10, filters off.
Pixels render(int32_t colour, std::vector<float> re, std::vector<float> im = {}, const Adjust& setup = {},
              int32_t stations = 1, int32_t hidden = 0) {
  Record s;
  const auto points = static_cast<int32_t>(re.size()) / stations;
  std::tie(s.settings.colour, s.settings.displaysamples, s.stations.displayedstations, s.settings.hipass,
           s.settings.jittercorr) = std::tuple(colour, points, stations - hidden, 0, 0);
  s.stations.stationgri.assign(static_cast<std::size_t>(stations), 7499);
  s.stations.stationdistance = s.stations.stationpower = std::vector<float>(static_cast<std::size_t>(stations), 0);
  prepareProcessing(s.settings, s.stations, s.processing);
  im.resize(re.size());
  std::tie(s.processing.longsumre, s.processing.longsumim) = std::tuple(re, im);
  if (setup) setup(s);
  renderImageRow(s.settings, s.stations, s.processing, s.image);
  return {s.image.rowbuffer.begin(), s.image.rowbuffer.end()};
}

} // namespace

TEST(ImageFile, HeaderPaletteWidthAndGrowth) {
  for (auto [colour, points, width, rowBytes] :
       {std::tuple(0, 100, 100, 100), {1, 100, 100, 300}, {0, 101, 104, 104}, {1, 101, 104, 312}}) {
    ImageHarness h(colour, points);
    const uint32_t head = colour ? 54 : 1078;
    test::BmpImage image = h.image();
    ASSERT_EQ(image.problem, "") << "a valid empty image right after creation";
    EXPECT_EQ(std::tuple(image.pixeloffset, image.width, image.height, image.bitsperpixel),
              std::tuple(head, width, 0, colour ? 24 : 8));
    for (int i = 0; i < (colour ? 0 : 256); ++i)
      ASSERT_EQ(h.dir.read("velkor.bmp").substr(54 + 4 * i, 4), std::string({char(i), char(i), char(i), 0})) << i;
    h.row(10);
    h.row(30);
    image = h.image();
    ASSERT_EQ(image.problem, "");
    EXPECT_EQ(std::tuple(image.height, h.s.image.imagefilesize), std::tuple(2, head + 2 * rowBytes));
    Bytes first(rowBytes, 0x20), second(rowBytes, 0x20); // the pixels beyond the strips stay 0x20
    std::fill_n(first.begin(), points * (colour ? 3 : 1), 10);
    std::fill_n(second.begin(), points * (colour ? 3 : 1), 30);
    EXPECT_EQ(image.rows, (std::vector<Bytes>{first, second})) << "the first row is the bottom one";
  }
}

TEST(ImageFile, HourTicksMarkEachStripsFirstPixels) {
  ImageHarness h(0, 4, 2);
  for (int32_t hour : {0, 5, 5, 23, 0}) h.row(100, hour);
  const Bytes none(8, 100), one{255, 100, 100, 100, 255, 100, 100, 100}, two{255, 255, 100, 100, 255, 255, 100, 100};
  EXPECT_EQ(h.image().rows, (std::vector<Bytes>{none, one, none, one, two})) << "two pixels from 23 to 0";
}

TEST(ImageFile, CommandCadence) {
  // Rows (1-based) after which the command ran, with the hour changing before the listed rows.
  auto runs = [](int32_t bmpcmdcount, int rows, std::vector<int> tickRows) {
    ImageHarness h(0, 4);
    std::tie(h.s.settings.bmpcmd, h.s.settings.bmpcmdcount) = std::tuple("cp velkor.bmp /srv", bmpcmdcount);
    std::vector<int> ran;
    for (int n = 1, hour = 0; n <= rows; ++n) {
      h.row(0, hour += static_cast<int>(std::count(tickRows.begin(), tickRows.end(), n)));
      if (h.t.commands.commands.size() > ran.size()) ran.push_back(n);
    }
    EXPECT_EQ(h.t.commands.commands, std::vector<std::string>(ran.size(), "cp velkor.bmp /srv"));
    return ran;
  };
  EXPECT_EQ(runs(3, 8, {2}), (std::vector<int>{1, 4, 7})) << "every third row, hours or not";
  EXPECT_EQ(runs(-2, 12, {3, 5, 6, 9, 11}), (std::vector<int>{1, 5, 9})) << "every second hour tick";
}

TEST(ImageFile, RowGoesInBeforeTheSizesAndADeletedFileStartsAgain) {
  ImageHarness h(0, 8);
  FlakyFile first, again;
  h.paint(1);
  appendImageRow(h.s, h.t.platform, first);
  EXPECT_EQ(first.written, (std::vector<int64_t>{1078, 2, 22}));
  std::filesystem::remove(h.s.settings.bmp);
  h.paint(3);
  appendImageRow(h.s, h.t.platform, again);
  EXPECT_EQ(again.written, (std::vector<int64_t>{0, 1086, 2, 22})) << "the header of an empty image first";
  EXPECT_EQ(h.image().rows, (std::vector<Bytes>{Bytes(8, 0), Bytes(8, 3)})) << "the earlier row is lost";
  EXPECT_EQ(h.dir.read("velkor.bmp")[54 + 4 * 200], char(200)) << "the palette is back";
}

TEST(ImageFile, FailingWritesAreRetriedUntilTheRowIsInOrQIsPressed) {
  ImageHarness h(0, 8);
  h.row(1);
  FlakyFile file;
  std::tie(h.s.settings.bmperrorhandling, file.failWrites) = std::tuple(1, 5);
  h.paint(2);
  appendImageRow(h.s, h.t.platform, file);
  EXPECT_NEAR(h.t.clock.slept, 1.0, 1e-9) << "five waits of 200 ms";
  EXPECT_EQ(h.t.text(), "") << "level 1 is silent";
  EXPECT_EQ(h.image().rows, (std::vector<Bytes>{Bytes(8, 1), Bytes(8, 2)})) << "the row is in once";

  std::tie(h.s.settings.bmperrorhandling, file.failWrites, h.t.keyboard.keys) =
      std::tuple(2, 100, std::deque<int>{'x', 'q'});
  EXPECT_EQ(appendImageRow(h.s, h.t.platform, file), Outcome::quit);
  EXPECT_EQ(h.t.text(), " 28 \r\n") << "level 2 shows the error number until q";
  std::tie(h.s.settings.bmperrorhandling, file.failWrites) = std::tuple(0, 1);
  EXPECT_THROW(appendImageRow(h.s, h.t.platform, file), FatalError) << "level 0: a failed write is fatal";
}

TEST(RenderRow, GreyLevelsAndColours) {
  const Adjust knee = [](Record&s) { s.settings.fullscaleknee = 1; }, db40 = [](Record&s) { s.settings.dbrange = 40; };
  const Adjust halfColour = [](Record& s) { s.settings.colour = 2; };
  const Adjust far = [](Record& s) { s.settings.normalizedistance = 1000, s.stations.stationdistance[0] = 2000; };
  const Adjust strong = [](Record& s) { s.settings.normalizepower = 100, s.stations.stationpower[0] = 400; };
  auto gamma = [](float g) { return Adjust([g](Record& s) { s.settings.gamma = g; }); };
  const std::tuple<int32_t, float, float, Adjust, Pixels> cases[] = {{0, 1000, 0, {}, {127}},
                                                                     {0, 600, -800, {}, {127}},
                                                                     {0, 2000, 0, {}, {255}},
                                                                     {0, 3e38f, 3e38f, {}, {255}},
                                                                     {0, 4000, 0, knee, {200}},
                                                                     {0, 2000, 0, db40, {255}},
                                                                     {0, 200, 0, db40, {127}},
                                                                     {0, 20, 0, db40, {0}},
                                                                     {0, 500, 0, far, {127}},
                                                                     {0, 2000, 0, strong, {127}},
                                                                     {0, 1000, 0, gamma(2), {63}},
                                                                     {1, 2000, 0, {}, {0, 0, 255}},
                                                                     {1, 6000, 0, {}, {127, 127, 255}},
                                                                     {1, 2400, 0, {}, {23, 23, 255}},
                                                                     {1, -1000, -1732.0508f, {}, {0, 255, 0}},
                                                                     {1, 3e38f, 3e38f, {}, {0, 0, 0}},
                                                                     {1, 8000, 0, halfColour, {0, 0, 255}}};
  for (const auto& [colour, re, im, setup, expected] : cases)
    EXPECT_EQ(render(colour, {re}, {im}, setup), expected) << re << " + j" << im;
  // A zero sum is black in every mode, also for exponents that would make it infinite.
  for (const Adjust& mode : {Adjust{}, db40, knee, gamma(0), gamma(-2)}) {
    EXPECT_EQ(render(0, {0}, {}, mode), Pixels{0});
    EXPECT_EQ(render(1, {0}, {}, mode), (Pixels{0, 0, 0}));
  }
}

TEST(RenderRow, HighPassAndFir) {
  auto hipass = [](Record& s) { s.settings.hipass = 0.1f, s.settings.jittercorr = 1, s.processing.longdrift[0] = 2; };
  EXPECT_EQ(render(0, {0, 1000, 2000}, {}, hipass), (Pixels{0, 127, 255})) << "all weight on the earlier side";
  EXPECT_EQ(render(0, {1000}, {}, hipass), Pixels{127}) << "displaysamples 1: no neighbours";
  auto fir = [](Record& s) { s.settings.firbegin = 1, s.settings.tapre = {0.5f}, s.settings.tapim = {-0.25f}; };
  EXPECT_EQ(render(0, {400, 0}, {200, 0}, fir), (Pixels{57, 31})) << "(0.5 - j0.25)(400 + j200) one point later";
}

TEST(RenderRow, StripsSideBySideAndCrossRateSubtraction) {
  auto padded = [](Record& s) { s.image.rowbuffer.assign(8, 0x20); };
  EXPECT_EQ(render(0, {0, 1000, 2000, 400, 2000, 0}, {}, padded, 3, 1), (Pixels{0, 127, 255, 51, 32, 32, 32, 32}))
      << "hidden strips and the padding are not drawn";
  // Three GRI-6000 stations: half of each of the two hidden strips at the end comes off the others.
  auto gri6000 = [](int32_t count) {
    return [count](Record& s) { s.stations.stationgri = {6000, 6000, 6000}, s.stations.gri6000count = count; };
  };
  const std::vector<float> re{3000, 1000, 2000, 0, 1000, 0}, im{0, 600, 0, 0, 0, 1200};
  EXPECT_EQ(render(0, re, im, gri6000(3), 3, 2), (Pixels{191, 127})) << "1500 and 1000 + j0";
  EXPECT_EQ(render(0, re, im, gri6000(2), 3, 2), (Pixels{255, 149})) << "only with exactly three";
  // With nine GRI-7950 stations as well, eight hidden strips, taken in pairs in list order.
  auto bothChains = [](Record& s) {
    s.stations.stationgri = {7950, 6000, 7950, 7950, 7950, 7950, 6000, 6000, 7950, 7950, 7950, 7950};
    std::tie(s.stations.gri6000count, s.stations.gri7950count, s.settings.fullscale) = std::tuple(3, 9, 1000);
  };
  EXPECT_EQ(render(0, {1e4, 1e4, 1e4, 1e4, 400, 500, 600, 700, 800, 900, 1000, 1100}, {}, bothChains, 12, 8),
            (Pixels{244, 239, 234, 229}))
      << "9550, 9350, 9150, 8950";
}

} // namespace velkor
