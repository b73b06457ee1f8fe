#include "web/Session.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "report/Figures.h"
#include "report/HtmlReport.h"
#include "report/ReportRun.h"
#include "report/RunRecorder.h"
#include "shell/Entry.h"
#include "trace/EnergyText.h"
#include "trace/LatestCycle.h"
#include "web/CycleDiagram.h"

namespace fivestage::web {
namespace {

using Json = nlohmann::ordered_json;

// The page shows at most this many cycles of the chart, the latest ones,
// and at most this many memory words, the first ones.
constexpr Cycle chartCycles = 60;
constexpr std::size_t memoryShown = 1024;
constexpr Cycle cycleLimit = 100000;

std::string jsonText(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

// The registers and memory words written in the current cycle.
class CycleChanges final : public RunObserver {
 public:
  void observe(const Event& event) override {
    if (std::holds_alternative<CycleStarted>(event)) {
      registers.clear();
      memory.clear();
    } else if (const auto* written = std::get_if<RegisterWritten>(&event)) {
      registers.push_back(written->number);
    } else if (const auto* stored = std::get_if<MemoryWritten>(&event)) {
      memory.push_back(stored->address);
    }
  }

  std::vector<RegisterNumber> registers;
  std::vector<Address> memory;
};

// The stalls on record whose cost is still open. The record writes a
// stall's release together with its cycles lost, which are settled once
// Fetch has moved on after the release; until then the stall counts but
// its cost does not.
std::int64_t openStalls(const report::RunRecord& record) {
  return std::count_if(record.stalls.begin(), record.stalls.end(),
                       [](const report::StallRecord& stall) { return !stall.released; });
}

const char* stateName(RunState state) {
  switch (state) {
    case RunState::Running: return "running";
    case RunState::Completed: return "completed";
    case RunState::Failed: return "failed";
  }
  return "";
}

}  // namespace

ConsoleRun runConsole(const std::string& folder, const std::string& keys, MachineOptions machine) {
  std::istringstream in(keys);
  std::ostringstream out;
  const int status = runFivestage(in, out, folder, defaultEndOfInputLimit, machine);
  return {out.str(), status};
}

// The run the page steps through, with the views the page shows of it.
struct Session::Stepping {
  Stepping(const MachineState& program, const RunSetup& setup)
      : recorder(program, {1, cycleLimit}, setup.machine),
        diagram(setup.machine),
        run(program, setup, nullptr, {&recorder, &latest, &changes, &diagram}) {}

  // The record so far or, once the run has ended, the record settled as
  // the report settles it: the cost of the last stalls included.
  const report::RunRecord& record() const { return ended ? *ended : recorder.live(); }
  void settleIfEnded(const MachineState& program) {
    if (!ended && run.core().state() != RunState::Running) ended = recorder.finish(program, run.core().machine());
  }

  report::RunRecorder recorder;
  LatestCycle latest;
  CycleChanges changes;
  CycleDiagram diagram;
  Run run;
  std::optional<report::RunRecord> ended;
};

Session::Session(const std::string& folder, MachineOptions machine)
    // Nobody can edit the energy figures between the cycles the page runs.
    : setup_{folder, machine, EnergyReading::OncePerRun} {
  std::ostringstream log;
  program_ = openFolder(setup_.folder, log).program;
  if (program_) {
    std::ostringstream listing;
    printLoadedData(listing, *program_);
    listing_ = listing.str();
  }
  loading_ = log.str();
  start();
}

Session::~Session() = default;

void Session::start() {
  if (program_) run_ = std::make_unique<Stepping>(*program_, setup_);
}

bool Session::running() const { return run_ && run_->run.core().state() == RunState::Running; }

std::string Session::opening() const {
  return jsonText({{"loading", loading_}, {"listing", listing_}, {"loaded", program_.has_value()}});
}

std::string Session::view() const {
  if (!run_) return jsonText({{"state", "not loaded"}, {"cycle", 0}});
  const Core& core = run_->run.core();
  const report::RunRecord& record = run_->record();
  const MachineState& machine = core.machine();

  Json energy = Json::object();
  for (const Stage stage : allStages) {
    energy[std::string(stageName(stage))] = record.energyByStage[static_cast<std::size_t>(stage)];
  }
  const std::size_t shown = std::min(machine.memory.size(), memoryShown);
  const Cycle cycle = core.cyclesRun();

  // The chart's latest cycles: the rows that have left the pipeline and
  // reach into them, then those still in it.
  std::vector<const report::ChartRow*> rows;
  const Cycle first = std::max<Cycle>(1, cycle - chartCycles + 1);
  for (auto row = record.chart.rbegin(); row != record.chart.rend() && row->firstCycle + chartCycles >= first; ++row) {
    rows.insert(rows.begin(), &*row);
  }
  for (const report::ChartRow* row : run_->recorder.rowsInPipeline()) rows.push_back(row);

  return jsonText({
      {"state", stateName(core.state())},
      {"message", core.outcome().message},
      {"cycle", cycle},
      {"banner", core.cycleCounter()},
      {"trace", cycle == 0 ? std::string() : run_->latest.text()},
      {"registers", machine.registers},
      {"changedRegisters", run_->changes.registers},
      {"memory",
       std::vector<Word>(machine.memory.begin(), machine.memory.begin() + static_cast<std::ptrdiff_t>(shown))},
      {"memorySize", machine.memory.size()},
      {"changedMemory", run_->changes.memory},
      {"energy", energy},
      {"energyTotal", record.energyTotal()},
      {"consoleTotal", formatEnergy(core.energyTotal())},
      {"fetched", record.fetched},
      {"completed", record.completed},
      {"stalls", record.stallCount},
      {"cyclesLost", record.cyclesLost},
      {"openStalls", core.state() == RunState::Running ? openStalls(record) : 0},
      {"taken", record.taken},
      {"notTaken", record.notTaken},
      {"chart", cycle == 0 ? std::string() : report::chartHtml(*program_, rows, first, cycle, cycle)},
      {"diagram", cycle == 0 ? Json(nullptr) : run_->diagram.json(run_->latest.events())},
  });
}

std::string Session::step() {
  if (run_) stepTo(run_->run.core().cyclesRun() + 1);
  return view();
}

std::string Session::back() {
  if (!run_ || run_->run.core().cyclesRun() == 0) return view();
  return goTo(static_cast<double>(run_->run.core().cyclesRun() - 1));
}

// The run is deterministic: going back is running again from the start.
std::string Session::goTo(double cycle) {
  if (!run_) return view();
  if (static_cast<Cycle>(cycle) < run_->run.core().cyclesRun()) start();
  return runUntil(cycle);
}

std::string Session::runUntil(double cycle) {
  stepTo(std::min<Cycle>(cycleLimit, static_cast<Cycle>(cycle)));
  return view();
}

void Session::stepTo(Cycle last) {
  while (running() && run_->run.core().cyclesRun() < last) run_->run.step();
  if (run_) run_->settleIfEnded(*program_);
}

std::string Session::trace() const {
  std::ostringstream out;
  const Cycle cycles = run_ ? run_->run.core().cyclesRun() : 0;
  if (cycles == 0) {
    out << loading_;
    if (program_) answerChoiceToRun(out);
  } else {
    report::RunOptions options;
    options.machine = setup_.machine;
    options.maxCycles = cycles;
    options.window = {1, 1};
    report::runReport(setup_.folder, options, &out, nullptr);
  }
  return out.str();
}

std::string Session::reportPage() const {
  report::RunOptions options;
  options.machine = setup_.machine;
  options.keepCycleTexts = true;
  return report::htmlReport(report::runReport(setup_.folder, options, nullptr, nullptr), options.maxCycles);
}

}  // namespace fivestage::web
