#include "isa/InstructionSet.h"

#include <array>

namespace fivestage {
namespace {

using enum Opcode;
using enum BranchKind;
using enum AluSource;
using enum WriteBackSource;
using enum TokenTarget;
using enum FieldSource;

// Note the lw and sw rows: in this machine lw stores a register into memory
// (memwrite) and sw loads a word into a register (memread, memtoreg,
// regwrite). Their operands are placed to match: lw's first register is the
// word it stores (rt), sw's is the register it loads into (rd).
constexpr OperandSyntax lwSyntax{{Rt, Imm, Rs}, {RsSlot, RtSlot, Absent, ImmSlot, Absent}};
constexpr OperandSyntax swSyntax{{Rd, Imm, Rs}, {RsSlot, Absent, RdSlot, ImmSlot, Absent}};
// add, sub, and, or, xor: rd, rs, rt. xor's immediate and label read as 0.
constexpr OperandSyntax threeRegisters{{Rd, Rs, Rt}, {RsSlot, RtSlot, RdSlot, Absent, Absent}};
constexpr OperandSyntax xorSyntax{{Rd, Rs, Rt}, {RsSlot, RtSlot, RdSlot, Zero, Zero}};
constexpr OperandSyntax addiSyntax{{Rd, Rs, Imm}, {RsSlot, Absent, RdSlot, ImmSlot, Absent}};
constexpr OperandSyntax branchSyntax{{Rs, Rt, Label}, {RsSlot, RtSlot, Absent, Absent, LabelIndex}};
constexpr OperandSyntax jSyntax{{Label, Dropped, Dropped}, {Absent, Absent, Absent, Absent, LabelIndex}};
constexpr OperandSyntax nopSyntax{{Dropped, Dropped, Dropped}, {Absent, Absent, Absent, Zero, Zero}};

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
    {Lw, "lw", lwSyntax, lwSignals, "lw"},
    {Sw, "sw", swSyntax, swSignals, "sw"},
    {Add, "add", threeRegisters, arithmetic(RegisterB, AluOperation::Add), "add"},
    {Addi, "addi", addiSyntax, arithmetic(Immediate, AluOperation::Add), "addi"},
    {Sub, "sub", threeRegisters, arithmetic(RegisterB, AluOperation::Sub), "sub"},
    {Beq, "beq", branchSyntax, branchSignals(IfEqual), "beq"},
    {Bne, "bne", branchSyntax, branchSignals(IfNotEqual), "bne"},
    {And, "and", threeRegisters, arithmetic(RegisterB, AluOperation::And), "and"},
    {Or, "or", threeRegisters, arithmetic(RegisterB, AluOperation::Or), "or"},
    {J, "j", jSyntax, branchSignals(Jump), "j"},
    {Xor, "xor", xorSyntax, {}, {}},
    {Nop, "nop", nopSyntax, {}, {}},
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

std::string_view aluOperationName(AluOperation operation) {
  switch (operation) {
    case AluOperation::Add: return "Add";
    case AluOperation::Sub: return "Sub";
    case AluOperation::And: return "And";
    case AluOperation::Or: return "Or";
  }
  return "";
}

}  // namespace fivestage
