// An independent reader of the receiver's image files, for checking them byte
// by byte. BMP as written here:
//
//   0 "BM", 2 file size, 6 reserved (0), 10 offset of the pixel rows,
//   14 information header size (40), 18 width, 22 height (positive: bottom-up),
//   26 planes (1), 28 bits per pixel (8 or 24), 30 compression and the rest of
//   the information header (24 zero bytes); then, for 8 bits, 256 palette
//   entries of blue, green, red, reserved; then the rows, each padded to a
//   multiple of 4 bytes, the first row stored being the bottom one.
//
// All fields little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkor::test {

struct BmpImage {
  std::string problem;          // empty when the file is a readable BMP
  std::string magic;
  uint32_t filesize = 0;        // [bytes] as stated in the header
  uint32_t reserved = 0;
  uint32_t pixeloffset = 0;     // [bytes]
  uint32_t infosize = 0;        // [bytes]
  int32_t width = 0;            // [pixels]
  int32_t height = 0;           // [rows]
  uint16_t planes = 0;
  uint16_t bitsperpixel = 0;
  std::vector<uint8_t> infotail;               // bytes 30 ... 53
  std::vector<uint8_t> palette;                // [bytes] between header and rows
  std::vector<std::vector<uint8_t>> rows;      // in file order: rows[0] is the bottom row
};

inline uint32_t readLittleEndian(const std::string& bytes, std::size_t offset, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i)
    value = (value << 8) | static_cast<uint8_t>(bytes[offset + static_cast<std::size_t>(i)]);
  return value;
}

inline BmpImage readBmp(const std::string& bytes) {
  BmpImage image;
  if (bytes.size() < 54) {
    image.problem = "shorter than the 54-byte header";
    return image;
  }
  image.magic = bytes.substr(0, 2);
  image.filesize = readLittleEndian(bytes, 2, 4);
  image.reserved = readLittleEndian(bytes, 6, 4);
  image.pixeloffset = readLittleEndian(bytes, 10, 4);
  image.infosize = readLittleEndian(bytes, 14, 4);
  image.width = static_cast<int32_t>(readLittleEndian(bytes, 18, 4));
  image.height = static_cast<int32_t>(readLittleEndian(bytes, 22, 4));
  image.planes = static_cast<uint16_t>(readLittleEndian(bytes, 26, 2));
  image.bitsperpixel = static_cast<uint16_t>(readLittleEndian(bytes, 28, 2));
  image.infotail.assign(bytes.begin() + 30, bytes.begin() + 54);
  if (image.magic != "BM") image.problem = "no BM signature";
  else if (image.filesize != bytes.size()) image.problem = "stated size differs from the file's";
  else if (image.pixeloffset < 54 || image.pixeloffset > bytes.size()) image.problem = "pixel offset outside the file";
  else if (image.width < 0 || image.height < 0) image.problem = "negative dimensions";
  if (!image.problem.empty()) return image;
  image.palette.assign(bytes.begin() + 54, bytes.begin() + image.pixeloffset);
  std::size_t stride = (static_cast<std::size_t>(image.width) * image.bitsperpixel + 31) / 32 * 4;
  if (image.pixeloffset + stride * static_cast<std::size_t>(image.height) != bytes.size()) {
    image.problem = "rows do not fill the file";
    return image;
  }
  for (int32_t row = 0; row < image.height; ++row) {
    auto start = bytes.begin() + image.pixeloffset + static_cast<std::ptrdiff_t>(stride) * row;
    image.rows.emplace_back(start, start + static_cast<std::ptrdiff_t>(stride));
  }
  return image;
}

} // namespace velkor::test
