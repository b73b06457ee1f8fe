#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <vector>

#include "common/TraceWriter.h"
#include "core/Core.h"
#include "vocabulary/Events.h"
#include "vocabulary/MachineOptions.h"
#include "trace/ConsoleTrace.h"

namespace fivestage {

// How a run is set up, the same for the console, the report and the page:
// the input folder, the machine the program runs on, and when the energy
// figures are read (afresh at every use while someone at the keyboard may
// edit them; once per run otherwise).
struct RunSetup {
  std::filesystem::path folder;
  MachineOptions machine;
  EnergyReading energyReading = EnergyReading::EveryUse;
};

// The folder's files as loaded by the dialogue's opening.
struct Opening {
  std::optional<MachineState> program;  // empty when loading failed
  RunOutcome failure;                   // when it failed: the console's message and exit status
};

// The dialogue's opening as the console shows it: the welcome and the
// loading messages, written to `log` as they come, or the loading error.
// Running out of memory is not a loading error: it propagates.
Opening openFolder(const std::filesystem::path& folder, std::ostream& log);

// The choice prompt answered with 1, as a run with no one at the keyboard
// shows it: the simulation follows.
void answerChoiceToRun(std::ostream& log);

// One run of a loaded program, as every front end sets it up: the core on
// the chosen machine, the console trace when there is a console to write
// it to, and the views that observe the run.
class Run {
 public:
  // `console`, when given, receives the console's trace of the run, block
  // by block; `views` observe the run too and must outlive it.
  Run(MachineState program, const RunSetup& setup, std::ostream* console, const std::vector<RunObserver*>& views = {});

  // The step prompt that asks for the next cycle's key.
  void prompt();
  // One cycle, for the key read at the prompt.
  RunState cycle(Key key) { return core_.stepCycle(key); }
  // A cycle as one Enter at its prompt, as a run with no one at the
  // keyboard takes it.
  RunState step() {
    prompt();
    return cycle(Key::Newline);
  }

  // The console trace's writer, when the run has a console.
  TraceWriter* console() { return writer_ ? &*writer_ : nullptr; }
  // Hands what the console trace has buffered to its stream.
  void flush();

  const Core& core() const { return core_; }

 private:
  std::optional<TraceWriter> writer_;
  std::optional<ConsoleTrace> trace_;
  RunObservers observers_;
  Core core_;
};

}  // namespace fivestage
