// fivestage-report end to end: the real executable, its exit statuses, its
// refusals, its outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::RunResult;
using testing::TempDir;

RunResult report(const fs::path& workdir, const std::vector<std::string>& arguments) {
  return testing::runProgram(FIVESTAGE_REPORT, arguments, workdir);
}

// A folder with the shared energy figures and a small program.
void writeInputs(const TempDir& dir, const std::string& program = "add $3, $1, $2\nadd $4, $3, $5\n") {
  dir.addEnergyTree();
  dir.write("src.txt", program);
  dir.write("reg.txt", "0\n1\n2\n3\n4\n5\n");
  dir.write("mem.txt", "7\n");
}

std::vector<std::string> entriesOf(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct Refusal {
  const char* name;
  std::vector<std::string> arguments;
  int status;
  std::string message;  // on standard error
};

TEST(ReportCli, RefusesBadUsageWithStatusTwoAndLeavesNoFileBehind) {
  const Refusal cases[] = {
      {"folder that does not exist", {"nowhere"}, 2, "no such folder: nowhere"},
      {"output in a folder that does not exist",
       {"--json", "missing/report.json"},
       2,
       "cannot write missing/report.json"},
      {"output that is a folder", {"--html", "."}, 2, "cannot write .: it is a folder"},
      {"output over an input file", {"--json", "src.txt"}, 2, "it is the input file src.txt"},
      {"output inside the energy figures",
       {"--trace", "EnergyConsumptionInput/Fetch/energy.txt"},
       2,
       "inside the energy figures"},
      {"one bad output among good ones",
       {"--json", "good.json", "--kanata", "missing/log.kanata"},
       2,
       "cannot write missing/log.kanata"},
      {"cycles without a colon", {"--cycles", "5"}, 2, "--cycles takes FROM:TO"},
      {"cycles not numbers", {"--cycles", "a:b"}, 2, "--cycles takes FROM:TO"},
      {"cycles backwards", {"--cycles", "5:3"}, 2, "--cycles takes FROM:TO"},
      {"cycle zero", {"--cycles", "0:4"}, 2, "--cycles takes FROM:TO"},
      {"cycles with trailing text", {"--cycles", "1:4x"}, 2, "--cycles takes FROM:TO"},
      {"too many cycles", {"--cycles", "1:2001"}, 2, "at most 2000 cycles"},
      {"no cycle limit", {"--max-cycles", "0"}, 2, "max-cycles"},
      {"unknown option", {"--colour"}, 2, "colour"},
  };
  for (const Refusal& c : cases) {
    TempDir dir;
    writeInputs(dir);
    const std::vector<std::string> before = entriesOf(dir.path());
    const std::string source = readFile(dir.path() / "src.txt");
    const RunResult result = report(dir.path(), c.arguments);
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_NE(result.errors.find(c.message), std::string::npos) << c.name << ": " << result.errors;
    EXPECT_EQ(result.output, "") << c.name;
    EXPECT_EQ(entriesOf(dir.path()), before) << c.name;
    EXPECT_EQ(readFile(dir.path() / "src.txt"), source) << c.name;
  }
}

TEST(ReportCli, AnInputFileThatCannotBeLoadedIsReportedWithTheConsolesMessage) {
  for (const char* missing : {"src.txt", "reg.txt", "mem.txt"}) {
    TempDir dir;
    writeInputs(dir);
    fs::remove(dir.path() / missing);
    const RunResult result = report(dir.path(), {"--json", "report.json"});
    EXPECT_EQ(result.status, 1) << missing;
    EXPECT_NE(result.output.find(std::string("Not run: File ") + missing + " could not be loaded"), std::string::npos)
        << result.output;
    EXPECT_NE(readFile(dir.path() / "report.json").find(std::string("\"status\": \"File ") + missing),
              std::string::npos);
  }
}

TEST(ReportCli, ExitStatusSaysHowTheRunEnded) {
  const std::pair<std::string, int> cases[] = {
      {"add $3, $1, $2\n", 0},
      {"add $3, $1, $2\nxor $1, $1, $1\n", 1},  // no Decode energy figures
      {"j L1\n", 1},                            // stopped at the cycle limit
  };
  for (const auto& [program, status] : cases) {
    TempDir dir;
    writeInputs(dir, program);
    const RunResult result = report(dir.path(), {"--max-cycles", "200"});
    EXPECT_EQ(result.status, status) << program;
  }
  TempDir dir;
  writeInputs(dir, "j L1\n");
  EXPECT_NE(report(dir.path(), {"--max-cycles", "200"}).output.find("stopped: still running after 200 cycles"),
            std::string::npos);
}

TEST(ReportCli, HelpAndVersion) {
  TempDir dir;
  const RunResult help = report(dir.path(), {"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--html", "--json", "--kanata", "--trace", "--max-cycles", "--cycles"}) {
    EXPECT_NE(help.output.find(option), std::string::npos) << option;
  }
  const RunResult version = report(dir.path(), {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.output.find("fivestage-report"), std::string::npos);
}

// With one Enter per cycle the console prints exactly what the report's
// trace holds: every golden case fed so is compared byte for byte.
TEST(ReportCli, TraceIsTheConsolesOutputForOneEnterPerCycle) {
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(FIVESTAGE_CASES_DIR)) {
    const fs::path caseDir = entry.path();
    if (!fs::exists(caseDir / "stdin") || !fs::exists(caseDir / "expected_stdout")) continue;
    const std::string keys = readFile(caseDir / "stdin");
    const std::string expected = readFile(caseDir / "expected_stdout");
    // Choice 1, then only newlines, at least as many as the run has cycles.
    if (!std::regex_match(keys, std::regex("1\n\n*")) || fs::exists(caseDir / "mkdir")) continue;
    std::size_t banners = 0;
    for (std::size_t at = expected.find("Cpu Cycle"); at != std::string::npos;
         at = expected.find("Cpu Cycle", at + 1)) {
      ++banners;
    }
    if (keys.size() - 2 < banners) continue;

    TempDir work;
    work.layOutCase(caseDir);
    const RunResult result = report(work.path(), {"--trace", "trace.txt"});
    EXPECT_EQ(readFile(work.path() / "trace.txt"), expected) << caseDir.filename();
    EXPECT_EQ(result.status, std::stoi(readFile(caseDir / "expected_status"))) << caseDir.filename();
    ++compared;
  }
  EXPECT_GE(compared, 20);
}

}  // namespace
}  // namespace fivestage
