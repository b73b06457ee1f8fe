#include "report/Figures.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace fivestage::report {
namespace {

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \n");
  if (first == std::string_view::npos) return "";
  const auto last = text.find_last_not_of(" \n");
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::vector<OpcodeEnergy> energyByOpcode(const ReportData& data) {
  std::map<std::string, std::int64_t> sums;
  const RunRecord& record = data.record;
  for (std::size_t index = 0; index < record.byInstruction.size(); ++index) {
    if (record.byInstruction[index].fetched == 0) continue;
    sums[data.program->instructions[index].opcode()] += record.byInstruction[index].energy;
  }
  std::vector<OpcodeEnergy> result;
  for (const auto& [opcode, energy] : sums) result.push_back({opcode, energy});
  std::stable_sort(result.begin(), result.end(),
                   [](const OpcodeEnergy& a, const OpcodeEnergy& b) { return a.energy > b.energy; });
  return result;
}

std::vector<LineEnergy> energyByLine(const ReportData& data) {
  std::vector<LineEnergy> result;
  const RunRecord& record = data.record;
  for (std::size_t index = 0; index < record.byInstruction.size(); ++index) {
    if (record.byInstruction[index].fetched == 0) continue;
    const std::size_t line = data.program->instructionLines[index];
    result.push_back({line + 1, data.program->sourceLines[line], record.byInstruction[index].energy});
  }
  std::stable_sort(result.begin(), result.end(),
                   [](const LineEnergy& a, const LineEnergy& b) { return a.energy > b.energy; });
  return result;
}

std::optional<double> cyclesPerInstruction(const RunRecord& record) {
  if (record.completed == 0) return std::nullopt;
  return static_cast<double>(record.cycles) / static_cast<double>(record.completed);
}

std::optional<double> energyPerCompletedInstruction(const RunRecord& record) {
  if (record.completed == 0) return std::nullopt;
  return static_cast<double>(record.energyTotal()) / static_cast<double>(record.completed);
}

std::string statusText(const RunRecord& record, Cycle maxCycles) {
  switch (record.end) {
    case RunEnd::Completed: return "completed";
    case RunEnd::Failed: return trimmed(record.message);
    case RunEnd::Stopped:
    case RunEnd::Running: return "stopped: still running after " + std::to_string(maxCycles) + " cycles (--max-cycles)";
  }
  return "";
}

std::string instructionText(const MachineState& program, InstructionIndex index) {
  return "E(" + std::to_string(index) + ") " + program.sourceTextOf(index);
}

std::string twoDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

}  // namespace fivestage::report
