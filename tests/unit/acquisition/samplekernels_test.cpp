#include "acquisition/samplekernels.h"

#include "support/receiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>

namespace velkor {

using test::Samples;

TEST(Decoding, FourLayouts) {
  const uint8_t bytes[8] = {0x80, 0x00, 0xFF, 0x7F, 0x00, 0x80, 0x01, 0x00};
  const std::tuple<int32_t, int32_t, std::vector<int16_t>, std::vector<int16_t>> rows[] = {
      {1, 1, {0, -128, 127, -1, -128, 0, -127, -128}, {0, 0, 0, 0, 0, 0, 0, 0}},
      {2, 1, {0, 127, -128, -127}, {-128, -1, 0, -128}},
      {1, 2, {128, 32767, -32768, 1}, {0, 0, 0, 0}},
      {2, 2, {128, -32768}, {32767, 1}}};
  for (const auto& [channels, width, wantre, wantim] : rows) {
    std::vector<int16_t> re(wantre.size()), im(wantre.size(), 99);
    decodeFrames(bytes, static_cast<int32_t>(re.size()), channels, width, re.data(), im.data());
    EXPECT_EQ(re, wantre) << channels << " x " << width << " bytes";
    EXPECT_EQ(im, wantim) << channels << " x " << width << " bytes";
  }
  // The one pass with the powers, both builds, against the two passes, a
  // million frames of random bytes in every layout.
  std::mt19937 random(11);
  std::uniform_int_distribution<int> byte(0, 255);
  for (const auto& [channels, width, unusedre, unusedim] : rows) {
    const int32_t frames = 250000 + channels + width;
    std::vector<uint8_t> raw(static_cast<std::size_t>(frames * channels * width));
    for (uint8_t& b : raw) b = static_cast<uint8_t>(byte(random));
    const auto size = static_cast<std::size_t>(frames);
    std::vector<int16_t> wantre(size), wantim(size), re(size), im(size);
    std::vector<float> wantpower(size), power(size);
    decodeFrames(raw.data(), frames, channels, width, wantre.data(), wantim.data());
    computePower(wantre.data(), wantim.data(), wantpower.data(), frames);
    for (const SampleKernels& build : {SampleKernels{}, chooseSampleKernels()}) {
      build.decode(raw.data(), frames, channels, width, re.data(), im.data(), power.data());
      EXPECT_EQ(re, wantre) << channels << " x " << width << " bytes";
      EXPECT_EQ(im, wantim) << channels << " x " << width << " bytes";
      EXPECT_EQ(power, wantpower) << channels << " x " << width << " bytes";
    }
  }
}

TEST(SampleKernels, AgreeWithThePlainDefinitions) {
  // Rounding: nearbyint (halves to even), saturated to 16 bits, NaN by its sign;
  // random bit patterns hold NaNs of both signs.
  auto reference = [](float x) -> int16_t {
    if (std::isnan(x)) return std::signbit(x) ? -32768 : 32767;
    return static_cast<int16_t>(std::clamp(std::nearbyint(x), -32768.0f, 32767.0f));
  };
  std::mt19937 random(7);
  std::uniform_int_distribution<uint32_t> bits;
  std::uniform_real_distribution<float> near(-33000.0f, 33000.0f);
  std::vector<float> xs = {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
  for (int32_t twice = -70000; twice <= 70000; ++twice) xs.push_back(static_cast<float>(twice) / 2);
  for (int i = 0; i < 300000; ++i) xs.insert(xs.end(), {std::bit_cast<float>(bits(random)), near(random)});
  for (float x : xs) ASSERT_EQ(roundToSample(x), reference(x)) << x;

  // Power, its sum and the DC sums over counts that meet the 16-sample groups and the
  // 32-bit group sums, with long runs of -32768 and pairs (-32768, -32768),
  // whose power 2^31 overflows 32-bit integers.
  std::uniform_int_distribution<int> value(-32768, 32767);
  for (int32_t count : {0, 1, 17, 16 * 1024 + 5, 1200000}) {
    std::vector<int16_t> re(static_cast<std::size_t>(count)), im(re.size());
    for (std::size_t i = 0; i < re.size(); ++i) {
      re[i] = static_cast<int16_t>(i < re.size() * 9 / 10 ? -32768 : value(random));
      im[i] = static_cast<int16_t>(i % 3 ? value(random) : -32768);
    }
    std::vector<float> power(re.size());
    computePower(re.data(), im.data(), power.data(), count);
    for (std::size_t i = 0; i < re.size(); ++i)
      ASSERT_EQ(power[i], static_cast<float>(static_cast<double>(re[i]) * re[i] + static_cast<double>(im[i]) * im[i]));
    // The power sum against the plain sum in doubles, with every tenth power
    // cleared as the noise blanker clears them.
    for (std::size_t i = 0; i < re.size(); i += 10) power[i] = 0;
    double plainsum = 0;
    for (float p : power) plainsum += p;
    // Both builds of the retiring sums: the baseline one and the processor's.
    for (const SampleKernels& build : {SampleKernels{}, chooseSampleKernels()}) {
      ASSERT_EQ(build.power(power.data(), count), plainsum) << count;
      const float mid = count ? power[re.size() / 3] : 1.0f;
      for (float threshold : {std::numeric_limits<float>::infinity(), mid, std::nextafter(mid, 0.0f), 0.0f,
                              std::numeric_limits<float>::quiet_NaN()}) {
        int64_t sumre = 0, sumim = 0;
        for (std::size_t i = 0; i < re.size(); ++i) {
          sumre += power[i] < threshold ? re[i] : 0;
          sumim += power[i] < threshold ? im[i] : 0;
        }
        const SampleSums quiet = build.quiet(re.data(), im.data(), power.data(), count, threshold);
        const SampleSums all = std::isinf(threshold) ? sumSamples(re.data(), im.data(), count) : quiet;
        EXPECT_EQ(std::pair(quiet.re, quiet.im), std::pair(sumre, sumim)) << count << " " << threshold;
        EXPECT_EQ(std::pair(all.re, all.im), std::pair(sumre, sumim)) << count << " all";
      }
    }
  }
}

namespace {

// Reads a recording of the interleaved values whole, through the oscillator.
Samples readShifted(const std::vector<int16_t>& values, double looffset, float lodrift, float filescale,
                    int32_t channels = 2, int32_t blocklength = 0) {
  test::Receiver r;
  r.s.settings.looffset = looffset;
  r.s.settings.lodrift = lodrift;
  r.s.settings.filescale = filescale;
  r.s.settings.channels = channels;
  r.s.settings.fileblocklen = blocklength;
  test::writeWav(r.s.settings.inputfile, values, {channels, 2, 22050, 44});
  r.start();
  return r.readAll();
}

} // namespace

TEST(Oscillator, QuarterRateTurnsAQuarterPerSampleAndRestartsAtThe100thSample) {
  // Mono: the oscillator gives the imaginary part.
  const auto out = readShifted(std::vector<int16_t>(300, 1000), 22050.0 / 4, 0, 1, 1);
  const test::Sample turn[4] = {{1000, 0}, {0, -1000}, {-1000, 0}, {0, 1000}};
  // Sample 99 would be a three-quarter turn; there the oscillator is set from
  // lophase = 0 and turns on from that restart.
  for (std::size_t k = 0; k < 300; ++k) ASSERT_EQ(out[k], turn[(k < 99 ? k : k - 99) % 4]) << k;
}

TEST(Oscillator, FilescaleIsAppliedOnceAndProductsSaturate) {
  const std::tuple<double, float, float, std::vector<int16_t>, Samples> rows[] = {
      {0, 0, 2, {100, -7, 20000, -20000}, {{200, -14}, {32767, -32768}}},       // scaled alone
      {22050.0 / 4, 0, 2, {1000, 300, 1000, 300}, {{2000, 600}, {600, -2000}}}, // inside the product only
      {0, 10, 2, {1000, 0, 1000, 0}, {{4000, 0}, {4000, 0}}},                   // lodrift alone: both, in block 1
      {22050.0 / 8, 0, 1, {30000, 30000, 30000, 30000}, {{30000, 30000}, {32767, 0}}}}; // 42426 saturates
  for (const auto& [looffset, lodrift, filescale, in, out] : rows)
    EXPECT_EQ(readShifted(in, looffset, lodrift, filescale), out) << looffset << " " << lodrift;
}

TEST(Oscillator, EveryStepInItsOwnWidth) {
  // The steps written out one sample at a time, each value in its own width:
  // any change of order or precision shows up bit for bit. The offset sweeps
  // at lodrift; blocks of 333 samples cut across the 100-sample restarts.
  const float pi = 3.14159265358979323846f, rate = 22050, filescale = 1.5f, lodrift = 37.5f;
  double looffset = -2345.678;
  float lophase = 0, lore = filescale, loim = 0;
  Samples expected;
  std::vector<int16_t> values;
  for (int32_t k = 0; k < 1000; ++k) {
    const auto x = static_cast<int16_t>(k * 37 % 20000 - 10000), y = static_cast<int16_t>(k * 53 % 16000 - 8000);
    values.insert(values.end(), {x, y});
    if (k % 100 == 99) {
      const float theta = static_cast<float>(2.0 * pi * lophase);
      lore = std::cos(theta) * filescale;
      loim = -std::sin(theta) * filescale;
      lophase = static_cast<float>(lophase + looffset / rate * 100.0);
      lophase -= std::floor(lophase);
      looffset += lodrift * 100.0 / rate;
    }
    const float step = static_cast<float>(2.0 * pi * looffset / rate);
    const float c = std::cos(step), sn = -std::sin(step), fx = x, fy = y;
    expected.emplace_back(std::nearbyint(lore * fx - loim * fy), std::nearbyint(loim * fx + lore * fy));
    const float nextre = c * lore - sn * loim;
    loim = sn * lore + c * loim;
    lore = nextre;
  }
  EXPECT_EQ(readShifted(values, -2345.678, lodrift, filescale, 2, 333), expected);
}

} // namespace velkor
