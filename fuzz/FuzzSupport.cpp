#include "fuzz/FuzzSupport.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fivestage::fuzz {

std::vector<std::string_view> splitSections(const std::uint8_t* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> sections;
  std::size_t start = 0;
  for (std::size_t at = all.find("\xff\xff"); at != std::string_view::npos; at = all.find("\xff\xff", start)) {
    sections.push_back(all.substr(start, at - start));
    start = at + 2;
  }
  sections.push_back(all.substr(start));
  return sections;
}

std::string_view section(const std::vector<std::string_view>& sections, std::size_t index, std::string_view fallback) {
  return index < sections.size() ? sections[index] : fallback;
}

Placement placementFor(std::string_view flags, std::size_t index) {
  if (index >= flags.size()) return Placement::File;
  switch (static_cast<unsigned char>(flags[index]) % 8) {
    case 6: return Placement::Missing;
    case 7: return Placement::Directory;
    default: return Placement::File;
  }
}

void place(const char* path, std::string_view content, Placement placement) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
  if (placement == Placement::Missing) return;
  if (placement == Placement::Directory) {
    std::filesystem::create_directories(path, ignored);
    return;
  }
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  std::ofstream file(path, std::ios::binary);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void placeInputFiles(const std::vector<std::string_view>& sections, std::string_view flags) {
  const char* names[] = {"src.txt", "reg.txt", "mem.txt"};
  for (std::size_t i = 0; i < 3; ++i) place(names[i], section(sections, i), placementFor(flags, i));
}

void enterScratchDirectory() {
  static bool entered = false;
  if (entered) return;
  std::string pattern = (std::filesystem::temp_directory_path() / "fivestage-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) {
    std::perror("fivestage fuzz: scratch directory");
    abort();
  }
  entered = true;
}

NullStream::NullStream() : std::ostream(&buffer_) {}

}  // namespace fivestage::fuzz
