// The tabulated mixing fold against the per-sample loop it replaced, kept here
// as the reference: a million samples in runs of every length up to 600 and
// longer, full-scale samples, phase steps of either sign up to half a turn,
// and long runs whose phase drifts far below -pi (to about -120), where the
// library reduces the argument in another way. The fold takes its cosines and
// sines from the pass chosen for this machine, the reference from the library;
// both builds of the fold (baseline and the one chosen here) are held.
#include "timing/foldkernels.h"

#include "ground/numbers.h"
#include "ground/sincos.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <vector>

namespace velkor {

namespace {

int32_t wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

float referenceFold(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, int32_t count, float theta,
                    float delta) {
  for (int32_t i = 0; i < count; ++i) {
    float c = std::cos(theta);
    float q = std::sin(theta);
    float x = re[i];
    float y = im[i];
    float mixedre = x * c + y * q;
    float mixedim = y * c - x * q;
    sumre[i] = wrap(int64_t{sumre[i]} + std::lrint(mixedre));
    sumim[i] = wrap(int64_t{sumim[i]} + std::lrint(mixedim));
    theta += delta;
    if (theta > kPiSingle) theta = static_cast<float>(theta - 2.0 * kPiSingle);
  }
  return theta;
}

} // namespace

TEST(FoldKernels, AgreesWithThePerSampleLoop) {
  std::mt19937 random(23);
  std::uniform_int_distribution<int> value(-32768, 32767);
  std::uniform_int_distribution<int32_t> sum(INT32_MIN, INT32_MAX);
  std::uniform_real_distribution<float> start(0.0f, 6.2831855f);
  std::uniform_real_distribution<float> step(-3.1415927f, 3.1415927f);
  std::uniform_int_distribution<int32_t> length(1, 600);
  const SinCosPass sincos = chooseSinCos();
  // The baseline build and the one chosen for this processor (AVX2 where it has it).
  const FoldMixedPass builds[] = {addFoldMixed, chooseFoldMixed()};
  int64_t samples = 0;
  for (int trial = 0; samples < 1000000; ++trial) {
    // Every 25th run is long, with a small negative step: its phase drifts down to -125.
    const bool drifting = trial % 25 == 24;
    const int32_t n = drifting ? 40000 : trial < 600 ? trial + 1 : length(random);
    const auto size = static_cast<std::size_t>(n);
    std::vector<int16_t> re(size), im(size);
    for (std::size_t i = 0; i < size; ++i) {
      re[i] = static_cast<int16_t>(trial % 4 == 0 && i % 3 == 0 ? -32768 : value(random));
      im[i] = static_cast<int16_t>(trial % 4 == 0 && i % 2 == 0 ? -32768 : value(random));
    }
    std::vector<int32_t> wantre(size), wantim(size);
    for (std::size_t i = 0; i < size; ++i) {
      wantre[i] = sum(random);
      wantim[i] = sum(random);
    }
    const float theta = start(random);
    const float delta = drifting ? -0.0005f * start(random) : step(random);

    const std::vector<int32_t> startre = wantre, startim = wantim;
    const float want = referenceFold(wantre.data(), wantim.data(), re.data(), im.data(), n, theta, delta);
    for (const FoldMixedPass fold : builds) {
      std::vector<int32_t> gotre = startre, gotim = startim;
      const float got = fold(gotre.data(), gotim.data(), re.data(), im.data(), n, theta, delta, sincos);
      ASSERT_EQ(gotre, wantre) << n << " samples from " << theta << " by " << delta;
      ASSERT_EQ(gotim, wantim) << n << " samples from " << theta << " by " << delta;
      ASSERT_EQ(got, want);
    }
    samples += n;
  }
}

// The lock-step phase pass against one chain's recurrence, lane by lane: a
// million phases over every lane count, stretches in a row, steps of either
// sign up to half a turn, small ones whose phase drifts far below -pi, the
// small steps of real line offsets, steps that lie halfway between two grid
// points of a binade (where the rounding alternates), and starts on binade
// boundaries, at pi and near 0, and a run that ends on a binade's bottom.
TEST(FoldKernels, PhaseLanesAgreeWithTheSerialRecurrence) {
  std::mt19937 random(29);
  std::uniform_real_distribution<float> start(-3.1415927f, 3.1415927f);
  std::uniform_real_distribution<float> step(-3.1415927f, 3.1415927f);
  std::uniform_real_distribution<float> small(-0.01f, 0.01f);
  std::uniform_int_distribution<int> odd(0, 4000);
  const float edges[] = {2.0f, 1.0f, 0.5f, -1.0f, -2.0f, kPiSingle, -kPiSingle, 1e-30f, 0.0f, -0.0f};
  std::vector<float> phase(static_cast<std::size_t>(kPhaseLanes * kFoldStretch));
  int64_t phases = 0;
  for (int trial = 0; phases < 1000000; ++trial) {
    const int32_t lanes = trial % kPhaseLanes + 1;
    float theta[kPhaseLanes] = {};
    float delta[kPhaseLanes] = {};
    for (int32_t l = 0; l < lanes; ++l) {
      theta[l] = trial % 7 == 3 ? edges[(trial + l) % 10] : start(random);
      switch (l % 5) {
      case 4:
        delta[l] = -0.0005f * std::abs(step(random));
        break;
      case 3:
        delta[l] = std::ldexp(static_cast<float>(2 * odd(random) + 1), trial % 2 ? -23 : -25);
        break;
      case 2:
      case 1:
        delta[l] = small(random);
        break;
      default:
        delta[l] = step(random);
        break;
      }
    }
    if (trial % 16 == 0) {
      // Down onto 1 by whole grid steps, where the next exact sum lies just
      // below the binade and rounds to its finer grid.
      theta[0] = 1.0f + std::ldexp(200000.0f, -23);
      delta[0] = std::ldexp(-1000.375f, -23);
    }
    float serial[kPhaseLanes];
    std::copy(theta, theta + kPhaseLanes, serial);
    for (int stretch = 0; stretch < 8; ++stretch) {
      tabulatePhaseLanes(phase.data(), theta, delta, lanes);
      for (int32_t l = 0; l < lanes; ++l) {
        for (int32_t i = 0; i < kFoldStretch; ++i) {
          const float want = serial[l];
          ASSERT_EQ(std::bit_cast<uint32_t>(phase[static_cast<std::size_t>(l * kFoldStretch + i)]),
                    std::bit_cast<uint32_t>(want))
              << "lane " << l << " of " << lanes << ", step " << i;
          serial[l] += delta[l];
          if (serial[l] > kPiSingle) serial[l] = static_cast<float>(serial[l] - 2.0 * kPiSingle);
        }
        ASSERT_EQ(std::bit_cast<uint32_t>(theta[l]), std::bit_cast<uint32_t>(serial[l]));
      }
      phases += int64_t{lanes} * kFoldStretch;
    }
  }
}

} // namespace velkor
