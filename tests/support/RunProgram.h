#pragma once

#include <filesystem>
#include <string>

namespace fivestage::testing {

struct RunResult {
  std::string output;
  int status = -1;  // the exit status, or -1 when the process did not exit normally (a signal)
};

// Runs the fivestage executable in `workdir` with `input` as its standard
// input and collects its standard output and exit status.
RunResult runFivestageIn(const std::filesystem::path& workdir, const std::filesystem::path& input);

}  // namespace fivestage::testing
