#include "record/ProgramCheck.h"

#include <ostream>
#include <set>

#include "common/LineFile.h"
#include "energy/EnergySource.h"
#include "loader/SourceParser.h"

namespace fivestage::report {
namespace {

std::string backquoted(std::string_view text) { return "`" + std::string(text) + "`"; }

std::string lineList(const std::vector<std::size_t>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text += i == 0 ? "" : (i + 1 == lines.size() ? " and " : ", ");
    text += std::to_string(lines[i]);
  }
  return text;
}

class ProgramChecker {
 public:
  ProgramChecker(const MachineState& state, const InputFiles& inputs) : state_(state), inputs_(inputs) {
    std::size_t next = 0;
    for (std::size_t line = 0; line < state.sourceLines.size(); ++line) {
      if (next < state.instructionLines.size() && state.instructionLines[next] == line) {
        ++next;
      } else {
        rejected_.push_back(line + 1);
      }
    }
  }

  std::vector<Warning> run() {
    for (const std::size_t line : rejected_) rejectedLine(line);
    for (std::size_t index = 0; index < state_.instructions.size(); ++index) {
      const Instruction& instruction = state_.instructions[index];
      const std::size_t line = state_.instructionLines[index] + 1;
      opcode(instruction, line);
      label(instruction, line);
      registers(instruction, line);
    }
    energyFiles();
    return std::move(warnings_);
  }

 private:
  void warn(std::optional<std::size_t> line, const char* kind, std::string message) {
    warnings_.push_back({line, kind, std::move(message)});
  }

  void rejectedLine(std::size_t line) {
    warn(line, "rejected-line",
         "not an instruction, skipped while loading: " + backquoted(state_.sourceLines[line - 1]) +
             "; from here on E(n) and label Lk no longer name source line n + 1 and k");
  }

  void opcode(const Instruction& instruction, std::size_t line) {
    const std::optional<Opcode> opcode = instruction.decoded();
    if (!opcode) {
      const std::string_view read = SourceParser::rowOpcodeOf(state_.sourceLines[line - 1]).value_or("");
      warn(line, "prefix-opcode",
           backquoted(instruction.opcode()) + " is read as " + backquoted(read) +
               " (only its first letters are compared) and has no Decode energy figures: the run stops when it "
               "is decoded");
    } else if (!opcodeRow(*opcode).decodeEnergyFolder) {
      warn(line, "no-decode-energy",
           backquoted(instruction.opcode()) + " has no Decode energy figures: the run stops when it is decoded");
    }
  }

  void label(const Instruction& instruction, std::size_t line) {
    const std::optional<Opcode> opcode = instruction.decoded();
    if (!opcode || !opcodeRow(*opcode).control || !opcodeRow(*opcode).control->branch) return;
    const std::optional<InstructionIndex> target = instruction.getLabel();
    const auto count = static_cast<InstructionIndex>(state_.instructions.size());
    if (!target) {
      warn(line, "label-never-taken",
           "the label reads as L0 (a label must be L and a line number; a name or L0 names no instruction): "
           "the branch is never taken");
      return;
    }
    const std::string label = "L" + std::to_string(static_cast<std::int64_t>(*target) + 1);
    if (*target < 0 || *target > count) {
      warn(line, "label-outside",
           label + " is outside the program of " + std::to_string(count) +
               " instructions: taking it ends the run with an error");
      return;
    }
    if (*target == count) return;  // one past the last instruction: the program ends there
    const std::size_t targetLine = state_.instructionLines[static_cast<std::size_t>(*target)] + 1;
    if (targetLine == static_cast<std::size_t>(*target) + 1) return;
    std::vector<std::size_t> before;
    for (const std::size_t rejected : rejected_) {
      if (rejected < targetLine) before.push_back(rejected);
    }
    warn(line, "label-shift",
         label + " names the instruction on source line " + std::to_string(targetLine) + ", not line " +
             std::to_string(*target + 1) + ", because line" + (before.size() == 1 ? " " : "s ") + lineList(before) +
             (before.size() == 1 ? " was" : " were") + " rejected");
  }

  void registers(const Instruction& instruction, std::size_t line) {
    std::set<RegisterNumber> named;
    for (const std::optional<RegisterNumber> number : {instruction.getRs(), instruction.getRt(), instruction.getRd()}) {
      if (number && (*number < 0 || static_cast<std::size_t>(*number) >= state_.registers.size())) {
        named.insert(*number);
      }
    }
    for (const RegisterNumber number : named) {
      warn(line, "register-outside",
           "$" + std::to_string(number) + " is not in reg.txt, which has " + std::to_string(state_.registers.size()) +
               " registers: the run stops when it is read or written");
    }
  }

  // Every file asked about has a path: only opcodes with control signals
  // are checked, and each of them has Decode energy figures.
  void missingFile(std::optional<std::size_t> line, const EnergyFile& file, const std::string& whenUsed) {
    // Named inside the input folder, as the student lays it out.
    const std::string path = *energyFilePath(file);
    LineFile reader;
    if (inputs_.find(path).openIn(reader)) return;
    warn(line, "missing-energy", "the energy file " + path + " is missing or unreadable: the run stops " + whenUsed);
  }

  // The energy files the program will read: each stage's when some
  // instruction gets there, and Decode's of every opcode it uses.
  void energyFiles() {
    if (state_.instructions.empty()) return;
    bool accessesMemory = false;
    bool writesRegister = false;
    std::set<Opcode> decoded;
    for (std::size_t index = 0; index < state_.instructions.size(); ++index) {
      const std::optional<Opcode> opcode = state_.instructions[index].decoded();
      if (!opcode || !opcodeRow(*opcode).control) continue;
      const ControlSignals& signals = *opcodeRow(*opcode).control;
      accessesMemory = accessesMemory || signals.memread || signals.memwrite;
      writesRegister = writesRegister || signals.regwrite;
      if (decoded.insert(*opcode).second) {
        missingFile(state_.instructionLines[index] + 1, {Stage::Decode, opcode},
                    "when " + backquoted(opcodeRow(*opcode).mnemonic) + " is decoded");
      }
    }
    missingFile(std::nullopt, {Stage::Fetch, {}}, "at the first fetch");
    if (!decoded.empty()) missingFile(std::nullopt, {Stage::Execute, {}}, "at the first execution");
    if (accessesMemory) missingFile(std::nullopt, {Stage::Memory, {}}, "at the first load or store");
    if (writesRegister) missingFile(std::nullopt, {Stage::WriteBack, {}}, "at the first register write");
  }

  const MachineState& state_;
  const InputFiles& inputs_;
  std::vector<std::size_t> rejected_;  // 1-based lines the parser skipped
  std::vector<Warning> warnings_;
};

}  // namespace

std::vector<Warning> checkProgram(const MachineState& state, const InputFiles& inputs) {
  return ProgramChecker(state, inputs).run();
}

std::string warningCount(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " warning" : " warnings");
}

std::string warningText(const Warning& warning) {
  return (warning.line ? "line " + std::to_string(*warning.line) : std::string("energy")) + ": " + warning.message;
}

void writeWarnings(std::ostream& out, const std::vector<Warning>& warnings) {
  out << "Program check: " << warningCount(warnings.size()) << "\n";
  for (const Warning& warning : warnings) out << "  " << warningText(warning) << "\n";
}

}  // namespace fivestage::report
