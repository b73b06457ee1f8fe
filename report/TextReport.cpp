#include "report/TextReport.h"

#include <algorithm>
#include <ostream>
#include <string>

#include "report/Figures.h"

namespace fivestage::report {
namespace {

constexpr std::size_t labelWidth = 30;

std::string padded(std::string text, std::size_t width) {
  if (text.size() > width) {
    text.resize(width - 3);
    text += "...";
  }
  text.resize(width, ' ');
  return text;
}

std::string rightAligned(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string withoutTrailingBlanks(std::string line) {
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
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
    out_ << "\nProgram check: " << data_.warnings.size() << (data_.warnings.size() == 1 ? " warning" : " warnings")
         << "\n";
    for (const Warning& warning : data_.warnings) {
      out_ << "  " << (warning.line ? "line " + std::to_string(*warning.line) : std::string("energy")) << ": "
           << warning.message << "\n";
    }
  }

  void summary() {
    out_ << "\nSummary\n";
    row("Run", runText());
    row("Instructions", std::to_string(record_.fetched) + " fetched, " + std::to_string(record_.completed) +
                            " completed (left Write-back)");
    const std::optional<double> cpi = cyclesPerInstruction(record_);
    row("CPI", cpi ? twoDecimals(*cpi) + " cycles per completed instruction" : "none completed");
    row("Stalls", std::to_string(record_.stallCount) + (record_.stallCount == 1 ? " stall, " : " stalls, ") +
                      std::to_string(record_.cyclesLost) + " cycles lost" +
                      (record_.stallCount > 0 ? " (Fetch frozen from hazard to release)" : ""));
    for (const StallRecord& stall : record_.stalls) {
      std::string line = "cycle " + std::to_string(stall.cycle) + ": " + instruction(stall.waiting) + " waits for $" +
                         std::to_string(onBus(stall.blockedRegister));
      if (stall.waitsFor) line += " from " + instruction(*stall.waitsFor);
      detail(line + " (" + std::to_string(stall.cyclesLost) + " lost)");
    }
    omitted(record_.stallCount, record_.stalls.size(), "stalls");
    row("Branches, jumps",
        std::to_string(record_.taken) + " taken, " + std::to_string(record_.notTaken) + " not taken");
    if (record_.behindTakenCount > 0) {
      row("Behind taken", std::to_string(record_.behindTakenCount) +
                              (record_.behindTakenCount == 1 ? " instruction" : " instructions") +
                              " ran behind a taken branch or jump: this machine does not cancel them");
      for (const BehindTakenBranch& behind : record_.behindTaken) {
        detail("cycle " + std::to_string(behind.cycle) + ": " + instruction(behind.behind) + " behind " +
               instruction(behind.branch));
      }
      omitted(record_.behindTakenCount, record_.behindTaken.size(), "of them");
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
    std::string stages;
    for (const Stage stage : allStages) {
      stages += (stages.empty() ? "" : "   ") + std::string(stageName(stage)) + " " +
                std::to_string(record_.energyByStage[static_cast<std::size_t>(stage)]);
    }
    row("  by stage", stages);
    std::string opcodes;
    for (const OpcodeEnergy& opcode : energyByOpcode(data_)) {
      opcodes += (opcodes.empty() ? "" : "   ") + opcode.opcode + " " + std::to_string(opcode.energy);
    }
    row("  by opcode", opcodes);
    row("  by line", "largest first");
    for (const LineEnergy& line : energyByLine(data_)) {
      detail(rightAligned(std::to_string(line.energy), 10) + "  line " + padded(std::to_string(line.line), 5) +
             line.text);
    }
  }

  void finalState() {
    out_ << "\nFinal state (what the run changed)\n";
    if (record_.registerChanges.empty() && record_.memoryChanges.empty()) {
      out_ << "  nothing changed\n";
      return;
    }
    changes("register", "$", record_.registerChanges);
    changes("word", "", record_.memoryChanges);
  }

  void changes(const char* heading, const char* prefix, const std::vector<ValueChange>& changed) {
    if (changed.empty()) return;
    out_ << "  " << padded(heading, 10) << rightAligned("initial", 12) << rightAligned("final", 12) << "\n";
    for (const ValueChange& change : changed) {
      out_ << "  " << padded(prefix + std::to_string(change.location), 10)
           << rightAligned(std::to_string(change.initial), 12) << rightAligned(std::to_string(change.final), 12)
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
         << "; F fetch, D decode, s stall, X execute, M memory, W write-back\n";
    for (Cycle band = first; band <= shownLast; band += chartBandCycles) {
      chartBand(band, std::min(shownLast, band + chartBandCycles - 1));
    }
    if (shownLast < record_.cycles) {
      out_ << "  cycles " << shownLast + 1 << " to " << record_.cycles
           << " are not shown: choose them with --cycles FROM:TO (at most " << CycleWindow::maximumLength
           << " at a time) or see them with --html\n";
    }
    if (first > 1) out_ << "  cycles 1 to " << first - 1 << " are not shown\n";
  }

  void chartBand(Cycle from, Cycle to) {
    const auto width = static_cast<std::size_t>(to - from + 1);
    std::string tens(width, ' ');
    std::string units(width, ' ');
    for (Cycle cycle = from; cycle <= to; ++cycle) {
      const auto column = static_cast<std::size_t>(cycle - from);
      units[column] = static_cast<char>('0' + cycle % 10);
      const std::string number = std::to_string(cycle);
      if (cycle % 10 == 0 && number.size() <= column + 1)
        tens.replace(column + 1 - number.size(), number.size(), number);
    }
    const std::string margin = "  " + std::string(labelWidth, ' ') + " ";
    out_ << "\n";
    // The tens line names every tenth cycle; a band too short for one has none.
    if (tens.find_first_not_of(' ') != std::string::npos) out_ << withoutTrailingBlanks(margin + tens) << "\n";
    out_ << margin << units << "\n";
    for (const ChartRow& row : record_.chart) {
      if (row.lastCycle() < from || row.firstCycle > to) continue;
      std::string cells(width, ' ');
      for (Cycle cycle = std::max(from, row.firstCycle); cycle <= std::min(to, row.lastCycle()); ++cycle) {
        cells[static_cast<std::size_t>(cycle - from)] = row.cells[static_cast<std::size_t>(cycle - row.firstCycle)];
      }
      out_ << withoutTrailingBlanks("  " + padded(instruction(row.instruction), labelWidth) + " " + cells) << "\n";
    }
  }

  void row(const std::string& heading, const std::string& text) { out_ << "  " << padded(heading, 18) << text << "\n"; }

  void detail(const std::string& text) { out_ << "  " << std::string(18, ' ') << text << "\n"; }

  // Details are kept for the window's cycles only.
  void omitted(std::int64_t total, std::size_t shown, const char* what) {
    if (static_cast<std::size_t>(total) > shown) {
      detail("(" + std::to_string(total - static_cast<std::int64_t>(shown)) + " more " + what + " outside cycles " +
             std::to_string(record_.window.from) + " to " + std::to_string(record_.window.to) + ")");
    }
  }

  std::ostream& out_;
  const ReportData& data_;
  const RunRecord& record_;
  const TextOptions& options_;
};

}  // namespace

void writeTextReport(std::ostream& out, const ReportData& data, const TextOptions& options) {
  TextReport(out, data, options).write();
}

}  // namespace fivestage::report
