#include "isa/InstructionSet.h"

#include <array>

namespace fivestage {
namespace {

using enum Opcode;
using enum BranchKind;
using enum AluSource;
using enum WriteBackSource;

// Note the lw and sw rows: in this machine lw stores a register into memory
// (memwrite) and sw loads a word into a register (memread, memtoreg,
// regwrite). The parser places their operands to match.
constexpr ControlSignals lwSignals{false, false, {}, Immediate, AluOperation::Add, false, true, {}, false};
constexpr ControlSignals swSignals{false, false, {}, Immediate, AluOperation::Add, true, false, LoadedWord, true};
// add, addi, sub, and, or: register to register through the ALU.
constexpr ControlSignals arithmetic(AluSource source, AluOperation operation) {
  return {false, false, {}, source, operation, false, false, AluResult, true};
}
// beq and bne subtract to compare; j leaves the ALU's input 2 indifferent.
constexpr ControlSignals branchSignals(BranchKind kind) {
  return {true,
          true,
          kind,
          kind == Jump ? std::optional<AluSource>{} : RegisterB,
          kind == Jump ? AluOperation::Add : AluOperation::Sub,
          false,
          false,
          {},
          false};
}

constexpr std::array<OpcodeRow, opcodeCount> rows{{
    {Lw, "lw", lwSignals, "lw"},
    {Sw, "sw", swSignals, "sw"},
    {Add, "add", arithmetic(RegisterB, AluOperation::Add), "add"},
    {Addi, "addi", arithmetic(Immediate, AluOperation::Add), "addi"},
    {Sub, "sub", arithmetic(RegisterB, AluOperation::Sub), "sub"},
    {Beq, "beq", branchSignals(IfEqual), "beq"},
    {Bne, "bne", branchSignals(IfNotEqual), "bne"},
    {And, "and", arithmetic(RegisterB, AluOperation::And), "and"},
    {Or, "or", arithmetic(RegisterB, AluOperation::Or), "or"},
    {J, "j", branchSignals(Jump), "j"},
    {Xor, "xor", {}, {}},
    {Nop, "nop", {}, {}},
}};

}  // namespace

// Each row stands at its opcode's place, so that opcodeRow can index the table.
static_assert([] {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (static_cast<std::size_t>(rows[i].opcode) != i) return false;
  }
  return true;
}());

std::span<const OpcodeRow> instructionSet() { return rows; }

const OpcodeRow& opcodeRow(Opcode opcode) { return rows[static_cast<std::size_t>(opcode)]; }

std::optional<Opcode> opcodeNamed(std::string_view text) {
  for (const OpcodeRow& row : rows) {
    if (row.mnemonic == text) return row.opcode;
  }
  return std::nullopt;
}

}  // namespace fivestage
