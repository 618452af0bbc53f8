// The layout of a WAV recording.
//
// A WAV file is a RIFF file: the bytes "RIFF", a 32-bit little-endian size,
// the bytes "WAVE", then chunks to the end of the file. Each chunk is a
// 4-byte identifier, a 32-bit little-endian payload size and the payload,
// followed by one pad byte when the size is odd. The "fmt " chunk carries
// (little-endian) a 16-bit format tag, 16-bit channel count, 32-bit sample
// rate [Hz], 32-bit byte rate, 16-bit frame size and 16-bit bits per sample.
// The samples are the payloads of the "data" chunks in file order; a file may
// hold several, with other chunks between them (KiwiSDR IQ recordings put a
// 10-byte "kiwi" GPS time stamp before every 2048-byte data chunk). A data
// size of 0 or 0xFFFFFFFF, as recorders leave it while still writing, means
// "to the end of the file"; a size beyond the end of the file is cut there.
//
// Samples are interleaved frames, one value per channel (first channel real,
// second imaginary), 16-bit signed little-endian or 8-bit unsigned with 128 as
// zero; the receiver takes width and channels from its settings, not from
// "fmt ". A file that does not begin with "RIFF", a size and "WAVE" is read
// as a 46-byte header followed by raw samples.
//
// A "kiwi" chunk holds the KiwiSDR's GPS time stamp of the first frame of the
// data chunk after it, 10 bytes little-endian: an 8-bit GPS solution (255:
// the receiver had no fix), an unused byte, the 32-bit GPS second of the week
// and 32-bit nanoseconds. The GPS week is not in it. The first "kiwi" chunk of
// a file may be all zeros: it carries no stamp.
#pragma once

#include "platform/files.h"

#include <cstdint>
#include <vector>

namespace velkor {

inline constexpr int64_t kRiffHeaderBytes = 12;     // "RIFF", size, "WAVE"
inline constexpr int64_t kPlainWavHeaderBytes = 46; // skipped unread in a file that is not RIFF

struct WavLayout {
  bool riff = false;         // begins with "RIFF", a size and "WAVE"
  int64_t sampleBytes = 0;   // [bytes] in all data chunks
  bool hasFormat = false;    // a "fmt " chunk of 16 or more bytes was found
  int32_t channels = 0;      // values per frame, from "fmt "
  int32_t bitsPerSample = 0; // [bits] per value, from "fmt "
  int64_t rate = 0;          // [Hz], from "fmt "
};

inline constexpr uint32_t kKiwiStampBytes = 10; // [bytes] of a "kiwi" chunk's time stamp
inline constexpr uint8_t kNoGpsFix = 255;       // GPS solution byte of a stamp without a fix

// One "kiwi" chunk's time stamp and where it stands in the samples.
struct KiwiStamp {
  int64_t samplebytes = 0;  // [bytes] of samples in the data chunks before it
  int64_t frame = 0;        // [frames] before it: the index of the frame it stamps (set by readKiwiStamps)
  bool blank = false;       // all ten bytes zero: no stamp
  uint8_t solution = 0;     // GPS solution, kNoGpsFix without a fix
  uint32_t gpsseconds = 0;  // [s] of the GPS week
  uint32_t nanoseconds = 0; // [ns]
};

// Walks the chunks of `file`, open at its start and `fileSize` bytes long.
// With `stamps`, every "kiwi" time stamp is appended to it (samplebytes set,
// frame not). The read position is left anywhere.
WavLayout scanWav(File& file, int64_t fileSize, std::vector<KiwiStamp>* stamps = nullptr);

// One chunk header as read from the file.
struct ChunkHeader {
  char id[4] = {};   // identifier, e.g. "data", "fmt ", "kiwi"
  uint32_t size = 0; // [bytes] payload as declared
  bool is(const char* name) const;
};

// Reads the next chunk header; false at the end of the file.
bool readChunkHeader(File& file, ChunkHeader& header);

// Payload bytes of a data chunk that declares `size`, with `available` bytes
// left in the file after its header [bytes]; sets toEnd for 0 / 0xFFFFFFFF.
int64_t dataChunkBytes(uint32_t size, int64_t available, bool& toEnd);

} // namespace velkor
