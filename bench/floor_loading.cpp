// The floor of loading and listing: read src.txt, reg.txt and mem.txt whole,
// split them into lines, convert each number, render the listing into one
// buffer with std::to_chars and write it with one call; nothing else.
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string readWhole(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(path);
    std::exit(2);
  }
  std::string content;
  char chunk[1 << 16];
  for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) content.append(chunk, static_cast<std::size_t>(n));
  close(fd);
  return content;
}

std::vector<std::string_view> linesOf(const std::string& content) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    lines.emplace_back(content.data() + start, end - start);
    start = end + 1;
  }
  return lines;
}

std::vector<long> numbersOf(const std::string& content) {
  std::vector<long> numbers;
  for (const std::string_view line : linesOf(content)) {
    long value = 0;
    std::from_chars(line.data(), line.data() + line.size(), value);
    numbers.push_back(value);
  }
  return numbers;
}

template <typename Number>
void appendNumber(std::string& out, Number value, int base = 10) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, base).ptr;
  out.append(digits, end);
}

}  // namespace

int main() {
  const std::string sourceText = readWhole("src.txt");
  const std::vector<std::string_view> source = linesOf(sourceText);
  const std::vector<long> registers = numbersOf(readWhole("reg.txt"));
  const std::vector<long> memory = numbersOf(readWhole("mem.txt"));

  std::string out = " Source Code Loaded : \n\n";
  for (std::size_t i = 0; i < source.size(); ++i) {
    out += " L(";
    appendNumber(out, i + 1);
    out += ") : ";
    out += source[i];
    out += " \n";
  }
  out += "\n Register File Loaded : \n\n";
  for (std::size_t i = 0; i < registers.size(); ++i) {
    out += " $";
    appendNumber(out, i);
    out += " : ";
    appendNumber(out, registers[i]);
    out += " \n";
  }
  out += "\n Memory File Loaded : \n\n";
  for (std::size_t i = 0; i < memory.size(); ++i) {
    out += " ";
    appendNumber(out, i, 16);
    out += " : ";
    appendNumber(out, memory[i]);
    out += " \n";
  }
  out += "\n\n";
  for (std::size_t written = 0; written < out.size();) {
    const ssize_t n = write(1, out.data() + written, out.size() - written);
    if (n <= 0) return 1;
    written += static_cast<std::size_t>(n);
  }
  return 0;
}
