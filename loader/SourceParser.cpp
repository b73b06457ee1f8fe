#include "loader/SourceParser.h"

#include <algorithm>
#include <ostream>

#include "common/NumberText.h"
#include "isa/InstructionSet.h"
#include "loader/MachineState.h"

namespace fivestage {
namespace {

using enum TokenTarget;
using enum FieldSource;

// Whether another mnemonic of the table begins with this one, as addi
// begins with add.
bool beginsLongerMnemonic(std::string_view mnemonic) {
  const std::span<const OpcodeRow> rows = instructionSet();
  // std::any_of rather than its ranges form: the browser build's library lacks the latter.
  return std::any_of(rows.begin(), rows.end(), [mnemonic](const OpcodeRow& other) {
    return other.mnemonic.size() > mnemonic.size() && other.mnemonic.starts_with(mnemonic);
  });
}

// A row reads the line when the line starts with its mnemonic. A mnemonic
// that begins a longer one must be followed by a blank, so that addi and
// addu do not take the add row.
bool startsWithKeyOf(std::string_view line, const OpcodeRow& row) {
  if (!line.starts_with(row.mnemonic)) return false;
  return !beginsLongerMnemonic(row.mnemonic) || line.substr(row.mnemonic.size()).starts_with(' ');
}

// The rows are tried in table order; the first whose key starts the line
// reads it, so ori takes the or row.
const OpcodeRow* findRow(std::string_view line) {
  for (const OpcodeRow& row : instructionSet()) {
    if (startsWithKeyOf(line, row)) return &row;
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
  const OpcodeRow* row = findRow(withPunctuationBlanked(line));
  if (row == nullptr) return std::nullopt;
  return row->mnemonic;
}

std::optional<Instruction> SourceParser::parseLine(std::string_view line, std::ostream& log) {
  const std::string text = withPunctuationBlanked(line);
  const OpcodeRow* row = findRow(text);
  if (row == nullptr) {
    log << "\n The Instruction : " << text << " either does not exist or supported. \n\n";
    return std::nullopt;
  }

  // Token 0 is the opcode text; tokens 1 to 3 go into the slots the row's
  // syntax names. When the tokens run out, the read that found none still
  // counts: its empty token converts to 0, so only the first missing operand
  // becomes 0.
  const OperandSyntax& syntax = row->syntax;
  std::string_view rest = text;
  const std::string_view opcode = nextToken(rest);
  for (const TokenTarget target : syntax.tokens) {
    const std::string_view token = nextToken(rest);
    if (target != Dropped) slots_[static_cast<std::size_t>(target)] = atoiSaturated(token);
    if (token.empty()) break;
  }

  const auto field = [this](FieldSource source) -> std::optional<std::int32_t> {
    switch (source) {
      case RsSlot: return slots_[0];
      case RtSlot: return slots_[1];
      case RdSlot: return slots_[2];
      case ImmSlot: return slots_[3];
      case LabelIndex: return labelIndex(slots_[4]);
      case Absent: return std::nullopt;
      case Zero: return 0;
    }
    return std::nullopt;
  };
  // In this syntax -1 names no register and no instruction: $-1 reads as an
  // absent register and L0 as an absent label, as the trace has always shown
  // them. An immediate of -1 is a real immediate.
  const auto reference = [&field](FieldSource source) {
    const std::optional<std::int32_t> value = field(source);
    return value == -1 ? std::nullopt : value;
  };
  const auto& f = syntax.fields;
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
