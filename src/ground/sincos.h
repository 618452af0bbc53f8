// Cosines and sines of whole tables of single-precision phases, bit for bit
// the values the C library's sincosf gives on this machine, without a call per
// value. glibc (2.28 and later, x86-64) chooses at run time between two builds
// of one algorithm: compiled with fused multiply-adds on processors with FMA
// and AVX2, without them elsewhere; the two differ in the last bit now and
// then. Both are reproduced here, and the pass for this machine is chosen the
// way glibc chooses its build, then held against the library itself.
#pragma once

#include <cstdint>

namespace velkor {

// Writes sine[i] and cosine[i] of theta[i] [rad] for i < count; the tables may
// not overlap.
using SinCosPass = void (*)(const float* theta, float* sine, float* cosine, int32_t count);

// One library sincosf call per value: the reference, and the pass of every
// machine where the library's algorithm is not the one reproduced here.
void sinCosByLibrary(const float* theta, float* sine, float* cosine, int32_t count);

// The algorithm without fused multiply-adds (glibc's build for processors
// without FMA or AVX2); runs on every processor.
void sinCosUnfused(const float* theta, float* sine, float* cosine, int32_t count);

// The algorithm with fused multiply-adds where glibc's FMA build has them, four
// values at a time (eight with AVX-512); only on x86-64 processors with FMA
// and AVX2 (elsewhere it is sinCosUnfused).
void sinCosFused(const float* theta, float* sine, float* cosine, int32_t count);

// The pass whose values are the library's on this machine: the build glibc
// chooses for this processor, if it agrees with the library's sincosf on
// arguments where the two builds differ; otherwise the library itself. Reads
// the processor's features; called once at preparation.
SinCosPass chooseSinCos();

} // namespace velkor
