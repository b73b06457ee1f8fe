#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Machine.h"
#include "vocabulary/Events.h"
#include "vocabulary/MachineOptions.h"
#include "vocabulary/RunCounts.h"
#include "vocabulary/RunEnd.h"

namespace fivestage::report {

// The cycles whose details a report keeps: the chart, the stalls and the
// energy of each cycle. Totals always cover the whole run.
struct CycleWindow {
  Cycle from = 1;
  Cycle to = 1000;

  bool contains(Cycle cycle) const { return cycle >= from && cycle <= to; }
  static constexpr Cycle maximumLength = 2000;
};

// One fetched instruction in the pipeline chart: one letter per cycle from
// the cycle it was fetched, F D X M W for the stage it was in, s for a
// cycle it waited in a stall, w for a cycle it waited, fetched, for Decode
// held by a stall (with forwarding), c for the cycle a taken branch cancelled it
// and, before its F, f for each cycle a stall kept Fetch from fetching it
// beyond the waiting instruction's own wait; with a note of what the stage
// did in each.
struct ChartRow {
  InstructionTag instruction;
  Cycle firstCycle = 0;
  std::string cells;
  std::vector<std::string> notes;

  Cycle lastCycle() const { return firstCycle + static_cast<Cycle>(cells.size()) - 1; }
};

// A stall as the core accounts for it.
using StallRecord = StallAccount;

// The stalls of one waiting instruction on one register written by one
// producer, over the whole run: a loop repeats the same stall every turn.
struct StallGroup {
  StallRecord first;  // the first of them, to explain them all
  std::int64_t count = 0;
  Cycle lastCycle = 0;
  Cycle cyclesLost = 0;  // all of them together
};

// An instruction that ran behind a taken branch or jump: fetched before the
// branch was resolved and, in this machine, not cancelled.
struct BehindTakenBranch {
  Cycle cycle;  // when the branch was taken
  InstructionTag branch;
  InstructionTag behind;
};

// The same instruction behind the same taken branch, over the whole run.
struct BehindTakenGroup {
  BehindTakenBranch first;
  std::int64_t count = 0;
  Cycle lastCycle = 0;
};

// A conditional branch on a machine with a predictor, over the whole run:
// how often it ran and was taken, how often the prediction was wrong, and
// what its wrong guesses cost: the fetches cancelled on the wrong path and
// the energy those charged.
struct PredictedBranch {
  InstructionIndex branch = 0;
  std::int64_t executions = 0;
  std::int64_t taken = 0;
  std::int64_t mispredicted = 0;
  Cycle cyclesLost = 0;
  std::int64_t wrongPathEnergy = 0;
};

// One resolution of a branch: the predictor's table over time.
struct PredictionStep {
  Cycle cycle;  // when Execute resolved it
  InstructionTag branch;
  bool predictedTaken;
  bool taken;
  std::optional<TableEntry> before;  // the entry as it stood, for a table
  std::optional<std::int32_t> after;
};

// A register or memory word whose value the run changed.
struct ValueChange {
  std::int64_t location;
  Word initial;
  Word final;
};

// The values that differ between `before` and `after`, in order.
std::vector<ValueChange> valueChanges(const std::vector<Word>& before, const std::vector<Word>& after);

// A run as the reports show it: the figures the core counted over the whole
// run, and what the recorder noted of it.
struct RunRecord : RunCounts {
  MachineOptions machine;  // the machine the program ran on
  RunEnd end = RunEnd::Running;
  std::string message;  // the console's message for a failed run
  int exitStatus = 0;

  Cycle cycles = 0;
  std::int64_t stallCount = 0;
  Cycle cyclesLost = 0;                 // the sum of every stall's cyclesLost
  Cycle nothingToFetch = 0;             // cycles, before the last fetch, in which Fetch found the program's end
  std::int64_t cancelled = 0;           // instructions a taken branch or jump cancelled
  Cycle cancelledCycles = 0;            // the fetch cycles of those cancelled before the last instruction that ran
  std::vector<StallGroup> stallGroups;  // the whole run's stalls, by first cycle
  std::int64_t behindTakenCount = 0;
  std::vector<BehindTakenGroup> behindTakenGroups;  // the whole run's, by first cycle
  std::vector<PredictedBranch> predictedBranches;   // each branch resolved at least once, by first resolution
  std::int64_t mispredictions = 0;

  CycleWindow window;
  std::vector<ChartRow> chart;  // rows that show in the window, in fetch order
  std::vector<StallRecord> stalls;
  std::vector<BehindTakenBranch> behindTaken;
  std::vector<PredictionStep> predictions;  // the window's
  std::vector<StageEnergy> energyPerCycle;  // for the window's cycles, from window.from

  std::vector<ValueChange> registerChanges;
  std::vector<ValueChange> memoryChanges;
  std::vector<Word> finalRegisters;  // the whole register file at the end

  // Whether the machine had a predictor to show: the not-taken machine is
  // the flush machine, and reports as it.
  bool showsPrediction() const { return machine.predictor != Predictor::NotTaken; }
  std::int64_t resolvedBranches() const {
    std::int64_t resolved = 0;
    for (const PredictedBranch& branch : predictedBranches) resolved += branch.executions;
    return resolved;
  }
  Cycle mispredictionCycles() const {
    Cycle lost = 0;
    for (const PredictedBranch& branch : predictedBranches) lost += branch.cyclesLost;
    return lost;
  }

  std::int64_t energyTotal() const { return sumOf(energyByStage); }
};

}  // namespace fivestage::report
