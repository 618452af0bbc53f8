// The grouped window loops, the baseline build and the one chosen for this
// processor, against the plain loops they replaced, kept here as the
// reference: a million points of random windows, with full-scale samples,
// both signs, every window length up to 300 and thresholds on the powers
// themselves; and the mixing phases of both builds.
#include "processing/windowkernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace velkor {

namespace {

int32_t wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

void referencePlain(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, int32_t points, int sign) {
  for (int32_t p = 0; p < points; ++p) {
    sumre[p] = wrap(sign > 0 ? int64_t{sumre[p]} + re[p] : int64_t{sumre[p]} - re[p]);
    sumim[p] = wrap(sign > 0 ? int64_t{sumim[p]} + im[p] : int64_t{sumim[p]} - im[p]);
  }
}

void referenceBlanking(int32_t* sumre, int32_t* sumim, float* powersum, const float* threshold, float* blankcount,
                       const int16_t* re, const int16_t* im, const float* power, int32_t points, int sign) {
  int32_t direction = sign > 0 ? 1 : -1;
  for (int32_t p = 0; p < points; ++p) {
    powersum[p] += power[p];
    bool keep = power[p] < threshold[p];
    int32_t take = keep ? direction : 0;
    sumre[p] = wrap(int64_t{sumre[p]} + take * re[p]);
    sumim[p] = wrap(int64_t{sumim[p]} + take * im[p]);
    blankcount[p] += keep ? 0.0f : 1.0f;
  }
}

void referenceMixed(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, int32_t points, float c,
                    float q) {
  for (int32_t p = 0; p < points; ++p) {
    float x = re[p];
    float y = im[p];
    float rotatedre = c * x - q * y;
    float rotatedim = q * x + c * y;
    sumre[p] = wrap(int64_t{sumre[p]} + std::lrint(rotatedre));
    sumim[p] = wrap(int64_t{sumim[p]} + std::lrint(rotatedim));
  }
}

struct Window {
  std::vector<int32_t> sumre, sumim;
  std::vector<float> powersum, blankcount;
  bool operator==(const Window&) const = default;
};

} // namespace

TEST(WindowKernels, AgreeWithThePlainLoops) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> value(-32768, 32767);
  std::uniform_int_distribution<int32_t> sum(INT32_MIN, INT32_MAX);
  std::uniform_real_distribution<float> angle(0.0f, 6.2831855f);
  std::uniform_int_distribution<int32_t> length(1, 300);
  // The baseline build and the one chosen for this processor (AVX2 where it has it).
  const WindowKernels builds[] = {WindowKernels{}, chooseWindowKernels()};
  int64_t points = 0;
  for (int trial = 0; points < 1000000; ++trial) {
    const int32_t n = trial < 300 ? trial + 1 : length(random);
    const auto size = static_cast<std::size_t>(n);
    std::vector<int16_t> re(size), im(size);
    std::vector<float> power(size), threshold(size);
    for (std::size_t i = 0; i < size; ++i) {
      // Every fourth window is at full scale, with -32768 where rounding is widest.
      re[i] = static_cast<int16_t>(trial % 4 == 0 && i % 3 == 0 ? -32768 : value(random));
      im[i] = static_cast<int16_t>(trial % 4 == 0 && i % 2 == 0 ? -32768 : value(random));
      power[i] = static_cast<float>(static_cast<double>(re[i]) * re[i] + static_cast<double>(im[i]) * im[i]);
      threshold[i] = i % 5 == 0 ? power[i] : power[i] * std::uniform_real_distribution<float>(0.5f, 1.5f)(random);
    }
    Window start{std::vector<int32_t>(size), std::vector<int32_t>(size), std::vector<float>(size),
                 std::vector<float>(size)};
    for (std::size_t i = 0; i < size; ++i) {
      start.sumre[i] = sum(random);
      start.sumim[i] = sum(random);
      start.powersum[i] = static_cast<float>(value(random) + 32768) * 1000.0f;
      start.blankcount[i] = static_cast<float>(i);
    }
    const int sign = trial % 2 ? 1 : -1;
    const float phi = angle(random);
    const float c = std::cos(phi) * static_cast<float>(sign);
    const float q = std::sin(phi) * static_cast<float>(sign);

    for (const WindowKernels& build : builds) {
      Window want = start, got = start;
      referencePlain(want.sumre.data(), want.sumim.data(), re.data(), im.data(), n, sign);
      build.plain(got.sumre.data(), got.sumim.data(), re.data(), im.data(), n, sign);
      ASSERT_EQ(got, want) << "plain, " << n << " points";

      want = got = start;
      referenceBlanking(want.sumre.data(), want.sumim.data(), want.powersum.data(), threshold.data(),
                        want.blankcount.data(), re.data(), im.data(), power.data(), n, sign);
      build.blanking(got.sumre.data(), got.sumim.data(), got.powersum.data(), threshold.data(), got.blankcount.data(),
                     re.data(), im.data(), power.data(), n, sign);
      ASSERT_EQ(got, want) << "blanking, " << n << " points";

      want = got = start;
      referenceMixed(want.sumre.data(), want.sumim.data(), re.data(), im.data(), n, c, q);
      build.mixed(got.sumre.data(), got.sumim.data(), re.data(), im.data(), n, c, q);
      ASSERT_EQ(got, want) << "mixed, " << n << " points, c " << c << " q " << q;
    }
    points += n;
  }
  // The mixing phases of both builds, for pulse times over a week of seconds.
  std::uniform_real_distribution<double> time(0.0, 604800.0);
  for (int i = 0; i < 100000; ++i) {
    const double t[2] = {time(random), time(random) / 4096};
    float phi[2][2];
    for (int b = 0; b < 2; ++b) builds[b].phases(phi[b], t, i % 2 ? 12000.0 : -11999.75, 2);
    ASSERT_EQ(std::memcmp(phi[0], phi[1], sizeof phi[0]), 0) << "phases at " << t[0] << " and " << t[1] << " s";
  }
}

} // namespace velkor
