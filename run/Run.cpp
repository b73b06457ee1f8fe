#include "run/Run.h"

#include <ostream>

#include "trace/ConsoleText.h"

namespace fivestage {

namespace {

// The observers of a run, in order: the console trace first, then the views.
RunObserver* observersOf(RunObservers& observers, std::optional<ConsoleTrace>& trace,
                         const std::vector<RunObserver*>& views) {
  if (trace) observers.add(*trace);
  for (RunObserver* view : views) observers.add(*view);
  return observers.asOne();
}

}  // namespace

Run::Run(MachineState program, const RunSetup& setup, std::ostream* console, const std::vector<RunObserver*>& views)
    : writer_(console != nullptr ? std::optional<TraceWriter>(std::in_place, *console) : std::nullopt),
      trace_(writer_ ? std::optional<ConsoleTrace>(std::in_place, *writer_) : std::nullopt),
      core_(std::move(program), setup.inputs, observersOf(observers_, trace_, views), setup.machine,
            setup.energyReading) {}

Run::Run(const Core& from, const std::vector<RunObserver*>& views)
    : core_(from, observersOf(observers_, trace_, views)) {}

void Run::prompt() {
  if (writer_) *writer_ << console::stepPrompt;
}

void Run::flush() {
  if (writer_) writer_->flush();
}

}  // namespace fivestage
