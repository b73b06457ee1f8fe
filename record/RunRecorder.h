#pragma once

#include <algorithm>
#include <map>
#include <tuple>

#include "loader/MachineState.h"
#include "record/RunRecord.h"
#include "vocabulary/Events.h"

namespace fivestage::report {

// Records a run from its events: totals over the whole run, details for the
// cycles of the window. The core reports the instructions' lives and what
// the stalls cost, and counts the figures every cycle adds to; the recorder
// only writes them down. Its memory grows with
// the window and the size of the program, never with the number of cycles.
// `program` outlives it.
class RunRecorder final : public EventView<RunRecorder> {
 public:
  RunRecorder(const MachineState& program, CycleWindow window, MachineOptions machine = {});
  // Copied and destroyed out of line, where the recorder is compiled for
  // speed: made inline in a file the page builds for size, either would
  // bring along a second, slower copy of its dispatch of every event, which
  // the module might then keep.
  RunRecorder(const RunRecorder& other);
  RunRecorder& operator=(const RunRecorder&) = delete;
  ~RunRecorder() override;

  // The kinds it counts; while the chart has rows or may begin one, those
  // it charts; and in the window's cycles those it notes in the chart too.
  // Outside the window the notes' events are not even made, and far before
  // it or past it a cycle costs one event and the rare ones it counts.
  EventKinds interests() const override;

  // An instruction leaves the pipeline within a few cycles of its fetch:
  // five stages, a wait in Decode's slot while the stall ahead of it holds
  // and a stall of its own, each stall two cycles at most. A row begun
  // more than this many cycles before the window cannot reach into it, so
  // the chart begins its rows no earlier.
  static constexpr Cycle longestLife = 64;

  const CycleWindow& window() const { return record_.window; }
  // Moves the window's end to `to`, no earlier than the current cycle: a
  // view that follows the run as it goes shows cycles it did not foresee.
  void extendWindow(Cycle to) { record_.window.to = std::max({record_.window.to, to, cycle_}); }
  // Whether its window and one from `from` both still lie so far ahead that
  // it has noted nothing for its own, and a recorder made with the other
  // would have noted nothing either.
  bool canMoveWindow(Cycle from) const { return cycle_ + longestLife < std::min(from, record_.window.from); }
  // Takes `window` instead of its own, when it can: it then records the
  // rest of the run as a recorder made with `window` would. False, and the
  // window unchanged, otherwise.
  bool moveWindow(CycleWindow window);
  // The record so far, with the run's figures as the core has counted them
  // (`counts`), for a view that watches the run as it goes: its chart holds
  // the rows of the instructions that have left the pipeline.
  const RunRecord& live(const RunCounts& counts);
  // The rows of the instructions still in the pipeline, in fetch order.
  std::vector<const ChartRow*> rowsInPipeline() const;
  // Completes the record of a run that has ended: the figures the core
  // counted, the rows still in the pipeline, and the values the run
  // changed, comparing the machine as loaded with the machine now.
  RunRecord finish(const MachineState& initial, const MachineState& final, const RunCounts& counts);

  // Counted over the whole run.
  void operator()(const CycleStarted& e);
  void operator()(const StallTriggered& e);
  void operator()(const StallSettled& e);
  void operator()(const FetchCyclesSettled& e);
  void operator()(const RanBehindTakenBranch& e);
  void operator()(const InstructionCancelled& e);
  void operator()(const BranchResolved& e);
  void operator()(const RunEnded& e);
  // Charted: heard while the chart has rows, or may begin one.
  void operator()(const InstructionFetched& e);
  void operator()(const StageEntered& e);
  void operator()(const DecodeWaited& e);
  void operator()(const InstructionStalled& e);
  void operator()(const InstructionRetired& e);
  // Why a stall held its instruction, on its cells in the chart.
  void operator()(const StallEnded& e);
  // Noted in the window's cycles only.
  void operator()(const CycleEnded& e);
  void operator()(const EnergyCharged& e);
  void operator()(const HazardChecked& e);
  void operator()(const LoadUseChecked& e);
  void operator()(const RegistersRead& e);
  void operator()(const AluComputed& e);
  void operator()(const PcMuxSelected& e);
  void operator()(const MemoryAccessChosen& e);
  void operator()(const MemoryRead& e);
  void operator()(const MemoryWritten& e);
  void operator()(const RegisterWriteDecided& e);
  void operator()(const RegisterWritten& e);

  using Charted =
      EventList<InstructionFetched, StageEntered, DecodeWaited, InstructionStalled, InstructionRetired, StallEnded>;
  using NotedInWindow =
      EventList<CycleEnded, EnergyCharged, HazardChecked, LoadUseChecked, RegistersRead, AluComputed, PcMuxSelected,
                MemoryAccessChosen, MemoryRead, MemoryWritten, RegisterWriteDecided, RegisterWritten>;
  // What the console shows of a stage's work, which the chart does not.
  using Ignored = EventList<FetchIdle, RegisterReadStarted, ControlSignalsProduced, StallReleased, ExecuteSignalsPassed,
                            OperandsForwarded, AluInputSelected, ExecuteResultLatched, GateEvaluated, Mux3Selected,
                            MemorySignalsPassed, MemToRegSelected, BranchPredicted>;

 private:
  // Whether an instruction fetched in this cycle begins a row: one that may
  // reach into the window.
  bool beginsRows() const;
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
  // Adds a cell for this cycle to the instruction's row, when it has one.
  void addCell(InstructionTag instruction, char cell, std::string note);
  // Notes on the stall's cells in the window why it happened and, once
  // settled, what it cost: the sentence of the report's list of stalls.
  void explainStall(const StallRecord& stall);
  // The chart row of a fetch, in the pipeline or retired into the window.
  ChartRow* rowOf(FetchNumber fetch);
  // The note of the hazard check's verdict.
  void noteVerdict(bool stall, std::optional<RegisterNumber> blockedRegister,
                   const std::optional<InstructionTag>& waitsFor);
  // The group of stalls a stall belongs to: by waiting instruction,
  // register and producer (absent ones as -1).
  using StallGroupKey = std::tuple<InstructionIndex, std::int64_t, std::int64_t>;
  static StallGroupKey groupKey(InstructionTag waiting, std::optional<RegisterNumber> blockedRegister,
                                const std::optional<InstructionTag>& waitsFor);
  static StallGroupKey groupKey(const StallRecord& stall) {
    return groupKey(stall.waiting, stall.blockedRegister, stall.waitsFor);
  }
  void addBehindTaken(const BehindTakenBranch& behind);
  // The fetch's row leaves the pipeline: into the chart when it shows.
  void retire(FetchNumber fetch);
  PredictedBranch& predictedBranch(InstructionIndex branch);

  const MachineState& program_;
  RunRecord record_;
  Cycle cycle_ = 0;
  InstructionTag current_{0, 0};
  std::map<FetchNumber, ChartRow> inFlight_;  // rows of the instructions in the pipeline

  std::map<StallGroupKey, std::size_t> groups_;  // index in record_.stallGroups
  // The groups of instructions behind a taken branch, by branch and instruction.
  std::map<std::pair<InstructionIndex, InstructionIndex>, std::size_t> behindGroups_;
  std::map<InstructionIndex, std::size_t> predictedBranches_;  // index in record_.predictedBranches
  std::optional<FetchNumber> mispredicted_;                    // the branch mispredicted in this cycle
  // The branch whose misprediction cancelled the latest fetch: the cycle
  // that fetch took is its loss once the core settles it as lost, which it
  // does not for a fetch cancelled as the program drains at its end.
  std::optional<InstructionIndex> lossToSettle_;
};

}  // namespace fivestage::report
