#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "loader/MachineState.h"

namespace fivestage::report {

// Something in the program that silently surprises students: the run does
// what it does regardless, but not what was meant.
struct Warning {
  std::optional<std::size_t> line;  // 1-based source line, when the warning is about one
  std::string kind;                 // a short, stable name, for scripts
  std::string message;
};

// Checks the loaded program and the energy figures in `folder` before a run.
std::vector<Warning> checkProgram(const MachineState& state, const std::filesystem::path& folder);

}  // namespace fivestage::report
