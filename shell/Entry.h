#pragma once

#include <cstdint>
#include <iosfwd>

#include "loader/InputFiles.h"
#include "vocabulary/MachineOptions.h"

namespace fivestage {

// Prompts that may find the input ended before a run is given up: a program
// that never ends must not spin for ever once nobody can press Enter.
inline constexpr std::int64_t defaultEndOfInputLimit = 100000;

// The whole program: welcome, loading `inputs`, the choice, then the listing
// or the simulation of the machine the options choose, one cycle per key read
// from `in`. Writes everything to `out` and returns the exit status (0 after
// the listing or a completed run, 1 when the run cannot go on). The input
// files are read, never written.
int runFivestage(std::istream& in, std::ostream& out, const InputFiles& inputs,
                 std::int64_t endOfInputLimit = defaultEndOfInputLimit, MachineOptions machine = {});

}  // namespace fivestage
