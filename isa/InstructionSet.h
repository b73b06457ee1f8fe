#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace fivestage {

// The opcodes of the assembly language.
enum class Opcode : std::uint8_t { Lw, Sw, Add, Addi, Sub, Beq, Bne, And, Or, J, Xor, Nop };

// How many opcodes there are: Nop stays the last of the enumeration, so that
// tables indexed by opcode grow with it.
inline constexpr std::size_t opcodeCount = static_cast<std::size_t>(Opcode::Nop) + 1;

// beq and bne: the branches whose direction only Execute knows, and which a
// branch predictor guesses.
constexpr bool isConditionalBranch(std::optional<Opcode> opcode) {
  return opcode == Opcode::Beq || opcode == Opcode::Bne;
}

// The values of the control signals, numbered as the trace prints them.
enum class BranchKind : std::int32_t { IfEqual = 0, IfNotEqual = 1, Jump = 2 };  // beq, bne, j
enum class AluSource : std::int32_t { RegisterB = 0, Immediate = 1 };            // ALU input 2
enum class AluOperation : std::int32_t { Add = 0, Sub = 1, And = 2, Or = 3 };    // And and Or are logical
enum class WriteBackSource : std::int32_t { AluResult = 0, LoadedWord = 1 };     // the MemToReg select

// The control signals Decode produces for one opcode. An empty optional is a
// signal the instruction leaves indifferent. C1 (pcsel to aluop) steers
// Execute, C2 (memread, memwrite) the Memory stage, C3 (memtoreg, regwrite)
// Write-back. An opcode that writes a register (regwrite) writes its rd.
struct ControlSignals {
  bool pcsel = false;  // Execute's PC multiplexer chooses the next PC
  bool pcsrc = false;  // gate input 1 in front of Mux3
  std::optional<BranchKind> branch;
  std::optional<AluSource> alusrc;
  AluOperation aluop = AluOperation::Add;
  bool memread = false;
  bool memwrite = false;
  std::optional<WriteBackSource> memtoreg;
  bool regwrite = false;

  bool operator==(const ControlSignals&) const = default;
};

// The parser keeps one working slot per record field: rs, rt, rd, imm and
// label, numbered in this order. An operand token goes into one of them or,
// for an opcode that takes fewer operands, is read and dropped.
enum class TokenTarget : std::uint8_t { Rs, Rt, Rd, Imm, Label, Dropped };

// What a record field of a parsed line is made of: a working slot, the label
// slot turned into an instruction index, or a fixed value (Absent: the
// opcode has no such operand; Zero: it always reads as 0).
enum class FieldSource : std::uint8_t { RsSlot, RtSlot, RdSlot, ImmSlot, LabelIndex, Absent, Zero };

// How the operands of an opcode are written and read.
struct OperandSyntax {
  std::array<TokenTarget, 3> tokens;  // operand tokens 1 to 3
  std::array<FieldSource, 5> fields;  // rs, rt, rd, imm, label
};

// One opcode of the instruction set: its mnemonic, the syntax of its
// operands, its control signals and the folder of its Decode energy figures.
// xor and nop are part of the language but have neither of the last two:
// decoding one ends the run, since it has no energy figures to charge.
struct OpcodeRow {
  Opcode opcode;
  std::string_view mnemonic;
  OperandSyntax syntax;
  std::optional<ControlSignals> control;
  std::optional<std::string_view> decodeEnergyFolder;
};

// All twelve opcodes, in the order of the Opcode enumeration, which is also
// the order in which the parser tries them on a line.
std::span<const OpcodeRow> instructionSet();

const OpcodeRow& opcodeRow(Opcode opcode);

// "Add", "Sub", "And" or "Or", as the trace names the ALU's operation.
std::string_view aluOperationName(AluOperation operation);

// The opcode whose mnemonic is exactly `text` (case-sensitive), if any.
std::optional<Opcode> opcodeNamed(std::string_view text);

}  // namespace fivestage
