// The floor of loading and listing: read src.txt, reg.txt and mem.txt line by
// line with stdio, convert each number with strtol, and write the listing
// bytes; nothing else.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> readLines(const char* path) {
  std::vector<std::string> lines;
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    std::perror(path);
    std::exit(2);
  }
  char* line = nullptr;
  std::size_t capacity = 0;
  for (ssize_t n; (n = getline(&line, &capacity, file)) >= 0;) {
    if (n > 0 && line[n - 1] == '\n') --n;
    lines.emplace_back(line, static_cast<std::size_t>(n));
  }
  std::free(line);
  std::fclose(file);
  return lines;
}

std::vector<long> readNumbers(const char* path) {
  std::vector<long> numbers;
  for (const std::string& line : readLines(path)) numbers.push_back(std::strtol(line.c_str(), nullptr, 10));
  return numbers;
}

}  // namespace

int main() {
  const std::vector<std::string> source = readLines("src.txt");
  const std::vector<long> registers = readNumbers("reg.txt");
  const std::vector<long> memory = readNumbers("mem.txt");
  std::fputs(" Source Code Loaded : \n\n", stdout);
  for (std::size_t i = 0; i < source.size(); ++i) std::printf(" L(%zu) : %s \n", i + 1, source[i].c_str());
  std::fputs("\n Register File Loaded : \n\n", stdout);
  for (std::size_t i = 0; i < registers.size(); ++i) std::printf(" $%zu : %ld \n", i, registers[i]);
  std::fputs("\n Memory File Loaded : \n\n", stdout);
  for (std::size_t i = 0; i < memory.size(); ++i) std::printf(" %zx : %ld \n", i, memory[i]);
  std::fputs("\n\n", stdout);
  return 0;
}
