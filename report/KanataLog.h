#pragma once

#include <iosfwd>
#include <optional>
#include <set>
#include <vector>

#include "vocabulary/Events.h"

namespace fivestage::report {

// Writes the run as a Kanata log (version 4), for the Konata pipeline
// viewer, while it runs: one instruction per fetch, named by its fetch order
// (id = fetch number - 1), in the stages F D X M W on lane 0; the cycles an
// instruction waits in a stall on lane 1, with an arrow to the instruction
// it waits for. An instruction retires in the cycle after its write-back.
class KanataLog final : public EventView<KanataLog> {
 public:
  explicit KanataLog(std::ostream& out);

  // Closes the log after the last cycle: retires what completed and flushes
  // what was still in the pipeline.
  void finish();

  void operator()(const CycleStarted& e);
  void operator()(const StageEntered& e);
  void operator()(const StallTriggered& e);
  void operator()(const InstructionStalled& e);
  void operator()(const PcMuxSelected& e);
  void operator()(const InstructionCancelled& e);
  void operator()(const InstructionRetired& e);

  // The log shows the stages an instruction passes, its stall and the
  // branches' verdicts; not the values, nor the costs the report counts.
  using Ignored = EventList<FetchIdle, HazardChecked, LoadUseChecked, RegisterReadStarted, RegistersRead, EnergyCharged,
                            ControlSignalsProduced, StallReleased, ExecuteSignalsPassed, OperandsForwarded,
                            AluInputSelected, AluComputed, ExecuteResultLatched, GateEvaluated, Mux3Selected,
                            MemorySignalsPassed, MemoryAccessChosen, MemoryRead, MemoryWritten, MemToRegSelected,
                            RegisterWriteDecided, RegisterWritten, RunEnded, InstructionFetched, DecodeWaited,
                            RanBehindTakenBranch, StallEnded, StallSettled, FetchCyclesSettled, BranchPredicted,
                            BranchResolved, CycleEnded>;

 private:
  void retireCompleted();

  std::ostream& out_;
  bool started_ = false;
  FetchNumber current_ = 0;             // the fetch the current stage works on
  std::optional<FetchNumber> stalled_;  // waits on lane 1
  std::vector<FetchNumber> completed_;  // left Write-back in this cycle
  std::set<FetchNumber> inPipeline_;
  std::int64_t retired_ = 0;
};

}  // namespace fivestage::report
