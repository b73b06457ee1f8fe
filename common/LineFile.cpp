#include "common/LineFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace fivestage {
namespace {

std::string_view withoutCarriageReturn(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

// The buffer is made at the first read of a file: a reader of texts in memory
// (the page's, the checker's, the grader's) never needs one.
LineFile::LineFile() : data_("") {}

LineFile::~LineFile() { close(); }

LineFile::LineFile(LineFile&& other) noexcept
    : buffer_(std::move(other.buffer_)),
      data_(other.data_),
      begin_(other.begin_),
      end_(other.end_),
      fd_(std::exchange(other.fd_, -1)),
      atEnd_(other.atEnd_),
      pending_(std::move(other.pending_)),
      pendingHandedOut_(other.pendingHandedOut_) {}

LineFile& LineFile::operator=(LineFile&& other) noexcept {
  if (this != &other) {
    close();
    buffer_ = std::move(other.buffer_);
    data_ = other.data_;
    begin_ = other.begin_;
    end_ = other.end_;
    fd_ = std::exchange(other.fd_, -1);
    atEnd_ = other.atEnd_;
    pending_ = std::move(other.pending_);
    pendingHandedOut_ = other.pendingHandedOut_;
  }
  return *this;
}

void LineFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void LineFile::restart() {
  close();
  begin_ = end_ = 0;
  pending_.clear();
  pendingHandedOut_ = false;
}

bool LineFile::open(const char* path) {
  restart();
  atEnd_ = false;
  fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  // A directory opens like a file on POSIX systems and only fails when read,
  // so the first read belongs to opening: it turns that case into "cannot be
  // opened" without asking the file system a second question.
  errno = 0;
  if (!fill() && errno == EISDIR) {
    close();
    return false;
  }
  return true;
}

// The whole text is one buffer that is already filled to its end.
void LineFile::openText(std::string_view text) {
  restart();
  data_ = text.data();
  end_ = text.size();
  atEnd_ = true;
}

bool LineFile::fill() {
  if (!buffer_) buffer_.reset(new char[bufferSize]);
  data_ = buffer_.get();
  begin_ = end_ = 0;
  ssize_t count = 0;
  do {
    count = ::read(fd_, buffer_.get(), bufferSize);
  } while (count < 0 && errno == EINTR);
  if (count <= 0) {
    atEnd_ = true;
    close();
    return false;
  }
  end_ = static_cast<std::size_t>(count);
  return true;
}

bool LineFile::nextLine(std::string_view& line) {
  if (pendingHandedOut_) {
    pending_.clear();
    pendingHandedOut_ = false;
  }
  for (;;) {
    const char* start = data_ + begin_;
    const auto* feed = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    if (feed != nullptr) {
      const auto length = static_cast<std::size_t>(feed - start);
      begin_ += length + 1;
      if (pending_.empty()) {
        line = withoutCarriageReturn(std::string_view(start, length));
      } else {
        pending_.append(start, length);
        pendingHandedOut_ = true;
        line = withoutCarriageReturn(pending_);
      }
      return true;
    }
    pending_.append(start, end_ - begin_);
    begin_ = end_;
    if (atEnd_ || !fill()) {
      if (pending_.empty()) return false;
      // The last line had no line feed: it is a line all the same, and any
      // carriage return at its end is part of its text.
      pendingHandedOut_ = true;
      line = pending_;
      return true;
    }
  }
}

}  // namespace fivestage
