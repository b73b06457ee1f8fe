#include "report/TextReport.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>

#include "record/Figures.h"

namespace fivestage::report {
namespace {

constexpr std::size_t labelWidth = 36;

std::string padded(std::string text, std::size_t width) {
  if (text.size() > width) {
    text.resize(width - 3);
    text += "...";
  }
  text.resize(width, ' ');
  return text;
}

std::string withoutTrailingBlanks(std::string line) {
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
}

// "E(5)  L6   beq $3, $4, L9": the instruction and the source line it
// stands on, named as a label names it.
std::string chartLabel(const MachineState& program, InstructionTag tag) {
  const std::size_t line = program.instructionLines[static_cast<std::size_t>(tag.index)] + 1;
  return padded("E(" + std::to_string(tag.index) + ")", 6) + padded("L" + std::to_string(line), 5) +
         padded(sourceText(program, tag.index), labelWidth - 11);
}

// One band of the chart: the cycle numbers, then a row per instruction with
// a cell in cycles `from` to `to`.
void writeChartBand(std::ostream& out, const ReportData& data, Cycle from, Cycle to) {
  const auto width = static_cast<std::size_t>(to - from + 1);
  std::string tens(width, ' ');
  std::string units(width, ' ');
  for (Cycle cycle = from; cycle <= to; ++cycle) {
    const auto column = static_cast<std::size_t>(cycle - from);
    units[column] = static_cast<char>('0' + cycle % 10);
    const std::string number = std::to_string(cycle);
    if (cycle % 10 == 0 && number.size() <= column + 1) tens.replace(column + 1 - number.size(), number.size(), number);
  }
  const std::string margin = "  " + std::string(labelWidth, ' ') + " ";
  out << "\n";
  // The tens line names every tenth cycle; a band too short for one has none.
  if (tens.find_first_not_of(' ') != std::string::npos) out << withoutTrailingBlanks(margin + tens) << "\n";
  out << margin << units << "\n";
  for (const ChartRow& row : data.record.chart) {
    if (row.lastCycle() < from || row.firstCycle > to) continue;
    std::string cells(width, ' ');
    for (Cycle cycle = std::max(from, row.firstCycle); cycle <= std::min(to, row.lastCycle()); ++cycle) {
      cells[static_cast<std::size_t>(cycle - from)] = row.cells[static_cast<std::size_t>(cycle - row.firstCycle)];
    }
    out << withoutTrailingBlanks("  " + chartLabel(*data.program, row.instruction) + " " + cells) << "\n";
  }
}

class TextReport {
 public:
  TextReport(std::ostream& out, const ReportData& data, const TextOptions& options)
      : out_(out), data_(data), record_(data.record), options_(options) {}

  void write() {
    out_ << "fivestage report for " << data_.folder.string() << "\n";
    if (!data_.program) {
      out_ << "\nNot run: " << statusText(record_, options_.maxCycles) << "\n";
      return;
    }
    programCheck();
    summary();
    if (record_.showsPrediction()) prediction();
    finalState();
    chart();
  }

 private:
  std::string instruction(InstructionTag tag) const { return instructionText(*data_.program, tag.index); }

  void programCheck() {
    if (data_.warnings.empty()) {
      out_ << "\nProgram check: nothing to warn about\n";
      return;
    }
    out_ << "\n";
    writeWarnings(out_, data_.warnings);
  }

  void summary() {
    out_ << "\nSummary\n";
    // The machine without options goes unnamed, as it always has.
    if (record_.machine != MachineOptions{}) row("Machine", machineText(record_.machine));
    row("Run", runText());
    if (const std::optional<CycleBreakdown> breakdown = cycleBreakdown(record_)) {
      row("Cycles", breakdownText(record_.cycles, *breakdown));
    }
    row("Instructions", std::to_string(record_.fetched) + " fetched, " + std::to_string(record_.completed) +
                            " completed (left Write-back)");
    const std::optional<double> cpi = cyclesPerInstruction(record_);
    row("CPI", cpi ? twoDecimals(*cpi) + " cycles per completed instruction" : "none completed");
    row("Stalls", std::to_string(record_.stallCount) + (record_.stallCount == 1 ? " stall, " : " stalls, ") +
                      std::to_string(record_.cyclesLost) + (record_.cyclesLost == 1 ? " cycle lost" : " cycles lost"));
    for (const StallGroup& group : record_.stallGroups) {
      detail(stallGroupText(*data_.program, group));
      detail("  " + stallReason(*data_.program, record_.machine, group.first));
    }
    row("Branches, jumps",
        std::to_string(record_.taken) + " taken, " + std::to_string(record_.notTaken) + " not taken");
    if (record_.cancelled > 0) {
      row("Cancelled", std::to_string(record_.cancelled) + (record_.cancelled == 1 ? " instruction" : " instructions") +
                           (record_.showsPrediction() ? " fetched on a mispredicted path"
                                                      : " fetched behind a taken branch or jump") +
                           ", cancelled before it ran");
    }
    if (record_.behindTakenCount > 0) {
      row("Behind taken", std::to_string(record_.behindTakenCount) +
                              (record_.behindTakenCount == 1 ? " instruction" : " instructions") +
                              " ran behind a taken branch or jump: this machine does not cancel them");
      for (const BehindTakenGroup& group : record_.behindTakenGroups) {
        detail(cyclesText(group.first.cycle, group.lastCycle, group.count) + ": " + instruction(group.first.behind) +
               " behind " + instruction(group.first.branch));
      }
    }
    energy();
  }

  std::string runText() const {
    const std::string cycles = std::to_string(record_.cycles) + (record_.cycles == 1 ? " cycle" : " cycles");
    switch (record_.end) {
      case RunEnd::Completed: return "completed in " + cycles;
      case RunEnd::Failed:
        return "ended in cycle " + std::to_string(record_.cycles) + ": " + statusText(record_, options_.maxCycles);
      case RunEnd::Stopped:
      case RunEnd::Running: break;
    }
    return statusText(record_, options_.maxCycles);
  }

  void energy() {
    const std::optional<double> perInstruction = energyPerCompletedInstruction(record_);
    row("Energy", std::to_string(record_.energyTotal()) + " in all" +
                      (perInstruction ? ", " + twoDecimals(*perInstruction) + " per completed instruction" : ""));
    row("  delay products", "energy-delay " + energyDelayText(record_) + "   energy-delay^2 " +
                                energyDelaySquaredText(record_));
    row("  by stage", stagesText(record_.energyByStage));
    split();
    std::string opcodes;
    for (const OpcodeEnergy& opcode : energyByOpcode(*data_.program, record_)) {
      opcodes += (opcodes.empty() ? "" : "   ") + opcode.opcode + " " + std::to_string(opcode.energy);
    }
    row("  by opcode", opcodes);
    row("  by line", "largest first");
    for (const LineEnergy& line : energyByLine(*data_.program, record_)) {
      detail(rightAligned(std::to_string(line.energy), 10) + "  line " + padded(std::to_string(line.line), 5) +
             line.text);
    }
  }

  static std::string stagesText(const StageEnergy& energy) {
    std::string stages;
    for (const Stage stage : allStages) {
      stages += (stages.empty() ? "" : "   ") + std::string(stageName(stage)) + " " +
                std::to_string(energy[static_cast<std::size_t>(stage)]);
    }
    return stages;
  }

  // Where the energy went, when not all of it went to the work of
  // instructions that ran: the four parts, then each part by stage.
  void split() {
    const EnergySplit& split = record_.energySplit;
    if (sumOf(split.completed) == record_.energyTotal()) return;
    const std::pair<const char*, const StageEnergy*> parts[] = {{"completed", &split.completed},
                                                                {"wrong path", &split.wrongPath},
                                                                {"idle", &split.idle},
                                                                {"stalled", &split.stalled}};
    std::string totals;
    for (const auto& [name, part] : parts) {
      totals += (totals.empty() ? "" : "   ") + std::string(name) + " " + std::to_string(sumOf(*part));
    }
    row("  went to", totals);
    for (const auto& [name, part] : parts) detail(padded(name, 12) + stagesText(*part));
  }

  // Each branch's predictions and what the wrong ones cost, then the
  // predictor's table over time, branch by branch.
  void prediction() {
    const PredictionFigures figures = predictionFigures(record_);
    out_ << "\nBranch prediction\n";
    row("Predictor", predictorText());
    row("Mispredicted", std::to_string(figures.mispredictions) + " of " + std::to_string(figures.resolved) +
                            " branches resolved, accuracy " +
                            accuracyText(accuracyOf(figures.resolved, figures.mispredictions)) + ", " +
                            std::to_string(figures.cyclesLost) + " cycles lost, wrong-path energy " +
                            std::to_string(figures.wrongPathEnergy));
    out_ << "  " << padded("line", 6) << padded("branch", 24) << rightAligned("runs", 6) << rightAligned("taken", 7)
         << rightAligned("wrong", 7) << rightAligned("accuracy", 10) << rightAligned("lost", 6)
         << rightAligned("energy", 8) << "\n";
    for (const PredictedBranch& branch : record_.predictedBranches) {
      out_ << "  " << padded("L" + std::to_string(lineOf(branch.branch)), 6)
           << padded(sourceText(*data_.program, branch.branch), 24) << rightAligned(std::to_string(branch.executions), 6)
           << rightAligned(std::to_string(branch.taken), 7) << rightAligned(std::to_string(branch.mispredicted), 7)
           << rightAligned(accuracyText(accuracyOf(branch.executions, branch.mispredicted)), 10)
           << rightAligned(std::to_string(branch.cyclesLost), 6)
           << rightAligned(std::to_string(branch.wrongPathEnergy), 8) << "\n";
    }
    predictionHistory();
  }

  std::string predictorText() const {
    const bool table = record_.machine.predictor == Predictor::OneBit || record_.machine.predictor == Predictor::TwoBit;
    return std::string(predictorNames[static_cast<std::size_t>(record_.machine.predictor)]) +
           (table ? ", " + std::to_string(record_.machine.predictorEntries) + " entries" : "");
  }

  std::size_t lineOf(InstructionIndex index) const {
    return data_.program->instructionLines[static_cast<std::size_t>(index)] + 1;
  }

  // The window's resolutions, grouped by branch; a long list shows its
  // first ones and says how many more there are.
  void predictionHistory() {
    if (record_.predictions.empty()) return;
    constexpr std::size_t shown = 12;
    out_ << "  Table over time, cycles " << record_.window.from << " to "
         << std::min(record_.window.to, record_.cycles) << " (cycle: entry and state before, prediction, outcome, "
         << "state after)\n";
    for (const PredictedBranch& branch : record_.predictedBranches) {
      std::vector<const PredictionStep*> steps;
      for (const PredictionStep& step : record_.predictions) {
        if (step.branch.index == branch.branch) steps.push_back(&step);
      }
      if (steps.empty()) continue;
      detail("L" + std::to_string(lineOf(branch.branch)) + " " + sourceText(*data_.program, branch.branch));
      for (std::size_t i = 0; i < steps.size() && i < shown; ++i) detail("  " + stepText(*steps[i]));
      if (steps.size() > shown) detail("  and " + std::to_string(steps.size() - shown) + " more");
    }
  }

  std::string stepText(const PredictionStep& step) const {
    const auto taken = [](bool flag) { return std::string(flag ? "taken" : "not taken"); };
    const Predictor predictor = record_.machine.predictor;
    std::string text = "cycle " + std::to_string(step.cycle) + ": ";
    if (step.before) {
      text += "entry " + std::to_string(step.before->index) + " " + std::to_string(step.before->state) + " (" +
              std::string(tableStateMeaning(predictor, step.before->state)) + "), ";
    }
    text += "predicted " + taken(step.predictedTaken) + ", " + taken(step.taken) + ": " +
            (step.predictedTaken == step.taken ? "right" : "wrong");
    if (step.after) {
      text += ", then " + std::to_string(*step.after) + " (" + std::string(tableStateMeaning(predictor, *step.after)) +
              ")";
    }
    return text;
  }

  void finalState() {
    out_ << "\nFinal state (what the run changed)\n";
    if (record_.registerChanges.empty() && record_.memoryChanges.empty()) {
      out_ << "  nothing changed\n";
    } else {
      const std::pair initial{"initial", &ValueChange::initial};
      const std::pair final{"final", &ValueChange::final};
      valueTable("register", "$", initial, final, record_.registerChanges);
      valueTable("word", "", initial, final, record_.memoryChanges);
    }
    const Meaning& meaning = *data_.meaning;
    out_ << "  Result: " << meaningText(meaning) << "\n";
    const std::pair machine{"machine", &Difference::machine};
    const std::pair meant{"meant", &Difference::meant};
    valueTable("register", "$", machine, meant, meaning.registers);
    valueTable("word", "", machine, meant, meaning.memory);
  }

  // A table of registers or words and two values of each: "$3   9   12".
  template <typename Row>
  void valueTable(const char* heading, const char* prefix, std::pair<const char*, Word Row::*> left,
                  std::pair<const char*, Word Row::*> right, const std::vector<Row>& rows) {
    if (rows.empty()) return;
    out_ << "  " << padded(heading, 10) << rightAligned(left.first, 12) << rightAligned(right.first, 12) << "\n";
    for (const Row& row : rows) {
      out_ << "  " << padded(prefix + std::to_string(row.location), 10)
           << rightAligned(std::to_string(row.*left.second), 12) << rightAligned(std::to_string(row.*right.second), 12)
           << "\n";
    }
  }

  void chart() {
    const Cycle first = record_.window.from;
    const Cycle last = std::min(record_.window.to, record_.cycles);
    out_ << "\nPipeline chart\n";
    if (first > last) {
      out_ << "  no cycle of the run lies in cycles " << first << " to " << record_.window.to << "\n";
      return;
    }
    const Cycle shownLast = options_.windowChosen ? last : std::min(last, first + chartBandCycles - 1);
    out_ << "  cycles " << first << " to " << shownLast << " of " << record_.cycles
         << "; F fetch, f waits to be fetched, D decode, s stall, X execute, M memory, W write-back"
         << (record_.machine.forwarding ? ", w waits to be decoded" : "")
         << (record_.machine.flush ? ", c cancelled" : "") << "\n";
    writeChartBands(out_, data_, first, shownLast);
    if (shownLast < record_.cycles) {
      out_ << "  cycles " << shownLast + 1 << " to " << record_.cycles
           << " are not shown: choose them with --cycles FROM:TO (at most " << CycleWindow::maximumLength
           << " at a time) or see them with --html\n";
    }
    if (first > 1) out_ << "  cycles 1 to " << first - 1 << " are not shown\n";
  }

  void row(const std::string& heading, const std::string& text) { out_ << "  " << padded(heading, 18) << text << "\n"; }

  void detail(const std::string& text) { out_ << "  " << std::string(18, ' ') << text << "\n"; }

  std::ostream& out_;
  const ReportData& data_;
  const RunRecord& record_;
  const TextOptions& options_;
};

}  // namespace

void writeTextReport(std::ostream& out, const ReportData& data, const TextOptions& options) {
  TextReport(out, data, options).write();
}

void writeChartBands(std::ostream& out, const ReportData& data, Cycle first, Cycle last) {
  for (Cycle band = first; band <= last; band += chartBandCycles) {
    writeChartBand(out, data, band, std::min(last, band + chartBandCycles - 1));
  }
}

}  // namespace fivestage::report
