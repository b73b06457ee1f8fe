// Whole runs of small programs whose timing is worked out by hand.
#include <gtest/gtest.h>

#include <sstream>

#include "core/Core.h"
#include "shell/Entry.h"
#include "tests/support/EventLog.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

// Register $n holds 10 n.
std::vector<Word> tens() {
  std::vector<Word> registers;
  for (Word r = 0; r < 16; ++r) registers.push_back(10 * r);
  return registers;
}

struct Timing {
  const char* name;
  std::vector<std::string> program;
  Cycle cycles;
  std::vector<Cycle> stallCycles;            // when each stall was triggered
  std::vector<RegisterNumber> blocked;       // on which register
  std::vector<InstructionIndex> fetchOrder;  // the instructions in the order they were fetched
};

TEST(Core, RunsKnownProgramsInTheirNumberOfCycles) {
  const Timing cases[] = {
      // Without stalls, n instructions take n + 4 cycles.
      {"one instruction", {"addi $3, $1, 5"}, 5, {}, {}, {0}},
      // The second reads $3 while the first is in Execute: stall in cycle 3,
      // released in cycle 5 when $3 has been written back.
      {"dependent pair", {"add $3, $1, $2", "add $4, $3, $5"}, 7, {3}, {3}, {0, 1}},
      {"chain of three", {"add $3, $1, $2", "add $4, $3, $1", "add $5, $4, $3"}, 10, {3, 6}, {3, 4}, {0, 1, 2}},
      // beq executes in cycle 3 and its target is fetched in the same cycle;
      // the instruction behind it is not cancelled.
      {"taken branch", {"beq $1, $1, L4", "addi $5, $1, 1", "addi $6, $1, 2", "add $7, $1, $3"}, 7, {}, {}, {0, 1, 3}},
      {"branch not taken",
       {"beq $1, $2, L4", "addi $5, $1, 1", "addi $6, $1, 2", "add $7, $1, $3"},
       8,
       {},
       {},
       {0, 1, 2, 3}},
  };
  testing::TempDir dir;
  dir.addEnergyTree();
  for (const Timing& c : cases) {
    testing::EventLog log;
    Core core(testing::machineOf(c.program, tens()), InputFolder(dir.path()), &log);
    Cycle cycle = 0;
    std::vector<Cycle> stallCycles;
    std::vector<RegisterNumber> blocked;
    std::vector<InstructionIndex> fetched;
    simulate(core);
    for (const Event& event : log.events) {
      if (const auto* started = std::get_if<CycleStarted>(&event)) cycle = started->cycle;
      if (const auto* stall = std::get_if<StallTriggered>(&event)) {
        stallCycles.push_back(cycle);
        blocked.push_back(onBus(stall->blockedRegister));
      }
      if (const auto* entered = std::get_if<StageEntered>(&event); entered && entered->stage == Stage::Fetch) {
        fetched.push_back(entered->instruction.index);
      }
    }
    EXPECT_EQ(core.state(), RunEnd::Completed) << c.name;
    EXPECT_EQ(core.cyclesRun(), c.cycles) << c.name;
    EXPECT_EQ(stallCycles, c.stallCycles) << c.name;
    EXPECT_EQ(blocked, c.blocked) << c.name;
    EXPECT_EQ(fetched, c.fetchOrder) << c.name;
  }
}

TEST(Core, AFailureEndsTheRunWithTheConsolesMessage) {
  testing::TempDir dir;
  dir.addEnergyTree();
  testing::EventLog log;
  Core core(testing::machineOf({"addi $1, $0, 1", "xor $3, $1, $2", "addi $2, $0, 2"}, tens()), InputFolder(dir.path()),
            &log);
  const RunOutcome& outcome = simulate(core);
  EXPECT_EQ(outcome.state, RunEnd::Failed);
  EXPECT_EQ(outcome.message, " File could not be loaded \n");
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_EQ(core.cyclesRun(), 3);  // xor is decoded in cycle 3
  const std::vector<RunEnded> ends = log.all<RunEnded>();
  ASSERT_EQ(ends.size(), 1U);
  EXPECT_EQ(ends.front().end, RunEnd::Failed);
  // A run that has ended stays ended.
  EXPECT_EQ(core.stepCycle(Key::Newline), RunEnd::Failed);
  EXPECT_EQ(core.cyclesRun(), 3);
}

TEST(Core, OnlyNewlinesAdvanceTheCycleNumberShown) {
  testing::TempDir dir;
  dir.addEnergyTree();
  Core core(testing::machineOf({"addi $3, $1, 5"}, tens()), InputFolder(dir.path()), nullptr);
  for (const Key key : {Key::Other, Key::Newline, Key::EndOfInput, Key::Newline}) core.stepCycle(key);
  EXPECT_EQ(core.cyclesRun(), 4);
  EXPECT_EQ(core.cycleCounter(), 2);
}

// Runs share nothing: the same console session twice in one process gives
// the same bytes, and a run that failed leaves nothing behind for the next.
TEST(Core, RunsBackToBackInOneProcessAreIdentical) {
  testing::TempDir dir;
  dir.addEnergyTree();
  dir.write("src.txt", "add $3, $1, $2\nsw $4, 1($3)\nadd $5, $4, $3\nbne $5, $0, L1\n");
  dir.write("reg.txt", "1\n2\n3\n4\n5\n6\n");
  dir.write("mem.txt", "1\n2\n3\n4\n5\n6\n7\n8\n9\n");
  testing::TempDir failing;
  failing.addEnergyTree();
  failing.write("src.txt", "add $3, $1, $2\nsw $4, 99($3)\n");
  failing.write("reg.txt", "1\n2\n3\n4\n5\n6\n");
  failing.write("mem.txt", "1\n");

  const auto session = [](const testing::TempDir& folder) {
    std::istringstream keys("1\n" + std::string(40, '\n'));
    std::ostringstream screen;
    const int status = runFivestage(keys, screen, InputFolder(folder.path()), 50);
    return std::make_pair(status, screen.str());
  };
  const auto first = session(dir);
  const auto failed = session(failing);
  const auto second = session(dir);
  EXPECT_EQ(first, second);
  EXPECT_EQ(failed.first, 1);
  EXPECT_EQ(first.first, 1);  // the loop never ends: the input runs out
}

// An observer is handed only the kinds of event it looks at, asked anew each
// cycle; the run itself is the same.
TEST(Core, HandsAnObserverOnlyTheEventsItLooksAt) {
  class FetchesAfterCycleTwo final : public RunObserver {
   public:
    void observe(const Event& event) override {
      if (const auto* started = std::get_if<CycleStarted>(&event)) cycle = started->cycle;
      if (const auto* entered = std::get_if<StageEntered>(&event)) stages.push_back(entered->stage);
      ++events;
    }
    EventKinds interests() const override {
      return cycle >= 2 ? eventKinds<CycleStarted, StageEntered>() : eventKinds<CycleStarted>();
    }
    Cycle cycle = 0;
    std::vector<Stage> stages;
    int events = 0;
  };
  testing::TempDir dir;
  dir.addEnergyTree();
  FetchesAfterCycleTwo observer;
  Core core(testing::machineOf({"addi $3, $1, 5"}), InputFolder(dir.path()), &observer);
  EXPECT_EQ(simulate(core).state, RunEnd::Completed);
  EXPECT_EQ(core.cyclesRun(), 5);
  // Cycle 1's Fetch goes unseen; Decode to Write-back are seen in cycles 2 to 5.
  EXPECT_EQ(observer.stages, (std::vector<Stage>{Stage::Decode, Stage::Execute, Stage::Memory, Stage::WriteBack}));
  EXPECT_EQ(observer.events, 5 + 4);
}

// The page adds its observers to a run after making it: they hear every
// event from the first cycle on.
TEST(Core, AnObserverThatJoinsBeforeTheFirstCycleHearsEveryEvent) {
  testing::TempDir dir;
  dir.addEnergyTree();
  RunObservers observers;
  Core core(testing::machineOf({"addi $3, $1, 5"}), InputFolder(dir.path()), &observers);
  testing::EventLog log;
  observers.add(log);
  EXPECT_EQ(simulate(core).state, RunEnd::Completed);
  EXPECT_EQ(log.all<CycleStarted>().size(), 5U);
  EXPECT_EQ(log.all<StageEntered>().size(), 5U);
}

// Beside an observer that looks at everything, one that looks only at
// retirements is handed those and each cycle's start, nothing else.
TEST(Core, EachOfSeveralObserversIsHandedOnlyWhatItLooksAt) {
  struct RetirementsOnly final : RunObserver {
    void observe(const Event& event) override { handed.push_back(event.index()); }
    EventKinds interests() const override { return eventKind<InstructionRetired>(); }
    std::vector<std::size_t> handed;
  };
  testing::TempDir dir;
  dir.addEnergyTree();
  RunObservers observers;
  Core core(testing::machineOf({"addi $3, $1, 5"}), InputFolder(dir.path()), &observers);
  testing::EventLog log;
  RetirementsOnly retirements;
  observers.add(log);
  observers.add(retirements);
  EXPECT_EQ(simulate(core).state, RunEnd::Completed);
  EXPECT_EQ(log.all<StageEntered>().size(), 5U);
  const std::size_t started = Event(CycleStarted{}).index();
  const std::size_t retired = Event(InstructionRetired{}).index();
  EXPECT_EQ(retirements.handed, (std::vector<std::size_t>{started, started, started, started, started, retired}));
}

}  // namespace
}  // namespace fivestage
