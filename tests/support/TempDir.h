#pragma once

#include <filesystem>
#include <string>
#include <vector>

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
  // Lays out an end-to-end case's working directory as the case describes it
  // (tests/e2e/README.md): its input files, its energy tree or the shared
  // one, less the paths in its `remove` list, plus the folders in `mkdir`.
  void layOutCase(const std::filesystem::path& caseDir) const;
  // Lets every user into the directory and its folders and read its files,
  // for a program run as an unprivileged user (RunAs::Unprivileged).
  void letOthersRead() const;

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

// The non-empty lines of a file; none when it does not exist.
std::vector<std::string> linesOf(const std::filesystem::path& file);

}  // namespace fivestage::testing
