// The image of a run, as the main cycle builds it (render a row from the long
// sums, append it, clear the sums), checked by readers that share no code with
// the writer: Python's standard library and, where installed, ImageMagick.
#include "core/startup.h"
#include "image/bmpfile.h"
#include "image/bmpreader.h"
#include "image/render.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace velkor {

namespace {

std::string findOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  std::stringstream directories(path);
  std::string directory;
  while (std::getline(directories, directory, ':')) {
    if (directory.empty()) continue;
    auto candidate = std::filesystem::path(directory) / program;
    std::error_code ignored;
    if (std::filesystem::is_regular_file(candidate, ignored) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate.string();
  }
  return {};
}

// Four stations of 25 points, the last one hidden: 75 pixels, 76 wide.
struct ImageRun {
  test::ScratchDir dir;
  test::TestPlatform t;
  State s;
  std::vector<std::vector<uint8_t>> written; // rowbuffer of every appended row

  explicit ImageRun(int32_t colour) {
    s.colour = colour;
    s.displaysamples = 25;
    s.stationcount = 4;
    s.hidden = 1;
    s.displayedstations = 3;
    s.stationgri = {7499, 6731, 9940, 7499};
    s.stationdistance = {500, 1200, 0, 800};
    s.stationpower = {400, 800, 0, 400};
    s.normalizedistance = 1000;
    s.bmp = dir.file("velkor.bmp");
    dimensionArrays(s);
    createImageFile(s);
  }

  // A pulse rising in each station's window, turning in phase from row to row.
  void drawRows(int rows) {
    for (int row = 0; row < rows; ++row) {
      s.currenthour = (22 + row / 2) % 24;
      for (int32_t station = 0; station < s.stationcount; ++station) {
        for (int32_t i = 0; i < s.displaysamples; ++i) {
          auto index = static_cast<std::size_t>(station * s.displaysamples + i);
          float amplitude = i < 5 ? 0.0f : 300.0f * static_cast<float>(i - 4) * static_cast<float>(station + 1);
          float phase = 0.4f * static_cast<float>(row) + 0.1f * static_cast<float>(i);
          s.longsumre[index] = amplitude * std::cos(phase);
          s.longsumim[index] = amplitude * std::sin(phase);
        }
        s.longdrift[static_cast<std::size_t>(station)] = 0.5f;
      }
      renderImageRow(s);
      appendImageRow(s, t.platform);
      written.push_back(s.rowbuffer);
      std::fill(s.longsumre.begin(), s.longsumre.end(), 0.0f);
      std::fill(s.longsumim.begin(), s.longsumim.end(), 0.0f);
      std::fill(s.longdrift.begin(), s.longdrift.end(), 0.0f);
    }
  }

  long pixelByteSum() const {
    long sum = 0;
    for (const auto& row : written)
      for (uint8_t byte : row) sum += byte;
    return sum;
  }
};

// Reads the header with the standard library only and prints what a viewer
// needs: width, height, bits per pixel, the sum of all pixel bytes.
constexpr const char* kPythonReader = R"(import struct, sys
data = open(sys.argv[1], 'rb').read()
magic, size, _, offset = struct.unpack_from('<2sIII', data, 0)
info, width, height, planes, bits, compression = struct.unpack_from('<IiiHHI', data, 14)
assert magic == b'BM', magic
assert size == len(data), (size, len(data))
assert info == 40 and planes == 1 and compression == 0
assert bits in (8, 24)
if bits == 8:
    palette = data[54:offset]
    assert len(palette) == 1024
    assert all(palette[4 * i:4 * i + 4] == bytes((i, i, i, 0)) for i in range(256))
stride = (width * bits + 31) // 32 * 4
assert offset + stride * height == len(data)
print(width, height, bits, sum(data[offset:]))
)";

} // namespace

TEST(ImageOfARun, ReadBackByteByByte) {
  for (int32_t colour : {0, 1}) {
    ImageRun run(colour);
    run.drawRows(6);
    test::BmpImage image = test::readBmp(run.dir.read("velkor.bmp"));
    ASSERT_EQ(image.problem, "") << "colour " << colour;
    EXPECT_EQ(image.width, 76);
    EXPECT_EQ(image.height, 6);
    EXPECT_EQ(image.bitsperpixel, colour ? 24 : 8);
    ASSERT_EQ(image.rows.size(), run.written.size());
    for (std::size_t row = 0; row < image.rows.size(); ++row) EXPECT_EQ(image.rows[row], run.written[row]) << row;
    // The padding pixel keeps its fill, the hour ticks show at 22, 23 and 0.
    std::size_t bpp = colour ? 3 : 1;
    for (const auto& row : image.rows)
      EXPECT_EQ(std::vector<uint8_t>(row.begin() + static_cast<std::ptrdiff_t>(75 * bpp), row.end()),
                std::vector<uint8_t>(bpp, 0x20));
    EXPECT_EQ(image.rows[4][0], 255);
    EXPECT_EQ(image.rows[4][2 * bpp - 1], 255) << "two tick pixels at hour 0";
    // The stations are drawn: the pulse is brighter than the quiet start.
    EXPECT_EQ(image.rows[1][bpp], 0);
    EXPECT_GT(image.rows[1][24 * bpp], 0);
  }
}

TEST(ImageOfARun, PythonReadsTheImage) {
  std::string python = findOnPath("python3");
  if (python.empty()) GTEST_SKIP() << "python3 is not on this machine";
  for (int32_t colour : {0, 1}) {
    ImageRun run(colour);
    run.dir.write("reader.py", kPythonReader);
    // An empty image first, then the grown one.
    auto empty = test::runProcess({python, "-I", "reader.py", "velkor.bmp"}, run.dir.path());
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(empty.out, "76 0 " + std::to_string(colour ? 24 : 8) + " 0\n");
    run.drawRows(5);
    auto grown = test::runProcess({python, "-I", "reader.py", "velkor.bmp"}, run.dir.path());
    EXPECT_EQ(grown.status, 0) << grown.err;
    EXPECT_EQ(grown.out,
              "76 5 " + std::to_string(colour ? 24 : 8) + " " + std::to_string(run.pixelByteSum()) + "\n");
  }
}

TEST(ImageOfARun, ImageMagickReadsTheImage) {
  std::string identify = findOnPath("identify");
  if (identify.empty()) GTEST_SKIP() << "ImageMagick's identify is not on this machine";
  for (int32_t colour : {0, 1}) {
    ImageRun run(colour);
    run.drawRows(4);
    auto result = test::runProcess({identify, "-format", "%w %h", "velkor.bmp"}, run.dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "76 4");
  }
}

} // namespace velkor
