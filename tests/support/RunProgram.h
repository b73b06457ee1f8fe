#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace fivestage::testing {

struct RunResult {
  std::string output;  // standard output
  std::string errors;  // standard error
  int status = -1;     // the exit status, or -1 when the process did not exit normally (a signal)
};

// Runs `executable` with `arguments` in `workdir`, with `input` as its
// standard input, and collects its output and exit status.
RunResult runProgram(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                     const std::filesystem::path& workdir, const std::filesystem::path& input = "/dev/null");

// Runs the fivestage executable in `workdir` with `input` as its standard input.
RunResult runFivestageIn(const std::filesystem::path& workdir, const std::filesystem::path& input);

}  // namespace fivestage::testing
