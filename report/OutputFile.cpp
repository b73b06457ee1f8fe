#include "report/OutputFile.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace fivestage::report {
namespace {

[[noreturn]] void cannotWrite(const std::filesystem::path& target, const std::string& reason) {
  throw std::runtime_error("cannot write " + target.string() + ": " + reason);
}

}  // namespace

OutputFile::OutputFile(std::filesystem::path target) : target_(std::move(target)) {
  std::error_code error;
  if (std::filesystem::is_directory(target_, error)) cannotWrite(target_, "it is a folder");
  std::string pattern = (target_.parent_path().empty() ? std::filesystem::path(".") : target_.parent_path()) /
                        ("." + target_.filename().string() + ".partial-XXXXXX");
  const int fd = mkstemp(pattern.data());
  if (fd < 0) cannotWrite(target_, std::strerror(errno));
  close(fd);
  temporary_ = pattern;
  stream_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!stream_) cannotWrite(target_, "the file cannot be opened");
}

OutputFile::~OutputFile() {
  if (committed_) return;
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void OutputFile::commit() {
  stream_.flush();
  if (!stream_) cannotWrite(target_, "writing failed (is the disk full?)");
  stream_.close();
  // A fresh temporary file is readable by its owner only; the report is an
  // ordinary file.
  std::error_code error;
  std::filesystem::permissions(temporary_,
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_read | std::filesystem::perms::others_read,
                               error);
  std::filesystem::rename(temporary_, target_, error);
  if (error) cannotWrite(target_, error.message());
  committed_ = true;
}

}  // namespace fivestage::report
