// The five predictors on small programs worked out cycle by cycle from the
// rules: Fetch predicts from the instruction it fetched, Execute resolves
// the branch two cycles later, a wrong prediction cancels what was fetched
// after the branch, and a table is written at the end of the cycle its
// branch resolves in, after Fetch has read it in that cycle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Core.h"
#include "tests/support/EventLog.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

// What a run did with its branches: each resolution as
// "cycle:E(n) predicted/outcome before>after" (T taken, N not taken; the
// states only for a table), and what Fetch fetched, in order.
struct BranchStory {
  std::vector<std::string> resolutions;
  std::vector<InstructionIndex> fetched;
  std::vector<std::string> predictions;  // "cycle:E(n) entry=state" for a table
  Cycle cycles = 0;
  std::vector<Word> registers;
};

std::string letter(bool taken) { return taken ? "T" : "N"; }

BranchStory storyOf(std::vector<std::string> program, MachineOptions machine, std::vector<Word> registers,
                    Cycle maxCycles = 1000) {
  testing::TempDir dir;
  dir.addEnergyTree();
  testing::EventLog log;
  Core core(testing::machineOf(std::move(program), std::move(registers)), InputFolder(dir.path()), &log, machine);
  while (core.cyclesRun() < maxCycles && core.stepCycle(Key::Newline) == RunEnd::Running) {
  }
  BranchStory story;
  Cycle cycle = 0;
  for (const Event& event : log.events) {
    if (const auto* started = std::get_if<CycleStarted>(&event)) cycle = started->cycle;
    if (const auto* entered = std::get_if<StageEntered>(&event); entered && entered->stage == Stage::Fetch) {
      story.fetched.push_back(entered->instruction.index);
    }
    if (const auto* predicted = std::get_if<BranchPredicted>(&event); predicted && predicted->entry) {
      story.predictions.push_back(std::to_string(cycle) + ":E(" + std::to_string(predicted->branch.index) + ") " +
                                  std::to_string(predicted->entry->index) + "=" +
                                  std::to_string(predicted->entry->state));
    }
    if (const auto* resolved = std::get_if<BranchResolved>(&event)) {
      std::string text = std::to_string(cycle) + ":E(" + std::to_string(resolved->branch.index) + ") " +
                         letter(resolved->predictedTaken) + "/" + letter(resolved->taken);
      if (resolved->before) text += " " + std::to_string(resolved->before->state) + ">" + std::to_string(*resolved->after);
      story.resolutions.push_back(text);
    }
  }
  story.cycles = core.cyclesRun();
  story.registers = core.machine().registers;
  return story;
}

std::vector<Word> zeros() { return std::vector<Word>(8, 0); }

// A loop of two instructions run three times, with forwarding so that the
// branch never waits: E(0) sets $1 = 3, E(1) counts $2 up, E(2) branches
// back to E(1) while $2 != 3. The branch is fetched in cycle 3, resolved in
// 5; after a right prediction it is fetched again in the very cycle it
// resolves, and reads its entry as it was before that cycle's update.
const std::vector<std::string> shortLoop = {"addi $1, $0, 3", "addi $2, $2, 1", "bne $2, $1, L2", "addi $3, $3, 1"};

TEST(Predictor, ATwoInstructionLoopUnderEachPredictor) {
  struct Case {
    Predictor predictor;
    Cycle cycles;
    std::vector<std::string> resolutions;
    std::vector<InstructionIndex> fetched;
    std::vector<std::string> predictions;
  };
  const Case cases[] = {
      // Fetch goes on in order: each taken branch cancels E(3) behind it.
      {Predictor::NotTaken, 14, {"5:E(2) N/T", "8:E(2) N/T", "11:E(2) N/N"}, {0, 1, 2, 3, 1, 2, 3, 1, 2, 3}, {}},
      // Predicted taken from the first fetch: only the exit is wrong, and
      // cancels the E(1) fetched at the label in cycle 8.
      {Predictor::Taken, 13, {"5:E(2) T/T", "7:E(2) T/T", "9:E(2) T/N"}, {0, 1, 2, 1, 2, 1, 2, 1, 3}, {}},
      {Predictor::BackwardTaken, 13, {"5:E(2) T/T", "7:E(2) T/T", "9:E(2) T/N"}, {0, 1, 2, 1, 2, 1, 2, 1, 3}, {}},
      // Entry 2 starts not taken: wrong on entry and on exit.
      {Predictor::OneBit,
       14,
       {"5:E(2) N/T 0>1", "8:E(2) T/T 1>1", "10:E(2) T/N 1>0"},
       {0, 1, 2, 3, 1, 2, 1, 2, 1, 3},
       {"3:E(2) 2=0", "6:E(2) 2=1", "8:E(2) 2=1"}},
      // The prediction of cycle 8 reads 2, not the 3 that cycle 8's own
      // resolution writes at its end.
      {Predictor::TwoBit,
       14,
       {"5:E(2) N/T 1>2", "8:E(2) T/T 2>3", "10:E(2) T/N 3>2"},
       {0, 1, 2, 3, 1, 2, 1, 2, 1, 3},
       {"3:E(2) 2=1", "6:E(2) 2=2", "8:E(2) 2=2"}},
  };
  for (const Case& c : cases) {
    const std::string name = std::to_string(static_cast<int>(c.predictor));
    const BranchStory story = storyOf(shortLoop, {true, true, c.predictor}, zeros());
    EXPECT_EQ(story.cycles, c.cycles) << name;
    EXPECT_EQ(story.resolutions, c.resolutions) << name;
    EXPECT_EQ(story.fetched, c.fetched) << name;
    EXPECT_EQ(story.predictions, c.predictions) << name;
    EXPECT_EQ(story.registers[2], 3) << name;
    EXPECT_EQ(story.registers[3], 1) << name;
  }
}

// A branch that loops on itself ($1 is never 0) is fetched again in the
// cycle it resolves after a misprediction: the update of that cycle comes
// too late for it, so the tables mispredict twice where an update in time
// would mispredict once.
TEST(Predictor, ALoopOfOneBranchSeesItsUpdateLate) {
  const std::vector<std::string> program = {"bne $1, $0, L1", "addi $2, $0, 1"};
  std::vector<Word> registers = zeros();
  registers[1] = 1;
  const BranchStory oneBit = storyOf(program, {false, true, Predictor::OneBit}, registers, 8);
  EXPECT_EQ(oneBit.predictions, (std::vector<std::string>{"1:E(0) 0=0", "3:E(0) 0=0", "5:E(0) 0=1", "6:E(0) 0=1",
                                                          "7:E(0) 0=1", "8:E(0) 0=1"}));
  EXPECT_EQ(oneBit.resolutions, (std::vector<std::string>{"3:E(0) N/T 0>1", "5:E(0) N/T 1>1", "7:E(0) T/T 1>1",
                                                          "8:E(0) T/T 1>1"}));
  const BranchStory twoBit = storyOf(program, {false, true, Predictor::TwoBit}, registers, 7);
  EXPECT_EQ(twoBit.predictions, (std::vector<std::string>{"1:E(0) 0=1", "3:E(0) 0=1", "5:E(0) 0=2", "6:E(0) 0=3",
                                                          "7:E(0) 0=3"}));
  EXPECT_EQ(twoBit.resolutions,
            (std::vector<std::string>{"3:E(0) N/T 1>2", "5:E(0) N/T 2>3", "7:E(0) T/T 3>3"}));
}

// A counted loop of three turns entered twice from an outer loop. The inner
// branch E(4) goes T T N on each visit, the outer E(6) T N. The 1-bit table
// is wrong on entering and leaving each visit; the 2-bit table, once warmed
// up, only on leaving.
TEST(Predictor, ACountedLoopEnteredTwice) {
  const std::vector<std::string> program = {
      "addi $4, $0, 2",   // E(0) two visits
      "addi $1, $0, 0",   // E(1) i = 0
      "addi $1, $1, 1",   // E(2) i = i + 1
      "addi $5, $5, 1",   // E(3) the loop's work
      "bne $1, $3, L3",   // E(4) again while i != 3
      "addi $4, $4, -1",  // E(5)
      "bne $4, $0, L2",   // E(6) the next visit
      "addi $6, $0, 7",   // E(7)
  };
  std::vector<Word> registers = zeros();
  registers[3] = 3;
  struct Case {
    Predictor predictor;
    std::vector<std::string> inner, outer;  // predicted/outcome per resolution
  };
  const Case cases[] = {
      {Predictor::NotTaken, {"N/T", "N/T", "N/N", "N/T", "N/T", "N/N"}, {"N/T", "N/N"}},
      {Predictor::Taken, {"T/T", "T/T", "T/N", "T/T", "T/T", "T/N"}, {"T/T", "T/N"}},
      {Predictor::BackwardTaken, {"T/T", "T/T", "T/N", "T/T", "T/T", "T/N"}, {"T/T", "T/N"}},
      {Predictor::OneBit, {"N/T", "T/T", "T/N", "N/T", "T/T", "T/N"}, {"N/T", "T/N"}},
      {Predictor::TwoBit, {"N/T", "T/T", "T/N", "T/T", "T/T", "T/N"}, {"N/T", "T/N"}},
  };
  for (const bool forwarding : {false, true}) {
    for (const Case& c : cases) {
      const std::string name = std::to_string(static_cast<int>(c.predictor)) + (forwarding ? " forwarding" : "");
      const BranchStory story = storyOf(program, {forwarding, true, c.predictor}, registers);
      std::vector<std::string> inner, outer;
      for (const std::string& resolution : story.resolutions) {
        const std::string verdict = resolution.substr(resolution.find(' ') + 1, 3);
        (resolution.find("E(4)") != std::string::npos ? inner : outer).push_back(verdict);
      }
      EXPECT_EQ(inner, c.inner) << name;
      EXPECT_EQ(outer, c.outer) << name;
      EXPECT_EQ(story.registers[5], 6) << name;
      EXPECT_EQ(story.registers[6], 7) << name;
    }
  }
}

// A jump is never mispredicted: the predictors send it to its label from
// Fetch, so nothing is cancelled; the not-taken machine cancels the
// instruction behind it, as flush always has.
TEST(Predictor, AJumpIsRedirectedInFetchButOnTheNotTakenMachine) {
  const std::vector<std::string> program = {"j L3", "addi $2, $0, 1", "addi $3, $0, 1"};
  for (const Predictor predictor :
       {Predictor::NotTaken, Predictor::Taken, Predictor::BackwardTaken, Predictor::OneBit, Predictor::TwoBit}) {
    const BranchStory story = storyOf(program, {false, true, predictor}, zeros());
    const bool inFetch = predictor != Predictor::NotTaken;
    const std::vector<InstructionIndex> fetched = inFetch ? std::vector<InstructionIndex>{0, 2}
                                                          : std::vector<InstructionIndex>{0, 1, 2};
    EXPECT_EQ(story.fetched, fetched);
    EXPECT_EQ(story.cycles, inFetch ? 6 : 7);
    EXPECT_TRUE(story.resolutions.empty());
    EXPECT_EQ(story.registers[2], 0);
    EXPECT_EQ(story.registers[3], 1);
  }
}

// Entries are the instruction's index modulo the table's size: with one
// entry two branches share it, and a label Fetch cannot follow (L0) is
// fetched past.
TEST(Predictor, EntriesAreTheIndexModuloTheTableSize) {
  const std::vector<std::string> program = {"beq $0, $0, L3", "addi $2, $0, 1", "bne $0, $0, L1",
                                            "beq $1, $1, L0", "addi $3, $0, 1"};
  const BranchStory shared = storyOf(program, {false, true, Predictor::OneBit, 1}, zeros());
  EXPECT_EQ(shared.predictions, (std::vector<std::string>{"1:E(0) 0=0", "3:E(2) 0=0"}));
  EXPECT_EQ(shared.resolutions, (std::vector<std::string>{"3:E(0) N/T 0>1", "5:E(2) N/N 1>0", "6:E(3) N/N 0>0"}));
  const BranchStory apart = storyOf(program, {false, true, Predictor::OneBit, 4}, zeros());
  EXPECT_EQ(apart.predictions, (std::vector<std::string>{"1:E(0) 0=0", "3:E(2) 2=0"}));
  EXPECT_EQ(apart.resolutions, (std::vector<std::string>{"3:E(0) N/T 0>1", "5:E(2) N/N 0>0", "6:E(3) N/N 0>0"}));
  EXPECT_EQ(apart.registers[3], 1);
}

}  // namespace
}  // namespace fivestage
