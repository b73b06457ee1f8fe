// The console's command line, end to end: what --help and --version print,
// and how a command line that is refused ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

using testing::RunResult;
using testing::TempDir;

RunResult fivestageWith(const std::vector<std::string>& arguments, const std::filesystem::path& workdir) {
  return testing::runProgram(FIVESTAGE_EXECUTABLE, arguments, workdir);
}

TEST(ConsoleCommandLine, HelpShowsEveryFormAndHowToStepAndLeave) {
  TempDir dir;
  const RunResult help = fivestageWith({"--help"}, dir.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.errors, "");
  for (const char* part : {"fivestage [--forwarding] [--flush] [--predictor P]", "[--predictor-entries N] [FOLDER]",
                           "fivestage --init DIR", "--help", "--version",
                           "Enter runs one cycle", "Ctrl-D runs the rest without waiting", "Ctrl-C quits"}) {
    EXPECT_NE(help.output.find(part), std::string::npos) << part;
  }
}

// The usage is made from the machine options' description, and stays what it
// has always been to the byte: tests/e2e/usage.txt.
TEST(ConsoleCommandLine, HelpIsTheUsageToTheByte) {
  TempDir dir;
  const std::string usage = testing::readFile(std::filesystem::path(FIVESTAGE_SOURCE_DIR) / "tests/e2e/usage.txt");
  ASSERT_FALSE(usage.empty());
  EXPECT_EQ(fivestageWith({"--help"}, dir.path()).output, usage);
}

TEST(ConsoleCommandLine, VersionIsOneLine) {
  TempDir dir;
  const RunResult version = fivestageWith({"--version"}, dir.path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "fivestage 1.0\n");
  EXPECT_EQ(version.errors, "");
}

// Every refusal: status 2, nothing on standard output (no dialogue starts),
// and on standard error one line saying what is wrong, then the usage.
TEST(ConsoleCommandLine, RefusesWithOneLineAndTheUsage) {
  struct Refusal {
    std::vector<std::string> arguments;
    std::string message;
  };
  const Refusal refusals[] = {
      {{"--colour"}, "unknown option: --colour"},
      {{"input", "input"}, "one folder at most, not 2"},
      {{"nowhere"}, "no such folder: nowhere"},
      {{"input/src.txt"}, "not a folder: input/src.txt"},
      {{"--version", "input"}, "--version stands alone"},
      {{"--init"}, "--init wants one folder after it: fivestage --init DIR"},
  };
  TempDir dir;
  dir.write("input/src.txt", "addi $1, $0, 5\n");
  const std::string usage = fivestageWith({"--help"}, dir.path()).output;
  for (const Refusal& refusal : refusals) {
    const RunResult result = fivestageWith(refusal.arguments, dir.path());
    EXPECT_EQ(result.status, 2) << refusal.message;
    EXPECT_EQ(result.output, "") << refusal.message;
    EXPECT_EQ(result.errors, "fivestage: " + refusal.message + "\n" + usage);
  }
}

}  // namespace
}  // namespace fivestage
