#include "core/Core.h"

#include <utility>

#include "common/FatalError.h"
#include "stages/Bounds.h"

namespace fivestage {

Core::Core(MachineState machine, const InputFiles& inputs, RunObserver* observer, MachineOptions options,
           EnergyReading reading)
    : datapath_(std::move(machine), inputs, observer, options, reading) {}

Core::Core(const Core& other, RunObserver* observer)
    : datapath_(other.datapath_),
      pipeline_(other.pipeline_),
      pc_(other.pc_),
      CycleCounter_(other.CycleCounter_),
      cyclesRun_(other.cyclesRun_),
      stallCycle_(other.stallCycle_),
      accounts_(other.accounts_, datapath_),
      outcome_(other.outcome_) {
  datapath_.observer = observer;
  datapath_.askInterests();
}

RunEnd Core::stepCycle(Key key) {
  if (outcome_.state != RunEnd::Running) return outcome_.state;
  if (key == Key::Newline) ++CycleCounter_;
  ++cyclesRun_;
  datapath_.beginCycle(CycleStarted{cyclesRun_, CycleCounter_});
  // Emptied once the observer has heard of the cycle: the burst of stores
  // it takes, made just before that call, measurably held the call up.
  datapath_.thisCycle.clear();
  accounts_.beginCycle(cyclesRun_, pipeline_, stallHolds());
  std::optional<RunOutcome> ending;
  try {
    if (runStages()) ending = RunOutcome{RunEnd::Completed, "", 0};
  } catch (const FatalError& error) {
    ending = RunOutcome{RunEnd::Failed, error.what(), error.exitStatus()};
  }
  // What the stages did counts even in a cycle that ended the run.
  datapath_.endCycle(cyclesRun_);
  if (ending) end(std::move(*ending));
  // The clock edge: the predictor's table takes the update of this cycle.
  datapath_.predictor.endCycle();
  return outcome_.state;
}

void Core::stop() {
  if (outcome_.state == RunEnd::Running) end({RunEnd::Stopped, "", 0});
}

bool Core::runStages() {
  Pipeline& p = pipeline_;
  // The stages run from the back of the pipeline to the front, so each one
  // consumes what the stage in front of it produced in the previous cycle.
  if (p.writeBackSlot) {
    accounts_.writtenBack(*p.writeBackSlot);
    p.writeBackUnit.writeBack(datapath_, p.writeBackSlot->index);
    p.writeBackSlot.reset();
  }
  datapath_.chargeIdle(Stage::WriteBack, false);
  releaseStallWhenDue();

  if (p.memorySlot) {
    p.memoryUnit.accessMemory(datapath_, p.memorySlot->index);
    p.writeBackSlot = std::exchange(p.memorySlot, std::nullopt);
  }
  datapath_.chargeIdle(Stage::Memory, false);

  std::optional<InstructionTag> taken;  // without flush: the branch or jump Execute took in this cycle
  if (p.executeSlot && !stallCycle_) {
    std::optional<InstructionIndex> newPc;
    p.executeUnit.execute(datapath_, newPc);
    if (cancelsWrongPath()) {
      followResolved(*p.executeSlot, newPc);
    } else if (newPc) {
      pc_ = *newPc;
      taken = p.executeSlot;
    }
    p.memorySlot = std::exchange(p.executeSlot, std::nullopt);
  }
  // An open stall holds the waiting instruction in Execute's slot.
  datapath_.chargeIdle(Stage::Execute, stallCycle_.has_value());

  if (p.decodeSlot && !stallCycle_) {
    if (taken) accounts_.ranBehind(*taken, *p.decodeSlot);
    const HazardVerdict verdict = p.decodeUnit.decode(datapath_);
    if (verdict.stall) {
      stallCycle_ = cyclesRun_;
      datapath_.counts.stallTriggered();
      accounts_.stallTriggered(*p.decodeSlot, verdict.blockedRegister, verdict.waitsFor);
    }
    // A stalled instruction waits in Execute's slot, already decoded.
    p.executeSlot = std::exchange(p.decodeSlot, std::nullopt);
  }
  // A stall holds Decode until its release, whether an instruction waits in
  // Decode's slot or Fetch, held too, sent none.
  datapath_.chargeIdle(Stage::Decode, stallCycle_.has_value());

  const bool programDone = pc_ >= 0 && static_cast<std::size_t>(pc_) == datapath_.state.instructions.size();
  if (programDone && p.isEmpty()) {
    datapath_.chargeIdle(Stage::Fetch, false);
    return true;
  }
  if (programDone || fetchHeld()) {
    accounts_.fetchIdle(fetchHeld(), programDone);
    datapath_.report<FetchIdle>(fetchHeld(), programDone);
    datapath_.chargeIdle(Stage::Fetch, fetchHeld());
    return false;
  }
  checkInstructionExists(datapath_.state, pc_);
  // Fetch numbers its fetches from 1.
  accounts_.fetching({pc_, datapath_.counts.fetched + 1});
  p.fetchUnit.fetch(datapath_, pc_);
  p.decodeSlot = InstructionTag{datapath_.FetchLatch.Pc, datapath_.FetchLatch.fetch};
  return false;
}

bool Core::cancelsWrongPath() const {
  return datapath_.options.flush || datapath_.options.predictor != Predictor::NotTaken;
}

// Fetch went on from the branch or jump as it predicted: on in order, or to
// its label. When Execute finds otherwise, what Fetch fetched after it is on
// the wrong path: it is cancelled, and Fetch goes on at the right
// instruction in this same cycle. A jump is never mispredicted: either Fetch
// sent it to its label, or (not-taken) it is taken behind Fetch's back, as
// on the flush machine.
void Core::followResolved(InstructionTag executed, const std::optional<InstructionIndex>& newPc) {
  BranchPredictor& predictor = datapath_.predictor;
  const bool predictedTaken = predictor.recall(executed.fetch);
  const bool wasTaken = newPc.has_value();
  if (isConditionalBranch(datapath_.state.instructions[static_cast<std::size_t>(executed.index)].decoded())) {
    const std::optional<BranchPredictor::Update> update = predictor.resolve(executed.index, wasTaken);
    datapath_.report<BranchResolved>(executed, predictor.kind(), predictedTaken, wasTaken,
                                     update ? std::optional(update->before) : std::nullopt,
                                     update ? std::optional(update->after) : std::nullopt);
  }
  if (predictedTaken == wasTaken) return;
  pc_ = newPc.value_or(executed.index + 1);
  cancelBehind(executed, wasTaken);
}

void Core::cancelBehind(InstructionTag branch, bool taken) {
  std::optional<InstructionTag>& behind = pipeline_.decodeSlot;
  if (!behind) return;
  datapath_.predictor.recall(behind->fetch);
  accounts_.cancelled(*behind);
  datapath_.counts.cancelled(datapath_.latestFetchWork);
  datapath_.report<InstructionCancelled>(*behind, datapath_.state.sourceTextOf(behind->index), branch, taken,
                                         datapath_.latestFetchWork);
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
bool Core::stallHolds() const { return stallCycle_ && cyclesRun_ - *stallCycle_ < 2; }

void Core::releaseStallWhenDue() {
  if (!stallCycle_ || stallHolds()) return;
  stallCycle_.reset();
  pipeline_.decodeUnit.rereadRegisterFile(datapath_);
  accounts_.stallReleased();
}

void Core::end(RunOutcome outcome) {
  outcome_ = std::move(outcome);
  accounts_.settleRunEnd(outcome_.state == RunEnd::Completed);
  datapath_.report<RunEnded>(outcome_.state, outcome_.message, outcome_.exitStatus);
}

const RunOutcome& simulate(Core& core) {
  while (core.stepCycle(Key::Newline) == RunEnd::Running) {
  }
  return core.outcome();
}

}  // namespace fivestage
