#include "acquisition/samplekernels.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace velkor {

namespace {

int16_t referenceRound(float x) {
  if (std::isnan(x)) return std::signbit(x) ? -32768 : 32767;
  const float r = std::nearbyint(x);
  if (r <= -32768.0f) return -32768;
  if (r >= 32767.0f) return 32767;
  return static_cast<int16_t>(r);
}

} // namespace

TEST(SampleRounding, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(roundToSample(0.5f), 0);
  EXPECT_EQ(roundToSample(1.5f), 2);
  EXPECT_EQ(roundToSample(2.5f), 2);
  EXPECT_EQ(roundToSample(-0.5f), 0);
  EXPECT_EQ(roundToSample(-1.5f), -2);
  EXPECT_EQ(roundToSample(-2.5f), -2);
  EXPECT_EQ(roundToSample(2.4999998f), 2);
  EXPECT_EQ(roundToSample(32766.5f), 32766);
  EXPECT_EQ(roundToSample(-32767.5f), -32768);
}

TEST(SampleRounding, OutOfRangeSaturates) {
  EXPECT_EQ(roundToSample(32767.0f), 32767);
  EXPECT_EQ(roundToSample(32767.5f), 32767);
  EXPECT_EQ(roundToSample(32768.0f), 32767);
  EXPECT_EQ(roundToSample(1e30f), 32767);
  EXPECT_EQ(roundToSample(std::numeric_limits<float>::infinity()), 32767);
  EXPECT_EQ(roundToSample(-32768.0f), -32768);
  EXPECT_EQ(roundToSample(-32768.49f), -32768);
  EXPECT_EQ(roundToSample(-32769.0f), -32768);
  EXPECT_EQ(roundToSample(-std::numeric_limits<float>::infinity()), -32768);
  EXPECT_EQ(roundToSample(std::numeric_limits<float>::quiet_NaN()), 32767);
  EXPECT_EQ(roundToSample(-std::numeric_limits<float>::quiet_NaN()), -32768);
}

TEST(SampleRounding, AgreesWithNearbyintEverywhere) {
  // Every half-integer and integer of the range, and random values of all magnitudes.
  for (int32_t twice = -70000; twice <= 70000; ++twice) {
    const float x = static_cast<float>(twice) / 2;
    ASSERT_EQ(roundToSample(x), referenceRound(x)) << x;
  }
  std::mt19937 random(7);
  std::uniform_int_distribution<uint32_t> bits;
  for (int i = 0; i < 1000000; ++i) {
    const float x = std::bit_cast<float>(bits(random));
    ASSERT_EQ(roundToSample(x), referenceRound(x)) << x;
  }
  std::uniform_real_distribution<float> near(-33000.0f, 33000.0f);
  for (int i = 0; i < 1000000; ++i) {
    const float x = near(random);
    ASSERT_EQ(roundToSample(x), referenceRound(x)) << x;
  }
}

TEST(Decoding, FourLayouts) {
  // Frames of 20 values so that both the grouped and the remaining samples are met.
  const int32_t frames = 20;
  std::vector<uint8_t> bytes(4 * frames);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
  std::vector<int16_t> re(frames), im(frames, 99);
  auto s16 = [&](std::size_t at) { return static_cast<int16_t>(bytes[at] | bytes[at + 1] << 8); };

  decodeFrames(bytes.data(), frames, 2, 2, re.data(), im.data());
  for (int32_t k = 0; k < frames; ++k) {
    EXPECT_EQ(re[k], s16(4 * k)) << k;
    EXPECT_EQ(im[k], s16(4 * k + 2)) << k;
  }
  decodeFrames(bytes.data(), frames, 2, 1, re.data(), im.data());
  for (int32_t k = 0; k < frames; ++k) {
    EXPECT_EQ(re[k], bytes[2 * k] - 128) << k;
    EXPECT_EQ(im[k], bytes[2 * k + 1] - 128) << k;
  }
  decodeFrames(bytes.data(), frames, 1, 2, re.data(), im.data());
  for (int32_t k = 0; k < frames; ++k) {
    EXPECT_EQ(re[k], s16(2 * k)) << k;
    EXPECT_EQ(im[k], 0) << k;
  }
  decodeFrames(bytes.data(), frames, 1, 1, re.data(), im.data());
  for (int32_t k = 0; k < frames; ++k) {
    EXPECT_EQ(re[k], bytes[k] - 128) << k;
    EXPECT_EQ(im[k], 0) << k;
  }
}

TEST(Decoding, EightBitValuesAreOffsetBy128) {
  const uint8_t bytes[] = {0x80, 0x00, 0xFF, 0x7F, 0x81, 0x01};
  int16_t re[6], im[6];
  decodeFrames(bytes, 6, 1, 1, re, im);
  EXPECT_EQ(re[0], 0);
  EXPECT_EQ(re[1], -128);
  EXPECT_EQ(re[2], 127);
  EXPECT_EQ(re[3], -1);
  EXPECT_EQ(re[4], 1);
  EXPECT_EQ(re[5], -127);
  decodeFrames(bytes, 3, 2, 1, re, im);
  EXPECT_EQ(re[0], 0);
  EXPECT_EQ(im[0], -128);
  EXPECT_EQ(re[1], 127);
  EXPECT_EQ(im[1], -1);
}

TEST(Decoding, SixteenBitExtremes) {
  const uint8_t bytes[] = {0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF, 0x01, 0x00};
  int16_t re[2], im[2];
  decodeFrames(bytes, 2, 2, 2, re, im);
  EXPECT_EQ(re[0], -32768);
  EXPECT_EQ(im[0], 32767);
  EXPECT_EQ(re[1], -1);
  EXPECT_EQ(im[1], 1);
}

TEST(Scaling, RoundsHalvesToEvenAndSaturates) {
  std::vector<int16_t> v{1, 3, 5, -3, -5, 7, 20000, -20000, 32767, -32768, 0, 1, 2, 3, 4, 5, 6, 7};
  std::vector<int16_t> half = v;
  scaleSamples(half.data(), static_cast<int32_t>(half.size()), 0.5f);
  EXPECT_EQ(half, (std::vector<int16_t>{0, 2, 2, -2, -2, 4, 10000, -10000, 16384, -16384, 0, 0, 1, 2, 2, 2, 3, 4}));
  std::vector<int16_t> doubled = v;
  scaleSamples(doubled.data(), static_cast<int32_t>(doubled.size()), 2.0f);
  EXPECT_EQ(doubled, (std::vector<int16_t>{2, 6, 10, -6, -10, 14, 32767, -32768, 32767, -32768, 0, 2, 4, 6, 8, 10, 12, 14}));
}

TEST(Power, ExactSquaresRoundedOnce) {
  const int16_t re[] = {-32768, 32767, 3, 0, -32768, 4097};
  const int16_t im[] = {-32768, 32767, 4, 0, 0, 4097};
  float power[6];
  computePower(re, im, power, 6);
  EXPECT_EQ(power[0], 2147483648.0f) << "no 32-bit overflow";
  EXPECT_EQ(power[1], static_cast<float>(2.0 * 32767 * 32767));
  EXPECT_EQ(power[2], 25.0f);
  EXPECT_EQ(power[3], 0.0f);
  EXPECT_EQ(power[4], 1073741824.0f);
  // 2 x 4097^2 = 33570818 is not a single; the exact value is rounded once.
  EXPECT_EQ(power[5], static_cast<float>(33570818.0));
}

TEST(DcSums, AllAndQuietSamplesMatchPlainLoops) {
  std::mt19937 random(3);
  std::uniform_int_distribution<int> value(-32768, 32767);
  for (int32_t count : {0, 1, 15, 16, 17, 1000, 16 * 1024 + 5, 70000}) {
    std::vector<int16_t> re(static_cast<std::size_t>(count)), im(re.size());
    for (std::size_t i = 0; i < re.size(); ++i) {
      re[i] = static_cast<int16_t>(value(random));
      im[i] = static_cast<int16_t>(value(random));
    }
    // Worst case for the 32-bit group sums: long runs of the largest magnitude.
    for (std::size_t i = 0; i < re.size() / 2; ++i) re[i] = -32768;
    std::vector<float> power(re.size());
    computePower(re.data(), im.data(), power.data(), count);

    int64_t allre = 0, allim = 0;
    double powersum = 0;
    for (std::size_t i = 0; i < re.size(); ++i) {
      allre += re[i];
      allim += im[i];
      powersum += power[i];
    }
    SampleSums all = sumSamples(re.data(), im.data(), count);
    EXPECT_EQ(all.re, allre) << count;
    EXPECT_EQ(all.im, allim) << count;
    EXPECT_EQ(sumPower(power.data(), count), powersum) << count;

    const float mid = count ? power[re.size() / 3] : 1.0f;
    for (float threshold : {mid, std::nextafter(mid, 0.0f), 0.0f, -1.0f, 1e30f,
                            std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
      int64_t quietre = 0, quietim = 0;
      for (std::size_t i = 0; i < re.size(); ++i) {
        if (power[i] < threshold) {
          quietre += re[i];
          quietim += im[i];
        }
      }
      SampleSums quiet = sumQuietSamples(re.data(), im.data(), power.data(), count, threshold);
      EXPECT_EQ(quiet.re, quietre) << count << " " << threshold;
      EXPECT_EQ(quiet.im, quietim) << count << " " << threshold;
    }
  }
}

} // namespace velkor
