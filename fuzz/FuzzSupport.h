#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

namespace fivestage::fuzz {

// A fuzz input is a list of sections separated by the two bytes FF FF, so a
// seed can be assembled from real input files with printf and cat.
std::vector<std::string_view> splitSections(const std::uint8_t* data, std::size_t size);

// Section `index`, or `fallback` when the input has fewer sections.
std::string_view section(const std::vector<std::string_view>& sections, std::size_t index,
                         std::string_view fallback = {});

// How an input file is laid out for one run, chosen by a byte of the input.
enum class Placement { File, Missing, Directory };
Placement placementFor(std::string_view flags, std::size_t index);

// Writes (or removes, or replaces by a directory) a file below the working
// directory, whatever stood there before.
void place(const char* path, std::string_view content, Placement placement);

// Lays out src.txt, reg.txt and mem.txt from sections 0 to 2, each placed by
// its byte of `flags` (bytes 0 to 2).
void placeInputFiles(const std::vector<std::string_view>& sections, std::string_view flags);

// Makes a fresh temporary directory the working directory, once per process.
void enterScratchDirectory();

// An output stream that discards everything written to it.
class NullStream : public std::ostream {
 public:
  NullStream();

 private:
  class DiscardBuffer : public std::streambuf {
   protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
  };
  DiscardBuffer buffer_;
};

}  // namespace fivestage::fuzz
