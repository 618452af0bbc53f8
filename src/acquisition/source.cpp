// Sample input: raw sample files and WAV recordings, decoded block by block.
//
// A raw sample file has no header: it is a run of interleaved sample frames,
// each one value per channel (`channels` = 2: real, then imaginary; 1: real
// only). A value is `bytespersample` bytes: 2 = signed 16-bit little-endian,
// 1 = unsigned 8-bit with 128 as zero. A capture program writes the file
// (default "audio.dat"); the receiver reads it to its end, deletes it and
// waits for the next file of the same name. A trailing incomplete frame is
// dropped. WAV recordings carry the same frames inside RIFF data chunks
// (see wavlayout.h).
#include "acquisition/source.h"

#include "acquisition/samplekernels.h"
#include "acquisition/wavlayout.h"
#include "ground/arrays.h"
#include "ground/errors.h"
#include "ground/printable.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ostream>
#include <sstream>

namespace velkor {

namespace {

// [s] between attempts when sleeptime rounds to 0: each attempt wakes the
// process, which costs some 60 us of processor time on a virtual machine;
// 50 attempts a second keep the wait below half a percent of a core and find
// the next file within a tenth of a block.
constexpr double kShortestRawWait = 0.02;
// With rawlatency a file is dated by the moment it opens: looking this often
// keeps that moment within a millisecond of the hand-over [s].
constexpr double kFineRawWait = 0.001;
// [s] a wait above a day is taken as one day: the platform counts a wait in
// milliseconds of an int, which a huge sleeptime would overflow.
constexpr double kLongestRawWait = 86400;
constexpr double kRatePerBlockKilosample = 5512.5; // [Hz] sample rate that gives 1024 samples per block
constexpr int32_t kBlockGranule = 1024;            // [samples] blocks are whole multiples of it
constexpr int32_t kOverlapGranule = 256;           // [samples] the overlap grows in these steps

[[noreturn]] void fileFailure(const Settings& cfg, int error) { throw FatalError(cfg.inputfile, fileErrorText(error)); }

void openForReading(const Settings& cfg, Acquisition& acq) {
  if (!acq.input.open(cfg.inputfile, File::Mode::Read)) fileFailure(cfg, acq.input.error());
}

int64_t inputSize(const Settings& cfg, Acquisition& acq) {
  const int64_t size = acq.input.size();
  if (size < 0) fileFailure(cfg, acq.input.error());
  return size;
}

std::string describeFormat(int64_t channels, int64_t bits, double rate) {
  std::ostringstream text;
  text << channels << (channels == 1 ? " channel" : " channels") << " of " << bits << " bits at " << rate << " Hz";
  return text.str();
}

void warnIfFormatDisagrees(const Settings& cfg, const WavLayout& layout, std::ostream& errors) {
  if (!layout.hasFormat) return;
  const bool channelsDiffer = layout.channels != cfg.channels;
  const bool widthDiffers = (layout.bitsPerSample + 7) / 8 != cfg.bytespersample;
  const bool rateDiffers = std::fabs(static_cast<double>(layout.rate) - cfg.sr) > 0.01 * cfg.sr;
  if (!channelsDiffer && !widthDiffers && !rateDiffers) return;
  errors << "velkor: warning: " << printable(cfg.inputfile) << ": the file holds "
         << describeFormat(layout.channels, layout.bitsPerSample, static_cast<double>(layout.rate))
         << ", the settings say " << describeFormat(cfg.channels, 8 * cfg.bytespersample, cfg.sr)
         << "; it is read as the settings say" << std::endl;
}

// Moves to the payload of the next data chunk; `remaining` sample bytes are
// still to come [bytes]. False when the file holds no further data chunk.
bool enterDataChunk(Acquisition& acq, int64_t remaining) {
  if (acq.wavchunkpad != 0 && !acq.input.skip(acq.wavchunkpad)) return false;
  acq.wavchunkpad = 0;
  ChunkHeader header;
  while (readChunkHeader(acq.input, header)) {
    if (header.is("data")) {
      bool toEnd = false;
      acq.wavchunkremaining = dataChunkBytes(header.size, remaining, toEnd);
      acq.wavchunkpad = static_cast<int16_t>(toEnd ? 0 : header.size & 1u);
      if (acq.wavchunkremaining > 0) return true;
      if (toEnd) return false;
    } else if (!acq.input.skip(int64_t{header.size} + (header.size & 1u))) {
      return false;
    }
  }
  return false;
}

// Reads min(blockbytes, inputremaining) sample bytes into blockbuffer and
// returns how many arrived [bytes].
int32_t readSampleBytes(const Settings& cfg, Acquisition& acq, std::ostream& errors) {
  const int64_t wanted = std::min<int64_t>(acq.blockbytes, acq.inputremaining); // [bytes]
  // The kernel copies a read at a quarter of its speed on some processors
  // when the buffer starts a few bytes after the file position within a
  // cache line (0.23 s against 0.04 s of processor time for a 10-minute
  // 192 kHz recording, whose samples start at byte 44): the block goes where
  // both share their place in the line.
  acq.blockoffset = static_cast<int32_t>(acq.input.position() % static_cast<int64_t>(kCacheLine));
  uint8_t* out = acq.blockbuffer.data() + acq.blockoffset;
  int64_t got = 0; // [bytes]
  while (got < wanted) {
    if (acq.wavchunkremaining <= 0 && !enterDataChunk(acq, acq.inputremaining - got)) break;
    const int64_t piece = std::min(wanted - got, acq.wavchunkremaining);
    const int64_t arrived = acq.input.read(out + got, static_cast<std::size_t>(piece));
    if (arrived < 0) fileFailure(cfg, acq.input.error());
    got += arrived;
    acq.wavchunkremaining -= arrived;
    if (arrived < piece) break;
  }
  if (got < wanted) {
    errors << "velkor: warning: " << printable(cfg.inputfile) << ": ends " << acq.inputremaining - got << " bytes early"
           << std::endl;
    acq.inputremaining = 0;
  } else {
    acq.inputremaining -= got;
  }
  return static_cast<int32_t>(std::max<int64_t>(got, 0));
}

} // namespace

bool openWav(const Settings& cfg, Acquisition& acq, std::ostream& errors) {
  openForReading(cfg, acq);
  const int64_t size = inputSize(cfg, acq);
  const WavLayout layout = scanWav(acq.input, size);
  // Read again from the start; the scan has left the position anywhere.
  openForReading(cfg, acq);
  acq.wavchunkpad = 0;
  if (layout.riff) {
    warnIfFormatDisagrees(cfg, layout, errors);
    if (!acq.input.skip(kRiffHeaderBytes)) fileFailure(cfg, acq.input.error());
    acq.inputremaining = layout.sampleBytes;
    acq.wavchunkremaining = 0;
  } else {
    if (!acq.input.skip(kPlainWavHeaderBytes)) fileFailure(cfg, acq.input.error());
    acq.inputremaining = std::max<int64_t>(size - kPlainWavHeaderBytes, 0);
    acq.wavchunkremaining = acq.inputremaining;
  }
  return layout.riff;
}

std::vector<KiwiStamp> readKiwiStamps(const Settings& cfg) {
  File file;
  if (!file.open(cfg.inputfile, File::Mode::Read)) throw FatalError(cfg.inputfile, fileErrorText(file.error()));
  const int64_t size = file.size();
  if (size < 0) throw FatalError(cfg.inputfile, fileErrorText(file.error()));
  std::vector<KiwiStamp> stamps;
  scanWav(file, size, &stamps);
  const int64_t framebytes = int64_t{cfg.bytespersample} * cfg.channels; // [bytes]
  for (KiwiStamp& stamp : stamps) stamp.frame = stamp.samplebytes / framebytes;
  return stamps;
}

bool tryOpenRaw(const Settings& cfg, Acquisition& acq) {
  if (!acq.input.open(cfg.inputfile, File::Mode::Read)) {
    // Only a missing file is one still to come: waiting would not mend any other failure.
    if (acq.input.error() != ENOENT) fileFailure(cfg, acq.input.error());
    return false;
  }
  acq.inputremaining = inputSize(cfg, acq);
  acq.wavchunkremaining = acq.inputremaining;
  acq.wavchunkpad = 0;
  return true;
}

double rawFileWait(const Settings& cfg) {
  double wait = std::nearbyint(cfg.sleeptime); // [s]
  if (!(wait > 0)) wait = cfg.rawlatencygiven != 0 ? kFineRawWait : kShortestRawWait;
  return std::min(wait, kLongestRawWait);
}

// The samples at 0 ... newsamples - 1 leave the buffer: they go into the DC
// sums (with the blanker on, only those below nbfac times their mean power),
// and the last overlap samples move to the front.
void retireSamples(const Settings& cfg, Acquisition& acq) {
  const int32_t n = acq.newsamples; // [samples]
  int16_t* re = acq.samplere.data();
  int16_t* im = acq.sampleim.data();
  float* power = acq.samplepower.data();
  SampleSums sums;
  if (cfg.nb != 0) {
    const float threshold = static_cast<float>(cfg.nbfac * acq.kernels.power(power, n) / n); // [sample units^2]
    sums = acq.kernels.quiet(re, im, power, n, threshold);
  } else {
    sums = sumSamples(re, im, n);
  }
  // The sums are 64-bit: blocks are not limited to 65536 samples, and 32 bits
  // could overflow beyond that.
  acq.dcsumre += static_cast<float>(sums.re);
  acq.dcsumim += static_cast<float>(sums.im);
  acq.dccount += static_cast<float>(n);
  std::copy(re + n, re + n + acq.overlap, re);
  std::copy(im + n, im + n + acq.overlap, im);
  if (cfg.nb != 0) std::copy(power + n, power + n + acq.overlap, power);
}

void computeBlockGeometry(const Settings& cfg, Acquisition& acq) {
  // About 0.186 s of samples per block: 1024 samples per 5512.5 Hz (a
  // quarter of 22050 Hz), in whole multiples of 1024.
  acq.blocklength = static_cast<int32_t>(std::floor(cfg.sr / kRatePerBlockKilosample + 0.5)) * kBlockGranule;
  if (cfg.fileblocklen > 0) acq.blocklength = cfg.fileblocklen;
  // The overlap holds a whole station window beyond the block, in steps of 256.
  acq.overlap = (cfg.displaysamples / kOverlapGranule + 1) * kOverlapGranule;
  acq.buffersize = acq.overlap + acq.blocklength;
  acq.blockbytes = cfg.bytespersample * acq.blocklength * cfg.channels;
}

void dimensionBuffer(Acquisition& acq) {
  dimension(acq.samplere, acq.buffersize);
  dimension(acq.sampleim, acq.buffersize);
  dimension(acq.samplepower, acq.buffersize);
}

void initialiseDecoder(const Settings& cfg, Acquisition& acq) {
  acq.looffset = cfg.looffset;
  acq.losamplerate = static_cast<float>(cfg.sr);
  acq.lophase = 0;
  acq.lore = cfg.filescale;
  acq.loim = 0;
  acq.locount = 0;
  acq.sincos = chooseSinCos();
  acq.kernels = chooseSampleKernels();
  acq.blockbuffer.assign(static_cast<std::size_t>(std::max(acq.blockbytes, 0)) + kCacheLine, 0);
}

void resetStreamClock(const Settings& cfg, Acquisition& acq) {
  acq.clock.sr = cfg.sr;
  acq.clock.blockstart = -acq.overlap / acq.clock.sr;
  acq.clock.blockend = 0;
  acq.newsamples = 0;
  acq.runstartframe = acq.framesread;
}

void correctStreamClock(StreamClock& clock, double shift, double rateStep) {
  clock.blockstart += shift;
  clock.blockend += shift;
  clock.sr += rateStep;
}

void restampStreamClock(Acquisition& acq, double rate, int64_t totalsamples) {
  acq.clock.sr = rate;
  acq.losamplerate = static_cast<float>(rate);
  acq.clock.blockend = static_cast<double>(totalsamples) / rate;
  acq.clock.blockstart = acq.clock.blockend - (acq.newsamples + acq.overlap) / rate;
}

void readBlock(const Settings& cfg, Acquisition& acq, std::ostream& errors) {
  if (acq.newsamples > 0) retireSamples(cfg, acq);
  decodeBlock(cfg, acq, readSampleBytes(cfg, acq, errors));
}

void decodeBlock(const Settings& cfg, Acquisition& acq, int32_t bytes) {
  acq.newsamples = bytes / cfg.channels / cfg.bytespersample;
  acq.framesread += acq.newsamples;
  const int32_t n = acq.newsamples;
  int16_t* re = acq.samplere.data() + acq.overlap;
  int16_t* im = acq.sampleim.data() + acq.overlap;
  float* power = acq.samplepower.data() + acq.overlap;
  const uint8_t* raw = acq.blockbuffer.data() + acq.blockoffset;
  // The oscillator applies filescale itself; scaling here as well would apply it twice.
  const bool scaled = cfg.filescale != 1 && acq.looffset == 0;
  const bool shifted = acq.looffset != 0 || cfg.lodrift != 0;
  if (cfg.nb != 0 && !scaled && !shifted) {
    // Nothing changes the samples between their decoding and their powers: one pass.
    acq.kernels.decode(raw, n, cfg.channels, cfg.bytespersample, re, im, power);
  } else {
    decodeFrames(raw, n, cfg.channels, cfg.bytespersample, re, im);
    if (scaled) {
      scaleSamples(re, n, cfg.filescale);
      if (cfg.channels == 2) scaleSamples(im, n, cfg.filescale);
    }
    if (shifted) mixWithOscillator(cfg, acq, acq.overlap, n);
    if (cfg.nb != 0) computePower(re, im, power, n);
  }

  advanceStreamClock(acq.clock, acq.overlap, acq.newsamples);
}

void advanceStreamClock(StreamClock& clock, int32_t overlap, int32_t newsamples) {
  clock.blockstart = clock.blockend - overlap / clock.sr;
  clock.blockend = clock.blockstart + (newsamples + overlap) / clock.sr;
}

bool rawFileUsedUp(const Settings& cfg, const Acquisition& acq) { return acq.inputremaining == 0 && !cfg.wavinput; }

void releaseRawFile(const Settings& cfg, Acquisition& acq) {
  acq.input.close();
  if (!removeFile(cfg.inputfile) && errno != ENOENT) {
    // Left in place, the same file would be read again and again.
    throw FatalError(cfg.inputfile, "cannot be deleted: " + fileErrorText(errno));
  }
}

DcSums takeDcSums(Acquisition& acq) {
  const DcSums sums{acq.dcsumre, acq.dcsumim, acq.dccount};
  acq.dcsumre = 0;
  acq.dcsumim = 0;
  acq.dccount = 0;
  return sums;
}

} // namespace velkor
