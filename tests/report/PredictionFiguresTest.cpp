// The report's figures of branch prediction against runs worked out cycle by
// cycle by hand, from the predictors' rules alone, by a reader who did not
// see this code (prediction/worked_by_hand.json): three loops under the five
// predictors, with and without forwarding. The not-taken machine is the
// flush machine, whose report has no prediction section: its cycles and
// cancelled instructions are checked.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "record/ReportRun.h"
#include "report/JsonReport.h"
#include "tests/support/TempDir.h"
#include "vocabulary/MachineDescription.h"

namespace fivestage::report {
namespace {

using Json = nlohmann::ordered_json;

Json workedByHand() {
  std::ifstream file(FIVESTAGE_SOURCE_DIR "/tests/report/prediction/worked_by_hand.json");
  return Json::parse(file);
}

// The report's JSON of `source` (registers and memory at 0) on `machine`.
Json reportOf(const Json& source, const MachineOptions& machine) {
  testing::TempDir dir;
  dir.addEnergyTree();
  std::string program;
  for (const Json& line : source) program += line.get<std::string>() + "\n";
  dir.write("src.txt", program);
  std::string zeros;
  for (int i = 0; i < 32; ++i) zeros += "0\n";
  dir.write("reg.txt", zeros);
  dir.write("mem.txt", zeros.substr(0, 16));
  RunOptions options;
  options.machine = machine;
  return jsonReport(runReport(InputFolder(dir.path()), options, nullptr, nullptr), options.maxCycles);
}

// Only the members the hand-worked runs give.
Json branchesOf(const Json& prediction) {
  Json branches = Json::array();
  for (const Json& branch : prediction["branches"]) {
    branches.push_back({{"line", branch["line"]},
                        {"executions", branch["executions"]},
                        {"taken", branch["taken"]},
                        {"mispredicted", branch["mispredicted"]},
                        {"cyclesLost", branch["cyclesLost"]}});
  }
  return branches;
}

Json historyOf(const Json& prediction) {
  Json history = Json::array();
  for (const Json& step : prediction["history"]) {
    history.push_back({{"cycle", step["cycle"]},
                       {"line", step["line"]},
                       {"entry", step.value("entry", Json(nullptr))},
                       {"before", step.value("before", Json(nullptr))},
                       {"predictedTaken", step["predictedTaken"]},
                       {"taken", step["taken"]},
                       {"after", step.value("after", Json(nullptr))}});
  }
  return history;
}

TEST(PredictionFigures, AgreeWithRunsWorkedOutByHand) {
  const OptionDescription<MachineOptions>* predictor = nullptr;
  for (const auto& option : machineDescription) {
    if (option.kind == OptionKind::Choice) predictor = &option;
  }
  ASSERT_NE(predictor, nullptr);
  const Json worked = workedByHand();
  int runs = 0;
  for (const auto& [name, program] : worked["programs"].items()) {
    for (const auto& [predictorName, byMachine] : program["runs"].items()) {
      for (const auto& [forwarding, expected] : byMachine.items()) {
        MachineOptions machine;
        ASSERT_FALSE(setFromText(*predictor, machine, predictorName)) << predictorName;
        machine.flush = true;
        machine.forwarding = forwarding == "forwarding";
        const std::string run = name + " " + predictorName + " " + forwarding;
        const Json report = reportOf(program["source"], machine);
        EXPECT_EQ(report["cycles"], expected["cycles"]) << run;
        EXPECT_EQ(report["cancelled"], expected["cancelled"]) << run;
        ++runs;
        if (machine.predictor == Predictor::NotTaken) {
          EXPECT_FALSE(report.contains("prediction")) << run;
          continue;
        }
        const Json& prediction = report["prediction"];
        EXPECT_EQ(prediction["mispredictions"], expected["mispredictions"]) << run;
        EXPECT_EQ(branchesOf(prediction), expected["branches"]) << run;
        EXPECT_EQ(historyOf(prediction), expected["history"]) << run;
      }
    }
  }
  EXPECT_EQ(runs, 30);
}

// A branch mispredicted last: Fetch fetched on the wrong path as the program
// drained at its end, so the run lost no cycle to it, though the fetch's
// energy was spent.
TEST(PredictionFigures, AFetchCancelledAsTheProgramDrainsCostsNoCycle) {
  MachineOptions machine{.forwarding = true, .flush = true, .predictor = Predictor::Taken};
  const Json report = reportOf(Json{"addi $1, $0, 1", "addi $2, $0, 2", "beq $0, $1, L1"}, machine);
  EXPECT_EQ(report["cycles"], 7);
  EXPECT_EQ(report["cancelled"], 1);
  const Json& branch = report["prediction"]["branches"][0];
  EXPECT_EQ(branch["mispredicted"], 1);
  EXPECT_EQ(branch["cyclesLost"], 0);
  EXPECT_EQ(report["prediction"]["cyclesLost"], 0);
  EXPECT_GT(branch["wrongPathEnergy"].get<int>(), 0);
}

}  // namespace
}  // namespace fivestage::report
