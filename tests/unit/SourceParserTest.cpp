#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "loader/MachineState.h"
#include "loader/SourceParser.h"

namespace fivestage {
namespace {

// An operand the instruction does not have.
constexpr std::nullopt_t none = std::nullopt;

struct ParseCase {
  std::string line;
  Instruction expected;
};

// Each line is read by a fresh parser, so its working slots all start at 0.
void PrintTo(const ParseCase& c, std::ostream* out) { *out << '"' << c.line << '"'; }

class ParseOneLine : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseOneLine, FillsTheRecordByTheOpcodeMap) {
  SourceParser parser;
  std::ostringstream log;
  const auto parsed = parser.parseLine(GetParam().line, log);
  ASSERT_TRUE(parsed.has_value()) << GetParam().line;
  EXPECT_EQ(*parsed, GetParam().expected) << GetParam().line;
  EXPECT_EQ(log.str(), "");
}

INSTANTIATE_TEST_SUITE_P(EveryOpcodeRow, ParseOneLine,
                         ::testing::Values(
                             // lw puts its first register into rt, sw into rd.
                             ParseCase{"lw $5, 8($2)", {"lw", 2, 5, none, 8, none}},
                             ParseCase{"sw $4, 8($2)", {"sw", 2, none, 4, 8, none}},
                             ParseCase{"add $3, $1, $2", {"add", 1, 2, 3, none, none}},
                             ParseCase{"addi $1, $2, -7", {"addi", 2, none, 1, -7, none}},
                             ParseCase{"sub $5, $6, $7", {"sub", 6, 7, 5, none, none}},
                             ParseCase{"beq $1, $2, L4", {"beq", 1, 2, none, none, 3}},
                             ParseCase{"bne $1, $2, L1", {"bne", 1, 2, none, none, 0}},
                             ParseCase{"and $3, $1, $2", {"and", 1, 2, 3, none, none}},
                             ParseCase{"or $3, $1, $2", {"or", 1, 2, 3, none, none}},
                             ParseCase{"j L3", {"j", none, none, none, none, 2}},
                             ParseCase{"xor $3, $1, $2", {"xor", 1, 2, 3, 0, 0}}, ParseCase{"nop", Instruction()},
                             ParseCase{"nop $1, $2, $3", Instruction()}));

INSTANTIATE_TEST_SUITE_P(
    TokenRules, ParseOneLine,
    ::testing::Values(ParseCase{"add 3 1 2", {"add", 1, 2, 3, none, none}},    // punctuation is optional
                      ParseCase{"add$3,$1,$2", {"add", 1, 2, 3, none, none}},  // "$" turns into the blank "add " needs
                      ParseCase{"beq 1 2 4", {"beq", 1, 2, none, none, 3}},    // label without L
                      ParseCase{"beq $1, $2, L0", {"beq", 1, 2, none, none, none}},   // L0 is the same as no label
                      ParseCase{"add $3, $-1, $2", {"add", none, 2, 3, none, none}},  // $-1 is the same as no register
                      ParseCase{"addi $1, $2, -1", {"addi", 2, none, 1, -1, none}},   // an immediate of -1 is one
                      ParseCase{"j loop", {"j", none, none, none, none, none}},       // a word reads as 0
                      ParseCase{"j L-2147483648", {"j", none, none, none, none, 2147483647}},  // label index wraps
                      ParseCase{"j L99999999999",
                                {"j", none, none, none, none, 2147483646}},             // saturates, then minus one
                      ParseCase{"add $t0, $1, $2", {"add", 1, 2, 0, none, none}},       // named register reads as 0
                      ParseCase{"addi $1, $2, 0x10", {"addi", 2, none, 1, 0, none}},    // hexadecimal reads as 0
                      ParseCase{"add $1, $2, $3 # sum", {"add", 2, 3, 1, none, none}},  // trailing text ignored
                      ParseCase{"lw $1, ($2)", {"lw", 0, 1, none, 2, none}},            // the offset slot takes 2
                      ParseCase{"add $1, $2", {"add", 2, 0, 1, none, none}},            // first missing operand is 0
                      ParseCase{"j", {"j", none, none, none, none, none}},
                      ParseCase{"beq $1, $2", {"beq", 1, 2, none, none, none}},
                      // Prefix matches keep their own opcode text and take the row of the key.
                      ParseCase{"ori $1, $2, 5", {"ori", 2, 5, 1, none, none}},
                      ParseCase{"andi $1, $2, 5", {"andi", 2, 5, 1, none, none}},
                      ParseCase{"jal L3", {"jal", none, none, none, none, 2}},
                      ParseCase{"lwx $5, 8($2)", {"lwx", 2, 5, none, 8, none}},
                      ParseCase{"nope $1", {"nope", none, none, none, 0, 0}},
                      ParseCase{"jr $31", {"jr", none, none, none, none, 30}}));

TEST(SourceParser, RejectsLinesThatMatchNoKeyWithTheTransformedText) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"", "\n The Instruction :  either does not exist or supported. \n\n"},
      {"mul $1, $2, $3", "\n The Instruction : mul  1   2   3 either does not exist or supported. \n\n"},
      {"L2: add $1, $2, $3", "\n The Instruction :  2: add  1   2   3 either does not exist or supported. \n\n"},
      {"  add $1, $2, $3", "\n The Instruction :   add  1   2   3 either does not exist or supported. \n\n"},
      {"ADD $1, $2, $3", "\n The Instruction : ADD  1   2   3 either does not exist or supported. \n\n"},
      {"addu $1, $2, $3", "\n The Instruction : addu  1   2   3 either does not exist or supported. \n\n"},
      {"add\t$1", "\n The Instruction : add\t 1 either does not exist or supported. \n\n"},
      {"add", "\n The Instruction : add either does not exist or supported. \n\n"},
      {"# comment", "\n The Instruction : # comment either does not exist or supported. \n\n"},
  };
  for (const auto& [line, message] : cases) {
    SourceParser parser;
    std::ostringstream log;
    EXPECT_FALSE(parser.parseLine(line, log).has_value()) << line;
    EXPECT_EQ(log.str(), message) << line;
  }
}

TEST(SourceParser, MissingOperandsKeepWhatEarlierLinesLeftInTheSlots) {
  SourceParser parser;
  std::ostringstream log;
  ASSERT_TRUE(parser.parseLine("sub $5, $6, $7", log));
  EXPECT_EQ(*parser.parseLine("add $1", log), Instruction("add", 0, 7, 1, none, none));
  ASSERT_TRUE(parser.parseLine("addi $2, $3, 9", log));
  EXPECT_EQ(*parser.parseLine("lw $4", log), Instruction("lw", 3, 4, none, 0, none));
  ASSERT_TRUE(parser.parseLine("beq $1, $2, L6", log));
  EXPECT_EQ(*parser.parseLine("j", log), Instruction("j", none, none, none, none, none));
  EXPECT_EQ(*parser.parseLine("bne", log), Instruction("bne", 0, 2, none, none, none));
}

TEST(SourceParser, ParseSourceKeepsEachInstructionsOwnLine) {
  MachineState state;
  state.sourceLines = {"add $3, $1, $2", "", "mul $1, $2", "sub $4, $3, $1", "j L2"};
  std::ostringstream log;
  state.parseSource(log);
  ASSERT_EQ(state.instructions.size(), 3U);
  EXPECT_EQ(state.instructionLines, (std::vector<std::size_t>{0, 3, 4}));
  EXPECT_EQ(state.sourceTextOf(1), "sub $4, $3, $1");
  EXPECT_EQ(state.instructions[2].getLabel(), 1);  // L2 names instruction index 1
  EXPECT_EQ(log.str(),
            "\n The Instruction :  either does not exist or supported. \n\n"
            "\n The Instruction : mul  1   2 either does not exist or supported. \n\n");
}

}  // namespace
}  // namespace fivestage
