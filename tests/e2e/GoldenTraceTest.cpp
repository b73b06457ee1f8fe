// Runs the real executable on every folder under cases/ and compares its whole
// standard output and exit status with the expected files (see README.md).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using fivestage::testing::readFile;
using fivestage::testing::TempDir;

namespace {

struct RunResult {
  std::string output;
  int status = -1;  // exit status, or -1 when the process did not exit normally
};

// Starts the executable in `workdir` with `input` as standard input and
// standard output into a file; standard error is left alone.
RunResult runExecutable(const fs::path& workdir, const fs::path& input) {
  const fs::path outputFile = workdir / ".stdout";
  const pid_t child = fork();
  if (child == 0) {
    const int in = open(input.c_str(), O_RDONLY);
    const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || chdir(workdir.c_str()) != 0) _exit(127);
    execl(FIVESTAGE_EXECUTABLE, FIVESTAGE_EXECUTABLE, static_cast<char*>(nullptr));
    _exit(127);
  }
  int raw = 0;
  waitpid(child, &raw, 0);
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.output = readFile(outputFile);
  fs::remove(outputFile);
  return result;
}

std::vector<std::string> lines(const fs::path& file) {
  std::vector<std::string> result;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) result.push_back(line);
  }
  return result;
}

// Lays out the case's working directory as the case describes it.
void prepare(const fs::path& caseDir, const TempDir& work) {
  for (const char* name : {"src.txt", "reg.txt", "mem.txt"}) {
    if (fs::exists(caseDir / name)) fs::copy(caseDir / name, work.path() / name);
  }
  if (fs::exists(caseDir / "EnergyConsumptionInput")) {
    fs::copy(caseDir / "EnergyConsumptionInput", work.path() / "EnergyConsumptionInput", fs::copy_options::recursive);
  } else {
    work.addEnergyTree();
  }
  for (const std::string& path : lines(caseDir / "remove")) fs::remove_all(work.path() / path);
  for (const std::string& path : lines(caseDir / "mkdir")) fs::create_directories(work.path() / path);
}

std::vector<std::string> caseNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(FIVESTAGE_CASES_DIR)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class GoldenTrace : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenTrace, MatchesExpectedOutputAndStatus) {
  const fs::path caseDir = fs::path(FIVESTAGE_CASES_DIR) / GetParam();
  TempDir work;
  prepare(caseDir, work);
  const fs::path input = fs::exists(caseDir / "stdin") ? caseDir / "stdin" : fs::path("/dev/null");

  const RunResult result = runExecutable(work.path(), input);

  EXPECT_EQ(result.status, std::stoi(readFile(caseDir / "expected_status")));
  if (fs::exists(caseDir / "expected_stdout")) {
    EXPECT_EQ(result.output, readFile(caseDir / "expected_stdout"));
  } else {
    const std::string tail = readFile(caseDir / "expected_stdout_tail");
    ASSERT_FALSE(tail.empty());
    ASSERT_GE(result.output.size(), tail.size());
    EXPECT_EQ(result.output.substr(result.output.size() - tail.size()), tail);
  }
  // The run only reads its input files.
  for (const char* name : {"src.txt", "reg.txt", "mem.txt"}) {
    if (fs::is_regular_file(caseDir / name)) {
      EXPECT_EQ(readFile(work.path() / name), readFile(caseDir / name));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenTrace, ::testing::ValuesIn(caseNames()),
                         [](const ::testing::TestParamInfo<std::string>& test) { return test.param; });

}  // namespace
