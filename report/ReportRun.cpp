#include "report/ReportRun.h"

#include <ostream>
#include <sstream>

#include "common/FatalError.h"
#include "common/TraceWriter.h"
#include "core/Core.h"
#include "report/RunRecorder.h"
#include "trace/ConsoleText.h"
#include "trace/ConsoleTrace.h"
#include "trace/CycleTexts.h"

namespace fivestage::report {
namespace {

// The dialogue's opening as the console shows it: the welcome, the loading
// messages and the choice prompt (or the loading error).
std::optional<MachineState> load(const std::filesystem::path& folder, std::ostream* trace, RunRecord& record) {
  std::ostringstream log;
  log << console::welcome;
  std::optional<MachineState> program;
  try {
    program.emplace(log, folder);
    log << console::choicePrompt << console::afterChoice;
  } catch (const FatalError& error) {
    log << error.what();
    record.end = RunEnd::Failed;
    record.message = error.what();
    record.exitStatus = error.exitStatus();
  }
  if (trace != nullptr) *trace << log.str();
  return program;
}

}  // namespace

ReportData runReport(const std::filesystem::path& folder, const RunOptions& options, std::ostream* trace,
                     RunObserver* extra) {
  ReportData data;
  // The working directory is named by its path, any other folder as given.
  data.folder = folder.empty() || folder == "." ? std::filesystem::current_path() : folder;
  data.record.window = options.window;
  data.record.machine = options.machine;
  data.program = load(folder, trace, data.record);
  if (!data.program) return data;
  data.warnings = checkProgram(*data.program, folder);

  RunObservers observers;
  RunRecorder recorder(*data.program, options.window, options.machine);
  observers.add(recorder);
  std::optional<TraceWriter> traceWriter;
  std::optional<ConsoleTrace> consoleTrace;
  if (trace != nullptr) {
    traceWriter.emplace(*trace);
    consoleTrace.emplace(*traceWriter);
    observers.add(*consoleTrace);
  }
  std::optional<CycleTexts> cycleTexts;
  if (options.keepCycleTexts) observers.add(cycleTexts.emplace(options.window.from, options.window.to));
  if (extra != nullptr) observers.add(*extra);

  // Nobody can edit the energy figures between the cycles of this run.
  Core core(*data.program, folder, observers.asOne(), options.machine, EnergyReading::OncePerRun);
  for (;;) {
    if (traceWriter) *traceWriter << console::stepPrompt;
    if (core.stepCycle(Key::Newline) != RunState::Running) break;
    if (core.cyclesRun() >= options.maxCycles) {
      recorder.stop();
      break;
    }
  }
  if (traceWriter) traceWriter->flush();
  data.record = recorder.finish(*data.program, core.machine());
  data.meaning = meaningOf(*data.program, core.machine(), data.record, options.maxCycles);
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
