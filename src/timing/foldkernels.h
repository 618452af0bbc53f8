// The per-sample loop of the synchronisation's mixing fold, on plain arrays
// (no state record), so that a check can hold it against the plain loop it
// replaced and the compiler can vectorise its product pass.
#pragma once

#include "ground/sincos.h"

#include <cstdint>

namespace velkor {

// Adds count samples re/im, each multiplied by exp(-j theta) and rounded to
// integers (single precision, ties to even), to sumre/sumim; theta [rad]
// advances by delta per sample and drops by 2 pi whenever it passes pi.
// Returns the phase reached [rad]. The sums wrap around as the hardware adds do.
// The cosines and sines come from `sincos` (chooseSinCos, or the library's).
float addFoldMixed(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, int32_t count, float theta,
                   float delta, SinCosPass sincos);

// addFoldMixed, or another build of it with the same bits.
using FoldMixedPass = decltype(&addFoldMixed);

// The build for this processor: the same operations per sample with 256-bit
// vectors where it has AVX2, addFoldMixed elsewhere. Reads the processor's
// features; called once as a synchronisation begins.
FoldMixedPass chooseFoldMixed();

} // namespace velkor
