#include "acquisition/wavlayout.h"

#include "ground/bytes.h"

#include <algorithm>
#include <cstring>

namespace velkor {

bool ChunkHeader::is(const char* name) const { return std::memcmp(id, name, 4) == 0; }

bool readChunkHeader(File& file, ChunkHeader& header) {
  uint8_t bytes[8];
  if (file.read(bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes)) return false;
  std::memcpy(header.id, bytes, 4);
  header.size = readLittle32(bytes + 4);
  return true;
}

int64_t dataChunkBytes(uint32_t size, int64_t available, bool& toEnd) {
  toEnd = size == 0 || size == 0xFFFFFFFFu;
  const int64_t bytes = toEnd ? available : std::min<int64_t>(size, available);
  return std::max<int64_t>(bytes, 0);
}

namespace {

KiwiStamp decodeKiwiStamp(const uint8_t* bytes, int64_t samplebytes) {
  KiwiStamp stamp;
  stamp.samplebytes = samplebytes;
  stamp.blank = std::all_of(bytes, bytes + kKiwiStampBytes, [](uint8_t b) { return b == 0; });
  stamp.solution = bytes[0];
  stamp.gpsseconds = readLittle32(bytes + 2);
  stamp.nanoseconds = readLittle32(bytes + 6);
  return stamp;
}

} // namespace

WavLayout scanWav(File& file, int64_t fileSize, std::vector<KiwiStamp>* stamps) {
  WavLayout layout;
  uint8_t riff[kRiffHeaderBytes];
  if (file.read(riff, sizeof riff) != kRiffHeaderBytes || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0)
    return layout;
  layout.riff = true;

  int64_t position = kRiffHeaderBytes; // [bytes] from the start of the file
  ChunkHeader header;
  while (fileSize - position >= 8 && readChunkHeader(file, header)) {
    position += 8;
    const int64_t available = fileSize - position; // [bytes]
    int64_t consumed = 0;                          // [bytes] of the payload read here
    if (header.is("data")) {
      bool toEnd = false;
      layout.sampleBytes += dataChunkBytes(header.size, available, toEnd);
      if (toEnd) break;
    } else if (header.is("fmt ") && header.size >= 16 && !layout.hasFormat) {
      uint8_t format[16];
      if (file.read(format, sizeof format) != 16) break;
      consumed = 16;
      layout.hasFormat = true;
      layout.channels = readLittle16(format + 2);
      layout.rate = readLittle32(format + 4);
      layout.bitsPerSample = readLittle16(format + 14);
    } else if (stamps != nullptr && header.is("kiwi") && header.size >= kKiwiStampBytes) {
      uint8_t stamp[kKiwiStampBytes];
      if (file.read(stamp, sizeof stamp) != kKiwiStampBytes) break;
      consumed = kKiwiStampBytes;
      stamps->push_back(decodeKiwiStamp(stamp, layout.sampleBytes));
    }
    const int64_t advance = int64_t{header.size} + (header.size & 1u); // [bytes] payload and pad
    position += advance;
    if (position >= fileSize) break;
    if (!file.skip(advance - consumed)) break;
  }
  return layout;
}

} // namespace velkor
