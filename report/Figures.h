#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/ReportRun.h"

namespace fivestage::report {

// Figures derived from a run's record, the same for every view.

struct OpcodeEnergy {
  std::string opcode;
  std::int64_t energy;
};

struct LineEnergy {
  std::size_t line;  // 1-based source line
  std::string text;
  std::int64_t energy;
};

// By opcode text and by source line, largest first; nothing that used none.
std::vector<OpcodeEnergy> energyByOpcode(const ReportData& data);
std::vector<LineEnergy> energyByLine(const ReportData& data);

// Cycles, and energy, per completed instruction; empty when none completed.
std::optional<double> cyclesPerInstruction(const RunRecord& record);
std::optional<double> energyPerCompletedInstruction(const RunRecord& record);

// "completed", the console's message for a run that failed (without its
// surrounding blanks), or what stopped it.
std::string statusText(const RunRecord& record, Cycle maxCycles);

// "E(3) add $3, $1, $2": the instruction and its own source text.
std::string instructionText(const MachineState& program, InstructionIndex index);

// A number with two decimals.
std::string twoDecimals(double value);

}  // namespace fivestage::report
