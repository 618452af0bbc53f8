// Sample input: raw sample files and WAV recordings, decoded block by block.
#pragma once

#include "core/state.h"
#include "platform/platform.h"

namespace velkor {

// blocklength, overlap, buffersize and blockbytes from sr and the settings.
void computeBlockGeometry(State& state);

// Running state of the block decoder at start-up (oscillator, lophase, ...).
void initialiseDecoder(State& state);

// Opens inputfile; waits for a raw file that does not exist yet.
void openSource(State& state, Platform& platform);

// The samples of the previous block leave the buffer into the DC sums; the
// overlap moves to the front.
void retireSamples(State& state);

// Reads, decodes and buffers one block.
void readBlock(State& state, Platform& platform);

} // namespace velkor
