// The floor of a batch run: per cycle, one key read from standard input, the
// energy files the run reads (each opened, read to its end, summed and
// closed), and as many bytes written as the run writes; nothing else.
//
// Usage: floor_cycles CYCLES BYTES PATH COUNT [PATH COUNT ...]
// Each PATH is read COUNT times in all, spread evenly over the cycles.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

long long sumFile(const char* path) {
  char buffer[4096];
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(path);
    std::exit(2);
  }
  long long total = 0;
  std::string pending;
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) pending.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  for (const char* p = pending.c_str(); *p != '\0';) {
    char* end = nullptr;
    total += std::strtol(p, &end, 10);
    const char* feed = std::strchr(p, '\n');
    if (feed == nullptr) break;
    p = feed + 1;
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc % 2 != 1) {
    std::fprintf(stderr, "usage: floor_cycles CYCLES BYTES PATH COUNT [PATH COUNT ...]\n");
    return 2;
  }
  const long long cycles = std::atoll(argv[1]);
  const long long bytes = std::atoll(argv[2]);
  // One schedule of readings, the files interleaved in proportion.
  std::vector<const char*> readings;
  long long total = 0;
  for (int i = 3; i < argc; i += 2) total += std::atoll(argv[i + 1]);
  std::vector<long long> done((static_cast<std::size_t>(argc) - 3) / 2, 0);
  for (long long k = 0; k < total; ++k) {
    for (std::size_t f = 0; f < done.size(); ++f) {
      const long long want = std::atoll(argv[4 + 2 * f]);
      if (done[f] * total <= k * want && done[f] < want) {
        readings.push_back(argv[3 + 2 * f]);
        ++done[f];
        break;
      }
    }
  }

  static char text[1 << 16];
  for (char& c : text) c = 'x';
  long long energy = 0;
  long long written = 0;
  std::size_t next = 0;
  for (long long cycle = 0; cycle < cycles; ++cycle) {
    if (std::getchar() == EOF && cycle == 0) return 2;
    const auto due = static_cast<std::size_t>(static_cast<long long>(readings.size()) * (cycle + 1) / cycles);
    for (; next < due; ++next) energy += sumFile(readings[next]);
    const long long target = bytes * (cycle + 1) / cycles;
    while (written < target) {
      const auto chunk = static_cast<std::size_t>(std::min<long long>(target - written, sizeof text));
      std::fwrite(text, 1, chunk, stdout);
      written += static_cast<long long>(chunk);
    }
  }
  std::fflush(stdout);
  // The sums decide nothing but must not be optimised away.
  return energy == std::numeric_limits<long long>::min() ? 3 : 0;
}
