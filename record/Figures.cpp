#include "record/Figures.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

namespace fivestage::report {
namespace {

// The cycles the first instruction takes from Fetch to Write-back, before
// one instruction can complete every cycle.
constexpr Cycle pipelineFill = 4;

// The cycles before the first instruction can complete. A program with no
// instruction ends in its first cycle, which finds nothing to fetch.
Cycle fillCycles(const RunRecord& record) { return record.fetched == 0 ? 1 : pipelineFill; }

}  // namespace

std::vector<OpcodeEnergy> energyByOpcode(const MachineState& program, const RunRecord& record) {
  std::map<std::string, std::int64_t> sums;
  for (std::size_t index = 0; index < record.byInstruction.size(); ++index) {
    if (record.byInstruction[index].fetched == 0) continue;
    sums[program.instructions[index].opcode()] += record.byInstruction[index].energy;
  }
  std::vector<OpcodeEnergy> result;
  for (const auto& [opcode, energy] : sums) result.push_back({opcode, energy});
  std::stable_sort(result.begin(), result.end(),
                   [](const OpcodeEnergy& a, const OpcodeEnergy& b) { return a.energy > b.energy; });
  return result;
}

std::vector<LineEnergy> energyByLine(const MachineState& program, const RunRecord& record) {
  std::vector<LineEnergy> result;
  for (std::size_t index = 0; index < record.byInstruction.size(); ++index) {
    if (record.byInstruction[index].fetched == 0) continue;
    result.push_back({program.instructionLines[index] + 1, sourceText(program, static_cast<InstructionIndex>(index)),
                      record.byInstruction[index].energy});
  }
  std::stable_sort(result.begin(), result.end(),
                   [](const LineEnergy& a, const LineEnergy& b) { return a.energy > b.energy; });
  return result;
}

PredictionFigures predictionFigures(const RunRecord& record) {
  PredictionFigures figures;
  for (const PredictedBranch& branch : record.predictedBranches) {
    figures.resolved += branch.executions;
    figures.mispredictions += branch.mispredicted;
    figures.cyclesLost += branch.cyclesLost;
    figures.wrongPathEnergy += branch.wrongPathEnergy;
  }
  return figures;
}

std::optional<double> accuracyOf(std::int64_t resolved, std::int64_t mispredicted) {
  if (resolved == 0) return std::nullopt;
  return static_cast<double>(resolved - mispredicted) / static_cast<double>(resolved);
}

std::string accuracyText(std::optional<double> accuracy) {
  return accuracy ? twoDecimals(*accuracy * 100) + "%" : "-";
}

std::optional<double> cyclesPerInstruction(const RunRecord& record) {
  if (record.completed == 0) return std::nullopt;
  return static_cast<double>(record.cycles) / static_cast<double>(record.completed);
}

std::optional<double> energyPerCompletedInstruction(const RunRecord& record) {
  if (record.completed == 0) return std::nullopt;
  return static_cast<double>(record.energyTotal()) / static_cast<double>(record.completed);
}

double energyDelayProduct(const RunRecord& record) {
  return static_cast<double>(record.energyTotal()) * static_cast<double>(record.cycles);
}

double energyDelaySquaredProduct(const RunRecord& record) {
  return energyDelayProduct(record) * static_cast<double>(record.cycles);
}

std::string statusText(const RunRecord& record, Cycle maxCycles) {
  switch (record.end) {
    case RunEnd::Completed: return "completed";
    case RunEnd::Failed: return trimmed(record.message);
    case RunEnd::Running: return "running";
    case RunEnd::Stopped: return "stopped: still running after " + std::to_string(maxCycles) + " cycles (--max-cycles)";
  }
  return "";
}

std::optional<CycleBreakdown> cycleBreakdown(const RunRecord& record) {
  if (record.end != RunEnd::Completed) return std::nullopt;
  return CycleBreakdown{record.completed, record.cancelledCycles,   fillCycles(record),
                        record.cyclesLost, record.nothingToFetch, record.showsPrediction()};
}

std::string breakdownText(Cycle cycles, const CycleBreakdown& breakdown) {
  std::string text = std::to_string(cycles) + (cycles == 1 ? " cycle = " : " cycles = ") +
                     std::to_string(breakdown.instructions) +
                     (breakdown.instructions == 1 ? " instruction + " : " instructions + ") +
                     std::to_string(breakdown.fill) +
                     (breakdown.instructions == 0 ? " to find nothing to fetch" : " to fill the pipeline");
  if (breakdown.cancelled > 0) {
    text += " + " + std::to_string(breakdown.cancelled) +
            (breakdown.mispredicted ? " lost to mispredictions" : " on cancelled fetches");
  }
  if (breakdown.stalls > 0) text += " + " + std::to_string(breakdown.stalls) + " lost to stalls";
  if (breakdown.nothingToFetch > 0) {
    text += " + " + std::to_string(breakdown.nothingToFetch) + " with nothing to fetch before a branch";
  }
  return text;
}

bool isLoad(const MachineState& program, InstructionIndex index) {
  const std::optional<Opcode> opcode = program.instructions[static_cast<std::size_t>(index)].decoded();
  return opcode && opcodeRow(*opcode).control && opcodeRow(*opcode).control->memread;
}

std::string stallReason(const MachineState& program, MachineOptions machine, const StallRecord& stall) {
  const std::string reg = "$" + std::to_string(onBus(stall.blockedRegister));
  const std::string waiting = "E(" + std::to_string(stall.waiting.index) + ")";
  const auto cycles = [](Cycle count) { return std::to_string(count) + (count == 1 ? " cycle" : " cycles"); };
  const bool loadRightAhead =
      stall.waitsFor && isLoad(program, stall.waitsFor->index) && stall.waitsFor->fetch + 1 == stall.waiting.fetch;
  std::string text = reg + " is still to be written";
  if (stall.waitsFor) {
    const std::string producer = "E(" + std::to_string(stall.waitsFor->index) + ")";
    text =
        machine.forwarding ? reg + " is loaded by " + producer + ", right ahead" : reg + " is written by " + producer;
    if (stall.writtenBack) text += ", which writes it back in cycle " + std::to_string(*stall.writtenBack);
  }
  text += machine.forwarding ? "; a load's word reaches Execute a cycle later, so " + waiting
                             : "; this machine does not forward results, so " + waiting;
  text += stall.released ? " reads it in cycle " + std::to_string(*stall.released) : " waits to the end of the run";
  if (stall.fetchHeld > 0) text += " and Fetch stands still for " + cycles(stall.fetchHeld);
  if (stall.endDelay > 0)
    text += "; it is the last instruction fetched, so the run ends " + cycles(stall.endDelay) + " later";
  if (!machine.forwarding) {
    text += loadRightAhead ? " (with forwarding it would wait one cycle: a load's word comes too late)"
                           : " (with forwarding this would not stall)";
  }
  return text;
}

std::string cyclesText(Cycle first, Cycle last, std::int64_t count) {
  if (count == 1) return "cycle " + std::to_string(first);
  return "cycles " + std::to_string(first) + " to " + std::to_string(last) + ", " + std::to_string(count) + " times";
}

std::string stallGroupText(const MachineState& program, const StallGroup& group) {
  const StallRecord& stall = group.first;
  std::string text = cyclesText(stall.cycle, group.lastCycle, group.count) + ": " +
                     instructionText(program, stall.waiting.index) + " waits for $" +
                     std::to_string(onBus(stall.blockedRegister));
  if (stall.waitsFor) text += " from " + instructionText(program, stall.waitsFor->index);
  return text + " (" + std::to_string(group.cyclesLost) + " lost)";
}

std::string sourceText(const MachineState& program, InstructionIndex index) {
  std::string_view line = program.sourceTextOf(index);
  line = line.substr(0, line.find('#'));
  const std::size_t last = line.find_last_not_of(" \t\r");
  return std::string(line.substr(0, last == std::string_view::npos ? 0 : last + 1));
}

std::string instructionText(const MachineState& program, InstructionIndex index) {
  return "E(" + std::to_string(index) + ") " + sourceText(program, index);
}

std::string twoDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

namespace {

// The product of two whole numbers written in decimal, exactly, as on
// paper: each digit times each digit, then the carries.
std::string decimalProduct(std::string_view a, std::string_view b) {
  std::vector<int> places(a.size() + b.size(), 0);
  for (std::size_t i = a.size(); i-- > 0;) {
    for (std::size_t j = b.size(); j-- > 0;) places[i + j + 1] += (a[i] - '0') * (b[j] - '0');
  }
  for (std::size_t k = places.size(); k-- > 1;) {
    places[k - 1] += places[k] / 10;
    places[k] %= 10;
  }
  std::string digits;
  for (const int digit : places) {
    if (!digits.empty() || digit != 0) digits += static_cast<char>('0' + digit);
  }
  return digits.empty() ? "0" : digits;
}

// Energy in all times the cycles `times` times, in decimal.
std::string energyTimesCycles(const RunRecord& record, int times) {
  const std::int64_t energy = record.energyTotal();
  // The magnitude as unsigned, so that the lowest energy has one too.
  const std::uint64_t magnitude = energy < 0 ? 0 - static_cast<std::uint64_t>(energy) : static_cast<std::uint64_t>(energy);
  std::string product = std::to_string(magnitude);
  for (int k = 0; k < times; ++k) product = decimalProduct(product, std::to_string(record.cycles));
  return (energy < 0 && product != "0" ? "-" : "") + product;
}

}  // namespace

std::string energyDelayText(const RunRecord& record) { return energyTimesCycles(record, 1); }

std::string energyDelaySquaredText(const RunRecord& record) { return energyTimesCycles(record, 2); }

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \n");
  if (first == std::string_view::npos) return "";
  const auto last = text.find_last_not_of(" \n");
  return std::string(text.substr(first, last - first + 1));
}

std::string rightAligned(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

}  // namespace fivestage::report
