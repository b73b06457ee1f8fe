#pragma once

#include <filesystem>
#include <string>

namespace fivestage::testing {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes `content` byte for byte to `relative` below the directory.
  void write(const std::filesystem::path& relative, const std::string& content) const;
  // Copies the shared test energy tree into the directory.
  void addEnergyTree() const;

 private:
  std::filesystem::path path_;
};

// Makes a directory the working directory for the life of the object.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& path);
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

std::string readFile(const std::filesystem::path& path);

}  // namespace fivestage::testing
