#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

namespace fivestage::report {

// An output that cannot be written, with a message naming it.
struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Where a report output goes, decided from the name the user gave before
// anything is written:
// - "-" is standard output, and so is any name that leads to this process's
//   descriptor 1 (/dev/stdout, /dev/fd/1, /proc/self/fd/1); another open
//   descriptor (/dev/fd/3, /dev/stderr) is written as it is;
// - a regular file, or a name where nothing is yet, is replaced: written
//   under a temporary name beside it, then renamed into place. A symbolic
//   link is followed first, so the file it names is replaced and the link
//   stays a link;
// - a character device or a named pipe is opened and written in place;
// - anything else (a folder, a socket, a block device) is refused.
class OutputPlace {
 public:
  enum class Kind { Replace, InPlace, Descriptor };

  // Throws OutputError when the output cannot be written there.
  explicit OutputPlace(std::string name);

  const std::string& name() const { return name_; }
  Kind kind() const { return kind_; }
  // Replace: the file replaced, symbolic links followed; InPlace: the device
  // or pipe.
  const std::filesystem::path& path() const { return path_; }
  int descriptor() const { return descriptor_; }
  bool isStandardOutput() const { return kind_ == Kind::Descriptor && descriptor_ == 1; }
  // Whether both are the same file: the same descriptor, the same existing
  // file (however named), or the same place where no file is yet.
  bool sameAs(const OutputPlace& other) const { return identity_ == other.identity_; }

 private:
  std::string name_;
  Kind kind_ = Kind::Replace;
  std::filesystem::path path_;
  int descriptor_ = -1;
  std::optional<mode_t> existingMode_;  // of a regular file replaced
  std::string identity_;

  friend class OutputFile;
};

// A descriptor as a stream buffer, which remembers the first write error.
class DescriptorBuffer final : public std::streambuf {
 public:
  DescriptorBuffer();
  void attach(int descriptor) { descriptor_ = descriptor; }
  // The errno of the first failed write, 0 when none failed.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type character) override;
  int sync() override;

 private:
  bool drain();

  int descriptor_ = -1;
  int error_ = 0;
  std::vector<char> buffer_;
};

// A file the report writes, at an OutputPlace. A replaced file is written
// under a temporary name and renamed into place only by publish(), so that a
// failed run leaves neither a half-written file nor the temporary behind.
// Opening it first tells at once whether the place can be written; opening a
// named pipe waits for its reader.
class OutputFile {
 public:
  // Throws OutputError when the output cannot be opened.
  explicit OutputFile(const OutputPlace& place);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::ostream& stream() { return stream_; }
  // Writes out all that the stream holds and closes the file. Throws
  // OutputError when writing failed.
  void finish();
  // Renames a replaced file's temporary into place; nothing for the others.
  // Throws OutputError when it cannot.
  void publish();

 private:
  [[noreturn]] void fail(const std::string& reason) const;

  OutputPlace place_;
  std::filesystem::path temporary_;  // of a replaced file
  int descriptor_ = -1;
  DescriptorBuffer buffer_;
  std::ostream stream_;
  bool published_ = false;
};

// Finishes every file there is, then publishes them: nothing is put in place
// unless every output was written whole.
void publishAll(const std::vector<std::unique_ptr<OutputFile>>& files);

}  // namespace fivestage::report
