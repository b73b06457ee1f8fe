#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "isa/InstructionSet.h"
#include "loader/Instruction.h"

namespace fivestage {

// Reads assembly lines into Instruction records. The punctuation of the
// syntax ("," "(" ")" "$" and the label letter "L") only separates tokens, so
// it becomes blanks; the opcode is recognised by a prefix test against the
// mnemonics of the instruction table; the operands are whitespace-separated
// integers placed by the opcode's operand syntax in that table.
//
// The parser keeps one working slot per operand field for the whole pass:
// a line that leaves out operands takes whatever an earlier line left there.
class SourceParser {
 public:
  // Parses one line. A line whose start matches no opcode key is reported
  // on `log` and yields nothing.
  std::optional<Instruction> parseLine(std::string_view line, std::ostream& log);

  // The line as the parser reads it: punctuation and capital L turned into blanks.
  static std::string withPunctuationBlanked(std::string_view line);

  // The opcode whose row reads the line ("or" for a line that starts with
  // ori), or nothing when the line is rejected.
  static std::optional<std::string_view> rowOpcodeOf(std::string_view line);

 private:
  // The working slots of rs, rt, rd, imm and label, numbered as the token
  // targets that fill them; all start at 0.
  std::array<std::int32_t, static_cast<std::size_t>(TokenTarget::Dropped)> slots_{};
};

}  // namespace fivestage
