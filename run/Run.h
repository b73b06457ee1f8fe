#pragma once

#include <iosfwd>
#include <optional>
#include <vector>

#include "common/TraceWriter.h"
#include "core/Core.h"
#include "run/RunSetup.h"
#include "trace/ConsoleTrace.h"
#include "vocabulary/Events.h"

namespace fivestage {

// One run of a loaded program, as every front end sets it up: the core on
// the chosen machine, the console trace when there is a console to write
// it to, and the views that observe the run.
class Run {
 public:
  // `console`, when given, receives the console's trace of the run, block
  // by block; `views` observe the run too and must outlive it.
  Run(MachineState program, const RunSetup& setup, std::ostream* console, const std::vector<RunObserver*>& views = {});
  // A run with no console that goes on from a copy of `from`, a run's core
  // kept on the way, observed by `views` from its next cycle.
  Run(const Core& from, const std::vector<RunObserver*>& views);

  // The step prompt that asks for the next cycle's key.
  void prompt();
  // One cycle, for the key read at the prompt.
  RunEnd cycle(Key key) { return core_.stepCycle(key); }
  // A cycle as one Enter at its prompt, as a run with no one at the
  // keyboard takes it.
  RunEnd step() {
    prompt();
    return cycle(Key::Newline);
  }
  // Stops a run that would go on (a limit of cycles).
  void stop() { core_.stop(); }

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
