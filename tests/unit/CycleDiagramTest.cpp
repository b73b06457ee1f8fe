// The page's datapath diagram: what each stage holds in a cycle, and which
// paths the cycle's control signals lit, on small programs timed by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <string>

#include "core/Core.h"
#include "tests/support/EventLog.h"
#include "tests/support/TempDir.h"
#include "trace/LatestCycle.h"
#include "web/CycleDiagram.h"

namespace fivestage {
namespace {

using Json = nlohmann::ordered_json;

// Register $n holds 10 n; memory word n holds 100 + n.
std::vector<Word> tens() {
  std::vector<Word> registers;
  for (Word r = 0; r < 16; ++r) registers.push_back(10 * r);
  return registers;
}
std::vector<Word> hundreds() {
  std::vector<Word> memory;
  for (Word n = 0; n < 8; ++n) memory.push_back(100 + n);
  return memory;
}

// The diagram of `cycle` of a run of `program` on `machine`.
Json diagramOf(const std::vector<std::string>& program, MachineOptions machine, Cycle cycle) {
  testing::TempDir dir;
  dir.addEnergyTree();
  LatestCycle latest;
  Core core(testing::machineOf(program, tens(), hundreds()), InputFolder(dir.path()), &latest, machine);
  while (core.cyclesRun() < cycle && core.stepCycle(Key::Newline) == RunEnd::Running) {
  }
  return web::CycleDiagram(machine).json(latest.events());
}

// A stage as "E(1)" when it works on instruction 1, "stall E(1)" when a
// stall holds it there, "cancelled E(1)", or its state alone.
std::string summary(const Json& stage) {
  const std::string state = stage["state"];
  if (!stage.contains("instruction")) return state;
  const std::string instruction = "E(" + std::to_string(stage["instruction"]["index"].get<int>()) + ")";
  return state == "instruction" ? instruction : state + " " + instruction;
}

// The stages from Fetch to Write-back, as "E(0) | stall E(1) | bubble ...".
std::string summaries(const Json& diagram) {
  std::string text;
  for (const Stage stage : allStages) {
    text += (text.empty() ? "" : " | ") + summary(diagram["stages"][std::string(stageName(stage))]);
  }
  return text;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

bool lit(const Json& diagram, const std::string& path) {
  const Json& active = diagram["active"];
  return std::find(active.begin(), active.end(), path) != active.end();
}

struct Picture {
  const char* name;
  const std::vector<std::string>& program;
  MachineOptions machine;
  Cycle cycle;
  const char* stages;     // as summaries() tells them
  const char* litPaths;   // paths that must be lit, between blanks
  const char* darkPaths;  // and paths that must not
};

const std::vector<std::string> dependentPair{"add $3, $1, $2", "add $4, $3, $5"};
const std::vector<std::string> branch{"beq $1, $1, L4", "addi $5, $1, 1", "addi $6, $1, 2", "add $7, $1, $3"};
const std::vector<std::string> branchNotTaken{"beq $1, $2, L4", "addi $5, $1, 1", "addi $6, $1, 2", "add $7, $1, $3"};
// In this machine sw loads a word into a register and lw stores one.
const std::vector<std::string> loadStore{"sw $2, 1($0)", "lw $3, 3($0)"};
const std::vector<std::string> loadUse{"sw $3, 1($0)", "add $4, $3, $5"};
constexpr MachineOptions plain{};
constexpr MachineOptions forwarding{true, false};
constexpr MachineOptions flush{false, true};

TEST(CycleDiagram, ShowsWhatEachStageHoldsAndThePathsItsSignalsChose) {
  const Picture pictures[] = {
      // Decode finds $3 still to be written: Fetch and Decode are held, and
      // a bubble goes down the pipeline behind the producer.
      {"stall found", dependentPair, plain, 3, "stall | stall E(1) | E(0) | bubble | bubble",
       "hazard stall operand-a operand-b alusrc-register alu", "fetch pc-plus-one"},
      {"stall held", dependentPair, plain, 4, "stall | stall E(1) | bubble | E(0) | bubble", "stall alu-out",
       "hazard alu memory-address"},
      {"stall released", dependentPair, plain, 5, "bubble | bubble | E(1) | bubble | E(0)",
       "writeback-alu register-write alu", "stall writeback-loaded"},
      // A branch taken in Execute is fetched from in the same cycle.
      {"branch taken", branch, plain, 3, "E(3) | E(1) | E(0) | bubble | bubble",
       "branch new-pc fetch read-rs immediate", "pc-plus-one label"},
      {"branch not taken", branchNotTaken, plain, 3, "E(2) | E(1) | E(0) | bubble | bubble", "branch fetch pc-plus-one",
       "new-pc"},
      {"branch taken, flushed", branch, flush, 3, "E(3) | cancelled E(1) | E(0) | bubble | bubble", "new-pc",
       "pc-plus-one control"},
      {"load executes", loadStore, plain, 3, "bubble | E(1) | E(0) | bubble | bubble",
       "alusrc-immediate operand-a read-rs read-rt immediate", "alusrc-register operand-b store-data branch"},
      {"store executes, load reads", loadStore, plain, 4, "bubble | bubble | E(1) | E(0) | bubble",
       "alusrc-immediate operand-b store-data memory-address memory-read alu-out", "alusrc-register memory-write"},
      {"store writes, load written back", loadStore, plain, 5, "bubble | bubble | bubble | E(1) | E(0)",
       "memory-address memory-write writeback-loaded register-write", "memory-read writeback-alu"},
      {"store leaves", loadStore, plain, 6, "bubble | bubble | bubble | bubble | E(1)", "", "register-write"},
      {"forwarded from Memory", dependentPair, forwarding, 4, "bubble | bubble | E(1) | E(0) | bubble",
       "forward-a forward-mem operand-b", "operand-a forward-b forward-wb stall"},
      // With forwarding only a loaded word makes the next instruction wait,
      // and Fetch is held from the cycle after.
      {"load-use found", loadUse, forwarding, 3, "bubble | stall E(1) | E(0) | bubble | bubble", "hazard stall",
       "fetch"},
      {"load-use held", loadUse, forwarding, 4, "stall | stall E(1) | bubble | E(0) | bubble", "stall memory-read",
       "alu"},
      {"forwarded from Write-back", loadUse, forwarding, 5, "bubble | bubble | E(1) | bubble | E(0)",
       "forward-a forward-wb operand-b writeback-loaded", "operand-a forward-mem stall"},
  };
  for (const Picture& picture : pictures) {
    const Json diagram = diagramOf(picture.program, picture.machine, picture.cycle);
    EXPECT_EQ(diagram["cycle"], picture.cycle) << picture.name;
    EXPECT_EQ(summaries(diagram), picture.stages) << picture.name;
    for (const std::string& path : words(picture.litPaths))
      EXPECT_TRUE(lit(diagram, path)) << picture.name << ": " << path;
    for (const std::string& path : words(picture.darkPaths))
      EXPECT_FALSE(lit(diagram, path)) << picture.name << ": " << path;
  }
}

TEST(CycleDiagram, TellsWhatAStalledInstructionWaitsForUntilItReadsAgain) {
  for (const Cycle cycle : {3, 4}) {
    const Json decode = diagramOf(dependentPair, plain, cycle)["stages"]["Decode"];
    EXPECT_EQ(decode["instruction"]["text"], "add $4, $3, $5") << cycle;
    EXPECT_EQ(decode["blockedRegister"], 3) << cycle;
    EXPECT_EQ(decode["waitsFor"], 0) << cycle;
  }
  // Released, it reads the value E(0) has just written back, and adds it.
  const Json execute = diagramOf(dependentPair, plain, 5)["stages"]["Execute"];
  EXPECT_EQ(execute["released"]["a"], 30);
  EXPECT_EQ(execute["alu"]["input1"], 30);
  EXPECT_EQ(execute["alu"]["result"], 80);
}

TEST(CycleDiagram, NamesWhereAForwardedValueCameFrom) {
  const Json forwarded = diagramOf(loadUse, forwarding, 5)["stages"]["Execute"]["forwarded"];
  EXPECT_EQ(forwarded["a"], Json({{"number", 3}, {"value", 101}, {"from", 0}, {"stage", "WriteBack"}}));
  EXPECT_EQ(forwarded["b"], nullptr);
}

}  // namespace
}  // namespace fivestage
