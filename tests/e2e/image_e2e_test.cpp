// The image of a run, built as the main cycle builds it (render a row from the
// long sums, append it, clear the sums), read back by this suite's own BMP
// reader and by one that shares nothing with the writer: Python's standard
// library unpacking the header fields.
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
#include <unistd.h>

namespace velkor {

namespace {

std::string findOnPath(const std::string& program) {
  std::stringstream directories(std::getenv("PATH") ? std::getenv("PATH") : "");
  for (std::string directory; std::getline(directories, directory, ':');) {
    auto candidate = std::filesystem::path(directory) / program;
    if (!directory.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

// Four stations of 25 points, the last hidden: 75 pixels in rows 76 wide. A
// pulse rises in every window and turns in phase from row to row; the hour
// goes 22, 22, 23, 23, 0, 0.
std::vector<std::vector<uint8_t>> drawRun(State& s, Platform& platform, int rows) {
  s.displaysamples = 25;
  s.stationcount = 4;
  s.displayedstations = 3;
  s.stationgri = {7499, 6731, 9940, 7499};
  s.stationdistance = s.stationpower = {500, 1200, 0, 800};
  s.normalizedistance = 1000;
  dimensionArrays(s);
  createImageFile(s);
  std::vector<std::vector<uint8_t>> written;
  for (int row = 0; row < rows; ++row) {
    s.currenthour = (22 + row / 2) % 24;
    for (std::size_t i = 0; i < s.longsumre.size(); ++i) {
      auto point = static_cast<float>(i % 25), station = static_cast<float>(i / 25);
      float amplitude = point < 5 ? 0.0f : 300.0f * (point - 4) * (station + 1);
      s.longsumre[i] = amplitude * std::cos(0.4f * static_cast<float>(row) + 0.1f * point);
      s.longsumim[i] = amplitude * std::sin(0.4f * static_cast<float>(row) + 0.1f * point);
    }
    std::fill(s.longdrift.begin(), s.longdrift.end(), 0.5f);
    renderImageRow(s);
    appendImageRow(s, platform);
    written.push_back(s.rowbuffer);
    std::fill(s.longsumre.begin(), s.longsumre.end(), 0.0f);
    std::fill(s.longsumim.begin(), s.longsumim.end(), 0.0f);
    std::fill(s.longdrift.begin(), s.longdrift.end(), 0.0f);
  }
  return written;
}

// Prints width, height, bits per pixel and the sum of all pixel bytes.
constexpr const char* kPythonReader = R"(import struct, sys
data = open(sys.argv[1], 'rb').read()
magic, size, _, offset = struct.unpack_from('<2sIII', data, 0)
info, width, height, planes, bits, compression = struct.unpack_from('<IiiHHI', data, 14)
assert magic == b'BM' and size == len(data), (magic, size, len(data))
assert info == 40 and planes == 1 and compression == 0 and bits in (8, 24)
if bits == 8:
    assert data[54:offset] == bytes(b for i in range(256) for b in (i, i, i, 0))
assert offset + (width * bits + 31) // 32 * 4 * height == len(data)
print(width, height, bits, sum(data[offset:]))
)";

} // namespace

TEST(ImageOfARun, OpensInIndependentReaders) {
  const std::string python = findOnPath("python3");
  for (int32_t colour : {0, 1}) {
    test::ScratchDir dir;
    test::TestPlatform t;
    State s;
    s.colour = colour;
    s.bmp = dir.file("velkor.bmp");
    std::vector<std::vector<uint8_t>> written = drawRun(s, t.platform, 6);
    const std::size_t bpp = colour ? 3 : 1;

    test::BmpImage image = test::readBmp(dir.read("velkor.bmp"));
    ASSERT_EQ(image.problem, "") << "colour " << colour;
    EXPECT_EQ(image.width, 76);
    EXPECT_EQ(image.height, 6);
    EXPECT_EQ(image.bitsperpixel, 8 * bpp);
    EXPECT_EQ(image.rows, written) << "bottom row first, every byte as rendered";
    for (const auto& row : image.rows)
      EXPECT_EQ(std::vector<uint8_t>(row.end() - bpp, row.end()), std::vector<uint8_t>(bpp, 0x20)) << "padding";
    EXPECT_EQ(image.rows[4][2 * bpp - 1], 255) << "two tick pixels at hour 0";
    EXPECT_EQ(image.rows[1][bpp], 0) << "quiet start of the window";
    EXPECT_GT(image.rows[1][24 * bpp], 0) << "the pulse";

    if (python.empty()) continue;
    long sum = 0;
    for (const auto& row : written) for (uint8_t byte : row) sum += byte;
    dir.write("reader.py", kPythonReader);
    auto result = test::runProcess({python, "-I", "reader.py", "velkor.bmp"}, dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "76 6 " + std::to_string(8 * bpp) + " " + std::to_string(sum) + "\n");
  }
  if (python.empty()) GTEST_SKIP() << "python3 is not on this machine: only the suite's own reader ran";
}

} // namespace velkor
