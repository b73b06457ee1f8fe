#pragma once

#include <optional>
#include <string>

#include "core/LifeAccounts.h"
#include "core/Pipeline.h"
#include "vocabulary/RunEnd.h"
#include "stages/Datapath.h"

namespace fivestage {

// What the key read at a cycle's prompt was. Only a newline advances the
// cycle number the console shows.
enum class Key { Newline, Other, EndOfInput };

// How a run ended, when it has.
struct RunOutcome {
  RunEnd state = RunEnd::Running;
  std::string message;  // for a failed run: what the console shows
  int exitStatus = 0;
};

// One run of a program through the pipeline: the machine and every register
// between its stages, the scheduler's cycle and stall state, the program
// counter and the energy total, all owned here, so runs never share state.
// Each cycle the stages report what they do to the observer, and the core
// the lives of the instructions and what the stalls cost (LifeAccounts).
class Core {
 public:
  // Runs `machine`, whose energy figures are in `inputs`, from instruction 0,
  // on the machine the options choose, reading the energy figures as told.
  Core(MachineState machine, const InputFiles& inputs, RunObserver* observer, MachineOptions options = {},
       EnergyReading reading = EnergyReading::EveryUse);
  // A run that goes on from where `other` stands, told to `observer`: a copy
  // kept on the way through a long run to go on from again later. Its
  // energy figures are those of `other`'s inputs, which must outlive it.
  Core(const Core& other, RunObserver* observer);
  Core& operator=(const Core&) = delete;

  // One clock cycle: the stages from the back of the pipeline to the front.
  // Returns the state of the run afterwards; a failure (a file that cannot
  // be read, an access outside the machine) ends the run and is reported as
  // its end, not thrown.
  RunEnd stepCycle(Key key);
  // Stops a run that would go on, after its last cycle (a limit of cycles):
  // its accounts are settled as they stand and its end reported.
  void stop();

  RunEnd state() const { return outcome_.state; }
  const RunOutcome& outcome() const { return outcome_; }
  const MachineState& machine() const { return datapath_.state; }
  Cycle cyclesRun() const { return cyclesRun_; }
  Cycle cycleCounter() const { return CycleCounter_; }
  double energyTotal() const { return datapath_.energyTotal; }
  const RunCounts& counts() const { return datapath_.counts; }
  const BranchPredictor& predictor() const { return datapath_.predictor; }

 private:
  // Runs the stages of one cycle; true when the last instruction has left
  // the pipeline and the program is done.
  bool runStages();
  void releaseStallWhenDue();
  // With flush (and with any predictor, which needs it) an instruction
  // fetched on the wrong path is cancelled.
  bool cancelsWrongPath() const;
  // Execute has resolved `executed`: Fetch's prediction is checked and, when
  // wrong, the wrong path cancelled and the program counter put right.
  void followResolved(InstructionTag executed, const std::optional<InstructionIndex>& newPc);
  // Cancels the instruction fetched after the branch or jump, which was
  // `taken` or not.
  void cancelBehind(InstructionTag branch, bool taken);
  // Whether a stall keeps Fetch from fetching in this cycle.
  bool fetchHeld() const;
  // Whether an open stall holds Decode and Execute for the whole of this
  // cycle, rather than being released in it.
  bool stallHolds() const;
  void end(RunOutcome outcome);

  Datapath datapath_;
  Pipeline pipeline_;
  InstructionIndex pc_ = 0;  // the next instruction to fetch
  // The scheduler's state.
  Cycle CycleCounter_ = 0;  // the banner number: newlines read at the prompts
  Cycle cyclesRun_ = 0;     // every cycle run, whatever its prompt read
  // While a stall is open, the cycle it was triggered in: it holds Decode
  // and the waiting instruction in Execute's slot, and Fetch (fetchHeld).
  std::optional<Cycle> stallCycle_;
  LifeAccounts accounts_{datapath_};
  RunOutcome outcome_;
};

// Runs cycles until the run has ended, one newline per cycle, as a student
// pressing Enter would. Returns how it ended.
const RunOutcome& simulate(Core& core);

}  // namespace fivestage
