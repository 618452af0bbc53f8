// Sample input: raw sample files and WAV recordings, decoded block by block
// into the sample buffer, and the stream clock that stamps it.
#pragma once

#include "acquisition/acquisition.h"
#include "acquisition/wavlayout.h"
#include "config/settings.h"

#include <iosfwd>
#include <vector>

namespace velkor {

// Reads sr, fileblocklen, displaysamples and the sample format; writes
// blocklength, overlap, buffersize [samples] and blockbytes [bytes].
void computeBlockGeometry(const Settings& settings, Acquisition& acquisition);

// Sizes samplere, sampleim and samplepower to buffersize [samples], zero-filled.
void dimensionBuffer(Acquisition& acquisition);

// The block decoder at start-up: looffset from the settings, the oscillator
// at phase 0 with value filescale, blockbuffer sized to blockbytes and a cache line.
void initialiseDecoder(const Settings& settings, Acquisition& acquisition);

// The stream clock at the start of an integration run: sr from the settings,
// blockstart = -overlap / sr [s], blockend 0, no new samples.
void resetStreamClock(const Settings& settings, Acquisition& acquisition);

// The sample-clock loop's correction: both time stamps moved by `shift` [s],
// sr by `rateStep` [Hz].
void correctStreamClock(StreamClock& clock, double shift, double rateStep);

// The sample rate measured from the signal (srsearch) taken over: sr and the
// oscillator's rate become `rate` [Hz], and the time stamps of the buffer are
// those of the totalsamples [samples] read since the stream clock's reset.
void restampStreamClock(Acquisition& acquisition, double rate, int64_t totalsamples);

// Opens the WAV recording inputfile and finds its samples (inputremaining,
// chunk position); warns on `errors` when its "fmt " disagrees with the
// settings; FatalError when it cannot be read. Returns whether it is a
// RIFF/WAVE file (otherwise it is read as a 46-byte header and raw samples).
bool openWav(const Settings& settings, Acquisition& acquisition, std::ostream& errors);

// Reads the "kiwi" time stamps of the WAV recording inputfile by a walk over
// its chunk headers (the samples are skipped), each with the index of the
// frame it stamps in the settings' frame size; none in a file that is not
// RIFF/WAVE. FatalError when the file cannot be read.
std::vector<KiwiStamp> readKiwiStamps(const Settings& settings);

// Opens the raw file inputfile when it exists (inputremaining = its size);
// false while the capture program has not written it yet; FatalError when it
// is there but cannot be opened (no permission, a loop of links).
bool tryOpenRaw(const Settings& settings, Acquisition& acquisition);

// [s] to wait before the next attempt to open the raw file: sleeptime in
// whole seconds, 0.02 s when that is 0 (0.001 s with rawlatency), a day at most.
double rawFileWait(const Settings& settings);

// The samples of the previous block leave the buffer into the DC sums (with
// the blanker on, only the quiet ones); the overlap moves to the front.
void retireSamples(const Settings& settings, Acquisition& acquisition);

// Retires the previous block, reads up to blockbytes of samples, decodes,
// scales and mixes them behind the overlap and advances the stream clock;
// a file that ends early is reported on `errors`.
void readBlock(const Settings& settings, Acquisition& acquisition, std::ostream& errors);

// The second half of readBlock: decodes the first `bytes` of blockbuffer from
// blockoffset on behind the overlap (scaled, mixed, powers) and advances the
// stream clock.
void decodeBlock(const Settings& settings, Acquisition& acquisition, int32_t bytes);

// The stream clock over a new block: blockstart = the old blockend less the
// overlap, blockend = that plus overlap and newsamples [samples], at sr.
void advanceStreamClock(StreamClock& clock, int32_t overlap, int32_t newsamples);

// A raw file is read to its end: it is to be deleted and the next awaited.
bool rawFileUsedUp(const Settings& settings, const Acquisition& acquisition);

// Closes and deletes the used-up raw file; FatalError when it stays.
void releaseRawFile(const Settings& settings, Acquisition& acquisition);

// The DC sums of the retired samples since the last call, which clears them.
struct DcSums {
  float re = 0;    // [sample units]
  float im = 0;    // [sample units]
  float count = 0; // [samples]
};
DcSums takeDcSums(Acquisition& acquisition);

} // namespace velkor
