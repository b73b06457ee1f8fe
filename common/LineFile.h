#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace fivestage {

// Reads a text file line by line with one buffer and no per-line allocation,
// or a text already in memory line by line, by the same rules.
// A line is everything up to the next line feed; the line feed, and a carriage
// return right before it, are not part of the line. A last line without a line
// feed is still a line; a line feed at the very end adds no extra line. A read
// error ends the file at that point.
class LineFile {
 public:
  LineFile();
  ~LineFile();
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;
  LineFile(LineFile&& other) noexcept;
  LineFile& operator=(LineFile&& other) noexcept;

  // Opens the file for reading. False when it cannot be opened, which
  // includes a directory standing where the file should be.
  bool open(const char* path);
  // Reads the lines of `text`, which must outlive the reading, in place.
  void openText(std::string_view text);

  // Hands out the next line; the view stays valid until the next call.
  // False at the end of the file.
  bool nextLine(std::string_view& line);

 private:
  bool fill();
  void close();
  // Forgets the file or text being read.
  void restart();

  static constexpr std::size_t bufferSize = 64 * 1024;
  std::unique_ptr<char[]> buffer_;
  const char* data_;  // what is read: the buffer, or a text in memory
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  int fd_ = -1;
  bool atEnd_ = false;
  std::string pending_;  // a line that spans buffer refills
  bool pendingHandedOut_ = false;
};

}  // namespace fivestage
