// A run's input files as texts in memory against the same files in a folder:
// the console, the report and the program check see no difference.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "loader/InputFiles.h"
#include "record/ReportRun.h"
#include "shell/Entry.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

namespace fs = std::filesystem;

// Every file below `folder`, as texts by their paths inside it.
InputTexts textsOf(const fs::path& folder) {
  InputTexts texts("texts");
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      texts.put(fs::relative(entry.path(), folder).generic_string(), testing::readFile(entry.path()));
    }
  }
  return texts;
}

struct ConsoleOutcome {
  std::string output;
  int status;
};

ConsoleOutcome console(const InputFiles& inputs, const std::string& keys) {
  std::istringstream in(keys);
  std::ostringstream out;
  const int status = runFivestage(in, out, inputs, 1000);
  return {out.str(), status};
}

struct InputCase {
  const char* name;
  std::string source;
  std::vector<const char*> removed;  // files taken out of a complete folder
  const char* shown;                 // a piece of the console's output
  int status;
};

const std::string program =
    "addi $1, $0, 3\nlw $2, 1($0)\nadd $3, $2, $1\nsw $3, 2($0)\nbne $3, $1, L7\nsub $4, $3, $1\n";

const InputCase cases[] = {
    {"a complete folder", program, {}, " All files loaded succesfully ", 0},
    {"a rejected line and a prefix opcode", "L1: addi $1, $0, 1\nori $2, $1, 1\n", {}, "either does not exist", 1},
    {"no src.txt", program, {"src.txt"}, " File src.txt could not be loaded ", 1},
    {"no mem.txt", program, {"mem.txt"}, " File mem.txt could not be loaded ", 1},
    {"no Fetch energy", program, {"EnergyConsumptionInput/Fetch/energy.txt"}, " File could not be loaded ", 1},
    {"no Decode energy for lw",
     program,
     {"EnergyConsumptionInput/Decode/lw/energy.txt"},
     " File could not be loaded ",
     1},
    {"no Mem energy", program, {"EnergyConsumptionInput/Mem/energy.txt"}, " File could not be loaded ", 1},
};

// The folder of a case: the program, eight registers and words, the test
// energy tree, less the files the case removes.
void layOut(const testing::TempDir& dir, const InputCase& c) {
  dir.addEnergyTree();
  dir.write("src.txt", c.source);
  dir.write("reg.txt", "0\n1\n2\n3\n4\n5\n6\n7\n");
  dir.write("mem.txt", "10\r\n20\r\n30\r\n40\n\n\n\n7");
  for (const char* path : c.removed) fs::remove(dir.path() / path);
}

TEST(InputTexts, RunInTheConsoleAsTheSameFilesInAFolder) {
  for (const InputCase& c : cases) {
    testing::TempDir dir;
    layOut(dir, c);
    const InputTexts texts = textsOf(dir.path());
    for (const std::string& keys : {"1\n" + std::string(100, '\n'), std::string("2\n")}) {
      const ConsoleOutcome fromFolder = console(InputFolder(dir.path()), keys);
      const ConsoleOutcome fromTexts = console(texts, keys);
      EXPECT_EQ(fromTexts.output, fromFolder.output) << c.name << ", choice " << keys.front();
      EXPECT_EQ(fromTexts.status, fromFolder.status) << c.name << ", choice " << keys.front();
    }
    const ConsoleOutcome run = console(texts, "1\n" + std::string(100, '\n'));
    EXPECT_NE(run.output.find(c.shown), std::string::npos) << c.name;
    EXPECT_EQ(run.status, c.status) << c.name;
  }
}

TEST(InputTexts, RunInTheReportAsTheSameFilesInAFolder) {
  for (const InputCase& c : cases) {
    testing::TempDir dir;
    layOut(dir, c);
    std::ostringstream folderTrace;
    std::ostringstream textsTrace;
    const report::ReportData fromFolder = report::runReport(InputFolder(dir.path()), {}, &folderTrace, nullptr);
    const report::ReportData fromTexts = report::runReport(textsOf(dir.path()), {}, &textsTrace, nullptr);
    EXPECT_EQ(textsTrace.str(), folderTrace.str()) << c.name;
    EXPECT_EQ(fromTexts.program.has_value(), fromFolder.program.has_value()) << c.name;
    const report::RunRecord& expected = fromFolder.record;
    const report::RunRecord& record = fromTexts.record;
    EXPECT_EQ(record.end, expected.end) << c.name;
    EXPECT_EQ(record.message, expected.message) << c.name;
    EXPECT_EQ(record.exitStatus, expected.exitStatus) << c.name;
    EXPECT_EQ(record.cycles, expected.cycles) << c.name;
    EXPECT_EQ(record.energyTotal(), expected.energyTotal()) << c.name;
    EXPECT_EQ(record.finalRegisters, expected.finalRegisters) << c.name;
    ASSERT_EQ(fromTexts.warnings.size(), fromFolder.warnings.size()) << c.name;
    for (std::size_t i = 0; i < fromFolder.warnings.size(); ++i) {
      EXPECT_EQ(fromTexts.warnings[i].kind, fromFolder.warnings[i].kind) << c.name;
      EXPECT_EQ(fromTexts.warnings[i].message, fromFolder.warnings[i].message) << c.name;
    }
    EXPECT_EQ(report::exitStatusOf(record), c.status) << c.name;
  }
}

}  // namespace
}  // namespace fivestage
