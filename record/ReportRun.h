#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "loader/MachineState.h"
#include "record/Meaning.h"
#include "record/ProgramCheck.h"
#include "record/RunRecord.h"
#include "vocabulary/Events.h"
#include "vocabulary/MachineOptions.h"

namespace fivestage::report {

struct RunOptions {
  MachineOptions machine;  // the machine the program runs on
  CycleWindow window;
  Cycle maxCycles = 100000;     // a run still going after this many cycles is stopped
  bool keepCycleTexts = false;  // the console text of each cycle of the window, for the page
};

// Everything a report shows about the run of one input folder.
struct ReportData {
  std::filesystem::path folder;         // the inputs, as the report names them
  std::optional<MachineState> program;  // as loaded; empty when loading failed
  std::vector<Warning> warnings;
  RunRecord record;
  std::optional<Meaning> meaning;             // the final state against the program's meaning; empty when not loaded
  std::vector<std::string> cycleTexts;        // from record.window.from, when kept
  std::shared_ptr<const ReferenceRun> meant;  // the program run with no pipeline, which `meaning` compares with
};

// Loads the input files and runs the program exactly as fivestage does
// with choice 1 and one Enter per cycle, up to the cycle limit. The console's
// whole output goes to `trace` when given; `extra` observes the run too.
// `meant`, when given, is the meaning of the same program worked out for a
// run of it on another machine, with the same cycle limit: it is the same
// on every machine.
ReportData runReport(const InputFiles& inputs, const RunOptions& options, std::ostream* trace, RunObserver* extra,
                     std::shared_ptr<const ReferenceRun> meant = nullptr);

// A report's exit status: 0 for a completed run, 1 when loading failed, the
// run ended on one of the console's errors or was stopped.
int exitStatusOf(const RunRecord& record);

}  // namespace fivestage::report
