#include "record/ReportRun.h"

#include <ostream>
#include <sstream>

#include "record/RunRecorder.h"
#include "run/Run.h"
#include "trace/CycleTexts.h"

namespace fivestage::report {

ReportData runReport(const InputFiles& inputs, const RunOptions& options, std::ostream* trace, RunObserver* extra,
                     std::shared_ptr<const ReferenceRun> meant) {
  ReportData data;
  data.folder = inputs.name();
  data.record.window = options.window;
  data.record.machine = options.machine;

  std::ostringstream opening;
  Opening loaded = openInputs(inputs, opening);
  if (loaded.program) answerChoiceToRun(opening);
  if (trace != nullptr) *trace << opening.str();
  data.program = std::move(loaded.program);
  if (!data.program) {
    data.record.end = RunEnd::Failed;
    data.record.message = loaded.failure.message;
    data.record.exitStatus = loaded.failure.exitStatus;
    return data;
  }
  data.warnings = checkProgram(*data.program, inputs);

  RunRecorder recorder(*data.program, options.window, options.machine);
  std::vector<RunObserver*> views{&recorder};
  std::optional<CycleTexts> cycleTexts;
  if (options.keepCycleTexts) views.push_back(&cycleTexts.emplace(options.window.from, options.window.to));
  if (extra != nullptr) views.push_back(extra);

  // Nobody can edit the energy figures between the cycles of this run.
  Run run(*data.program, {inputs, options.machine, EnergyReading::OncePerRun}, trace, views);
  while (run.step() == RunEnd::Running) {
    if (run.core().cyclesRun() >= options.maxCycles) {
      run.stop();
      break;
    }
  }
  run.flush();
  data.record = recorder.finish(*data.program, run.core().machine(), run.core().counts());
  data.meant = meant ? std::move(meant)
                     : std::make_shared<const ReferenceRun>(
                           runReference(*data.program, {.maxExecuted = options.maxCycles, .keepPath = false}));
  data.meaning = meaningOf(run.core().machine(), data.record, *data.meant, options.maxCycles);
  if (cycleTexts) data.cycleTexts = cycleTexts->texts();
  return data;
}

int exitStatusOf(const RunRecord& record) {
  switch (record.end) {
    case RunEnd::Completed: return 0;
    case RunEnd::Failed: return record.exitStatus;
    case RunEnd::Stopped:
    case RunEnd::Running: return 1;
  }
  return 1;
}

}  // namespace fivestage::report
