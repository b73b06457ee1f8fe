#include "loader/SourceParser.h"

#include <ostream>

#include "common/NumberText.h"
#include "loader/MachineState.h"

namespace fivestage {
namespace {

// Where an operand token goes: a working slot (numbered as the parser's
// slots: rs, rt, rd, imm, label), or nowhere.
enum class Into { Rs, Rt, Rd, Imm, Label, Nothing };

// What a record field is made of: a working slot, the label slot turned into
// an instruction index, or a fixed value (None: the form has no such operand).
enum class From { RsSlot, RtSlot, RdSlot, ImmSlot, LabelIndex, None, Zero };

struct SyntaxRow {
  std::string_view key;        // matched against the start of the line
  std::array<Into, 3> tokens;  // operand tokens 1 to 3
  std::array<From, 5> fields;  // rs, rt, rd, imm, label
};

using enum Into;
using enum From;

// Tested in this order; the first key that starts the line selects the row.
// "add " carries its blank so that addi and addu do not take the add row.
// Note the lw and sw rows: lw's first register is the word it stores (rt),
// sw's is the register it loads into (rd).
constexpr std::array<SyntaxRow, 12> syntaxRows{{
    {"lw", {Rt, Imm, Rs}, {RsSlot, RtSlot, None, ImmSlot, None}},
    {"sw", {Rd, Imm, Rs}, {RsSlot, None, RdSlot, ImmSlot, None}},
    {"add ", {Rd, Rs, Rt}, {RsSlot, RtSlot, RdSlot, None, None}},
    {"addi", {Rd, Rs, Imm}, {RsSlot, None, RdSlot, ImmSlot, None}},
    {"sub", {Rd, Rs, Rt}, {RsSlot, RtSlot, RdSlot, None, None}},
    {"beq", {Rs, Rt, Label}, {RsSlot, RtSlot, None, None, LabelIndex}},
    {"bne", {Rs, Rt, Label}, {RsSlot, RtSlot, None, None, LabelIndex}},
    {"and", {Rd, Rs, Rt}, {RsSlot, RtSlot, RdSlot, None, None}},
    {"or", {Rd, Rs, Rt}, {RsSlot, RtSlot, RdSlot, None, None}},
    {"j", {Label, Nothing, Nothing}, {None, None, None, None, LabelIndex}},
    {"xor", {Rd, Rs, Rt}, {RsSlot, RtSlot, RdSlot, Zero, Zero}},
    {"nop", {Nothing, Nothing, Nothing}, {None, None, None, Zero, Zero}},
}};

const SyntaxRow* findRow(std::string_view line) {
  for (const SyntaxRow& row : syntaxRows) {
    if (line.starts_with(row.key)) return &row;
  }
  return nullptr;
}

bool isTokenSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads the next whitespace-separated token; an empty view when none is left.
std::string_view nextToken(std::string_view& rest) {
  std::size_t start = 0;
  while (start < rest.size() && isTokenSeparator(rest[start])) ++start;
  std::size_t end = start;
  while (end < rest.size() && !isTokenSeparator(rest[end])) ++end;
  const std::string_view token = rest.substr(start, end - start);
  rest.remove_prefix(end);
  return token;
}

}  // namespace

std::string SourceParser::withPunctuationBlanked(std::string_view line) {
  std::string copy(line);
  for (char& c : copy) {
    if (c == ',' || c == '(' || c == ')' || c == '$' || c == 'L') c = ' ';
  }
  return copy;
}

std::optional<std::string_view> SourceParser::rowOpcodeOf(std::string_view line) {
  const SyntaxRow* row = findRow(withPunctuationBlanked(line));
  if (row == nullptr) return std::nullopt;
  std::string_view key = row->key;
  // "add " carries its blank only to keep addi and addu out.
  if (key.ends_with(' ')) key.remove_suffix(1);
  return key;
}

std::optional<Instruction> SourceParser::parseLine(std::string_view line, std::ostream& log) {
  const std::string text = withPunctuationBlanked(line);
  const SyntaxRow* row = findRow(text);
  if (row == nullptr) {
    log << "\n The Instruction : " << text << " either does not exist or supported. \n\n";
    return std::nullopt;
  }

  // Token 0 is the opcode text; tokens 1 to 3 go into the slots the row maps.
  // When the tokens run out, the read that found none still counts: its
  // empty token converts to 0, so only the first missing operand becomes 0.
  std::string_view rest = text;
  const std::string_view opcode = nextToken(rest);
  for (std::size_t k = 1; k <= row->tokens.size(); ++k) {
    const std::string_view token = nextToken(rest);
    const Into target = row->tokens[k - 1];
    if (target != Nothing) slots_[static_cast<std::size_t>(target)] = atoiSaturated(token);
    if (token.empty()) break;
  }

  const auto field = [this](From from) -> std::optional<std::int32_t> {
    switch (from) {
      case RsSlot: return slots_[0];
      case RtSlot: return slots_[1];
      case RdSlot: return slots_[2];
      case ImmSlot: return slots_[3];
      case LabelIndex: return labelIndex(slots_[4]);
      case None: return std::nullopt;
      case Zero: return 0;
    }
    return std::nullopt;
  };
  // In this syntax -1 names no register and no instruction: $-1 reads as an
  // absent register and L0 as an absent label, as the trace has always shown
  // them. An immediate of -1 is a real immediate.
  const auto reference = [&field](From from) {
    const std::optional<std::int32_t> value = field(from);
    return value == -1 ? std::nullopt : value;
  };
  const auto& f = row->fields;
  return Instruction(std::string(opcode), reference(f[0]), reference(f[1]), reference(f[2]), field(f[3]),
                     reference(f[4]));
}

void MachineState::parseSource(std::ostream& log) {
  SourceParser parser;
  for (std::size_t i = 0; i < sourceLines.size(); ++i) {
    if (auto instruction = parser.parseLine(sourceLines[i], log)) {
      instructions.push_back(std::move(*instruction));
      instructionLines.push_back(i);
    }
  }
}

}  // namespace fivestage
