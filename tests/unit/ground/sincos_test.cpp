// The table sincos chosen for this machine against the C library's sincosf,
// bit for bit: a million phases as the mixers keep them (within +-pi, tables
// that the vector path takes whole), a million where the receiver's phases
// lie (within +-130 rad, both reductions, tables of every length) and a
// million arbitrary bit patterns (large arguments, tiny ones, infinities and
// NaN).
// tools/sincoscheck compares every float.
#include "ground/sincos.h"

#include "ground/numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <vector>

namespace velkor {

TEST(SinCos, TheChosenPassGivesTheLibrarysValues) {
  const SinCosPass pass = chooseSinCos();
  std::mt19937 random(7);
  std::uniform_real_distribution<float> mixer(-kPiSingle, kPiSingle);
  std::uniform_real_distribution<float> phase(-130.0f, 130.0f);
  std::uniform_int_distribution<uint32_t> pattern;
  std::uniform_int_distribution<int32_t> length(1, 300);
  enum class Arguments { mixer, phase, arbitrary };
  for (const Arguments arguments : {Arguments::mixer, Arguments::phase, Arguments::arbitrary}) {
    int64_t done = 0;
    while (done < 1000000) {
      const auto n = static_cast<std::size_t>(length(random));
      std::vector<float> theta(n), sine(n), cosine(n), wantsine(n), wantcosine(n);
      for (float& value : theta) {
        if (arguments == Arguments::mixer) value = mixer(random);
        else if (arguments == Arguments::phase) value = phase(random);
        else value = std::bit_cast<float>(pattern(random));
      }
      pass(theta.data(), sine.data(), cosine.data(), static_cast<int32_t>(n));
      sinCosByLibrary(theta.data(), wantsine.data(), wantcosine.data(), static_cast<int32_t>(n));
      for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(std::bit_cast<uint32_t>(sine[i]), std::bit_cast<uint32_t>(wantsine[i])) << theta[i];
        ASSERT_EQ(std::bit_cast<uint32_t>(cosine[i]), std::bit_cast<uint32_t>(wantcosine[i])) << theta[i];
      }
      done += static_cast<int64_t>(n);
    }
  }
}

} // namespace velkor
