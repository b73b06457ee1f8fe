#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Machine.h"

namespace fivestage::report {

// The cycles whose details a report keeps: the chart, the stalls and the
// energy of each cycle. Totals always cover the whole run.
struct CycleWindow {
  Cycle from = 1;
  Cycle to = 1000;

  bool contains(Cycle cycle) const { return cycle >= from && cycle <= to; }
  static constexpr Cycle maximumLength = 2000;
};

// Energy in whole units, per stage in the order of allStages.
using StageEnergy = std::array<std::int64_t, 5>;

// One fetched instruction in the pipeline chart: one letter per cycle from
// the cycle it was fetched, F D X M W for the stage it was in and s for a
// cycle it waited in a stall, with a note of what the stage did.
struct ChartRow {
  InstructionTag instruction;
  Cycle firstCycle = 0;
  std::string cells;
  std::vector<std::string> notes;

  Cycle lastCycle() const { return firstCycle + static_cast<Cycle>(cells.size()) - 1; }
};

struct StallRecord {
  Cycle cycle;  // when Decode found the hazard
  InstructionTag waiting;
  std::optional<RegisterNumber> blockedRegister;
  std::optional<InstructionTag> waitsFor;
  Cycle cyclesLost = 0;  // cycles Fetch stood still: from the hazard to the release
};

// An instruction that ran behind a taken branch or jump: fetched before the
// branch was resolved and, in this machine, not cancelled.
struct BehindTakenBranch {
  Cycle cycle;  // when the branch was taken
  InstructionTag branch;
  InstructionTag behind;
};

// What the instruction of one source line took, over the whole run.
struct InstructionTotals {
  std::int64_t energy = 0;
  std::int64_t fetched = 0;
};

enum class RunEnd { Running, Completed, Failed, Stopped };

// A register or memory word whose value the run changed.
struct ValueChange {
  std::int64_t location;
  Word initial;
  Word final;
};

struct RunRecord {
  RunEnd end = RunEnd::Running;
  std::string message;  // the console's message for a failed run
  int exitStatus = 0;

  Cycle cycles = 0;
  std::int64_t fetched = 0;
  std::int64_t completed = 0;  // instructions that left Write-back
  std::int64_t stallCount = 0;
  Cycle cyclesLost = 0;
  std::int64_t taken = 0;
  std::int64_t notTaken = 0;
  std::int64_t behindTakenCount = 0;
  StageEnergy energyByStage{};
  std::vector<InstructionTotals> byInstruction;  // by instruction index

  CycleWindow window;
  std::vector<ChartRow> chart;  // rows that show in the window, in fetch order
  std::vector<StallRecord> stalls;
  std::vector<BehindTakenBranch> behindTaken;
  std::vector<StageEnergy> energyPerCycle;  // for the window's cycles, from window.from

  std::vector<ValueChange> registerChanges;
  std::vector<ValueChange> memoryChanges;

  std::int64_t energyTotal() const {
    std::int64_t total = 0;
    for (const std::int64_t stage : energyByStage) total += stage;
    return total;
  }
};

}  // namespace fivestage::report
