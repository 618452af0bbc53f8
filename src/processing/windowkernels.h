// The per-point loops of the station integration: one window of samples
// into a station's sums. They take plain arrays (no state record) so that the
// compiler can vectorise them and a check can hold them against the plain
// definitions. The sums are 32-bit and wrap as the hardware adds do. A wider
// build of the same loops is chosen once by processor (chooseWindowKernels).
#pragma once

#include <cstdint>

namespace velkor {

// Adds (sign > 0) or subtracts `points` samples re/im to or from sumre/sumim.
void addWindowPlain(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, int32_t points, int sign);

// The same with the noise blanker: powersum += power at every point; a sample
// whose power is not below the point's threshold is left out and counted in
// blankcount instead.
void addWindowBlanking(int32_t* sumre, int32_t* sumim, float* powersum, const float* threshold, float* blankcount,
                       const int16_t* re, const int16_t* im, const float* power, int32_t points, int sign);

// Adds round(c·re − q·im) to sumre and round(q·re + c·im) to sumim (single
// precision, ties to even): each sample multiplied by c + jq. |c|, |q| <= 1.
void addWindowMixed(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, int32_t points, float c,
                    float q);

// phi[j] = 2π · frac(t[j] · bandcenter) in single precision [rad], j < count:
// the mixing phases of the pulses at times t [s] for the windows' cosines
// and sines.
void mixingPhases(float* phi, const double* t, double bandcenter, int32_t count);

// The four loops of one build; by default the baseline build above.
struct WindowKernels {
  decltype(&addWindowPlain) plain = addWindowPlain;
  decltype(&addWindowBlanking) blanking = addWindowBlanking;
  decltype(&addWindowMixed) mixed = addWindowMixed;
  decltype(&mixingPhases) phases = mixingPhases;
};

// The build for this processor: the same operations per point in 256-bit
// vectors where it has AVX2 (and the phases' floor in one instruction), the
// baseline build elsewhere; both give the same bits. Reads the processor's
// features; called once at preparation.
WindowKernels chooseWindowKernels();

} // namespace velkor
