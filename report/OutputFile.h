#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace fivestage::report {

// A file the report writes: written under a temporary name beside it and
// renamed into place only when complete, so that a failed run leaves no
// half-written file behind. Opening it first tells at once whether the place
// can be written.
class OutputFile {
 public:
  // Throws std::runtime_error with a message naming the file when it cannot
  // be created.
  explicit OutputFile(std::filesystem::path target);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::ostream& stream() { return stream_; }
  // Puts the file in place. Throws std::runtime_error when it cannot.
  void commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::ofstream stream_;
  bool committed_ = false;
};

}  // namespace fivestage::report
