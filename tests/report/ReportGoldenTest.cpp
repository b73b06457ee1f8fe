// The report's text and Kanata log for known runs, byte for byte. The
// expected files were worked out by hand from the machine's rules and the
// report's layout.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

namespace fs = std::filesystem;
using testing::readFile;

const fs::path golden = fs::path(FIVESTAGE_SOURCE_DIR) / "tests" / "report" / "golden";

TEST(ReportGolden, TextReportOfTheBundledExample) {
  const testing::RunResult result = testing::runProgram(FIVESTAGE_REPORT, {"examples/basic"}, FIVESTAGE_SOURCE_DIR);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, readFile(golden / "basic.txt"));
}

TEST(ReportGolden, KanataLogOfADependentPair) {
  testing::TempDir work;
  const fs::path caseDir = fs::path(FIVESTAGE_CASES_DIR) / "dependent_pair";
  work.layOutCase(caseDir);
  const testing::RunResult result = testing::runProgram(FIVESTAGE_REPORT, {"--kanata", "run.kanata"}, work.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readFile(work.path() / "run.kanata"), readFile(golden / "dependent_pair.kanata"));
}

// The figures of seven console cases, worked out from their traces: each
// case's report must say the same.
TEST(ReportGolden, FiguresOfConsoleCases) {
  using Json = nlohmann::json;
  const Json expected = Json::parse(readFile(golden / "figures.json"));
  for (const auto& [name, want] : expected.items()) {
    testing::TempDir work;
    const fs::path caseDir = fs::path(FIVESTAGE_CASES_DIR) / name;
    work.layOutCase(caseDir);
    testing::runProgram(FIVESTAGE_REPORT, {"--json", "report.json"}, work.path());
    const Json report = Json::parse(readFile(work.path() / "report.json"));

    Json got = {{"cycles", report["cycles"]},           {"fetched", report["fetched"]},
                {"completed", report["completed"]},     {"cyclesLost", report["cyclesLost"]},
                {"taken", report["branches"]["taken"]}, {"notTaken", report["branches"]["notTaken"]}};
    got["stalls"] = Json::array();
    for (const Json& stall : report["stalls"]) {
      got["stalls"].push_back({{"cycle", stall["cycle"]},
                               {"instruction", stall["instruction"]["index"]},
                               {"register", stall["register"]},
                               {"waitsFor", stall["waitsFor"].is_null() ? Json() : stall["waitsFor"]["index"]},
                               {"cyclesLost", stall["cyclesLost"]}});
    }
    got["behindTaken"] = Json::array();
    for (const Json& behind : report["behindTaken"]) {
      got["behindTaken"].push_back({{"cycle", behind["cycle"]},
                                    {"branch", behind["branch"]["index"]},
                                    {"instruction", behind["instruction"]["index"]}});
    }
    got["energy"] = {{"total", report["energy"]["total"]},
                     {"byStage", report["energy"]["byStage"]},
                     {"byOpcode", report["energy"]["byOpcode"]},
                     {"byLine", Json::array()}};
    for (const Json& line : report["energy"]["byLine"])
      got["energy"]["byLine"].push_back({line["line"], line["energy"]});
    got["registers"] = Json::array();
    for (const Json& r : report["registers"]) got["registers"].push_back({r["register"], r["initial"], r["final"]});
    got["memory"] = Json::array();
    for (const Json& m : report["memory"]) got["memory"].push_back({m["word"], m["initial"], m["final"]});
    got["chart"] = Json::array();
    for (const Json& row : report["chart"]) {
      got["chart"].push_back({row["instruction"]["index"], row["firstCycle"], row["cells"]});
    }
    for (const auto& [figure, value] : want.items()) EXPECT_EQ(got[figure], value) << name << ": " << figure;
  }
}

}  // namespace
}  // namespace fivestage
