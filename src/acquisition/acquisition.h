// The acquisition part of the run's record: the sample input, the block
// decoder with its oscillator, the sample buffer with its stream clock, the
// DC statistics and the PC clock. This subsystem writes it; the station
// integration also zeroes blanked pulses in the buffer (integration.h).
#pragma once

#include "acquisition/samplekernels.h"
#include "ground/arrays.h"
#include "ground/sincos.h"
#include "platform/files.h"

#include <cstdint>
#include <vector>

namespace velkor {

// Stream time stamps of the sample buffer: buffer index k lies at
// blockstart + k / sr. Written only by the functions of source.h
// (advanceStreamClock, resetStreamClock, correctStreamClock,
// restampStreamClock).
struct StreamClock {
  double blockstart = 0; // stream time of buffer index 0 [s]
  double blockend = 0;   // stream time of the end of the buffer [s]
  double sr = 0;         // running sample-rate estimate, Settings::sr at every start [Hz]
};

struct Acquisition {
  // ---- Stream clock and sample buffer -------------------------------------
  StreamClock clock;
  int32_t newsamples = 0;         // [samples] decoded from the last block
  int32_t overlap = 0;            // [samples] kept from the previous buffer
  int32_t blocklength = 0;        // [samples] per block
  int32_t buffersize = 0;         // [samples] overlap + blocklength
  int32_t blockbytes = 0;         // [bytes] in one full block
  int64_t inputremaining = 0;     // [bytes] of samples not read yet
  int64_t framesread = 0;         // [frames] decoded since start-up (of a WAV: from its first frame)
  int64_t runstartframe = 0;      // [frames] framesread when the stream clock was last reset: stream time 0
  std::vector<int16_t> samplere;  // [sample units]
  std::vector<int16_t> sampleim;  // [sample units]
  std::vector<float> samplepower; // re^2 + im^2 [sample units^2]
  // ---- Block decoder -----------------------------------------------------
  File input;                    // the open sample input
  int64_t wavchunkremaining = 0; // [bytes] of samples before the next chunk header (the whole file when it has none)
  int16_t wavchunkpad = 0;       // [bytes] pad after the current WAV data chunk, 0 or 1
  AlignedBytes blockbuffer;      // raw bytes of one block, from blockoffset on
  int32_t blockoffset = 0;       // [bytes] the file position's offset in its cache line
  double looffset = 0;           // oscillator shift, Settings::looffset moved by lodrift [Hz]
  float losamplerate = 0;        // [Hz] the oscillator's sample rate: Settings::sr, or the rate measured by srsearch
  float lophase = 0;             // oscillator phase [cycles], in [0, 1)
  float lore = 0;                // oscillator value, real part
  float loim = 0;                // oscillator value, imaginary part
  int16_t locount = 0;           // [samples] since the oscillator was set from lophase
  SinCosPass sincos = sinCosByLibrary; // cosines and sines as the C library gives them; chooseSinCos at preparation
  SampleKernels kernels; // build of the decoding pass and retiring sums; chooseSampleKernels at preparation
  float dcsumre = 0;     // sum of retired real values [sample units]
  float dcsumim = 0;     // sum of retired imaginary values [sample units]
  float dccount = 0;     // [samples] retired
  // ---- Pacing and PC clock -------------------------------------------------
  double timeroffset = 0;      // timer minus time of day [s]
  int32_t clockconfidence = 0; // recent agreeing readings, 0 ... 3
  double pcclock = 0;          // PC time of day [s]
  float opentime = 0;          // pcclock - 0.05 when the raw file was opened [s]
  double capturetime = 0;      // with rawlatency: PC time of day the open file's last sample was captured [s]
};

} // namespace velkor
