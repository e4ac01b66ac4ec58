// tavrik-compress-time: times the rle and lz4 coders of --compress on plain table files.
//
//   tavrik-compress-time FILE...
//
// For each file and format: the plain and compressed sizes and the best of five timings of
// compressBytes, in milliseconds of CPU time (the machine is shared: wall time would count the
// waits).
#include <time.h>

#include <cstdio>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "formats/compress.h"

int main(int argc, char** argv) {
  const auto cpuMs = [] {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
  };
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const std::vector<std::uint8_t> plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const tavrik::Compression c : {tavrik::Compression::Rle, tavrik::Compression::Lz4}) {
      double best = 1e30;
      size_t size = 0;
      for (int round = 0; round < 5; ++round) {
        const double start = cpuMs();
        size = tavrik::compressBytes(c, plain).size();
        best = std::min(best, cpuMs() - start);
      }
      std::printf("%s %s: %zu -> %zu bytes (%.1f %%), %.2f ms\n", argv[i], tavrik::compressionName(c),
                  plain.size(), size, plain.empty() ? 0.0 : 100.0 * size / plain.size(), best);
    }
  }
}
