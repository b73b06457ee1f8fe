#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "loader/InputFiles.h"
#include "report/HtmlReport.h"
#include "record/RunRecord.h"
#include "record/RunRecorder.h"
#include "run/Run.h"

namespace fivestage::web {

// The page's input files, the editors' texts, are handed to the module as
// they are: nothing is written to a file system for a run.

// The whole console program on `inputs` with `keys` as its standard input,
// as fivestage runs in a folder holding those files.
struct ConsoleRun {
  std::string output;
  int status;
};
ConsoleRun runConsole(const InputTexts& inputs, const std::string& keys, MachineOptions machine = {});

// What fivestage-report --json writes for a folder holding `inputs` on
// `machine`, and what --compare --json writes.
std::string reportJson(const InputTexts& inputs, MachineOptions machine);
std::string compareJson(const InputTexts& inputs);
// The page's Compare panel: {"table": the table of --compare --html, or of
// --compare-predictors --html with the forwarding and table size of
// `shown`, with rows to choose a machine by; "machines": each row's machine,
// as the JSON report names it}. Only the figures of the whole runs are
// worked out: they cost far less without the notes of a thousand cycles on
// every machine.
std::string compareTable(const InputTexts& inputs, MachineOptions shown, bool predictors);

// A run the page steps through: loaded from the input files, one
// cycle per Step as with one Enter per prompt, back by running again to the
// cycle before. The page runs it in a worker, a slice of cycles at a time,
// so that a long run never freezes the page and can be stopped. Every view
// is a JSON text for the page's script.
class Session {
 public:
  explicit Session(InputTexts inputs, MachineOptions machine = {});
  ~Session();

  // What the console shows when loading, the listing of choice 2, the
  // report's program check as the report page shows it, and the source line
  // of each instruction.
  std::string opening() const;
  // The current state: the cycle and the figures so far, the registers and
  // the memory words changed, as JSON; the texts the page shows as they are,
  // which would cost more to write into JSON and read back than to hand over.
  struct View {
    std::string figures;
    std::string trace;                        // the cycle's console text
    std::optional<report::ChartParts> chart;  // the latest cycles, once one has run
    std::string summaryHtml;                  // the report's summary of the run so far
    std::string finalStateHtml;               // the report's values changed by the run
    report::EnergyOverTimeParts energyOverTime;  // the report's picture of the energy of the run so far
    std::string predictorHtml;                // the branch predictor in the cycle; empty when Fetch predicts nothing
  };
  View view() const;
  // Moves towards the end of `cycle`, forward or (by running again from the
  // start) back, running at most `budget` cycles; stops where the run ends
  // or at the cycle limit. Returns the cycle reached.
  double advance(double cycle, double budget);
  // The data memory's words from `first`, at most `count` of them.
  std::string memoryWords(double first, double count) const;
  // The console's whole output for the cycles run so far.
  std::string trace() const;
  // The report page of the whole run.
  std::string reportPage() const;

 private:
  struct Stepping;
  // A copy of the run and its record, kept on the way.
  struct Checkpoint {
    Checkpoint(const Core& run, const report::RunRecorder& record) : core(run, nullptr), recorder(record) {}
    Core core;
    report::RunRecorder recorder;
  };
  // Runs again from the start, noting the cycles the chart shows at `target`.
  void start(Cycle target);
  // Runs again from the latest copy kept early enough to note the cycles
  // the chart shows at `target` as a run from the start would; false when
  // there is none.
  bool resume(Cycle target);
  // Keeps a copy of the run as it stands, when it is the furthest yet and
  // its recorder has noted nothing for its window.
  void keepCheckpoint();
  Cycle checkpointInterval() const;
  static report::CycleWindow chartWindow(Cycle target);
  bool running() const;
  // Steps until the run ends or cycle `last` has run.
  void stepTo(Cycle last);

  InputTexts inputs_;  // the runs read them in place
  RunSetup setup_;
  std::string loading_;  // the welcome, the loading messages, or the loading error
  std::string listing_;
  std::optional<MachineState> program_;
  std::unique_ptr<Stepping> run_;
  std::optional<Cycle> runEnd_;  // the last cycle of the run, once known
  // Copies of the run kept on the way, every checkpointInterval() cycles,
  // the latest last. The run is the same whenever it is run again, so a
  // copy serves every later move back or to the end.
  std::deque<Checkpoint> checkpoints_;
};

}  // namespace fivestage::web
