#pragma once

#include <iosfwd>
#include <optional>

#include "core/Core.h"
#include "vocabulary/MachineOptions.h"

namespace fivestage {

// How a run is set up, the same for the console, the report and the page:
// its input files (a folder, or texts in memory, which outlive the run), the
// machine the program runs on, and when the energy figures are read (afresh
// at every use while someone at the keyboard may edit them; once per run
// otherwise).
struct RunSetup {
  const InputFiles& inputs;
  MachineOptions machine;
  EnergyReading energyReading = EnergyReading::EveryUse;
};

// The input files as loaded by the dialogue's opening.
struct Opening {
  std::optional<MachineState> program;  // empty when loading failed
  RunOutcome failure;                   // when it failed: the console's message and exit status
};

// The dialogue's opening as the console shows it: the welcome and the
// loading messages, written to `log` as they come, or the loading error.
// Running out of memory is not a loading error: it propagates.
Opening openInputs(const InputFiles& inputs, std::ostream& log);

// The choice prompt answered with 1, as a run with no one at the keyboard
// shows it: the simulation follows.
void answerChoiceToRun(std::ostream& log);

}  // namespace fivestage
