#include "exercise/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fivestage::exercise {
namespace {

// Closes the descriptor however reading ends.
class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

}  // namespace

std::string readRegularFile(const std::filesystem::path& path, const std::string& name, std::size_t maxBytes,
                            Links links) {
  // O_NONBLOCK: opening a named pipe must not wait for a writer; it is refused below.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (links == Links::Refuse ? O_NOFOLLOW : 0);
  const Descriptor file(open(path.c_str(), flags));
  if (file.get() < 0) {
    const int error = errno;
    if (error == ENOENT) throw ReadError("there is no " + name);
    if (error == ELOOP && links == Links::Refuse) {
      throw ReadError(name + " is a symbolic link: only a file of the folder's own is read");
    }
    throw ReadError("cannot read " + name + ": " + std::strerror(error));
  }
  struct stat status {};
  if (fstat(file.get(), &status) != 0) throw ReadError("cannot read " + name + ": " + std::strerror(errno));
  if (S_ISDIR(status.st_mode)) throw ReadError(name + " is a folder, not a file");
  if (!S_ISREG(status.st_mode)) throw ReadError(name + " is not a regular file");
  const auto size = static_cast<std::size_t>(status.st_size);
  if (size > maxBytes) {
    throw ReadError(name + " is too large: " + std::to_string(size) + " bytes, at most " + std::to_string(maxBytes));
  }

  // Read up to one byte past the cap: the file may have grown since fstat.
  std::string content(maxBytes + 1, '\0');
  std::size_t filled = 0;
  while (filled < content.size()) {
    const ssize_t got = read(file.get(), content.data() + filled, content.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw ReadError("cannot read " + name + ": " + std::strerror(errno));
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled > maxBytes) throw ReadError(name + " is too large: more than " + std::to_string(maxBytes) + " bytes");
  content.resize(filled);
  return content;
}

}  // namespace fivestage::exercise
