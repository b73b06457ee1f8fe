#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "vocabulary/Events.h"
#include "vocabulary/MachineOptions.h"
#include "loader/MachineState.h"
#include "record/Meaning.h"
#include "record/ProgramCheck.h"
#include "record/RunRecord.h"

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
  std::optional<Meaning> meaning;       // the final state against the program's meaning; empty when not loaded
  std::vector<std::string> cycleTexts;  // from record.window.from, when kept
};

// Loads the input files and runs the program exactly as fivestage does
// with choice 1 and one Enter per cycle, up to the cycle limit. The console's
// whole output goes to `trace` when given; `extra` observes the run too.
ReportData runReport(const InputFiles& inputs, const RunOptions& options, std::ostream* trace, RunObserver* extra);

// A report's exit status: 0 for a completed run, 1 when loading failed, the
// run ended on one of the console's errors or was stopped.
int exitStatusOf(const RunRecord& record);

}  // namespace fivestage::report
