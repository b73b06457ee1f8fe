#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace fivestage::exercise {

// A file that is not read, and why, in words for the person who gave it.
struct ReadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Whether a symbolic link at the path itself is followed. Files in folders
// other people made (a class's submissions) are read only as Refuse: a link
// could lead anywhere this process may read.
enum class Links { Follow, Refuse };

// The whole content of the regular file at `path`, of at most `maxBytes`.
// Throws ReadError, naming the file as `name`, for anything else: a missing
// file, a link when links are refused, a folder, a device or a pipe, or a
// file over the size.
std::string readRegularFile(const std::filesystem::path& path, const std::string& name, std::size_t maxBytes,
                            Links links);

}  // namespace fivestage::exercise
