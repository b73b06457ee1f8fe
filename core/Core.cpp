#include "core/Core.h"

#include <utility>

#include "common/FatalError.h"
#include "stages/Bounds.h"

namespace fivestage {

Core::Core(MachineState machine, const InputFiles& inputs, RunObserver* observer, MachineOptions options,
           EnergyReading reading)
    : datapath_(std::move(machine), inputs, observer, options, reading) {}

RunEnd Core::stepCycle(Key key) {
  if (outcome_.state != RunEnd::Running) return outcome_.state;
  if (key == Key::Newline) ++CycleCounter_;
  ++cyclesRun_;
  datapath_.thisCycle = {};
  datapath_.beginCycle(CycleStarted{cyclesRun_, CycleCounter_});
  try {
    runStages();
  } catch (const FatalError& error) {
    end(RunEnd::Failed, error.what(), error.exitStatus());
  }
  return outcome_.state;
}

void Core::runStages() {
  Pipeline& p = pipeline_;
  // The stages run from the back of the pipeline to the front, so each one
  // consumes what the stage in front of it produced in the previous cycle.
  if (p.writeBackSlot) {
    p.writeBackUnit.writeBack(datapath_, *p.writeBackSlot);
    p.writeBackSlot.reset();
  }
  releaseStallWhenDue();

  if (p.memorySlot) {
    p.memoryUnit.accessMemory(datapath_, *p.memorySlot);
    p.writeBackSlot = std::exchange(p.memorySlot, std::nullopt);
  }

  if (p.executeSlot && !stallCycle_) {
    const std::optional<InstructionIndex> newPc = p.executeUnit.execute(datapath_);
    if (newPc) {
      pc_ = *newPc;
      if (datapath_.options.flush) cancelBehind(*datapath_.ExecuteLatch.writer);
    }
    p.memorySlot = std::exchange(p.executeSlot, std::nullopt);
  }

  if (p.decodeSlot && !stallCycle_) {
    if (p.decodeUnit.decode(datapath_)) stallCycle_ = cyclesRun_;
    // A stalled instruction waits in Execute's slot, already decoded.
    p.executeSlot = std::exchange(p.decodeSlot, std::nullopt);
  }

  const bool programDone = pc_ >= 0 && static_cast<std::size_t>(pc_) == datapath_.state.instructions.size();
  if (programDone && p.isEmpty()) {
    end(RunEnd::Completed, "", 0);
    return;
  }
  if (programDone || fetchHeld()) {
    datapath_.report(FetchIdle{fetchHeld(), programDone});
    return;
  }
  checkInstructionExists(datapath_.state, pc_);
  p.fetchUnit.fetch(datapath_, pc_);
  p.decodeSlot = datapath_.FetchLatch.Pc;
}

void Core::cancelBehind(InstructionTag branch) {
  std::optional<InstructionIndex>& behind = pipeline_.decodeSlot;
  if (!behind) return;
  datapath_.report(
      InstructionCancelled{{*behind, datapath_.FetchLatch.fetch}, datapath_.state.sourceTextOf(*behind), branch});
  behind.reset();
}

// Without forwarding a stall holds Fetch from the cycle it is found. With
// forwarding the instruction after the waiting one is fetched in that cycle
// and waits in Decode's slot, so Fetch holds only in the cycle after: the
// stall then costs one cycle, as in hardware.
bool Core::fetchHeld() const { return stallCycle_ && !(datapath_.options.forwarding && *stallCycle_ == cyclesRun_); }

// A stall holds Decode, Execute and Fetch until the instruction it waits for
// has been written back: two cycles after it was triggered. The test is made
// every cycle, measured in cycles run, so no freeze can last for ever.
void Core::releaseStallWhenDue() {
  if (!stallCycle_ || cyclesRun_ - *stallCycle_ < 2) return;
  stallCycle_.reset();
  pipeline_.decodeUnit.rereadRegisterFile(datapath_);
}

void Core::end(RunEnd state, std::string message, int exitStatus) {
  outcome_ = {state, std::move(message), exitStatus};
  datapath_.report(RunEnded{state == RunEnd::Completed, outcome_.message, exitStatus});
}

const RunOutcome& simulate(Core& core) {
  while (core.stepCycle(Key::Newline) == RunEnd::Running) {
  }
  return core.outcome();
}

}  // namespace fivestage
