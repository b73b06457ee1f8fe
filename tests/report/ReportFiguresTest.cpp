// Figures of small runs worked out by hand. The shared test energy figures:
// Fetch 5, Decode add 3 / addi 4 / beq 7 / sw 13 / lw 10, Execute 20, Mem 30,
// WriteBack 40.
#include <gtest/gtest.h>

#include <sstream>

#include "report/Figures.h"
#include "report/ReportRun.h"
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
    return runReport(dir.path(), options, nullptr, nullptr);
  }

  testing::TempDir dir;
};

std::vector<std::pair<Cycle, std::string>> chartOf(const RunRecord& record) {
  std::vector<std::pair<Cycle, std::string>> rows;
  for (const ChartRow& row : record.chart) rows.emplace_back(row.firstCycle, row.cells);
  return rows;
}

TEST_F(ReportFigures, DependentPairStallsOnceAndLosesTwoCycles) {
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
  EXPECT_EQ(stall.cyclesLost, 2);  // hazard in cycle 3, released in cycle 5
  EXPECT_EQ(record.cyclesLost, 2);
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
  EXPECT_EQ(record.cyclesLost, 4);
  EXPECT_EQ(chartOf(record), (std::vector<std::pair<Cycle, std::string>>{{1, "FDXMW"}, {2, "FDsXMW"}, {5, "FDsXMW"}}));
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
  for (const OpcodeEnergy& opcode : energyByOpcode(data)) opcodes.emplace_back(opcode.opcode, opcode.energy);
  EXPECT_EQ(opcodes, (std::vector<std::pair<std::string, std::int64_t>>{{"sw", 108}, {"addi", 69}, {"beq", 32}}));
  const std::vector<LineEnergy> lines = energyByLine(data);
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

TEST_F(ReportFigures, DetailsCoverTheWindowTotalsTheWholeRun) {
  RunOptions options;
  options.window = {4, 5};
  const RunRecord record = run("add $3, $1, $2\nadd $4, $3, $1\nadd $5, $4, $3\n", options).record;
  EXPECT_EQ(record.stallCount, 2);
  EXPECT_EQ(record.cyclesLost, 4);
  EXPECT_TRUE(record.stalls.empty());  // triggered in cycles 3 and 6
  EXPECT_EQ(record.energyPerCycle.size(), 2U);
  // Every row with a cell in cycles 4 and 5, and no other.
  EXPECT_EQ(chartOf(record), (std::vector<std::pair<Cycle, std::string>>{{1, "FDXMW"}, {2, "FDsXMW"}, {5, "FDsXMW"}}));
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
