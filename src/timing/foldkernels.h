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

// Adds count samples re/im unchanged to sumre/sumim: the fold without a
// mixer, in vector groups (out of line, where the pointers are known not to
// overlap; inlined into the fold's walk it would stay scalar).
void addFoldPlain(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, int32_t count);

// addFoldMixed, or another build of it with the same bits.
using FoldMixedPass = decltype(&addFoldMixed);

// The build for this processor: the same operations per sample with 256-bit
// vectors where it has AVX2, addFoldMixed elsewhere. Reads the processor's
// features; called once as a synchronisation begins.
FoldMixedPass chooseFoldMixed();

// ---- The lock-step fold of several entries ----------------------------------
// Chains are independent: their phases advance a stretch at a time side by
// side, each by the additions and the subtraction of 2 pi that addFoldMixed
// does, so each phase has the same bits.

// Samples per stretch of the lock-step fold, and the most lanes of one pass.
inline constexpr int32_t kFoldStretch = 256; // [samples]
inline constexpr int32_t kPhaseLanes = 16;   // [chains]

// Writes phase[l * kFoldStretch + i], the phase [rad] of lane l < lanes
// (<= kPhaseLanes) before its step i < kFoldStretch: theta[l] advances by
// delta[l] per step and drops by 2 pi whenever it passes pi, exactly as in
// addFoldMixed; theta[l] becomes the phase after the stretch.
void tabulatePhaseLanes(float* phase, float* theta, const float* delta, int32_t lanes);

// Adds count samples re/im multiplied by cosine[i] - j sine[i], rounded as
// addFoldMixed rounds them, to sumre/sumim: its product pass.
void addFoldProducts(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, const float* cosine,
                     const float* sine, int32_t count);

// addFoldProducts, or another build of it with the same bits.
using FoldProductsPass = decltype(&addFoldProducts);

// The product pass's build for this processor, as chooseFoldMixed chooses.
FoldProductsPass chooseFoldProducts();

} // namespace velkor
