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

#include "acquisition/pcclock.h"
#include "acquisition/samplekernels.h"
#include "acquisition/wavlayout.h"
#include "core/cycle.h"
#include "core/errors.h"
#include "core/notice.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ostream>
#include <sstream>

namespace velkor {

namespace {

constexpr double kShortestRawWait = 0.01; // [s] between attempts when sleeptime rounds to 0
constexpr double kLongestRawWait = 86400; // [s] a wait above a day is taken as one day
constexpr double kFirstWaitNotice = 5;    // [s] of waiting for a raw file before it is said
constexpr double kWaitNoticeRepeat = 60;  // [s] between the notices after that

[[noreturn]] void fileFailure(const State& s, int error) { throw FatalError(s.inputfile, fileErrorText(error)); }

void openForReading(State& s) {
  if (!s.input.open(s.inputfile, File::Mode::Read)) fileFailure(s, s.input.error());
}

int64_t inputSize(State& s) {
  const int64_t size = s.input.size();
  if (size < 0) fileFailure(s, s.input.error());
  return size;
}

std::string describeFormat(int64_t channels, int64_t bits, double rate) {
  std::ostringstream text;
  text << channels << (channels == 1 ? " channel" : " channels") << " of " << bits << " bits at " << rate << " Hz";
  return text.str();
}

void warnIfFormatDisagrees(const State& s, const WavLayout& layout, std::ostream& errors) {
  if (!layout.hasFormat) return;
  const bool channelsDiffer = layout.channels != s.channels;
  const bool widthDiffers = (layout.bitsPerSample + 7) / 8 != s.bytespersample;
  const bool rateDiffers = std::fabs(static_cast<double>(layout.rate) - s.sr) > 0.01 * s.sr;
  if (!channelsDiffer && !widthDiffers && !rateDiffers) return;
  errors << "velkor: warning: " << s.inputfile << ": the file holds "
         << describeFormat(layout.channels, layout.bitsPerSample, static_cast<double>(layout.rate))
         << ", the settings say " << describeFormat(s.channels, 8 * s.bytespersample, s.sr)
         << "; it is read as the settings say" << std::endl;
}

void openWav(State& s, Platform& platform) {
  openForReading(s);
  const int64_t size = inputSize(s);
  const WavLayout layout = scanWav(s.input, size);
  // Read again from the start; the scan has left the position anywhere.
  openForReading(s);
  s.wavchunkpad = 0;
  if (layout.riff) {
    warnIfFormatDisagrees(s, layout, platform.errors);
    if (!s.input.skip(kRiffHeaderBytes)) fileFailure(s, s.input.error());
    s.inputremaining = layout.sampleBytes;
    s.wavchunkremaining = 0;
  } else {
    if (!s.input.skip(kPlainWavHeaderBytes)) fileFailure(s, s.input.error());
    s.inputremaining = std::max<int64_t>(size - kPlainWavHeaderBytes, 0);
    s.wavchunkremaining = s.inputremaining;
  }
}

// The capture program writes the next file under the same name; until it
// appears, try again after sleeptime (whole seconds), never in a busy loop.
// Says, with notices on, that the capture program has not delivered for a
// while; `nextnotice` is the timer reading of the next notice [s].
void noteLongWait(const State& s, Platform& platform, double waitstart, double& nextnotice) {
  const double now = platform.clock.timer();
  if (s.notices == 0 || now < nextnotice) return;
  nextnotice = now + kWaitNoticeRepeat;
  notify(s, platform, "waiting for " + printableText(s.inputfile) + ": none for " +
                          std::to_string(std::lround(now - waitstart)) + " s");
}

void openRaw(State& s, Platform& platform) {
  const double waitstart = s.notices != 0 ? platform.clock.timer() : 0; // [s]
  double nextnotice = waitstart + kFirstWaitNotice;                     // [s]
  while (!s.input.open(s.inputfile, File::Mode::Read)) {
    noteLongWait(s, platform, waitstart, nextnotice);
    if (platform.keyboard.readKey() == 'q') endByKey(s);
    double wait = std::nearbyint(s.sleeptime); // [s]
    if (!(wait > 0)) wait = kShortestRawWait;
    platform.keyboard.waitForKey(std::min(wait, kLongestRawWait));
  }
  s.inputremaining = inputSize(s);
  s.wavchunkremaining = s.inputremaining;
  s.wavchunkpad = 0;
}

// Moves to the payload of the next data chunk; `remaining` sample bytes are
// still to come [bytes]. False when the file holds no further data chunk.
bool enterDataChunk(State& s, int64_t remaining) {
  if (s.wavchunkpad != 0 && !s.input.skip(s.wavchunkpad)) return false;
  s.wavchunkpad = 0;
  ChunkHeader header;
  while (readChunkHeader(s.input, header)) {
    if (header.is("data")) {
      bool toEnd = false;
      s.wavchunkremaining = dataChunkBytes(header.size, remaining, toEnd);
      s.wavchunkpad = static_cast<int16_t>(toEnd ? 0 : header.size & 1u);
      if (s.wavchunkremaining > 0) return true;
      if (toEnd) return false;
    } else if (!s.input.skip(int64_t{header.size} + (header.size & 1u))) {
      return false;
    }
  }
  return false;
}

// Reads min(blockbytes, inputremaining) sample bytes into blockbuffer and
// returns how many arrived [bytes].
int32_t readSampleBytes(State& s, Platform& platform) {
  const int64_t wanted = std::min<int64_t>(s.blockbytes, s.inputremaining); // [bytes]
  uint8_t* out = s.blockbuffer.data();
  int64_t got = 0; // [bytes]
  while (got < wanted) {
    if (s.wavchunkremaining <= 0 && !enterDataChunk(s, s.inputremaining - got)) break;
    const int64_t piece = std::min(wanted - got, s.wavchunkremaining);
    const int64_t arrived = s.input.read(out + got, static_cast<std::size_t>(piece));
    if (arrived < 0) fileFailure(s, s.input.error());
    got += arrived;
    s.wavchunkremaining -= arrived;
    if (arrived < piece) break;
  }
  if (got < wanted) {
    platform.errors << "velkor: warning: " << s.inputfile << ": ends " << s.inputremaining - got
                    << " bytes early" << std::endl;
    s.inputremaining = 0;
  } else {
    s.inputremaining -= got;
  }
  return static_cast<int32_t>(std::max<int64_t>(got, 0));
}

// The raw file is used up: delete it, await the next one and stamp the PC
// clock when it opens. The capture program hands over a file as soon as its
// last sample is recorded; a receiver that keeps up waits for it, so the
// moment of opening, not the end of the previous file, dates its end.
void changeRawFile(State& s, Platform& platform) {
  s.input.close();
  if (!removeFile(s.inputfile) && errno != ENOENT) {
    // Left in place, the same file would be read again and again.
    throw FatalError(s.inputfile, "cannot be deleted: " + fileErrorText(errno));
  }
  updateClock(s, platform);
  if (s.clockconfidence == 0) calibrateClock(s, platform);
  openSource(s, platform);
  updateClock(s, platform);
  s.opentime = static_cast<float>(s.pcclock - 0.05);
}

} // namespace

// The samples at 0 ... newsamples - 1 leave the buffer: they go into the DC
// sums (with the blanker on, only those below nbfac times their mean power),
// and the last overlap samples move to the front.
void retireSamples(State& s) {
  const int32_t n = s.newsamples; // [samples]
  int16_t* re = s.samplere.data();
  int16_t* im = s.sampleim.data();
  float* power = s.samplepower.data();
  SampleSums sums;
  if (s.nb != 0) {
    const float threshold = static_cast<float>(s.nbfac * sumPower(power, n) / n); // [sample units^2]
    sums = sumQuietSamples(re, im, power, n, threshold);
  } else {
    sums = sumSamples(re, im, n);
  }
  // The sums are 64-bit: blocks are not limited to 65536 samples, and 32 bits
  // could overflow beyond that.
  s.dcsumre += static_cast<float>(sums.re);
  s.dcsumim += static_cast<float>(sums.im);
  s.dccount += static_cast<float>(n);
  std::copy(re + n, re + n + s.overlap, re);
  std::copy(im + n, im + n + s.overlap, im);
  if (s.nb != 0) std::copy(power + n, power + n + s.overlap, power);
}

void computeBlockGeometry(State& s) {
  s.blocklength = static_cast<int32_t>(std::floor(s.sr / 5512.5 + 0.5)) * 1024;
  if (s.fileblocklen > 0) s.blocklength = s.fileblocklen;
  s.overlap = (s.displaysamples / 256 + 1) * 256;
  s.buffersize = s.overlap + s.blocklength;
  s.blockbytes = s.bytespersample * s.blocklength * s.channels;
}

void initialiseDecoder(State& s) {
  s.losamplerate = static_cast<float>(s.sr);
  s.lophase = 0;
  s.lore = s.filescale;
  s.loim = 0;
  s.locount = 0;
  s.blockbuffer.assign(static_cast<std::size_t>(std::max(s.blockbytes, 0)), 0);
}

void openSource(State& s, Platform& platform) {
  if (s.wavinput) openWav(s, platform);
  else openRaw(s, platform);
}

void readBlock(State& s, Platform& platform) {
  if (platform.keyboard.readKey() == 'q') endByKey(s);
  if (s.newsamples > 0) retireSamples(s);

  const int32_t bytes = readSampleBytes(s, platform);
  s.newsamples = bytes / s.channels / s.bytespersample;
  const int32_t n = s.newsamples;
  int16_t* re = s.samplere.data() + s.overlap;
  int16_t* im = s.sampleim.data() + s.overlap;
  decodeFrames(s.blockbuffer.data(), n, s.channels, s.bytespersample, re, im);
  // The oscillator applies filescale itself; scaling here as well would apply it twice.
  if (s.filescale != 1 && s.looffset == 0) {
    scaleSamples(re, n, s.filescale);
    if (s.channels == 2) scaleSamples(im, n, s.filescale);
  }
  if (s.looffset != 0 || s.lodrift != 0) mixWithOscillator(s, s.overlap, n);
  if (s.nb != 0) computePower(re, im, s.samplepower.data() + s.overlap, n);

  s.blockstart = s.blockend - s.overlap / s.sr;
  s.blockend = s.blockstart + (s.newsamples + s.overlap) / s.sr;
  computeStreamOffset(s);
  if (s.inputremaining == 0 && !s.wavinput) changeRawFile(s, platform);
}

} // namespace velkor
