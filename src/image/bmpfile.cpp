// The image file: an uncompressed Windows BMP that grows by one row at a time.
//
//   offset  size  field (little-endian)
//        0     2  "BM"
//        2     4  file size [bytes]
//        6     4  0
//       10     4  offset of the first row: 54 + palette bytes
//       14     4  40, size of the information header
//       18     4  width [pixels], a multiple of 4, so rows need no padding
//       22     4  height [rows], positive: bottom-up, the newest row is the top
//       26     2  1 plane
//       28     2  bits per pixel: 8 (grey, palette index) or 24 (blue, green, red)
//       30    24  zero: no compression, image size 0, resolutions 0, colours 0
//       54  1024  grey only: 256 entries i, i, i, 0 (blue, green, red, reserved)
//   54+pal         the rows in the order written
//
// Only the two size fields and the new row are written for each row, so that a
// viewer or the image command can read the picture while the receiver runs.
#include "image/bmpfile.h"

#include "core/cycle.h"
#include "core/errors.h"
#include "core/format.h"
#include "image/imagefileaccess.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace velkor {

namespace {

constexpr int32_t kHeaderBytes = 54;      // file header and information header
constexpr int32_t kPaletteEntries = 256;  // grey ramp
constexpr int32_t kSizeField = 2;         // offset of the file size
constexpr int32_t kHeightField = 22;      // offset of the height
constexpr uint8_t kUndrawn = 0x20;        // bytes of pixels no station draws
constexpr uint8_t kTick = 255;            // hour-tick bytes
constexpr double kRetryWait = 0.2;        // [s] between attempts of a failed row write

void putLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::array<uint8_t, 4> littleEndian(int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
          static_cast<uint8_t>(bits >> 24)};
}

// Header and palette of the image as it stands with `height` rows in `filesize` bytes.
std::vector<uint8_t> imageHead(const State& s, int32_t height, int32_t filesize) {
  std::vector<uint8_t> head{'B', 'M'};
  putLittleEndian(head, static_cast<uint32_t>(filesize), 4);
  putLittleEndian(head, 0, 4);
  putLittleEndian(head, static_cast<uint32_t>(kHeaderBytes + s.palettebytes), 4);
  putLittleEndian(head, 40, 4);
  putLittleEndian(head, static_cast<uint32_t>(s.imagewidth), 4);
  putLittleEndian(head, static_cast<uint32_t>(height), 4);
  putLittleEndian(head, 1, 2);
  putLittleEndian(head, static_cast<uint32_t>(8 * s.bytesperpixel), 2);
  head.resize(kHeaderBytes, 0);
  if (s.palettebytes > 0) {
    for (int32_t i = 0; i < kPaletteEntries; ++i) {
      auto grey = static_cast<uint8_t>(i);
      head.insert(head.end(), {grey, grey, grey, 0});
    }
  }
  return head;
}

// What a freshly created file holds: the header of an image without rows.
std::vector<uint8_t> emptyImageHead(const State& s) {
  return imageHead(s, 0, kHeaderBytes + s.palettebytes);
}

[[noreturn]] void imageFileFails(const State& s, int error) { throw FatalError(s.bmp, fileErrorText(error)); }

int32_t rowBytes(const State& s) { return s.imagewidth * s.bytesperpixel; }

// Hidden stations take no pixels; more hidden than configured stations leaves none.
int32_t drawnStations(const State& s) { return std::max(0, s.displayedstations); }

void drawHourTicks(State& s) {
  s.hourtick = 0;
  if (s.currenthour == s.markedhour) return;
  s.hourtick = 1;
  s.markedhour = s.currenthour;
  // The day boundary is marked twice as wide as the other hours.
  int64_t length = int64_t{s.bytesperpixel} * (s.currenthour == 0 ? 2 : 1);
  auto rowEnd = static_cast<int64_t>(s.rowbuffer.size());
  for (int64_t station = 0; station < drawnStations(s); ++station) {
    int64_t first = station * s.displaysamples * s.bytesperpixel;
    int64_t last = std::min(first + length, rowEnd);
    for (int64_t byte = first; byte < last; ++byte) s.rowbuffer[static_cast<std::size_t>(byte)] = kTick;
  }
}

// Writes the new row and the sizes that include it; a file found without its
// header (deleted while the receiver runs) first gets the header of an empty
// image again, so that every state a crash can leave is a readable BMP.
// Returns 0 or the errno of the first failure.
int writeRowUpdate(const State& s, ImageFileAccess& file) {
  const std::vector<uint8_t> head = emptyImageHead(s);
  int64_t present = file.size();
  if (present < 0) return file.error();
  // Shorter than its header (deleted or cut): header and palette again, or no viewer reads it.
  if (present < static_cast<int64_t>(head.size()) && !file.writeAt(0, head.data(), head.size()))
    return file.error();
  int64_t rowOffset = int64_t{s.imagefilesize} - rowBytes(s);
  if (!file.writeAt(rowOffset, s.rowbuffer.data(), static_cast<std::size_t>(rowBytes(s)))) return file.error();
  auto size = littleEndian(s.imagefilesize);
  if (!file.writeAt(kSizeField, size.data(), size.size())) return file.error();
  auto height = littleEndian(s.imageheight);
  if (!file.writeAt(kHeightField, height.data(), height.size())) return file.error();
  return 0;
}

void waitBeforeRetry(State& s, Platform& platform, int error) {
  if (platform.keyboard.readKey() == 'q') endByKey(s);
  if (s.bmperrorhandling > 1) {
    platform.console.write(formatInteger(error));
    platform.console.lineEnd();
  }
  platform.clock.sleep(kRetryWait);
}

void runImageCommand(State& s, Platform& platform) {
  if (s.bmpcmd.empty()) return;
  if ((s.bmpcmdcount > 0 || s.hourtick == 1) && s.bmpcmdcounter > 0) s.bmpcmdcounter = s.bmpcmdcounter - 1;
  if (s.bmpcmdcounter == 0) {
    s.bmpcmdcounter = s.bmpcmdcount == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max()
                                                                            : std::abs(s.bmpcmdcount);
    platform.commands.run(s.bmpcmd);
  }
}

} // namespace

void createImageFile(State& s) {
  s.bytesperpixel = s.colour != 0 ? 3 : 1;
  s.palettebytes = s.colour != 0 ? 0 : 4 * kPaletteEntries;
  int64_t width = int64_t{std::max(0, s.displaysamples)} * drawnStations(s);
  width = (width + 3) / 4 * 4;
  // The size fields are 32-bit: a single row must leave room for growth.
  if (width * s.bytesperpixel > std::numeric_limits<int32_t>::max() / 2)
    throw FatalError(s.bmp, "rows of " + std::to_string(width) + " pixels are too wide for a BMP file");
  s.imagewidth = static_cast<int32_t>(width);
  s.imageheight = 0;
  s.imagefilesize = kHeaderBytes + s.palettebytes;

  const std::vector<uint8_t> head = emptyImageHead(s);
  File file;
  if (!file.open(s.bmp, File::Mode::CreateTruncate)) imageFileFails(s, file.error());
  if (!file.write(head.data(), head.size())) imageFileFails(s, file.error());
  if (!file.close()) imageFileFails(s, file.error());
  s.rowbuffer.assign(static_cast<std::size_t>(rowBytes(s)), kUndrawn);
}

void appendImageRowVia(State& s, Platform& platform, ImageFileAccess& file) {
  // Without createImageFile there is no image to grow.
  if (s.bytesperpixel == 0) return;
  drawHourTicks(s);
  if (int64_t{s.imagefilesize} + rowBytes(s) > std::numeric_limits<int32_t>::max())
    throw FatalError(s.bmp, "the image has reached the largest size a BMP file can state");
  s.imagefilesize = s.imagefilesize + rowBytes(s);
  s.imageheight = s.imageheight + 1;

  bool retrying = false;
  for (;;) {
    if (!file.open(s.bmp)) {
      if (!retrying) imageFileFails(s, file.error());
      waitBeforeRetry(s, platform, file.error());
      continue;
    }
    int error = writeRowUpdate(s, file);
    if (error == 0) break;
    file.close();
    if (s.bmperrorhandling == 0) imageFileFails(s, error);
    retrying = true;
    waitBeforeRetry(s, platform, error);
  }
  if (!file.close()) imageFileFails(s, file.error());
  runImageCommand(s, platform);
}

void appendImageRow(State& s, Platform& platform) {
  PosixImageFile file;
  appendImageRowVia(s, platform, file);
}

} // namespace velkor
