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

#include "ground/bytes.h"
#include "ground/errors.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace velkor {

namespace {

constexpr int32_t kHeaderBytes = 54;     // file header and information header
constexpr int32_t kPaletteEntries = 256; // grey ramp
constexpr int32_t kSizeField = 2;        // offset of the file size
constexpr int32_t kHeightField = 22;     // offset of the height
constexpr uint8_t kUndrawn = 0x20;       // bytes of pixels no station draws
constexpr uint8_t kTick = 255;           // hour-tick bytes

// Header and palette of the image as it stands with `height` rows in `filesize` bytes.
std::vector<uint8_t> imageHead(const Image& img, int32_t height, int32_t filesize) {
  std::vector<uint8_t> head{'B', 'M'};
  appendLittle(head, static_cast<uint32_t>(filesize), 4);
  appendLittle(head, 0, 4);
  appendLittle(head, static_cast<uint32_t>(kHeaderBytes + img.palettebytes), 4);
  appendLittle(head, 40, 4);
  appendLittle(head, static_cast<uint32_t>(img.imagewidth), 4);
  appendLittle(head, static_cast<uint32_t>(height), 4);
  appendLittle(head, 1, 2);
  appendLittle(head, static_cast<uint32_t>(8 * img.bytesperpixel), 2);
  head.resize(kHeaderBytes, 0);
  if (img.palettebytes > 0) {
    for (int32_t i = 0; i < kPaletteEntries; ++i) {
      auto grey = static_cast<uint8_t>(i);
      head.insert(head.end(), {grey, grey, grey, 0});
    }
  }
  return head;
}

// What a freshly created file holds: the header of an image without rows.
std::vector<uint8_t> emptyImageHead(const Image& img) { return imageHead(img, 0, kHeaderBytes + img.palettebytes); }

[[noreturn]] void imageFileFails(const Settings& cfg, int error) { throw FatalError(cfg.bmp, fileErrorText(error)); }

int32_t rowBytes(const Image& img) { return img.imagewidth * img.bytesperpixel; }

// Hidden stations take no pixels; more hidden than configured stations leaves none.
int32_t drawnStations(const Stations& stn) { return std::max(0, stn.displayedstations); }

void drawHourTicks(const Settings& cfg, const Stations& stn, Image& img, int32_t currenthour) {
  img.hourtick = 0;
  if (currenthour == img.markedhour) return;
  img.hourtick = 1;
  img.markedhour = currenthour;
  // The day boundary is marked twice as wide as the other hours.
  int64_t length = int64_t{img.bytesperpixel} * (currenthour == 0 ? 2 : 1);
  auto rowEnd = static_cast<int64_t>(img.rowbuffer.size());
  for (int64_t station = 0; station < drawnStations(stn); ++station) {
    int64_t first = station * cfg.displaysamples * img.bytesperpixel;
    int64_t last = std::min(first + length, rowEnd);
    for (int64_t byte = first; byte < last; ++byte) img.rowbuffer[static_cast<std::size_t>(byte)] = kTick;
  }
}

// Writes the size fields `filesize` [bytes] and `height` [rows]; false on failure.
bool writeSizes(ImageFileAccess& file, int32_t filesize, int32_t height) {
  const auto size = little32Bytes(filesize);
  const auto rows = little32Bytes(height);
  return file.writeAt(kSizeField, size.data(), size.size()) && file.writeAt(kHeightField, rows.data(), rows.size());
}

// Writes the new row and the sizes that include it; a file found without its
// header (deleted while the receiver runs) first gets the header of an empty
// image again, so that every state a crash can leave is a readable BMP. The
// row goes first and the sizes after it; a row or sizes written in part (a
// full disk) are cut back to the image before the row, so that the size
// field always tells the file's length. Returns 0 or the errno of the first
// failure.
int writeRowUpdate(const Image& img, ImageFileAccess& file) {
  const std::vector<uint8_t> head = emptyImageHead(img);
  int64_t present = file.size();
  if (present < 0) return file.error();
  // Shorter than its header (deleted or cut): header and palette again, or no viewer reads it.
  if (present < static_cast<int64_t>(head.size()) && !file.writeAt(0, head.data(), head.size())) return file.error();
  const int32_t rowOffset = img.imagefilesize - rowBytes(img); // [bytes] the image's length before the row
  // Cutting back and restoring the sizes are best effort: the failure to report is the first one.
  if (!file.writeAt(rowOffset, img.rowbuffer.data(), static_cast<std::size_t>(rowBytes(img)))) {
    const int error = file.error();
    file.truncate(rowOffset);
    return error;
  }
  if (!writeSizes(file, img.imagefilesize, img.imageheight)) {
    const int error = file.error();
    if (file.truncate(rowOffset)) writeSizes(file, rowOffset, img.imageheight - 1);
    return error;
  }
  return 0;
}

void runImageCommand(const Settings& cfg, Image& img, CommandRunner& commands) {
  if (cfg.bmpcmd.empty()) return;
  if ((cfg.bmpcmdcount > 0 || img.hourtick == 1) && img.bmpcmdcounter > 0) img.bmpcmdcounter = img.bmpcmdcounter - 1;
  if (img.bmpcmdcounter == 0) {
    img.bmpcmdcounter = cfg.bmpcmdcount == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max()
                                                                               : std::abs(cfg.bmpcmdcount);
    commands.run(cfg.bmpcmd);
  }
}

} // namespace

void createImageFile(const Settings& cfg, const Stations& stn, Image& img) {
  img.bytesperpixel = cfg.colour != 0 ? 3 : 1;
  img.palettebytes = cfg.colour != 0 ? 0 : 4 * kPaletteEntries;
  int64_t width = int64_t{std::max(0, cfg.displaysamples)} * drawnStations(stn);
  width = (width + 3) / 4 * 4;
  // The size fields are 32-bit: a single row must leave room for growth.
  if (width * img.bytesperpixel > std::numeric_limits<int32_t>::max() / 2)
    throw FatalError(cfg.bmp, "rows of " + std::to_string(width) + " pixels are too wide for a BMP file");
  img.imagewidth = static_cast<int32_t>(width);
  img.imageheight = 0;
  img.imagefilesize = kHeaderBytes + img.palettebytes;

  const std::vector<uint8_t> head = emptyImageHead(img);
  File file;
  if (!file.open(cfg.bmp, File::Mode::CreateTruncate)) imageFileFails(cfg, file.error());
  if (!file.write(head.data(), head.size())) imageFileFails(cfg, file.error());
  if (!file.close()) imageFileFails(cfg, file.error());
  img.rowbuffer.assign(static_cast<std::size_t>(rowBytes(img)), kUndrawn);
}

bool beginImageRow(const Settings& cfg, const Stations& stn, Image& img, int32_t currenthour) {
  // Without createImageFile there is no image to grow.
  if (img.bytesperpixel == 0) return false;
  drawHourTicks(cfg, stn, img, currenthour);
  if (int64_t{img.imagefilesize} + rowBytes(img) > std::numeric_limits<int32_t>::max())
    throw FatalError(cfg.bmp, "the image has reached the largest size a BMP file can state");
  img.imagefilesize = img.imagefilesize + rowBytes(img);
  img.imageheight = img.imageheight + 1;
  return true;
}

int writeImageRow(const Settings& cfg, const Image& img, ImageFileAccess& file, bool retrying) {
  if (!file.open(cfg.bmp)) {
    if (!retrying) imageFileFails(cfg, file.error());
    return file.error();
  }
  int error = writeRowUpdate(img, file);
  if (error == 0) return 0;
  file.close();
  if (cfg.bmperrorhandling == 0) imageFileFails(cfg, error);
  return error;
}

void finishImageRow(const Settings& cfg, Image& img, ImageFileAccess& file, CommandRunner& commands) {
  if (!file.close()) imageFileFails(cfg, file.error());
  runImageCommand(cfg, img, commands);
}

} // namespace velkor
