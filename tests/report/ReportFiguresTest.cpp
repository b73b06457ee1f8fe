// Figures of small runs worked out by hand. The shared test energy figures:
// Fetch 5, Decode add 3 / addi 4 / beq 7 / sw 13 / lw 10, Execute 20, Mem 30,
// WriteBack 40.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>
#include <sstream>

#include "record/Figures.h"
#include "report/JsonReport.h"
#include "record/ReportRun.h"
#include "report/TextReport.h"
#include "tests/support/TempDir.h"

namespace fivestage::report {
namespace {

// Register $n holds 10 n; word n holds 100 + n.
class ReportFigures : public ::testing::Test {
 protected:
  ReportFigures() {
    dir.addEnergyTree();
    std::string registers, memory;
    for (int i = 0; i < 16; ++i) registers += std::to_string(10 * i) + "\n";
    for (int i = 0; i < 8; ++i) memory += std::to_string(100 + i) + "\n";
    dir.write("reg.txt", registers);
    dir.write("mem.txt", memory);
  }

  ReportData run(const std::string& program, RunOptions options = {}) {
    dir.write("src.txt", program);
    return runReport(InputFolder(dir.path()), options, nullptr, nullptr);
  }

  testing::TempDir dir;
};

std::vector<std::pair<Cycle, std::string>> chartOf(const RunRecord& record) {
  std::vector<std::pair<Cycle, std::string>> rows;
  for (const ChartRow& row : record.chart) rows.emplace_back(row.firstCycle, row.cells);
  return rows;
}

TEST_F(ReportFigures, DependentPairStallsOnceAndLosesOneCycle) {
  const RunRecord record = run("add $3, $1, $2\nadd $4, $3, $5\n").record;
  EXPECT_EQ(record.end, RunEnd::Completed);
  EXPECT_EQ(record.cycles, 7);
  EXPECT_EQ(record.fetched, 2);
  EXPECT_EQ(record.completed, 2);
  EXPECT_EQ(cyclesPerInstruction(record), 3.5);
  ASSERT_EQ(record.stalls.size(), 1U);
  const StallRecord& stall = record.stalls.front();
  EXPECT_EQ(stall.cycle, 3);
  EXPECT_EQ(stall.waiting.index, 1);
  EXPECT_EQ(stall.blockedRegister, 3);
  ASSERT_TRUE(stall.waitsFor.has_value());
  EXPECT_EQ(stall.waitsFor->index, 0);
  // Hazard in cycle 3, released in cycle 5: with nothing left to fetch
  // behind it, the run ends one cycle later than without the stall.
  EXPECT_EQ(stall.cyclesLost(), 1);
  EXPECT_EQ(record.cyclesLost, 1);
  EXPECT_EQ(chartOf(record), (std::vector<std::pair<Cycle, std::string>>{{1, "FDXMW"}, {2, "FDsXMW"}}));
  // Two fetches (5), two add decodes (3), two executions (20), two writes (40).
  EXPECT_EQ(record.energyByStage, (StageEnergy{10, 6, 40, 0, 80}));
  EXPECT_EQ(record.energyTotal(), 136);
  // $3 = 10 + 20 is what it held already; $4 = 30 + 50.
  ASSERT_EQ(record.registerChanges.size(), 1U);
  EXPECT_EQ(record.registerChanges.front().location, 4);
  EXPECT_EQ(record.registerChanges.front().final, 80);
}

TEST_F(ReportFigures, ChainOfThreeStallsTwiceEachOnItsPredecessor) {
  const RunRecord record = run("add $3, $1, $2\nadd $4, $3, $1\nadd $5, $4, $3\n").record;
  EXPECT_EQ(record.cycles, 10);
  ASSERT_EQ(record.stalls.size(), 2U);
  EXPECT_EQ(record.stalls[0].cycle, 3);
  EXPECT_EQ(record.stalls[0].blockedRegister, 3);
  EXPECT_EQ(record.stalls[0].waitsFor->index, 0);
  EXPECT_EQ(record.stalls[1].cycle, 6);
  EXPECT_EQ(record.stalls[1].blockedRegister, 4);
  EXPECT_EQ(record.stalls[1].waitsFor->index, 1);
  // The first stall holds Fetch for two cycles, the last costs its own wait.
  EXPECT_EQ(record.cyclesLost, 3);
  EXPECT_EQ(chartOf(record), (std::vector<std::pair<Cycle, std::string>>{{1, "FDXMW"}, {2, "FDsXMW"}, {4, "fFDsXMW"}}));
}

// Where the cycles of a run went, for the ways a stall can cost a run. The
// figures were worked out by hand, cycle by cycle, from the machine's rules:
// a stall costs the cycles Fetch stands still with an instruction to fetch,
// or, for the last instruction fetched, the cycles the run ends later.
TEST_F(ReportFigures, CyclesAddUpToInstructionsFillStallsAndIdleFetch) {
  struct Stall {
    Cycle cycle;
    InstructionIndex waiting;
    Cycle writtenBack, released, lost;
    bool operator==(const Stall&) const = default;
  };
  struct Case {
    const char* name;
    const char* program;
    Cycle cycles;
    std::int64_t instructions;
    Cycle nothingToFetch;
    std::vector<Stall> stalls;
    std::vector<std::pair<Cycle, std::string>> chart;
  };
  const Case cases[] = {
      {"the last instruction waits: nothing behind it to hold up",
       "addi $7, $1, 5\nadd $2, $3, $4\nor $8, $7, $0\n",
       8,
       3,
       0,
       {{4, 2, 5, 6, 1}},
       {{1, "FDXMW"}, {2, "FDXMW"}, {3, "FDsXMW"}}},
      {"a branch that waits, then leads past the end",
       "addi $1, $0, 1\nbeq $1, $1, L4\naddi $5, $0, 9\n",
       7,
       2,
       0,
       {{3, 1, 5, 5, 1}},
       {{1, "FDXMW"}, {2, "FDsXMW"}}},
      {"a branch that waits, then leads on: Fetch held two cycles",
       "addi $1, $0, 1\nbeq $1, $1, L4\naddi $5, $0, 9\naddi $6, $0, 7\n",
       9,
       3,
       0,
       {{3, 1, 5, 5, 2}},
       {{1, "FDXMW"}, {2, "FDsXMW"}, {4, "fFDXMW"}}},
      // The last line branches back: while it is decoded there is nothing to fetch.
      {"a last-line branch that waits and leads back",
       "addi $1, $0, 2\naddi $2, $2, 1\nbne $2, $1, L2\n",
       12,
       5,
       1,
       {{4, 2, 6, 6, 1}, {8, 2, 10, 10, 1}},
       {{1, "FDXMW"}, {2, "FDXMW"}, {3, "FDsXMW"}, {6, "FDXMW"}, {7, "FDsXMW"}}},
  };
  for (const Case& c : cases) {
    dir.write("reg.txt", "0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n");
    const RunRecord record = run(c.program).record;
    ASSERT_EQ(record.end, RunEnd::Completed) << c.name;
    EXPECT_EQ(record.cycles, c.cycles) << c.name;
    std::vector<Stall> stalls;
    for (const StallRecord& stall : record.stalls) {
      stalls.push_back({stall.cycle, stall.waiting.index, stall.writtenBack.value_or(0), stall.released.value_or(0),
                        stall.cyclesLost()});
    }
    EXPECT_EQ(stalls, c.stalls) << c.name;
    EXPECT_EQ(chartOf(record), c.chart) << c.name;
    const std::optional<CycleBreakdown> breakdown = cycleBreakdown(record);
    ASSERT_TRUE(breakdown) << c.name;
    EXPECT_EQ(breakdown->instructions, c.instructions) << c.name;
    EXPECT_EQ(breakdown->nothingToFetch, c.nothingToFetch) << c.name;
    EXPECT_EQ(breakdown->instructions + breakdown->fill + breakdown->stalls + breakdown->nothingToFetch, record.cycles)
        << c.name;
  }
}

// With forwarding the instruction fetched in a stall's cycle waits in
// Decode's slot; when the branch that waited is taken, flush cancels it in
// the cycle after its wait, and the chart shows both.
TEST_F(ReportFigures, AnInstructionCancelledAfterItsWaitShowsTheWaitThenTheCancel) {
  RunOptions options;
  options.machine = {true, true};
  const RunRecord record = run("sw $3, 0($0)\nbeq $3, $3, L4\naddi $5, $0, 1\naddi $6, $0, 2\n", options).record;
  EXPECT_EQ(chartOf(record),
            (std::vector<std::pair<Cycle, std::string>>{{1, "FDXMW"}, {2, "FDsXMW"}, {3, "Fwc"}, {5, "FDXMW"}}));
  const std::optional<CycleBreakdown> breakdown = cycleBreakdown(record);
  ASSERT_TRUE(breakdown);
  EXPECT_EQ(breakdown->cancelled, 1);
  EXPECT_EQ(breakdown->stalls, 1);
  EXPECT_EQ(record.cycles, 9);
}

// With forwarding a load that waits for the word loaded right ahead of it
// holds up the use of its own word too: the second stall is found in the
// cycle the first is released. Each costs the one cycle it holds Fetch.
TEST_F(ReportFigures, TwoStallsBackToBackEachCostTheCycleTheyHoldFetch) {
  dir.write("mem.txt", "1\n2\n0\n0\n");
  RunOptions options;
  options.machine = {true, false};
  const RunRecord record =
      run("sw $1, 0($0)\nsw $2, 0($1)\nadd $3, $2, $2\naddi $4, $0, 1\naddi $5, $0, 1\n", options).record;
  EXPECT_EQ(chartOf(record), (std::vector<std::pair<Cycle, std::string>>{
                                 {1, "FDXMW"}, {2, "FDsXMW"}, {3, "FwDsXMW"}, {5, "FwDXMW"}, {7, "FDXMW"}}));
  ASSERT_EQ(record.stalls.size(), 2U);
  EXPECT_EQ(record.stalls[0].cyclesLost(), 1);
  EXPECT_EQ(record.stalls[1].cyclesLost(), 1);
  const std::optional<CycleBreakdown> breakdown = cycleBreakdown(record);
  ASSERT_TRUE(breakdown);
  EXPECT_EQ(breakdown->instructions + breakdown->fill + breakdown->stalls, record.cycles);
  EXPECT_EQ(record.cycles, 11);
}

// The cycles of hand-worked programs on each of the four machines, and where
// they went: forwarding saves stalls, flush cancels what runs behind a taken
// branch, and the breakdown adds up on all four.
TEST_F(ReportFigures, EachMachineTakesTheCyclesWorkedOutByHand) {
  const std::string loop = testing::readFile(std::filesystem::path(FIVESTAGE_SOURCE_DIR) / "examples/loop/src.txt");
  struct Case {
    const char* name;
    std::string program;
    std::array<Cycle, 4> cycles;  // plain, forwarding, flush, both
    std::array<std::int64_t, 4> cancelled;
  };
  const Case cases[] = {
      {"a dependent pair", "add $3, $1, $2\nadd $4, $3, $5\n", {7, 6, 7, 6}, {0, 0, 0, 0}},
      // Forwarding still waits a cycle for the loaded word, and Fetch goes on.
      {"a load and its use", "sw $4, 2($0)\nadd $5, $4, $4\naddi $6, $0, 1\n", {9, 8, 9, 8}, {0, 0, 0, 0}},
      {"a taken branch with an instruction behind it",
       "beq $1, $1, L4\naddi $5, $1, 1\naddi $6, $1, 2\nadd $7, $1, $3\n",
       {7, 7, 7, 7},
       {0, 0, 1, 1}},
      // Five turns: a stall on the loaded word each turn without forwarding,
      // the store behind the branch cancelled in four of them with flush.
      {"the loop example", loop, {47, 37, 47, 37}, {0, 0, 4, 4}},
  };
  const MachineOptions machines[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const Case& c : cases) {
    dir.write("reg.txt", "0\n0\n0\n0\n0\n0\n0\n0\n");
    dir.write("mem.txt", "3\n1\n4\n1\n5\n9\n2\n6\n0\n0\n");
    for (std::size_t m = 0; m < 4; ++m) {
      RunOptions options;
      options.machine = machines[m];
      const std::string name = std::string(c.name) + " on " + machineName(machines[m]);
      const ReportData data = run(c.program, options);
      const RunRecord& record = data.record;
      ASSERT_EQ(record.end, RunEnd::Completed) << name;
      EXPECT_EQ(record.cycles, c.cycles[m]) << name;
      EXPECT_EQ(record.cancelled, c.cancelled[m]) << name;
      EXPECT_EQ(record.fetched, record.completed + record.cancelled) << name;
      const std::optional<CycleBreakdown> breakdown = cycleBreakdown(record);
      ASSERT_TRUE(breakdown) << name;
      EXPECT_EQ(breakdown->instructions + breakdown->cancelled + breakdown->fill + breakdown->stalls +
                    breakdown->nothingToFetch,
                record.cycles)
          << name;
    }
  }
}

// The final state against the program's meaning, on the machine that runs
// the instruction behind a taken branch and on the one that cancels it.
TEST_F(ReportFigures, TheResultIsComparedWithWhatTheProgramMeans) {
  const std::string program = "beq $0, $0, L3\naddi $1, $1, 1\naddi $2, $2, 1\n";
  const ReportData plain = run(program);
  ASSERT_TRUE(plain.meaning);
  EXPECT_FALSE(plain.meaning->matches);
  ASSERT_EQ(plain.meaning->registers.size(), 1U);  // $1 = 10 + 1 ran behind the beq
  EXPECT_EQ(plain.meaning->registers[0].location, 1);
  EXPECT_EQ(plain.meaning->registers[0].machine, 11);
  EXPECT_EQ(plain.meaning->registers[0].meant, 10);
  EXPECT_EQ(meaningText(*plain.meaning),
            "not what the program means: an instruction ran behind a taken branch: this machine does not cancel it");

  RunOptions flush;
  flush.machine.flush = true;
  const ReportData flushed = run(program, flush);
  EXPECT_TRUE(flushed.meaning->matches);
  EXPECT_EQ(meaningText(*flushed.meaning), "what the program means");

  // A program that cannot run to its end means nothing to compare with.
  const ReportData failed = run("add $3, $1, $2\nxor $4, $1, $2\n");
  EXPECT_FALSE(failed.meaning->matches);
  ASSERT_EQ(failed.meaning->causes.size(), 2U);
  EXPECT_EQ(failed.meaning->causes[1], "the run ended early");
}

// Every total against the list it sums up, for a loop long enough that its
// details cover only part of the run: the groups cover the whole run.
TEST_F(ReportFigures, EachCountAgreesWithTheListItSummarises) {
  // Each turn: a load, a stall on it, and an instruction run behind the branch.
  const std::string loop =
      "addi $1, $0, 40\naddi $3, $0, 0\naddi $5, $0, 0\naddi $1, $1, -1\nsw $4, 0($0)\nadd $2, $2, $4\n"
      "bne $1, $0, L4\naddi $3, $3, 1\n";
  for (const CycleWindow window : {CycleWindow{1, 1000}, CycleWindow{30, 60}}) {
    RunOptions options;
    options.window = window;
    const ReportData data = run(loop, options);
    const RunRecord& record = data.record;
    const std::string name = "window " + std::to_string(window.from) + " to " + std::to_string(window.to);
    ASSERT_EQ(record.end, RunEnd::Completed) << name;
    std::int64_t stalls = 0, behind = 0;
    Cycle lost = 0;
    for (const StallGroup& group : record.stallGroups) {
      stalls += group.count;
      lost += group.cyclesLost;
    }
    for (const BehindTakenGroup& group : record.behindTakenGroups) behind += group.count;
    EXPECT_EQ(stalls, record.stallCount) << name;
    EXPECT_EQ(lost, record.cyclesLost) << name;
    EXPECT_EQ(behind, record.behindTakenCount) << name;
    EXPECT_EQ(record.stallCount, 40) << name;
    EXPECT_EQ(record.behindTakenCount, 39) << name;  // the last turn's branch falls through
    // The window's own lists hold exactly the entries of its cycles.
    Cycle windowLost = 0;
    for (const StallRecord& stall : record.stalls) {
      EXPECT_TRUE(window.contains(stall.cycle)) << name;
      windowLost += stall.cyclesLost();
    }
    for (const BehindTakenBranch& entry : record.behindTaken) EXPECT_TRUE(window.contains(entry.cycle)) << name;
    if (window.from == 1) {
      EXPECT_EQ(static_cast<std::int64_t>(record.stalls.size()), record.stallCount) << name;
      EXPECT_EQ(static_cast<std::int64_t>(record.behindTaken.size()), record.behindTakenCount) << name;
      EXPECT_EQ(windowLost, record.cyclesLost) << name;
      // The chart shows every lost cycle as a cell: s waiting, f held at Fetch.
      std::int64_t cells = 0;
      for (const ChartRow& row : record.chart) {
        cells +=
            std::count_if(row.cells.begin(), row.cells.end(), [](char cell) { return cell == 's' || cell == 'f'; });
      }
      EXPECT_EQ(cells, record.cyclesLost) << name;
    }
    const std::optional<CycleBreakdown> breakdown = cycleBreakdown(record);
    ASSERT_TRUE(breakdown) << name;
    EXPECT_EQ(breakdown->instructions + breakdown->fill + breakdown->stalls + breakdown->nothingToFetch, record.cycles);
  }
}

// CPI is cycles per completed instruction. With flush the instruction behind
// the taken beq is fetched but cancelled: beq (cycles 1 to 5) and the addi it
// leads to (fetched in cycle 3, written back in cycle 7) complete, so 7 cycles
// for 2 instructions, not for the 3 fetched. Without flush the addi behind the
// beq runs too (cycles 2 to 6), in the same 7 cycles.
TEST_F(ReportFigures, CpiCountsCompletedInstructionsNotFetchedOnes) {
  const struct {
    MachineOptions machine;
    std::int64_t fetched, completed;
    std::string cpi;
  } cases[] = {{{false, true}, 3, 2, "3.50"}, {{false, false}, 3, 3, "2.33"}};
  for (const auto& c : cases) {
    RunOptions options;
    options.machine = c.machine;
    const ReportData data = run("beq $0, $0, L3\naddi $5, $0, 1\naddi $6, $0, 2\n", options);
    const std::string name = machineName(c.machine);
    EXPECT_EQ(data.record.cycles, 7) << name;
    EXPECT_EQ(data.record.fetched, c.fetched) << name;
    EXPECT_EQ(data.record.completed, c.completed) << name;
    ASSERT_TRUE(cyclesPerInstruction(data.record)) << name;
    EXPECT_EQ(twoDecimals(*cyclesPerInstruction(data.record)), c.cpi) << name;
    std::ostringstream text;
    writeTextReport(text, data, {100000, false});
    EXPECT_NE(text.str().find(c.cpi + " cycles per completed instruction"), std::string::npos) << text.str();
  }
}

// A stall group: who waits, for which register, from which producer, how often.
struct Group {
  InstructionIndex waiting;
  std::int32_t reg;
  InstructionIndex producer;
  std::int64_t count;
  bool operator==(const Group&) const = default;
};

void PrintTo(const Group& group, std::ostream* out) {
  *out << "E(" << group.waiting << ") waits for $" << group.reg << " from E(" << group.producer << "), "
       << group.count << " times";
}

// Stalls are grouped by the waiting instruction, the register and the
// producer all three. Here E(1) add runs twice: first right behind E(0), whose
// loaded $1 it waits for; then after the jump, behind the instruction that
// ran behind the jump (no flush), or behind E(0) again.
TEST_F(ReportFigures, StallsAreGroupedByInstructionRegisterAndProducer) {
  dir.write("reg.txt", "0\n0\n0\n0\n0\n0\n0\n0\n");  // $5 = 0: the second pass leaves at the bne
  const std::string firstPass = "sw $1, 0($0)\nadd $3, $1, $2\nbne $5, $0, L7\naddi $5, $0, 1\n";
  const struct {
    const char* name;
    std::string secondPass;
    std::vector<Group> groups;
  } cases[] = {
      {"two registers from two producers", "j L2\nsw $2, 1($0)\n", {{1, 1, 0, 1}, {1, 2, 5, 1}}},
      {"one register from two producers", "j L2\nsw $1, 1($0)\n", {{1, 1, 0, 1}, {1, 1, 5, 1}}},
      {"one register from one producer", "j L1\naddi $6, $0, 0\n", {{1, 1, 0, 2}}},
  };
  for (const auto& c : cases) {
    for (const MachineOptions machine : {MachineOptions{false, false}, MachineOptions{true, false}}) {
      RunOptions options;
      options.machine = machine;
      const RunRecord record = run(firstPass + c.secondPass, options).record;
      const std::string name = std::string(c.name) + " on " + machineName(machine);
      ASSERT_EQ(record.end, RunEnd::Completed) << name;
      std::vector<Group> groups;
      for (const StallGroup& group : record.stallGroups) {
        groups.push_back({group.first.waiting.index, onBus(group.first.blockedRegister),
                          group.first.waitsFor.value().index, group.count});
      }
      EXPECT_EQ(groups, c.groups) << name;
    }
  }
}

// The registers and words at the edges of the machine: the last register and
// word can be used, the next ones end the run.
TEST_F(ReportFigures, TheLastRegisterAndWordAreUsableTheNextOnesAreNot) {
  // reg.txt has 16 registers, mem.txt 8 words; lw stores a register.
  const RunRecord last = run("addi $15, $0, 3\nlw $15, 7($0)\n").record;
  EXPECT_EQ(last.end, RunEnd::Completed);
  ASSERT_EQ(last.memoryChanges.size(), 1U);
  EXPECT_EQ(last.memoryChanges[0].location, 7);
  EXPECT_EQ(last.memoryChanges[0].final, 3);
  ASSERT_EQ(last.finalRegisters.size(), 16U);
  EXPECT_EQ(last.finalRegisters[15], 3);

  EXPECT_EQ(run("lw $1, 8($0)\n").record.message, " Memory word 8 does not exist: data memory size is 8 \n");
  EXPECT_EQ(run("addi $16, $0, 3\n").record.message, " Register $16 does not exist: register file size is 16 \n");
}

// The views name an instruction by its code, without a trailing comment,
// wherever the JSON names it too; the console trace keeps the source line
// byte for byte.
TEST_F(ReportFigures, ViewsDropATrailingCommentTheTraceKeepsIt) {
  dir.write("src.txt", "addi $1, $0, 5   # one\t\naddi $2, $1, 1#two\n");
  std::ostringstream trace;
  const ReportData data = runReport(InputFolder(dir.path()), {}, &trace, nullptr);
  EXPECT_EQ(instructionText(*data.program, 0), "E(0) addi $1, $0, 5");
  std::vector<std::string> lines;
  for (const LineEnergy& line : energyByLine(*data.program, data.record)) lines.push_back(line.text);
  EXPECT_EQ(lines, (std::vector<std::string>{"addi $1, $0, 5", "addi $2, $1, 1"}));
  EXPECT_EQ(stallGroupText(*data.program, data.record.stallGroups.at(0)),
            "cycle 3: E(1) addi $2, $1, 1 waits for $1 from E(0) addi $1, $0, 5 (1 lost)");
  std::ostringstream text;
  writeTextReport(text, data, {100000, false});
  EXPECT_NE(text.str().find("  E(1)  L2   addi $2, $1, 1"), std::string::npos) << text.str();
  EXPECT_EQ(text.str().find('#'), std::string::npos) << text.str();
  const nlohmann::ordered_json json = jsonReport(data, 100000);
  EXPECT_EQ(json["stalls"][0]["waitsFor"]["text"], "addi $1, $0, 5");
  EXPECT_EQ(json["stallGroups"][0]["first"]["instruction"]["text"], "addi $2, $1, 1");
  EXPECT_EQ(json["chart"][0]["instruction"]["text"], "addi $1, $0, 5");
  EXPECT_EQ(json["energy"]["byLine"][0]["text"], "addi $1, $0, 5");
  EXPECT_EQ(json.dump().find('#'), std::string::npos) << json.dump(2);
  EXPECT_NE(trace.str().find("F.Ir = addi $1, $0, 5   # one\t\n"), std::string::npos);
  EXPECT_NE(trace.str().find("F.Ir = addi $2, $1, 1#two\n"), std::string::npos);
}

TEST_F(ReportFigures, TakenBranchShowsTheInstructionBehindIt) {
  const RunRecord record = run("beq $1, $1, L4\naddi $5, $1, 1\naddi $6, $1, 2\nadd $7, $1, $3\n").record;
  EXPECT_EQ(record.taken, 1);
  EXPECT_EQ(record.notTaken, 0);
  ASSERT_EQ(record.behindTaken.size(), 1U);
  EXPECT_EQ(record.behindTaken[0].cycle, 3);
  EXPECT_EQ(record.behindTaken[0].branch.index, 0);
  EXPECT_EQ(record.behindTaken[0].behind.index, 1);  // addi $5 ran, addi $6 was skipped
  EXPECT_EQ(record.fetched, 3);
  EXPECT_EQ(record.byInstruction[2].fetched, 0);
}

TEST_F(ReportFigures, EnergyBelongsToTheInstructionEachStageWorkedOn) {
  // sw loads a word in this machine: Fetch 5, Decode 13, Execute 20, Mem 30, WriteBack 40.
  const ReportData data = run("sw $3, 2($0)\naddi $4, $0, 1\nbeq $0, $1, L1\n");
  const RunRecord& record = data.record;
  EXPECT_EQ(record.energyByStage, (StageEnergy{15, 24, 60, 30, 80}));
  std::vector<std::pair<std::string, std::int64_t>> opcodes;
  for (const OpcodeEnergy& opcode : energyByOpcode(*data.program, data.record))
    opcodes.emplace_back(opcode.opcode, opcode.energy);
  EXPECT_EQ(opcodes, (std::vector<std::pair<std::string, std::int64_t>>{{"sw", 108}, {"addi", 69}, {"beq", 32}}));
  const std::vector<LineEnergy> lines = energyByLine(*data.program, data.record);
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[0].line, 1U);
  EXPECT_EQ(lines[2].text, "beq $0, $1, L1");
  EXPECT_EQ(record.notTaken, 1);
  EXPECT_EQ(record.memoryChanges.size(), 0U);
  EXPECT_EQ(record.registerChanges.front().location, 3);
  EXPECT_EQ(record.registerChanges.front().final, 102);
}

// The console rounds its total to six digits; the report's figures are exact.
TEST_F(ReportFigures, EnergyIsExactWhereTheConsoleRounds) {
  dir.write("EnergyConsumptionInput/Fetch/energy.txt", "1234567\n");
  const RunRecord record = run("addi $1, $1, 1\n").record;
  EXPECT_EQ(record.energyByStage[0], 1234567);
  EXPECT_EQ(record.energyTotal(), 1234567 + 4 + 20 + 40);
}

// The delay products are whole numbers shown to the last digit: a long run's
// energy-delay^2 is beyond 64 bits and beyond what a double holds exactly.
TEST(DelayProducts, AreExactWholeNumbersHoweverLargeOrNegative) {
  struct Case {
    const char* name;
    std::int64_t energy;
    Cycle cycles;
    const char* delay;
    const char* delaySquared;
  };
  const Case cases[] = {
      {"the basic report", 3505, 17, "59585", "1012945"},
      {"a million cycles", 41'200'000, 1'000'004, "41200164800000", "41200329600659200000"},
      {"no energy", 0, 12, "0", "0"},
      {"no cycles", 7, 0, "0", "0"},
      {"the largest energy", std::numeric_limits<std::int64_t>::max(), 3'037'000'500,
       "28011385487613972553246903500", "85070591731576378451197122552951750000"},
      {"the lowest energy", std::numeric_limits<std::int64_t>::min(), 2, "-18446744073709551616",
       "-36893488147419103232"},
  };
  for (const Case& c : cases) {
    RunRecord record;
    record.energyByStage[0] = c.energy;
    record.cycles = c.cycles;
    EXPECT_EQ(energyDelayText(record), c.delay) << c.name;
    EXPECT_EQ(energyDelaySquaredText(record), c.delaySquared) << c.name;
  }
}

TEST_F(ReportFigures, ARunEndingOnAnErrorIsReportedUpToThatPoint) {
  const RunRecord record = run("add $3, $1, $2\nxor $4, $1, $2\n").record;
  EXPECT_EQ(record.end, RunEnd::Failed);
  EXPECT_EQ(record.message, " File could not be loaded \n");
  EXPECT_EQ(exitStatusOf(record), 1);
  EXPECT_EQ(record.cycles, 3);
  EXPECT_EQ(record.completed, 0);
  EXPECT_EQ(chartOf(record), (std::vector<std::pair<Cycle, std::string>>{{1, "FDX"}, {2, "FD"}}));
  EXPECT_EQ(statusText(record, 100000), "File could not be loaded");
}

TEST_F(ReportFigures, ARunThatNeverEndsIsStoppedAtTheLimit) {
  RunOptions options;
  options.maxCycles = 50;
  const RunRecord record = run("addi $1, $1, 1\nj L1\n", options).record;
  EXPECT_EQ(record.end, RunEnd::Stopped);
  EXPECT_EQ(record.cycles, 50);
  EXPECT_EQ(exitStatusOf(record), 1);
  EXPECT_GT(record.taken, 3);
}

// A stall's cell in the chart says, as the list of stalls does, why the
// instruction waits and, once known, what it cost. Each program's stall is
// found in cycle 3, and its cell is cycle 4.
TEST_F(ReportFigures, AStallsCellSaysWhyAndWhatItCost) {
  const struct {
    const char* name;
    const char* program;
    MachineOptions machine;
    CycleWindow window;
    std::string note;
  } cases[] = {
      {"the last instruction fetched", "add $3, $1, $2\nadd $4, $3, $5\n", {}, {},
       "$3 is written by E(0), which writes it back in cycle 5; this machine does not forward results, so E(1) "
       "reads it in cycle 5; it is the last instruction fetched, so the run ends 1 cycle later (with forwarding "
       "this would not stall)"},
      {"Fetch held", "add $3, $1, $2\nadd $4, $3, $5\nadd $6, $1, $1\n", {}, {},
       "$3 is written by E(0), which writes it back in cycle 5; this machine does not forward results, so E(1) "
       "reads it in cycle 5 and Fetch stands still for 2 cycles (with forwarding this would not stall)"},
      {"a load's word, forwarded", "sw $3, 0($0)\nadd $4, $3, $3\n", {true, false}, {},
       "$3 is loaded by E(0), right ahead, which writes it back in cycle 5; a load's word reaches Execute a cycle "
       "later, so E(1) reads it in cycle 5; it is the last instruction fetched, so the run ends 1 cycle later"},
      {"outside the window", "add $3, $1, $2\nadd $4, $3, $5\nadd $6, $1, $1\n", {}, {5, 20}, ""},
  };
  for (const auto& c : cases) {
    RunOptions options;
    options.machine = c.machine;
    options.window = c.window;
    const ReportData data = run(c.program, options);
    const ChartRow& waiting = data.record.chart.at(1);
    const auto cell = static_cast<std::size_t>(4 - waiting.firstCycle);
    ASSERT_EQ(waiting.cells.at(cell), 's') << c.name;
    EXPECT_EQ(waiting.notes.at(cell), c.note) << c.name;
    for (const StallRecord& stall : data.record.stalls) {
      EXPECT_EQ(stallReason(*data.program, c.machine, stall), c.note) << c.name;
    }
  }
}

TEST_F(ReportFigures, DetailsCoverTheWindowTotalsTheWholeRun) {
  RunOptions options;
  options.window = {4, 5};
  const RunRecord record = run("add $3, $1, $2\nadd $4, $3, $1\nadd $5, $4, $3\n", options).record;
  EXPECT_EQ(record.stallCount, 2);
  EXPECT_EQ(record.cyclesLost, 3);
  EXPECT_TRUE(record.stalls.empty());  // triggered in cycles 3 and 6
  EXPECT_EQ(record.stallGroups.size(), 2U);
  EXPECT_EQ(record.energyPerCycle.size(), 2U);
  // Every row with a cell in cycles 4 and 5, and no other.
  EXPECT_EQ(chartOf(record), (std::vector<std::pair<Cycle, std::string>>{{1, "FDXMW"}, {2, "FDsXMW"}, {4, "fFDsXMW"}}));
  const auto rowOf = [&record](FetchNumber fetch) -> const ChartRow& {
    return *std::find_if(record.chart.begin(), record.chart.end(),
                         [fetch](const ChartRow& row) { return row.instruction.fetch == fetch; });
  };
  EXPECT_EQ(rowOf(1).notes[0], "");  // cycle 1 lies outside the window
  EXPECT_EQ(rowOf(1).notes[3], "no memory access");
  EXPECT_EQ(rowOf(1).notes[4], "energy 40; $3 = 30");
}

}  // namespace
}  // namespace fivestage::report
