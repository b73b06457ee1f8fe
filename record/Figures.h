#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/ReportRun.h"
#include "vocabulary/MachineDescription.h"  // machineName and machineText, from the options' description

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
std::vector<OpcodeEnergy> energyByOpcode(const MachineState& program, const RunRecord& record);
std::vector<LineEnergy> energyByLine(const MachineState& program, const RunRecord& record);

// A machine's predictions over the whole run: how many branches resolved,
// how many were mispredicted, and what the mispredictions cost.
struct PredictionFigures {
  std::int64_t resolved = 0;
  std::int64_t mispredictions = 0;
  Cycle cyclesLost = 0;
  std::int64_t wrongPathEnergy = 0;
};
PredictionFigures predictionFigures(const RunRecord& record);

// The share of right predictions among `resolved`; empty when none resolved.
std::optional<double> accuracyOf(std::int64_t resolved, std::int64_t mispredicted);

// "66.67%", or "-" when no branch resolved.
std::string accuracyText(std::optional<double> accuracy);

// Cycles, and energy, per completed instruction; empty when none completed.
std::optional<double> cyclesPerInstruction(const RunRecord& record);
std::optional<double> energyPerCompletedInstruction(const RunRecord& record);

// The energy-delay product, energy in all times the cycles: lower is better
// on both counts. A double, as it can grow beyond 64-bit integers.
double energyDelayProduct(const RunRecord& record);
// The energy-delay-squared product, energy in all times the cycles squared:
// it weighs speed more, as a machine that trades voltage for time would.
double energyDelaySquaredProduct(const RunRecord& record);

// "completed", "running" for a run still going (a page that follows it),
// the console's message for a run that failed (without its surrounding
// blanks), or what stopped it.
std::string statusText(const RunRecord& record, Cycle maxCycles);

// Where a completed run's cycles went. The terms add up to its cycles:
// instructions + cancelled + fill + stalls + nothingToFetch.
struct CycleBreakdown {
  std::int64_t instructions;  // completed, one cycle each once the pipeline is full
  Cycle cancelled;            // fetches of instructions a taken branch cancelled
  Cycle fill;                 // the first instruction's way to Write-back; 1 with no instruction
  Cycle stalls;               // what the stalls cost
  Cycle nothingToFetch;       // Fetch at the program's end, waiting for a branch to lead it back
  bool mispredicted = false;  // with a predictor, the cancelled fetches are its mispredictions' cost
};

// Empty for a run that did not complete.
std::optional<CycleBreakdown> cycleBreakdown(const RunRecord& record);

// "17 cycles = 7 instructions + 4 to fill the pipeline + 6 lost to stalls".
std::string breakdownText(Cycle cycles, const CycleBreakdown& breakdown);

// Why a stall happened on the machine the run used and what it cost, in a
// sentence.
std::string stallReason(const MachineState& program, MachineOptions machine, const StallRecord& stall);

// "cycle 4", or for something that happened several times "cycles 12 to 90, 9 times".
std::string cyclesText(Cycle first, Cycle last, std::int64_t count);

// "cycle 4: E(2) add $3, $1, $2 waits for $1 from E(0) addi $1, $0, 5 (2 lost)", or for a
// group "cycles 12 to 90, 9 times: ... (18 lost)".
std::string stallGroupText(const MachineState& program, const StallGroup& group);

// An instruction's source line as every view shows it: without a trailing
// # comment, which explains the line to its reader but is no part of it.
std::string sourceText(const MachineState& program, InstructionIndex index);

// "E(3) add $3, $1, $2": the instruction and its source text.
std::string instructionText(const MachineState& program, InstructionIndex index);

// A number with two decimals.
std::string twoDecimals(double value);
// The delay products as the reports show them: whole numbers, exact to the
// last digit however long the run (energy-delay^2 of a million-cycle run
// is beyond 64 bits, and beyond the 16 digits a double keeps).
std::string energyDelayText(const RunRecord& record);
std::string energyDelaySquaredText(const RunRecord& record);

// The text without the blanks and newlines around it, as the console's
// messages are quoted inside a sentence.
std::string trimmed(std::string_view text);

// The text with blanks in front up to `width` characters, for a column of figures.
std::string rightAligned(const std::string& text, std::size_t width);

}  // namespace fivestage::report
