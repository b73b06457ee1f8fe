#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "common/Machine.h"
#include "loader/MachineState.h"
#include "vocabulary/Events.h"
#include "vocabulary/MachineOptions.h"

namespace fivestage {

// Fetch's guess of where a branch leads, made from the fetched instruction
// alone before Execute resolves it. The static predictors look at the
// instruction; the dynamic ones at the entry of the instruction's index
// modulo the table's size.
//
// When an update takes effect: the table is written at the end of the cycle
// in which its branch resolves in Execute, as a hardware table is written at
// the clock edge. Execute runs before Fetch within a cycle, but a prediction
// Fetch makes in that same cycle still reads the state from before the
// update: any prediction made up to the cycle of the update uses the older
// state. A two-instruction loop whose branch is fetched again in the cycle
// it resolves shows it.
class BranchPredictor {
 public:
  BranchPredictor(Predictor kind, int entries);

  Predictor kind() const { return kind_; }
  // Whether it keeps a table (1-bit, 2-bit), and the table as it stands.
  bool isDynamic() const { return kind_ == Predictor::OneBit || kind_ == Predictor::TwoBit; }
  std::span<const std::int32_t> table() const { return table_; }
  // The entry of the branch at `branch`.
  std::int32_t entryOf(InstructionIndex branch) const;
  // Whether a table state predicts taken.
  bool predictsTaken(std::int32_t state) const;

  // Where Fetch sends the instruction it has just fetched at `index`: the
  // direction, the entry it read and the instruction to fetch next.
  struct Prediction {
    bool jump;
    bool taken;
    std::optional<TableEntry> entry;
    InstructionIndex next;
  };
  // Nothing for the not-taken predictor, which is no hardware at all, and
  // for an instruction that is no branch or jump. The others send a jump to
  // its label and a branch where they predict it goes. Fetch can only follow
  // a label that names an instruction or the program's end: a branch or jump
  // to L0 or beyond the program gets nothing either, so Fetch goes on in
  // order and Execute resolves it as on the machine without a predictor.
  std::optional<Prediction> predictAt(const MachineState& program, InstructionIndex index) const;

  // The branch resolved in Execute: the state of its entry now, before this
  // outcome, and after it, which takes effect at the end of the cycle.
  struct Update {
    TableEntry before;
    std::int32_t after;
  };
  std::optional<Update> resolve(InstructionIndex branch, bool taken);

  // The cycle ends: the update of the branch resolved in it takes effect.
  void endCycle();

  // What Fetch predicted for the branches and jumps still in the pipeline,
  // by fetch: the direction, which Execute checks.
  void remember(FetchNumber fetch, bool taken) { inFlight_.push_back({fetch, taken}); }
  // The direction predicted for that fetch, forgotten from now on; not
  // taken for an instruction Fetch predicted nothing for.
  bool recall(FetchNumber fetch);

 private:
  // The direction guessed for the conditional branch at `branch`, whose label
  // is `label`, and the entry read for it.
  std::pair<bool, std::optional<TableEntry>> guess(InstructionIndex branch, InstructionIndex label) const;

  struct InFlight {
    FetchNumber fetch;
    bool taken;
  };

  Predictor kind_;
  std::vector<std::int32_t> table_;
  std::optional<TableEntry> pending_;  // written at the end of this cycle
  std::vector<InFlight> inFlight_;
};

}  // namespace fivestage
