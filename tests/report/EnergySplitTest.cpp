// Where the energy of small runs went, worked out by hand cycle by cycle
// (the tables of tests/e2e/README.md for the first three). The shared test
// energy figures: Fetch 5, Decode add 3 / beq 7 / sw 13, Execute 20, Mem 30,
// WriteBack 40; the idle figures, when a case has them: Fetch 1, Decode 1,
// Execute 2, Mem 3, WriteBack 4.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "record/Figures.h"
#include "record/ReportRun.h"
#include "report/JsonReport.h"
#include "report/TextReport.h"
#include "tests/support/TempDir.h"

namespace fivestage::report {
namespace {

// By stage: Fetch, Decode, Execute, Mem, WriteBack.
struct SplitCase {
  const char* name;
  const char* program;
  MachineOptions machine;
  bool idleFigures;
  Cycle maxCycles;
  StageEnergy completed, wrongPath, idle, stalled;
};

const SplitCase cases[] = {
    // The pipeline empty at the start and draining at the end, 5 cycles.
    {"one instruction", "add $3, $1, $2\n", {}, true, 100, {5, 3, 20, 0, 40}, {}, {4, 4, 8, 15, 16}, {}},
    // E(1) stalls in cycle 3: Fetch is held in cycles 3 and 4, Decode and
    // Execute in cycle 4.
    {"stall",
     "add $3, $1, $2\nadd $4, $3, $5\n",
     {},
     true,
     100,
     {10, 6, 40, 0, 80},
     {},
     {3, 4, 8, 21, 20},
     {2, 1, 2, 0, 0}},
    // With forwarding the use of a loaded word (this machine's sw loads)
    // waits, found in cycle 3, when Fetch has nothing left to fetch: the
    // stall holds Execute, Decode and Fetch in cycle 4 only.
    {"load use with forwarding",
     "sw $1, 0($0)\nadd $2, $1, $1\n",
     {.forwarding = true},
     true,
     100,
     {10, 16, 40, 30, 80},
     {},
     {4, 4, 8, 18, 20},
     {1, 1, 2, 0, 0}},
    // The taken beq cancels E(1), whose fetch went on the wrong path.
    {"cancelled",
     "beq $1, $1, L4\naddi $5, $1, 1\naddi $6, $1, 2\nadd $7, $1, $3\n",
     {.flush = true},
     true,
     100,
     {10, 10, 40, 0, 40},
     {5, 0, 0, 0, 0},
     {4, 5, 10, 21, 24},
     {}},
    // The same without idle figures: no idle charge at all.
    {"cancelled, no idle figures",
     "beq $1, $1, L4\naddi $5, $1, 1\naddi $6, $1, 2\nadd $7, $1, $3\n",
     {.flush = true},
     false,
     100,
     {10, 10, 40, 0, 40},
     {5, 0, 0, 0, 0},
     {},
     {}},
    // Stopped after two cycles with the add in Decode's: its fetch and
    // decode count as completed work, since nothing cancelled it.
    {"stopped", "add $3, $1, $2\n", {}, true, 2, {5, 3, 0, 0, 0}, {}, {1, 1, 4, 6, 8}, {}},
};

class EnergySplitOfRuns : public ::testing::Test {
 protected:
  ReportData run(const SplitCase& split) {
    testing::TempDir dir;
    dir.addEnergyTree();
    std::string registers;
    for (int i = 0; i < 16; ++i) registers += std::to_string(10 * i) + "\n";
    dir.write("reg.txt", registers);
    dir.write("mem.txt", "100\n101\n");
    dir.write("src.txt", split.program);
    if (split.idleFigures) {
      const std::pair<Stage, const char*> figures[] = {{Stage::Fetch, "1\n"},
                                                       {Stage::Decode, "1\n"},
                                                       {Stage::Execute, "2\n"},
                                                       {Stage::Memory, "3\n"},
                                                       {Stage::WriteBack, "4\n"}};
      for (const auto& [stage, figure] : figures) dir.write(*energyFilePath({stage, {}, true}), figure);
    }
    RunOptions options;
    options.machine = split.machine;
    options.maxCycles = split.maxCycles;
    return runReport(InputFolder(dir.path()), options, nullptr, nullptr);
  }
};

TEST_F(EnergySplitOfRuns, SplitsTheTotalByWhatEachChargePaidFor) {
  for (const SplitCase& split : cases) {
    SCOPED_TRACE(split.name);
    const RunRecord record = run(split).record;
    EXPECT_EQ(record.energySplit.completed, split.completed);
    EXPECT_EQ(record.energySplit.wrongPath, split.wrongPath);
    EXPECT_EQ(record.energySplit.idle, split.idle);
    EXPECT_EQ(record.energySplit.stalled, split.stalled);
    // Each stage's four shares add up to what it charged.
    for (std::size_t stage = 0; stage < stageCount; ++stage) {
      EXPECT_EQ(split.completed[stage] + split.wrongPath[stage] + split.idle[stage] + split.stalled[stage],
                record.energyByStage[stage])
          << stage;
    }
  }
}

// Idle charges are no instruction's: the energy by line is the work alone.
TEST_F(EnergySplitOfRuns, IdleChargesBelongToNoInstruction) {
  for (const SplitCase& split : cases) {
    SCOPED_TRACE(split.name);
    const ReportData data = run(split);
    std::int64_t byLines = 0;
    for (const LineEnergy& line : energyByLine(*data.program, data.record)) byLines += line.energy;
    EXPECT_EQ(byLines, sumOf(split.completed) + sumOf(split.wrongPath));
  }
}

TEST_F(EnergySplitOfRuns, JsonGivesTheSplitAndTheDelaySquaredProduct) {
  using Json = nlohmann::ordered_json;
  const SplitCase& split = cases[1];  // the stall: all four parts but the wrong path
  const ReportData data = run(split);
  const Json energy = jsonReport(data, split.maxCycles)["energy"];
  const std::pair<const char*, const StageEnergy*> parts[] = {{"completed", &split.completed},
                                                              {"wrongPath", &split.wrongPath},
                                                              {"idle", &split.idle},
                                                              {"stalled", &split.stalled}};
  std::int64_t sum = 0;
  for (const auto& [name, part] : parts) {
    SCOPED_TRACE(name);
    EXPECT_EQ(energy["split"][name]["total"], sumOf(*part));
    for (const Stage stage : allStages) {
      EXPECT_EQ(energy["split"][name]["byStage"][std::string(stageName(stage))],
                (*part)[static_cast<std::size_t>(stage)]);
    }
    sum += energy["split"][name]["total"].get<std::int64_t>();
  }
  EXPECT_EQ(energy["total"], 197);  // 136 of work, 61 idle
  EXPECT_EQ(sum, 197);
  EXPECT_EQ(energy["delaySquaredProduct"], 197.0 * 7 * 7);
}

// The text report shows the split when some energy went elsewhere than to
// completed work, and only then.
TEST_F(EnergySplitOfRuns, TextReportShowsTheSplitWhenThereIsOne) {
  const std::pair<const SplitCase*, const char*> shown[] = {
      {&cases[1], "    went to         completed 136   wrong path 0   idle 56   stalled 5\n"},
      {&cases[4], "    went to         completed 100   wrong path 5   idle 0   stalled 0\n"},
  };
  for (const auto& [split, row] : shown) {
    std::ostringstream text;
    writeTextReport(text, run(*split), {});
    EXPECT_NE(text.str().find(row), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("wrong path  Fetch " + std::to_string(split->wrongPath[0]) + "   Decode 0"),
              std::string::npos)
        << text.str();
  }
  std::ostringstream plain;
  SplitCase noIdle = cases[0];
  noIdle.idleFigures = false;
  writeTextReport(plain, run(noIdle), {});
  EXPECT_EQ(plain.str().find("went to"), std::string::npos) << plain.str();
}

// Cycles 1 to 401, one unit each: at cycle 201 the 200 buckets of one cycle
// merge into 100 of two, at cycle 401 into 100 of four, and cycle 401 opens
// a bucket of its own. No unit is lost in the merging.
TEST(EnergyTimeline, MergesNeighboursAndDoublesTheWidthWhenFull) {
  EnergyTimeline timeline;
  for (Cycle cycle = 1; cycle <= 401; ++cycle) {
    timeline.bucketFor(cycle).energy[0] += 1;
    if (cycle % 3 == 0) ++timeline.buckets.back().stalls;
    ASSERT_LE(timeline.buckets.size(), EnergyTimeline::maxBuckets) << cycle;
  }
  EXPECT_EQ(timeline.width, 4);
  ASSERT_EQ(timeline.buckets.size(), 101U);
  for (std::size_t i = 0; i < 100; ++i) EXPECT_EQ(timeline.buckets[i].energy[0], 4) << i;
  EXPECT_EQ(timeline.buckets[100].energy[0], 1);
  // Cycles 1 to 4 hold the stall of cycle 3; cycles 397 to 400 those of 399.
  EXPECT_EQ(timeline.buckets[0].stalls, 1);
  EXPECT_EQ(timeline.buckets[99].stalls, 1);
  EXPECT_EQ(timeline.buckets[100].stalls, 0);
}

// Every run's energy over time covers all its cycles in at most 200
// buckets, and its buckets add up to the energy by stage, the stalls and
// the cancellations of the run. A loop of one branch that never ends (with
// flush, the addi fetched behind it is cancelled each time round), held
// at 1000 cycles, ends with buckets of 8 cycles: 125 of them.
TEST_F(EnergySplitOfRuns, EnergyOverTimeCoversTheWholeRun) {
  std::vector<SplitCase> runs(std::begin(cases), std::end(cases));
  runs.push_back({"endless loop", "beq $0, $0, L1\naddi $1, $0, 1\n", {.flush = true}, true, 1000, {}, {}, {}, {}});
  for (const SplitCase& split : runs) {
    SCOPED_TRACE(split.name);
    const RunRecord record = run(split).record;
    const EnergyTimeline& timeline = record.energyOverTime;
    ASSERT_LE(timeline.buckets.size(), EnergyTimeline::maxBuckets);
    EXPECT_EQ(static_cast<Cycle>(timeline.buckets.size()), (record.cycles + timeline.width - 1) / timeline.width);
    StageEnergy byStage{};
    std::int64_t stalls = 0, cancelled = 0;
    for (const EnergyBucket& bucket : timeline.buckets) {
      for (std::size_t stage = 0; stage < stageCount; ++stage) byStage[stage] += bucket.energy[stage];
      stalls += bucket.stalls;
      cancelled += bucket.cancelled;
    }
    EXPECT_EQ(byStage, record.energyByStage);
    EXPECT_EQ(stalls, record.stallCount);
    EXPECT_EQ(cancelled, record.cancelled);
  }
  const RunRecord endless = run(runs.back()).record;
  EXPECT_EQ(endless.energyOverTime.width, 8);
  EXPECT_EQ(endless.energyOverTime.buckets.size(), 125U);
  EXPECT_GT(endless.cancelled, 0);
  // The stall case's one stall begins in cycle 3, the third bucket.
  const RunRecord stalled = run(cases[1]).record;
  EXPECT_EQ(stalled.energyOverTime.width, 1);
  EXPECT_EQ(stalled.energyOverTime.buckets[2].stalls, 1);
}

}  // namespace
}  // namespace fivestage::report
