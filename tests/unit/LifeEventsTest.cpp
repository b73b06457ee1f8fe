// The lives of the instructions of small programs, as the core reports them
// on the four machines, against their timing worked out by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Core.h"
#include "tests/support/EventLog.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

std::string tag(InstructionTag instruction) {
  return "E(" + std::to_string(instruction.index) + ")#" + std::to_string(instruction.fetch);
}

// One line per event of an instruction's life, headed by its cycle:
// "4 s E(1)#2" for a cycle E(1), fetched second, waits in a stall.
class Lives final : public EventView<Lives> {
 public:
  void operator()(const CycleStarted& e) { cycle_ = e.cycle; }
  void operator()(const InstructionFetched& e) {
    add("F " + tag(e.instruction) +
        (e.heldCycles > 0 ? " after " + std::to_string(e.heldCycles) + " held by " + tag(*e.heldBy) : ""));
  }
  void operator()(const DecodeWaited& e) { add("w " + tag(e.instruction)); }
  void operator()(const InstructionStalled& e) { add("s " + tag(e.instruction)); }
  void operator()(const InstructionCancelled& e) { add("c " + tag(e.instruction)); }
  void operator()(const InstructionRetired& e) { add("W " + tag(e.instruction)); }
  void operator()(const RanBehindTakenBranch& e) { add(tag(e.behind) + " runs behind " + tag(e.branch)); }
  void operator()(const StallTriggered& e) { add("stall of " + tag(e.instruction)); }
  void operator()(const StallEnded& e) {
    add("stall of " + tag(e.stall.waiting) + " ended: written back " + std::to_string(e.stall.writtenBack.value_or(0)) +
        ", released " + std::to_string(e.stall.released.value_or(0)));
  }
  void operator()(const StallSettled& e) {
    add("stall of " + tag(e.stall.waiting) + " cost: held " + std::to_string(e.stall.fetchHeld) + ", end " +
        std::to_string(e.stall.endDelay));
  }
  void operator()(const FetchCyclesSettled& e) {
    add("idle " + std::to_string(e.nothingToFetch) + ", cancelled " + std::to_string(e.cancelled));
  }
  using Ignored = EventList<FetchIdle, StageEntered, HazardChecked, LoadUseChecked, RegisterReadStarted, RegistersRead,
                            EnergyCharged, ControlSignalsProduced, StallReleased, ExecuteSignalsPassed, OperandsForwarded,
                            AluInputSelected, AluComputed, ExecuteResultLatched, GateEvaluated, Mux3Selected,
                            PcMuxSelected, MemorySignalsPassed, MemoryAccessChosen, MemoryRead, MemoryWritten,
                            MemToRegSelected, RegisterWriteDecided, RegisterWritten, RunEnded, BranchPredicted,
                            BranchResolved, CycleEnded>;

  std::vector<std::string> lines;

 private:
  void add(const std::string& line) { lines.push_back(std::to_string(cycle_) + " " + line); }
  Cycle cycle_ = 0;
};

// Register $n holds 10 n.
std::vector<Word> tens() {
  std::vector<Word> registers;
  for (Word r = 0; r < 16; ++r) registers.push_back(10 * r);
  return registers;
}

constexpr MachineOptions plain{false, false}, forwarding{true, false}, flush{false, true}, both{true, true};

// Two dependent adds; the third instruction, when there is one, follows on
// after the stall.
const std::vector<std::string> dependentPair = {"add $3, $1, $2", "add $4, $3, $5"};
const std::vector<std::string> dependentPairThenMore = {"add $3, $1, $2", "add $4, $3, $5", "addi $6, $0, 1"};
// sw loads a word in this machine; add uses it right away.
const std::vector<std::string> loadUse = {"sw $3, 0($0)", "add $4, $3, $1", "addi $5, $0, 1"};
const std::vector<std::string> takenBranch = {"beq $1, $1, L3", "addi $5, $1, 1", "addi $6, $1, 2"};
// Each load waits for the word loaded right ahead of it.
const std::vector<std::string> loadAfterLoad = {"sw $1, 0($0)", "sw $2, 0($1)", "add $3, $2, $2", "addi $4, $0, 1",
                                                "addi $5, $0, 1"};
// beq waits for the word sw loads, then is taken.
const std::vector<std::string> loadThenBranch = {"sw $3, 0($0)", "beq $3, $3, L4", "addi $5, $0, 1", "addi $6, $0, 2"};
// Runs twice round: $1 is 10, then 5, then 0. Fetch finds the program's
// end in cycle 5, before bne leads it back.
const std::vector<std::string> loopTwice = {"addi $1, $1, -5", "addi $2, $0, 1", "addi $3, $0, 1", "bne $1, $0, L1"};

struct Life {
  const char* name;
  const std::vector<std::string>& program;
  std::vector<MachineOptions> machines;
  std::vector<std::string> events;
};

TEST(LifeEvents, TellEachInstructionsLifeAndWhatTheStallsCost) {
  const Life cases[] = {
      // Fetch stands still in cycles 3 and 4, with nothing left to fetch:
      // the stall costs the cycle the run ends later.
      {"a stall at the end drains",
       dependentPair,
       {plain, flush},
       {"1 F E(0)#1", "2 F E(1)#2", "3 stall of E(1)#2", "4 s E(1)#2", "5 W E(0)#1",
        "5 stall of E(1)#2 ended: written back 5, released 5", "7 W E(1)#2", "7 stall of E(1)#2 cost: held 0, end 1"}},
      {"forwarding, no stall", dependentPair, {forwarding, both}, {"1 F E(0)#1", "2 F E(1)#2", "5 W E(0)#1", "6 W E(1)#2"}},
      // The stall held Fetch in cycles 3 and 4: one is E(1)'s own wait,
      // the other E(2)'s wait to be fetched.
      {"a stall holds Fetch",
       dependentPairThenMore,
       {plain, flush},
       {"1 F E(0)#1", "2 F E(1)#2", "3 stall of E(1)#2", "4 s E(1)#2", "5 W E(0)#1",
        "5 stall of E(1)#2 ended: written back 5, released 5", "5 F E(2)#3 after 1 held by E(1)#2", "7 W E(1)#2",
        "9 W E(2)#3", "9 stall of E(1)#2 cost: held 2, end 0"}},
      // The instruction behind the waiting one is fetched in the stall's
      // cycle and waits to be decoded; nothing is fetched after the release.
      {"a load and its use",
       loadUse,
       {forwarding, both},
       {"1 F E(0)#1", "2 F E(1)#2", "3 stall of E(1)#2", "3 F E(2)#3", "4 s E(1)#2", "4 w E(2)#3", "5 W E(0)#1",
        "5 stall of E(1)#2 ended: written back 5, released 5", "7 W E(1)#2", "8 W E(2)#3",
        "8 stall of E(1)#2 cost: held 0, end 1"}},
      {"a taken branch without flush",
       takenBranch,
       {plain, forwarding},
       {"1 F E(0)#1", "2 F E(1)#2", "3 E(1)#2 runs behind E(0)#1", "3 F E(2)#3", "5 W E(0)#1", "6 W E(1)#2",
        "7 W E(2)#3"}},
      // The cancelled fetch's cycle is known lost once Fetch fetches again.
      {"a taken branch with flush",
       takenBranch,
       {flush, both},
       {"1 F E(0)#1", "2 F E(1)#2", "3 c E(1)#2", "3 F E(2)#3", "3 idle 0, cancelled 1", "5 W E(0)#1", "7 W E(2)#3"}},
      // E(2) waits in Decode's slot, then the branch it waited behind
      // cancels it; the stall's held cycle is known when E(3) is fetched.
      {"a branch that waits, then cancels what waited behind it",
       loadThenBranch,
       {both},
       {"1 F E(0)#1", "2 F E(1)#2", "3 stall of E(1)#2", "3 F E(2)#3", "4 s E(1)#2", "4 w E(2)#3", "5 W E(0)#1",
        "5 stall of E(1)#2 ended: written back 5, released 5", "5 c E(2)#3", "5 F E(3)#4", "5 idle 0, cancelled 1",
        "7 W E(1)#2", "9 W E(3)#4", "9 stall of E(1)#2 cost: held 1, end 0"}},
      // The second stall is found in the cycle the first is released: the
      // cycle the first held Fetch is its cost, not the next fetch's wait.
      {"two stalls back to back",
       loadAfterLoad,
       {forwarding, both},
       {"1 F E(0)#1", "2 F E(1)#2", "3 stall of E(1)#2", "3 F E(2)#3", "4 s E(1)#2", "4 w E(2)#3", "5 W E(0)#1",
        "5 stall of E(1)#2 ended: written back 5, released 5", "5 stall of E(2)#3",
        "5 stall of E(1)#2 cost: held 1, end 0", "5 F E(3)#4", "6 s E(2)#3", "6 w E(3)#4", "7 W E(1)#2",
        "7 stall of E(2)#3 ended: written back 7, released 7", "7 F E(4)#5", "9 W E(2)#3", "10 W E(3)#4",
        "11 W E(4)#5", "11 stall of E(2)#3 cost: held 1, end 0"}},
      {"a loop, with nothing to fetch before its branch",
       loopTwice,
       {plain, forwarding, flush, both},
       {"1 F E(0)#1", "2 F E(1)#2", "3 F E(2)#3", "4 F E(3)#4", "5 W E(0)#1", "6 W E(1)#2", "6 F E(0)#5", "7 W E(2)#3",
        "7 F E(1)#6", "7 idle 1, cancelled 0", "8 W E(3)#4", "8 F E(2)#7", "9 F E(3)#8", "10 W E(0)#5", "11 W E(1)#6",
        "12 W E(2)#7", "13 W E(3)#8"}},
  };
  testing::TempDir dir;
  dir.addEnergyTree();
  for (const Life& c : cases) {
    for (const MachineOptions machine : c.machines) {
      SCOPED_TRACE(std::string(c.name) + (machine.forwarding ? ", forwarding" : "") + (machine.flush ? ", flush" : ""));
      Lives lives;
      Core core(testing::machineOf(c.program, tens()), InputFolder(dir.path()), &lives, machine);
      EXPECT_EQ(simulate(core).state, RunEnd::Completed);
      EXPECT_EQ(lives.lines, c.events);
    }
  }
}

}  // namespace
}  // namespace fivestage
