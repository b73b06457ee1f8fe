#include "report/OutputFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fivestage::report {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void cannotWrite(const std::string& name, const std::string& reason) {
  throw OutputError("cannot write " + name + ": " + reason);
}

constexpr const char* whatCanBeWritten =
    " (an output is a file, a character device, a named pipe, or - for standard output)";

// The descriptor of this process that a path such as /dev/fd/N or
// /proc/self/fd/N names, if it names one.
std::optional<int> descriptorNamed(const fs::path& path) {
  const std::string number = path.filename().string();
  if (number.empty() || number.size() > 6 ||
      !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const fs::path folder = path.parent_path();
  const fs::path self = fs::path("/proc") / std::to_string(getpid());
  const bool ours = folder == "/dev/fd" || folder == "/proc/self/fd" || folder == "/proc/thread-self/fd" ||
                    folder == self / "fd" ||
                    (folder.filename() == "fd" && folder.parent_path().parent_path() == self / "task");
  if (!ours) return std::nullopt;
  return std::stoi(number);
}

struct Resolved {
  fs::path path;  // the file finally named, in a canonical folder; it may not exist
  std::optional<int> descriptor;
};

// Follows a name through its symbolic links to what it finally names.
Resolved resolve(const std::string& name) {
  fs::path current = name;
  for (int links = 0; links <= 40; ++links) {
    if (const std::optional<int> descriptor = descriptorNamed(current.lexically_normal())) {
      return {current, descriptor};
    }
    const fs::path folder = current.parent_path().empty() ? fs::path(".") : current.parent_path();
    std::error_code error;
    const fs::path canonicalFolder = fs::canonical(folder, error);
    if (error == std::errc::no_such_file_or_directory) cannotWrite(name, "there is no folder " + folder.string());
    if (error) cannotWrite(name, error.message());
    const fs::path full = canonicalFolder / current.filename();
    if (const std::optional<int> descriptor = descriptorNamed(full)) return {full, descriptor};
    struct stat status {};
    if (lstat(full.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return {full, std::nullopt};
    const fs::path target = fs::read_symlink(full, error);
    if (error) cannotWrite(name, error.message());
    current = target.is_absolute() ? target : canonicalFolder / target;
  }
  cannotWrite(name, std::strerror(ELOOP));
}

mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

OutputPlace::OutputPlace(std::string name) : name_(std::move(name)) {
  if (name_.empty()) cannotWrite("''", "no file named");
  const Resolved resolved = name_ == "-" ? Resolved{{}, 1} : resolve(name_);
  if (resolved.descriptor) {
    descriptor_ = *resolved.descriptor;
    const std::string which =
        descriptor_ == 1 ? std::string("standard output") : "descriptor " + std::to_string(descriptor_);
    const int flags = fcntl(descriptor_, F_GETFL);
    if (flags < 0) cannotWrite(name_, which + " is not open");
    if ((flags & O_ACCMODE) == O_RDONLY) cannotWrite(name_, which + " is open for reading only");
    kind_ = Kind::Descriptor;
    identity_ = "descriptor " + std::to_string(descriptor_);
    return;
  }
  path_ = resolved.path;
  struct stat status {};
  if (lstat(path_.c_str(), &status) != 0) {
    if (errno != ENOENT) cannotWrite(name_, std::strerror(errno));
    kind_ = Kind::Replace;
    identity_ = "path " + path_.string();
    return;
  }
  identity_ = "file " + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  if (S_ISREG(status.st_mode)) {
    kind_ = Kind::Replace;
    existingMode_ = static_cast<mode_t>(status.st_mode & 07777);
  } else if (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode)) {
    kind_ = Kind::InPlace;
  } else {
    const char* what = S_ISDIR(status.st_mode)    ? "it is a folder"
                       : S_ISSOCK(status.st_mode) ? "it is a socket"
                       : S_ISBLK(status.st_mode)  ? "it is a block device"
                                                  : "it is not a file";
    cannotWrite(name_, what + std::string(whatCanBeWritten));
  }
}

DescriptorBuffer::DescriptorBuffer() : buffer_(std::size_t{1} << 16) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type character) {
  if (!drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(character, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(character);
    pbump(1);
  }
  return traits_type::not_eof(character);
}

int DescriptorBuffer::sync() { return drain() ? 0 : -1; }

bool DescriptorBuffer::drain() {
  const char* next = pbase();
  const char* const end = pptr();
  while (error_ == 0 && next < end) {
    const ssize_t written = ::write(descriptor_, next, static_cast<std::size_t>(end - next));
    if (written >= 0) {
      next += written;
    } else if (errno != EINTR) {
      error_ = errno;
    }
  }
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return error_ == 0;
}

OutputFile::OutputFile(const OutputPlace& place) : place_(place), stream_(&buffer_) {
  switch (place_.kind_) {
    case OutputPlace::Kind::Replace: {
      std::string pattern = place_.path_.parent_path() / ("." + place_.path_.filename().string() + ".partial-XXXXXX");
      descriptor_ = mkostemp(pattern.data(), O_CLOEXEC);
      if (descriptor_ < 0) fail(std::strerror(errno));
      temporary_ = pattern;
      break;
    }
    case OutputPlace::Kind::InPlace: {
      descriptor_ = open(place_.path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      if (descriptor_ < 0) fail(std::strerror(errno));
      // Write in place only into what was checked: a device or a pipe.
      struct stat status {};
      if (fstat(descriptor_, &status) != 0 || !(S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode))) {
        close(descriptor_);
        descriptor_ = -1;
        fail("it changed while being opened");
      }
      break;
    }
    case OutputPlace::Kind::Descriptor:
      descriptor_ = fcntl(place_.descriptor_, F_DUPFD_CLOEXEC, 3);
      if (descriptor_ < 0) fail(std::strerror(errno));
      break;
  }
  buffer_.attach(descriptor_);
}

OutputFile::~OutputFile() {
  if (descriptor_ >= 0) close(descriptor_);
  if (!temporary_.empty() && !published_) unlink(temporary_.c_str());
}

void OutputFile::finish() {
  stream_.flush();
  if (buffer_.error() != 0) fail(std::strerror(buffer_.error()));
  if (!stream_) fail("writing failed");
  // A fresh temporary file is readable by its owner only: the report gets
  // the mode of the file it replaces, or that of a new file.
  if (place_.kind_ == OutputPlace::Kind::Replace &&
      fchmod(descriptor_, place_.existingMode_ ? *place_.existingMode_ : newFileMode()) != 0) {
    fail(std::strerror(errno));
  }
  const int closed = close(descriptor_);
  descriptor_ = -1;
  if (closed != 0 && errno != EINTR) fail(std::strerror(errno));
}

void OutputFile::publish() {
  if (place_.kind_ != OutputPlace::Kind::Replace) return;
  if (std::rename(temporary_.c_str(), place_.path_.c_str()) != 0) fail(std::strerror(errno));
  published_ = true;
}

void OutputFile::fail(const std::string& reason) const { cannotWrite(place_.name_, reason); }

void publishAll(const std::vector<std::unique_ptr<OutputFile>>& files) {
  for (const auto& file : files) {
    if (file) file->finish();
  }
  for (const auto& file : files) {
    if (file) file->publish();
  }
}

}  // namespace fivestage::report
