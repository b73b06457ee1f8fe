#include "tests/support/TempDir.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fivestage::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "fivestage-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Undo any permission change a test made so that removal cannot fail.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::write(const std::filesystem::path& relative, const std::string& content) const {
  const std::filesystem::path target = path_ / relative;
  std::filesystem::create_directories(target.parent_path());
  std::ofstream file(target, std::ios::binary);
  file << content;
}

void TempDir::addEnergyTree() const {
  std::filesystem::copy(FIVESTAGE_ENERGY_TREE, path_ / "EnergyConsumptionInput",
                        std::filesystem::copy_options::recursive);
}

std::vector<std::string> linesOf(const std::filesystem::path& file) {
  std::vector<std::string> result;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) result.push_back(line);
  }
  return result;
}

void TempDir::layOutCase(const std::filesystem::path& caseDir) const {
  namespace fs = std::filesystem;
  for (const char* name : {"src.txt", "reg.txt", "mem.txt"}) {
    if (fs::exists(caseDir / name)) fs::copy(caseDir / name, path_ / name);
  }
  if (fs::exists(caseDir / "EnergyConsumptionInput")) {
    fs::copy(caseDir / "EnergyConsumptionInput", path_ / "EnergyConsumptionInput", fs::copy_options::recursive);
  } else {
    addEnergyTree();
  }
  for (const std::string& path : linesOf(caseDir / "remove")) fs::remove_all(path_ / path);
  for (const std::string& path : linesOf(caseDir / "mkdir")) fs::create_directories(path_ / path);
}

void TempDir::letOthersRead() const {
  namespace fs = std::filesystem;
  const fs::perms enterable = fs::perms::others_read | fs::perms::others_exec;
  fs::permissions(path_, enterable, fs::perm_options::add);
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path_)) {
    if (entry.is_symlink()) continue;  // a link has no permissions of its own
    fs::permissions(entry.path(), entry.is_directory() ? enterable : fs::perms::others_read, fs::perm_options::add);
  }
}

WorkingDirectory::WorkingDirectory(const std::filesystem::path& path) : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(path);
}

WorkingDirectory::~WorkingDirectory() { std::filesystem::current_path(previous_); }

std::string readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

}  // namespace fivestage::testing
