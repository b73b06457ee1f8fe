// The meaning of programs, one instruction at a time, against which the
// pipelines are measured.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "core/Reference.h"
#include "tests/support/EventLog.h"

namespace fivestage {
namespace {

constexpr Word maxWord = std::numeric_limits<Word>::max();
constexpr Word minWord = std::numeric_limits<Word>::min();

// Every case starts from these eight registers and eight memory words.
const std::vector<Word> startRegisters{0, 5, 7, -3, maxWord, 1, minWord, 0};
const std::vector<Word> startMemory{10, 20, 30, 40, 50, 60, 70, 80};

ReferenceRun run(const std::vector<std::string>& program, ReferenceLimits limits = {.keepPath = true}) {
  return runReference(testing::machineOf(program, startRegisters, startMemory), limits);
}

using Change = std::pair<std::size_t, Word>;  // a register or memory word, and its new value

std::vector<Word> changed(std::vector<Word> values, const std::vector<Change>& changes) {
  for (const auto& [at, value] : changes) values[at] = value;
  return values;
}

struct MeaningCase {
  const char* name;
  std::vector<std::string> program;
  std::vector<Change> registerChanges;
  std::vector<Change> memoryChanges;
  std::vector<InstructionIndex> path;
};

TEST(Reference, EachInstructionMeansWhatItsControlSignalsSay) {
  const MeaningCase cases[] = {
      {"empty program", {}, {}, {}, {}},
      {"add", {"add $7, $1, $2"}, {{7, 12}}, {}, {0}},
      {"addi, negative immediate", {"addi $7, $1, -9"}, {{7, -4}}, {}, {0}},
      {"sub", {"sub $7, $1, $2"}, {{7, -2}}, {}, {0}},
      {"add wraps around", {"add $7, $4, $5"}, {{7, minWord}}, {}, {0}},
      {"sub wraps around", {"sub $7, $6, $5"}, {{7, maxWord}}, {}, {0}},
      {"and is logical, not bitwise", {"and $7, $1, $3"}, {{7, 1}}, {}, {0}},
      {"and with a zero", {"and $3, $1, $0"}, {{3, 0}}, {}, {0}},
      {"or is logical, not bitwise", {"or $7, $0, $3"}, {{7, 1}}, {}, {0}},
      {"or of zeros", {"or $1, $0, $7"}, {{1, 0}}, {}, {0}},
      {"register 0 is an ordinary register", {"addi $0, $0, 9"}, {{0, 9}}, {}, {0}},
      {"an absent register reads as -1", {"add $7, $-1, $1"}, {{7, 4}}, {}, {0}},
      // In this machine lw writes a register into memory and sw loads one.
      {"lw stores rt at rs + offset", {"lw $2, 3($5)"}, {}, {{4, 7}}, {0}},
      {"lw of an absent register stores -1", {"lw $-1, 0($0)"}, {}, {{0, -1}}, {0}},
      {"sw loads the word at rs + offset", {"sw $7, 2($5)"}, {{7, 40}}, {}, {0}},
      {"beq taken", {"beq $1, $1, L3", "addi $7, $0, 1", "addi $3, $0, 2"}, {{3, 2}}, {}, {0, 2}},
      {"beq not taken", {"beq $1, $2, L3", "addi $7, $0, 1", "addi $3, $0, 2"}, {{7, 1}, {3, 2}}, {}, {0, 1, 2}},
      {"bne taken", {"bne $1, $2, L3", "addi $7, $0, 1", "addi $3, $0, 2"}, {{3, 2}}, {}, {0, 2}},
      {"bne not taken", {"bne $1, $1, L3", "addi $7, $0, 1", "addi $3, $0, 2"}, {{7, 1}, {3, 2}}, {}, {0, 1, 2}},
      {"j", {"j L3", "addi $7, $0, 1", "addi $3, $0, 2"}, {{3, 2}}, {}, {0, 2}},
      {"j to exactly the end", {"j L3", "addi $7, $0, 1"}, {}, {}, {0}},
      {"L0 is no target: a taken branch goes on in order", {"beq $0, $0, L0", "addi $7, $0, 1"}, {{7, 1}}, {}, {0, 1}},
      {"L0 is no target for j either", {"j L0", "addi $7, $0, 1"}, {{7, 1}}, {}, {0, 1}},
      {"a counted loop",
       {"addi $5, $0, 3", "addi $7, $7, 2", "addi $5, $5, -1", "bne $5, $0, L2"},
       {{5, 0}, {7, 6}},
       {},
       {0, 1, 2, 3, 1, 2, 3, 1, 2, 3}},
  };
  for (const MeaningCase& c : cases) {
    const ReferenceRun result = run(c.program);
    EXPECT_EQ(result.end, RunEnd::Completed) << c.name << ": " << result.message;
    EXPECT_EQ(result.registers, changed(startRegisters, c.registerChanges)) << c.name;
    EXPECT_EQ(result.memory, changed(startMemory, c.memoryChanges)) << c.name;
    EXPECT_EQ(result.path, c.path) << c.name;
    EXPECT_EQ(result.executed, static_cast<std::int64_t>(c.path.size())) << c.name;
  }
}

struct FailureCase {
  const char* name;
  std::vector<std::string> program;
  std::string message;
  std::vector<InstructionIndex> path;  // what was executed before the failure
};

TEST(Reference, AnythingOutsideTheMachineEndsTheRunWithTheConsolesMessage) {
  const FailureCase cases[] = {
      {"jump past the end", {"j L4", "addi $7, $0, 1"}, " Instruction E(3) does not exist: program size is 2 \n", {0}},
      {"jump below the program", {"j L-1"}, " Instruction E(-2) does not exist: program size is 1 \n", {0}},
      {"source register outside the file",
       {"addi $7, $0, 1", "add $7, $1, $8"},
       " Register $8 does not exist: register file size is 8 \n",
       {0}},
      {"destination register outside the file",
       {"addi $9, $0, 1"},
       " Register $9 does not exist: register file size is 8 \n",
       {}},
      {"absent destination register",
       {"addi $-1, $0, 1"},
       " Register $-1 does not exist: register file size is 8 \n",
       {}},
      {"lw past the memory", {"lw $1, 8($0)"}, " Memory word 8 does not exist: data memory size is 8 \n", {}},
      {"sw below the memory", {"sw $1, -1($0)"}, " Memory word -1 does not exist: data memory size is 8 \n", {}},
      // Opcodes without control signals mean nothing here.
      {"xor",
       {"addi $7, $0, 1", "xor $3, $1, $2"},
       " Instruction E(1) xor has no control signals: it means nothing in this machine \n",
       {0}},
      {"nop", {"nop"}, " Instruction E(0) nop has no control signals: it means nothing in this machine \n", {}},
      {"ori, read by its prefix",
       {"ori $7, $1, $2"},
       " Instruction E(0) ori has no control signals: it means nothing in this machine \n",
       {}},
  };
  for (const FailureCase& c : cases) {
    const ReferenceRun result = run(c.program);
    EXPECT_EQ(result.end, RunEnd::Failed) << c.name;
    EXPECT_EQ(result.message, c.message) << c.name;
    EXPECT_EQ(result.path, c.path) << c.name;
  }
  // What ran before the failure stays done; the failing instruction changes nothing.
  EXPECT_EQ(run({"addi $7, $0, 1", "xor $3, $1, $2"}).registers, changed(startRegisters, {{7, 1}}));
  EXPECT_EQ(run({"sw $1, 9($0)"}).registers, startRegisters);
}

TEST(Reference, StopsAProgramThatGoesOnAfterTheMostInstructionsAllowed) {
  const std::vector<std::string> forever{"addi $7, $7, 1", "j L1"};
  const ReferenceRun stopped = run(forever, {.maxExecuted = 5, .keepPath = true});
  EXPECT_EQ(stopped.end, RunEnd::Stopped);
  EXPECT_EQ(stopped.executed, 5);
  EXPECT_EQ(stopped.path, (std::vector<InstructionIndex>{0, 1, 0, 1, 0}));
  EXPECT_EQ(stopped.registers, changed(startRegisters, {{7, 3}}));

  // A program that ends with its last allowed instruction has completed.
  const ReferenceRun completed = run({"addi $7, $7, 1", "addi $7, $7, 1"}, {.maxExecuted = 2});
  EXPECT_EQ(completed.end, RunEnd::Completed);
  EXPECT_EQ(completed.executed, 2);
  EXPECT_TRUE(completed.path.empty());  // not kept unless asked for
}

}  // namespace
}  // namespace fivestage
