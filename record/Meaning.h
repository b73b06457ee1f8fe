#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Reference.h"
#include "loader/MachineState.h"
#include "record/RunRecord.h"

namespace fivestage::report {

// A register or memory word that ends the run with another value than the
// program means.
struct Difference {
  std::int64_t location;
  Word machine;
  Word meant;
};

// The machine's final state against the program's meaning: the program run
// one instruction at a time, with no pipeline.
struct Meaning {
  bool matches = false;  // both ran to the end and every register and word agrees
  std::vector<Difference> registers;
  std::vector<Difference> memory;
  std::vector<std::string> causes;  // why they differ, as far as the run tells
};

// Compares the machine at the end of the run with what the program means:
// `meant`, the program run with no pipeline, at most `maxInstructions` of it.
Meaning meaningOf(const MachineState& final, const RunRecord& record, const ReferenceRun& meant,
                  std::int64_t maxInstructions);

// "what the program means", or what differs and why, in a line.
std::string meaningText(const Meaning& meaning);

}  // namespace fivestage::report
