// The inline rounding against the library's nearbyint, bit for bit: a million
// arbitrary bit patterns (every magnitude, infinities, NaN), a million values
// and exact halves where the receiver's sample positions lie, and the edges
// of the 2^52 trick.
#include "ground/numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

namespace velkor {

TEST(Numbers, RoundHalfEvenIsTheLibrarysRounding) {
  auto expectSame = [](double x) {
    const double want = std::nearbyint(x);
    const double got = roundHalfEven(x);
    if (std::isnan(want)) {
      ASSERT_TRUE(std::isnan(got)) << x;
      return;
    }
    ASSERT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(want)) << x;
  };
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> position(-1e7, 1e7);
  std::uniform_int_distribution<int64_t> whole(-(int64_t{1} << 53), int64_t{1} << 53);
  for (int i = 0; i < 1000000; ++i) {
    expectSame(std::bit_cast<double>(random()));
    expectSame(position(random));
    expectSame(static_cast<double>(whole(random)) + 0.5);
  }
  for (double x : {0.0, -0.0, 0.5, -0.5, 1.5, 2.5, -2.5, 0x1p52 - 0.5, 0x1p52, -0x1p52 + 0.5, 0x1p53 - 1.0,
                   0x1.fffffffffffffp51, std::nextafter(0.5, 0.0), std::nextafter(0.5, 1.0), HUGE_VAL, -HUGE_VAL})
    expectSame(x);
}

} // namespace velkor
