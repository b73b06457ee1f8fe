// Runs the real executable on every folder under cases/ and compares its whole
// standard output and exit status with the expected files (see README.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using fivestage::testing::readFile;
using fivestage::testing::runProgram;
using fivestage::testing::RunResult;
using fivestage::testing::TempDir;

namespace {

std::vector<std::string> caseNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(FIVESTAGE_CASES_DIR)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class GoldenTrace : public ::testing::TestWithParam<std::string> {
 protected:
  GoldenTrace() { work_.layOutCase(caseDir_); }

  fs::path input() const { return fs::exists(caseDir_ / "stdin") ? caseDir_ / "stdin" : fs::path("/dev/null"); }

  // The case's command-line arguments, one per line of its args file.
  std::vector<std::string> arguments() const { return fivestage::testing::linesOf(caseDir_ / "args"); }

  void expectTheCaseOutcome(const RunResult& result) const {
    EXPECT_EQ(result.status, std::stoi(readFile(caseDir_ / "expected_status")));
    if (fs::exists(caseDir_ / "expected_stdout")) {
      EXPECT_EQ(result.output, readFile(caseDir_ / "expected_stdout"));
    } else {
      const std::string tail = readFile(caseDir_ / "expected_stdout_tail");
      ASSERT_FALSE(tail.empty());
      ASSERT_GE(result.output.size(), tail.size());
      EXPECT_EQ(result.output.substr(result.output.size() - tail.size()), tail);
    }
    // The run only reads its input files.
    for (const char* name : {"src.txt", "reg.txt", "mem.txt"}) {
      if (fs::is_regular_file(caseDir_ / name)) {
        EXPECT_EQ(readFile(work_.path() / name), readFile(caseDir_ / name));
      }
    }
  }

  const fs::path caseDir_ = fs::path(FIVESTAGE_CASES_DIR) / GetParam();
  TempDir work_;
};

TEST_P(GoldenTrace, MatchesExpectedOutputAndStatus) {
  expectTheCaseOutcome(runProgram(FIVESTAGE_EXECUTABLE, arguments(), work_.path(), input()));
}

// Named on the command line, relative to where fivestage starts, the folder
// gives the same bytes as when fivestage starts in it.
TEST_P(GoldenTrace, MatchesThemWhenTheFolderIsNamed) {
  std::vector<std::string> words = arguments();
  words.push_back(work_.path().filename().string());
  expectTheCaseOutcome(runProgram(FIVESTAGE_EXECUTABLE, words, work_.path().parent_path(), input()));
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenTrace, ::testing::ValuesIn(caseNames()),
                         [](const ::testing::TestParamInfo<std::string>& test) { return test.param; });

}  // namespace
