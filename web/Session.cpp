#include "web/Session.h"

#include <algorithm>
#include <deque>
#include <nlohmann/json.hpp>
#include <sstream>

#include "report/Comparison.h"
#include "record/Figures.h"
#include "record/MachineJson.h"
#include "report/HtmlReport.h"
#include "report/JsonReport.h"
#include "record/ProgramCheck.h"
#include "record/ReportRun.h"
#include "record/RunRecorder.h"
#include "shell/Entry.h"
#include "trace/EnergyText.h"
#include "trace/LatestCycle.h"
#include "web/CycleDiagram.h"
#include "web/PredictorPanel.h"

namespace fivestage::web {
namespace {

using Json = nlohmann::ordered_json;

// The chart shows a window of this many cycles. It moves on in strides,
// keeping at least chartCycles - chartStride of the latest cycles in sight:
// between two moves a Step adds a cell to the few rows still in the
// pipeline, and the page redraws only those.
constexpr Cycle chartCycles = 60;
constexpr Cycle chartStride = 20;
constexpr Cycle cycleLimit = 100000;

std::string jsonText(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

// The registers and memory words written in the current cycle.
class CycleChanges final : public EventView<CycleChanges> {
 public:
  void operator()(const CycleStarted&) {
    registers.clear();
    memory.clear();
  }
  void operator()(const RegisterWritten& e) { registers.push_back(e.number); }
  void operator()(const MemoryWritten& e) { memory.push_back(e.address); }
  using Ignored = EventList<FetchIdle, StageEntered, HazardChecked, LoadUseChecked, RegisterReadStarted, RegistersRead,
                            EnergyCharged, ControlSignalsProduced, StallTriggered, StallReleased, ExecuteSignalsPassed,
                            OperandsForwarded, AluInputSelected, AluComputed, ExecuteResultLatched, GateEvaluated,
                            Mux3Selected, PcMuxSelected, InstructionCancelled, MemorySignalsPassed, MemoryAccessChosen,
                            MemoryRead, MemToRegSelected, RegisterWriteDecided, InstructionRetired, RunEnded,
                            InstructionFetched, InstructionStalled, DecodeWaited, RanBehindTakenBranch, StallEnded,
                            StallSettled, FetchCyclesSettled, BranchPredicted, BranchResolved, CycleEnded>;

  std::vector<RegisterNumber> registers;
  std::vector<Address> memory;
};

// The views of the cycle the page shows: its events, for the console's text,
// and what it wrote. They hear only the cycle a slice of the run stops at,
// so that the cycles on the way cost no more than counting.
class ShownCycle final : public RunObserver {
 public:
  void watch(Cycle cycle) { watched_ = cycle; }
  void observe(const Event& event) override {
    if (const auto* started = std::get_if<CycleStarted>(&event)) watching_ = started->cycle == watched_;
    if (!watching_) return;
    latest.observe(event);
    changes.observe(event);
  }
  EventKinds interests() const override { return watching_ ? latest.interests() | changes.interests() : 0; }

  LatestCycle latest;
  CycleChanges changes;

 private:
  Cycle watched_ = 0;
  bool watching_ = false;
};

// The stalls on record whose cost is still open. The record writes a
// stall's release together with its cycles lost, which are settled once
// Fetch has moved on after the release; until then the stall counts but
// its cost does not.
std::int64_t openStalls(const report::RunRecord& record) {
  return std::count_if(record.stalls.begin(), record.stalls.end(),
                       [](const report::StallRecord& stall) { return !stall.released; });
}

// Which lines of the cycle's console text are each stage's: the page marks
// them when a stage of the diagram is picked.
Json stageLinesJson(const LatestCycle::Text& cycle) {
  Json blocks = Json::array();
  for (const StageLines& block : linesOf(cycle.text, cycle.stages)) {
    blocks.push_back({{"stage", std::string(stageName(block.stage))}, {"from", block.from}, {"to", block.to}});
  }
  return blocks;
}

const char* stateName(RunEnd state) {
  switch (state) {
    case RunEnd::Running: return "running";
    case RunEnd::Completed: return "completed";
    case RunEnd::Failed: return "failed";
    case RunEnd::Stopped: return "stopped";  // only from outside: the core never stops a run itself
  }
  return "";
}

}  // namespace

ConsoleRun runConsole(const InputTexts& inputs, const std::string& keys, MachineOptions machine) {
  std::istringstream in(keys);
  std::ostringstream out;
  const int status = runFivestage(in, out, inputs, defaultEndOfInputLimit, machine);
  return {out.str(), status};
}

std::string reportJson(const InputTexts& inputs, MachineOptions machine) {
  report::RunOptions options;
  options.machine = machine;
  return jsonText(report::jsonReport(report::runReport(inputs, options, nullptr, nullptr), options.maxCycles));
}

std::string compareJson(const InputTexts& inputs) {
  const report::RunOptions options;
  return jsonText(report::comparisonJson(report::compareMachines(inputs, options), options.maxCycles));
}

std::string compareTable(const InputTexts& inputs, MachineOptions shown, bool predictors) {
  report::RunOptions options;
  options.machine = shown;
  options.window = {1, 0};  // holds no cycle
  const report::Comparison comparison =
      predictors ? report::comparePredictors(inputs, options) : report::compareMachines(inputs, options);
  Json machines = Json::array();
  for (const report::ReportData& run : comparison.runs) machines.push_back(report::machineJson(run.record.machine));
  return jsonText({{"table", report::machinesHtml(comparison, options.maxCycles, report::MachineRows::Choosable)},
                   {"machines", machines}});
}

// The run the page steps through, with the views the page shows of it. Its
// recorder notes only the cycles of `window`, and the views of the cycle
// shown hear only that cycle: the rest of a long run costs no more than
// counting.
struct Session::Stepping {
  Stepping(const MachineState& program, const RunSetup& setup, report::CycleWindow window)
      : recorder(program, window, setup.machine),
        diagram(setup.machine),
        run(program, setup, nullptr, {&recorder, &shown}) {}
  // Goes on from a copy kept on the way, whose recorder has taken its window.
  Stepping(const Checkpoint& from, const RunSetup& setup)
      : recorder(from.recorder), diagram(setup.machine), run(from.core, {&recorder, &shown}) {}

  // The record so far or, once the run has ended, the record settled as
  // the report settles it: the cost of the last stalls included.
  const report::RunRecord& record() { return ended ? *ended : recorder.live(run.core().counts()); }
  void settleIfEnded(const MachineState& program) {
    if (!ended && run.core().state() != RunEnd::Running)
      ended = recorder.finish(program, run.core().machine(), run.core().counts());
  }

  report::RunRecorder recorder;
  ShownCycle shown;
  CycleDiagram diagram;
  Run run;
  std::optional<report::RunRecord> ended;
};

Session::Session(InputTexts inputs, MachineOptions machine)
    // Nobody can edit the energy figures between the cycles the page runs.
    : inputs_(std::move(inputs)), setup_{inputs_, machine, EnergyReading::OncePerRun} {
  std::ostringstream log;
  program_ = openInputs(inputs_, log).program;
  if (program_) {
    std::ostringstream listing;
    printLoadedData(listing, *program_);
    listing_ = listing.str();
  }
  loading_ = log.str();
  start(0);
}

Session::~Session() = default;

void Session::start(Cycle target) {
  if (program_) run_ = std::make_unique<Stepping>(*program_, setup_, chartWindow(target));
}

bool Session::resume(Cycle target) {
  const report::CycleWindow window = chartWindow(target);
  for (auto checkpoint = checkpoints_.rbegin(); checkpoint != checkpoints_.rend(); ++checkpoint) {
    if (!checkpoint->recorder.canMoveWindow(window.from)) continue;
    run_ = std::make_unique<Stepping>(*checkpoint, setup_);
    run_->recorder.moveWindow(window);
    return true;
  }
  return false;
}

// A copy costs about as much as the machine is large: kept every so many
// cycles, it costs at most about a word for each cycle run, and the copies
// of a run to the cycle limit take no more room than that.
Cycle Session::checkpointInterval() const {
  const Cycle size = program_ ? static_cast<Cycle>(program_->memory.size() + program_->registers.size() +
                                                   program_->instructions.size() * 8)
                              : 0;
  return std::max<Cycle>(4096, size);
}

void Session::keepCheckpoint() {
  const Cycle cycles = run_->run.core().cyclesRun();
  const bool furthest = checkpoints_.empty() || checkpoints_.back().core.cyclesRun() < cycles;
  // Its recorder must still be able to take the window of any later cycle.
  if (furthest && run_->recorder.canMoveWindow(cycles + report::RunRecorder::longestLife + 1)) {
    checkpoints_.emplace_back(run_->run.core(), run_->recorder);
  }
}

report::CycleWindow Session::chartWindow(Cycle target) {
  const Cycle latest = chartCycles - chartStride;
  const Cycle from = target <= latest ? 1 : (target - latest) / chartStride * chartStride + 1;
  return {from, target};
}

bool Session::running() const { return run_ && run_->run.core().state() == RunEnd::Running; }

std::string Session::opening() const {
  // The program check, as the report shows it; a program not loaded has none.
  std::string checks;
  // The source line, counted from 1, that each instruction was parsed from:
  // the page's breakpoints name lines, the cycles' events instructions.
  Json lines = Json::array();
  if (program_) {
    checks = report::warningsHtml(report::checkProgram(*program_, inputs_));
    for (const std::size_t line : program_->instructionLines) lines.push_back(line + 1);
  }
  return jsonText({{"loading", loading_},
                   {"listing", listing_},
                   {"loaded", program_.has_value()},
                   {"checksHtml", checks},
                   {"instructionLines", lines}});
}

// The view speaks the report's JSON names where it shows the same figures.
Session::View Session::view() const {
  if (!run_) return {jsonText({{"state", "not loaded"}, {"cycles", 0}, {"cycleLimit", cycleLimit}}), {}, {}, {}, {}, {}, {}};
  const Core& core = run_->run.core();
  const report::RunRecord& record = run_->record();
  const MachineState& machine = core.machine();
  const Cycle cycle = core.cyclesRun();
  const std::vector<report::ValueChange> registers = report::valueChanges(program_->registers, machine.registers);
  const std::vector<report::ValueChange> memory = report::valueChanges(program_->memory, machine.memory);

  // The chart's latest cycles: the rows that have left the pipeline and
  // reach into them, then those still in it. While the run goes on, the
  // window's later columns wait for the cycles to come.
  std::vector<const report::ChartRow*> rows;
  const Cycle first = chartWindow(cycle).from;
  const Cycle last = core.state() == RunEnd::Running ? first + chartCycles - 1 : cycle;
  for (auto row = record.chart.rbegin(); row != record.chart.rend() && row->lastCycle() >= first; ++row) {
    rows.insert(rows.begin(), &*row);
  }
  for (const report::ChartRow* row : run_->recorder.rowsInPipeline()) rows.push_back(row);
  LatestCycle::Text text = run_->shown.latest.text();

  const std::string figures = jsonText({
      {"state", stateName(core.state())},
      {"message", core.outcome().message},
      {"cycles", cycle},
      {"cycleLimit", cycleLimit},
      {"banner", core.cycleCounter()},
      {"fetched", record.fetched},
      {"completed", record.completed},
      {"cancelled", record.cancelled},
      {"stallCount", record.stallCount},
      {"cyclesLost", record.cyclesLost},
      {"openStalls", core.state() == RunEnd::Running ? openStalls(record) : 0},
      {"branches", {{"taken", record.taken}, {"notTaken", record.notTaken}}},
      {"energy", {{"total", record.energyTotal()}, {"byStage", report::stageEnergyJson(record.energyByStage)}}},
      {"consoleTotal", formatEnergy(core.energyTotal())},
      {"finalRegisters", machine.registers},
      {"registers", report::changesJson(registers, "register")},
      {"memory", report::changesJson(memory, "word")},
      {"memorySize", machine.memory.size()},
      {"writtenThisCycle", {{"registers", run_->shown.changes.registers}, {"memory", run_->shown.changes.memory}}},
      {"diagram", cycle == 0 ? Json(nullptr) : run_->diagram.json(run_->shown.latest.events())},
      {"stageLines", stageLinesJson(text)},
  });
  // The panels the report page has too, in its own words.
  return {figures, std::move(text.text),
          cycle == 0 ? std::nullopt : std::optional(report::chartParts(*program_, rows, first, last)),
          report::summaryHtml(*program_, record, cycleLimit), report::finalStateHtml(registers, memory),
          report::energyOverTimeParts(record), predictorPanelHtml(*program_, core.predictor(), run_->shown.latest.events())};
}

double Session::advance(double cycle, double budget) {
  if (!run_) return 0;
  // The run is deterministic: once it is known to end, no cycle lies beyond.
  const Cycle target = std::clamp<Cycle>(static_cast<Cycle>(cycle), 0, runEnd_.value_or(cycleLimit));
  const Cycle now = run_->run.core().cyclesRun();
  const report::CycleWindow wanted = chartWindow(target);
  const report::CycleWindow noted = run_->recorder.window();
  // Going back means running again, from the latest copy kept before or
  // from the start; so does going far ahead, where counting from there costs
  // less than noting every cycle on the way, of which the chart would show
  // none.
  const bool startAgain =
      target < now || noted.from > wanted.from || (now + 1 < wanted.from && noted.from < wanted.from);
  if (startAgain && !resume(target)) start(target);
  run_->recorder.extendWindow(target);
  const Cycle slice = std::max<Cycle>(1, static_cast<Cycle>(budget));
  stepTo(std::min(target, run_->run.core().cyclesRun() + slice));
  const Cycle reached = run_->run.core().cyclesRun();
  if (!running() && reached < target) {
    // The run ended short of the target, before the cycles noted and the
    // cycle watched: it is run again to show its last ones, from a copy
    // kept on the way before their window when there is one.
    runEnd_ = reached;
    if (!resume(reached)) start(reached);
    stepTo(std::min(reached, run_->run.core().cyclesRun() + slice));
  }
  return static_cast<double>(run_->run.core().cyclesRun());
}

std::string Session::memoryWords(double first, double count) const {
  const std::vector<Word>& memory = run_       ? run_->run.core().machine().memory
                                    : program_ ? program_->memory
                                               : std::vector<Word>{};
  const auto from = static_cast<std::size_t>(std::clamp<double>(first, 0, static_cast<double>(memory.size())));
  const auto to = std::min(memory.size(), from + static_cast<std::size_t>(std::max(0.0, count)));
  return jsonText({{"first", from},
                   {"words", std::vector<Word>(memory.begin() + static_cast<std::ptrdiff_t>(from),
                                               memory.begin() + static_cast<std::ptrdiff_t>(to))}});
}

void Session::stepTo(Cycle last) {
  if (run_) run_->shown.watch(last);
  // Copies kept on the way spare running from the start again: to go back,
  // or to show the last cycles of a run that ends short of where it went.
  const Cycle interval = checkpointInterval();
  while (running() && run_->run.core().cyclesRun() < last) {
    const Cycle cycles = run_->run.core().cyclesRun();
    if (cycles > 0 && cycles % interval == 0) keepCheckpoint();
    run_->run.step();
  }
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
    report::runReport(inputs_, options, &out, nullptr);
  }
  return out.str();
}

std::string Session::reportPage() const {
  report::RunOptions options;
  options.machine = setup_.machine;
  options.keepCycleTexts = true;
  return report::htmlReport(report::runReport(inputs_, options, nullptr, nullptr), options.maxCycles);
}

}  // namespace fivestage::web
