// The read floor of the throughput benchmark: the least any receiver must do
// with a recording, namely read it in 64 KiB blocks and add every 16-bit
// sample. velkor's cost is quoted as a multiple of this program's.
//
//   readfloor FILE      prints the number of samples and their sum
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: readfloor FILE\n");
    return 2;
  }
  const int fd = open(argv[1], O_RDONLY);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  constexpr std::size_t kBlockBytes = 64 * 1024;
  static unsigned char block[kBlockBytes];
  int64_t sum = 0;
  int64_t samples = 0;
  ssize_t got;
  while ((got = read(fd, block, kBlockBytes)) > 0) {
    const auto count = static_cast<std::size_t>(got) / 2;
    for (std::size_t i = 0; i < count; ++i) {
      int16_t value;
      std::memcpy(&value, block + 2 * i, 2);
      sum += value;
    }
    samples += static_cast<int64_t>(count);
  }
  close(fd);
  std::printf("%lld samples, sum %lld\n", static_cast<long long>(samples), static_cast<long long>(sum));
  return 0;
}
