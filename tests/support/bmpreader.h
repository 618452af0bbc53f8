// An independent reader of the receiver's image files. BMP as written here,
// all fields little-endian: 0 "BM", 2 file size, 10 offset of the rows,
// 14 information header size (40), 18 width, 22 height (positive: bottom-up),
// 26 planes (1), 28 bits per pixel (8 or 24), 30 24 zero bytes; for 8 bits
// 256 palette entries blue, green, red, 0; then the rows, each a multiple of
// 4 bytes, the first row stored being the bottom one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkor::test {

struct BmpImage {
  std::string problem;      // empty for a readable BMP
  uint32_t pixeloffset = 0; // [bytes]
  int32_t width = 0;        // [pixels]
  int32_t height = 0;       // [rows]
  uint16_t bitsperpixel = 0;
  std::vector<std::vector<uint8_t>> rows; // rows[0] is the bottom row
};

inline uint32_t littleEndianAt(const std::string& bytes, std::size_t offset, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i)
    value = (value << 8) | static_cast<uint8_t>(bytes[offset + static_cast<std::size_t>(i)]);
  return value;
}

inline BmpImage readBmp(const std::string& bytes) {
  BmpImage image;
  if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0) {
    image.problem = "no BMP header";
    return image;
  }
  image.pixeloffset = littleEndianAt(bytes, 10, 4);
  image.width = static_cast<int32_t>(littleEndianAt(bytes, 18, 4));
  image.height = static_cast<int32_t>(littleEndianAt(bytes, 22, 4));
  image.bitsperpixel = static_cast<uint16_t>(littleEndianAt(bytes, 28, 2));
  std::size_t stride = (static_cast<std::size_t>(image.width) * image.bitsperpixel + 31) / 32 * 4;
  if (littleEndianAt(bytes, 2, 4) != bytes.size()) image.problem = "stated size differs from the file's";
  else if (littleEndianAt(bytes, 14, 4) != 40 || littleEndianAt(bytes, 26, 2) != 1) image.problem = "odd header";
  else if (bytes.find_first_not_of('\0', 30) < 54) image.problem = "compression or resolution set";
  else if (image.pixeloffset + stride * static_cast<std::size_t>(image.height) != bytes.size())
    image.problem = "rows do not fill the file";
  if (!image.problem.empty()) return image;
  for (int32_t row = 0; row < image.height; ++row) {
    auto start = bytes.begin() + image.pixeloffset + static_cast<std::ptrdiff_t>(stride) * row;
    image.rows.emplace_back(start, start + static_cast<std::ptrdiff_t>(stride));
  }
  return image;
}

} // namespace velkor::test
