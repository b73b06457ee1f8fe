#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "loader/InputFiles.h"
#include "loader/MachineState.h"

namespace fivestage::report {

// Something in the program that silently surprises students: the run does
// what it does regardless, but not what was meant.
struct Warning {
  std::optional<std::size_t> line;  // 1-based source line, when the warning is about one
  std::string kind;                 // a short, stable name, for scripts
  std::string message;
};

// Checks the loaded program and the energy files of `inputs` before a run.
std::vector<Warning> checkProgram(const MachineState& state, const InputFiles& inputs);

// "1 warning", "2 warnings".
std::string warningCount(std::size_t count);

// A warning in words: "line 3: ...", or "energy: ..." for a stage's energy file.
std::string warningText(const Warning& warning);

// "Program check: 2 warnings", then each warning's text on a line of its
// own, indented. The text report and fivestage-report --check write them alike.
void writeWarnings(std::ostream& out, const std::vector<Warning>& warnings);

}  // namespace fivestage::report
