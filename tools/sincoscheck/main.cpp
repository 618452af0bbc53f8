// velkor-sincoscheck: holds the table sincos passes against the C library's
// sincosf over every one of the 2^32 float bit patterns (or the range given),
// bit for bit, and counts the arguments where the fused and the unfused
// builds of the algorithm differ from each other.
//
//   velkor-sincoscheck [fused|unfused|chosen] [FIRST LAST]
//
// FIRST and LAST are float bit patterns (decimal or 0x...), LAST included.
// The library's build is glibc's choice for the processor; under
// GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA it is the unfused one, so both
// can be checked on one machine. Exit status 0 when every value agrees.
#include "ground/sincos.h"

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kChunk = 1 << 16; // [values] per comparison

bool same(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

} // namespace

int main(int argc, char** argv) {
  using velkor::SinCosPass;
  const char* which = argc > 1 ? argv[1] : "chosen";
  SinCosPass pass = velkor::chooseSinCos();
  if (std::strcmp(which, "fused") == 0) pass = velkor::sinCosFused;
  else if (std::strcmp(which, "unfused") == 0) pass = velkor::sinCosUnfused;
  else if (std::strcmp(which, "chosen") != 0) {
    std::fprintf(stderr, "usage: velkor-sincoscheck [fused|unfused|chosen] [FIRST LAST]\n");
    return 2;
  }
  const uint64_t first = argc > 3 ? std::strtoull(argv[2], nullptr, 0) : 0;
  const uint64_t last = argc > 3 ? std::strtoull(argv[3], nullptr, 0) : 0xffffffffu;
  std::printf("pass: %s%s\n", which,
              pass == velkor::sinCosByLibrary
                  ? " (the library call: the library disagreed with the build chosen for this processor)"
                  : "");
  std::vector<float> theta(kChunk), sine(kChunk), cosine(kChunk), wantsine(kChunk), wantcosine(kChunk),
      fusedsine(kChunk), fusedcosine(kChunk), othersine(kChunk), othercosine(kChunk);
  uint64_t mismatches = 0, buildsdiffer = 0, shown = 0;
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t base = first; base <= last; base += kChunk) {
    const auto n = static_cast<int32_t>(std::min<uint64_t>(kChunk, last - base + 1));
    for (int32_t i = 0; i < n; ++i)
      theta[static_cast<size_t>(i)] = std::bit_cast<float>(static_cast<uint32_t>(base + i));
    velkor::sinCosByLibrary(theta.data(), wantsine.data(), wantcosine.data(), n);
    pass(theta.data(), sine.data(), cosine.data(), n);
    // The two builds against each other, whichever pass is checked.
    velkor::sinCosFused(theta.data(), fusedsine.data(), fusedcosine.data(), n);
    velkor::sinCosUnfused(theta.data(), othersine.data(), othercosine.data(), n);
    for (int32_t i = 0; i < n; ++i) {
      const auto k = static_cast<size_t>(i);
      if (!same(sine[k], wantsine[k]) || !same(cosine[k], wantcosine[k])) {
        if (++mismatches <= 20)
          std::printf("differs: %a (0x%08x): sin %a / %a, cos %a / %a\n", theta[k], std::bit_cast<uint32_t>(theta[k]),
                      sine[k], wantsine[k], cosine[k], wantcosine[k]);
      }
      if (!same(fusedsine[k], othersine[k]) || !same(fusedcosine[k], othercosine[k])) {
        ++buildsdiffer;
        if (std::fabs(theta[k]) < 120 && std::fabs(theta[k]) > 1 && shown++ < 24)
          std::printf("builds differ at %a\n", theta[k]);
      }
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%llu arguments, %llu differ from the library, %llu where the fused and unfused builds differ, %.0f s\n",
              static_cast<unsigned long long>(last - first + 1), static_cast<unsigned long long>(mismatches),
              static_cast<unsigned long long>(buildsdiffer), seconds);
  return mismatches == 0 ? 0 : 1;
}
