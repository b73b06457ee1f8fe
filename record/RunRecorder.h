#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <tuple>

#include "vocabulary/Events.h"
#include "loader/MachineState.h"
#include "record/RunRecord.h"

namespace fivestage::report {

// Builds the record of a run from its events: totals over the whole run,
// details for the cycles of the window. Its memory grows with the window and
// the size of the program, never with the number of cycles. `program`
// outlives it.
class RunRecorder final : public RunObserver {
 public:
  RunRecorder(const MachineState& program, CycleWindow window, MachineOptions machine = {});

  void observe(const Event& event) override;
  EventKinds interests() const override;

  // The run was stopped from outside after its last cycle (a cycle limit).
  void stop();
  // Moves the window's end to `to`, no earlier than the current cycle: a
  // view that follows the run as it goes shows cycles it did not foresee.
  void extendWindow(Cycle to) { record_.window.to = std::max({record_.window.to, to, cycle_}); }
  // The record so far, for a view that watches the run as it goes: its
  // chart holds the rows of the instructions that have left the pipeline.
  const RunRecord& live() const { return record_; }
  // The rows of the instructions still in the pipeline, in fetch order.
  std::vector<const ChartRow*> rowsInPipeline() const;
  // Completes the record: the rows still in the pipeline, and the values
  // the run changed, comparing the machine as loaded with the machine now.
  RunRecord finish(const MachineState& initial, const MachineState& final);

  void operator()(const CycleStarted& e);
  void operator()(const FetchIdle& e);
  void operator()(const StageEntered& e);
  void operator()(const HazardChecked& e);
  void operator()(const LoadUseChecked& e);
  void operator()(const RegistersRead& e);
  void operator()(const EnergyCharged& e);
  void operator()(const StallTriggered& e);
  void operator()(const StallReleased& e);
  void operator()(const AluComputed& e);
  void operator()(const PcMuxSelected& e);
  void operator()(const InstructionCancelled& e);
  void operator()(const MemoryRead& e);
  void operator()(const MemoryWritten& e);
  void operator()(const MemoryAccessChosen& e);
  void operator()(const RegisterWriteDecided& e);
  void operator()(const RegisterWritten& e);
  void operator()(const InstructionRetired& e);
  void operator()(const RunEnded& e);
  template <typename Other>
  void operator()(const Other&) {}

 private:
  // The row of the instruction the current stage works on, when it shows.
  ChartRow* currentRow();
  // Adds `text()` to the note of the current stage's cell, when its row
  // shows in the window: outside it the text is not even made.
  template <typename Text>
  void note(const Text& text) {
    if (ChartRow* row = currentRow(); row != nullptr && !row->notes.empty()) {
      std::string& notes = row->notes.back();
      notes += notes.empty() ? "" : "; ";
      notes += text();
    }
  }
  // The waiting instruction's cells up to the cycle before its release.
  void closeStall(Cycle releasedAt);
  // Notes on the stall's cells in the window why it happened and, once
  // settled, what it cost: the sentence of the report's list of stalls.
  void explainStall(const StallRecord& stall);
  // The chart row of a fetch, in the pipeline or retired into the window.
  ChartRow* rowOf(FetchNumber fetch);
  // The note of the hazard check's verdict.
  void noteVerdict(bool stall, std::optional<RegisterNumber> blockedRegister,
                   const std::optional<InstructionTag>& waitsFor);
  // Fetch has fetched again: the fate of the previous fetch is known, so
  // its share of the cycles is settled, and this one waits for its own.
  void openFetch(InstructionTag instruction);
  // A fetch's share: the cycles Fetch stood still before it go to the stall
  // that held it or to the program's end; the fetch itself counts as a
  // completed instruction or as a cancelled one.
  void settleFetch();
  struct PendingStall;
  // Puts what a stall cost into the record, its group and the total.
  void settleStall(PendingStall& stall, Cycle fetchHeld, Cycle endDelay);
  // The cycles after the last fetch of a completed run beyond the four its
  // instruction needs to leave the pipeline: the stalls that held it made
  // them.
  void settleRunEnd();
  std::size_t groupOf(const StallRecord& stall);
  void addBehindTaken(const BehindTakenBranch& behind);
  void retire(std::map<FetchNumber, ChartRow>::iterator row);

  const MachineState& program_;
  RunRecord record_;
  Cycle cycle_ = 0;
  InstructionTag current_{0, 0};
  std::map<FetchNumber, ChartRow> inFlight_;  // rows of the instructions in the pipeline

  // A stall, from its trigger until its cost is known.
  struct PendingStall {
    StallRecord stall;
    std::optional<std::size_t> recordIndex;  // in record_.stalls, when it shows
    std::size_t group;                       // in record_.stallGroups
    bool open = true;  // not released yet
  };
  std::optional<PendingStall> stall_;  // the latest, until a fetch after its release takes it over
  // The groups of stalls by waiting instruction, register and producer
  // (absent ones as -1).
  std::map<std::tuple<InstructionIndex, std::int64_t, std::int64_t>, std::size_t> groups_;
  // The groups of instructions behind a taken branch, by branch and instruction.
  std::map<std::pair<InstructionIndex, InstructionIndex>, std::size_t> behindGroups_;

  // The latest fetch and the cycles before it in which Fetch fetched
  // nothing, until its fate is known: a fetch cancelled at the end of the
  // run lies in the last instruction's drain and costs nothing of its own.
  struct PendingFetch {
    InstructionTag instruction;
    Cycle cycle;
    Cycle held;                         // cycles a stall held Fetch before it
    Cycle idle;                         // cycles Fetch found the program's end before it
    std::optional<PendingStall> stall;  // the stall those held cycles belong to
    bool cancelled = false;
  };
  std::optional<PendingFetch> fetch_;
  Cycle heldSinceFetch_ = 0;
  Cycle idleSinceFetch_ = 0;
  // The last fetch whose instruction ran: the run drains behind it.
  std::optional<InstructionTag> lastRun_;
  Cycle lastRunCycle_ = 0;

  std::optional<InstructionTag> takenBranch_;  // taken in this cycle
};

}  // namespace fivestage::report
