#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "common/FatalError.h"
#include "loader/InputFiles.h"
#include "loader/MachineState.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

using testing::TempDir;

struct LoadOutcome {
  std::string log;
  std::string error;  // empty when loading succeeded
  int status = 0;
};

LoadOutcome loadFrom(const InputFiles& inputs, MachineState& state) {
  std::ostringstream log;
  LoadOutcome outcome;
  try {
    state = MachineState(log, inputs);
  } catch (const FatalError& error) {
    outcome.error = error.what();
    outcome.status = error.exitStatus();
  }
  outcome.log = log.str();
  return outcome;
}

LoadOutcome loadIn(const TempDir& dir, MachineState& state) { return loadFrom(InputFolder(dir.path()), state); }

TEST(Loader, ReadsTheThreeFilesLineByLine) {
  TempDir dir;
  dir.write("src.txt", "add $3, $1, $2\r\n\r\nsub $4, $3, $1");
  dir.write("reg.txt", "5\n\n-3 apples\n99999999999\n");
  dir.write("mem.txt", "7\n8\n\n");
  MachineState state;
  const LoadOutcome outcome = loadIn(dir, state);
  EXPECT_EQ(outcome.error, "");
  EXPECT_EQ(state.sourceLines, (std::vector<std::string>{"add $3, $1, $2", "", "sub $4, $3, $1"}));
  EXPECT_EQ(state.instructions.size(), 2U);
  EXPECT_EQ(state.registers, (std::vector<std::int32_t>{5, 0, -3, 2147483647}));
  EXPECT_EQ(state.memory, (std::vector<std::int32_t>{7, 8, 0}));
  EXPECT_EQ(outcome.log,
            "\n The Instruction :  either does not exist or supported. \n\n"
            "\n All files loaded succesfully \n\n"
            " ******************** Ending Loading Input Phase ***************************** \n\n");
}

TEST(Loader, StopsAtTheFirstFileThatCannotBeOpened) {
  struct Case {
    const char* name;
    const char* missing;  // file left out, or made a directory
    bool asDirectory;
    const char* expectedLog;
  };
  const Case cases[] = {
      {"source", "src.txt", false, ""},
      {"registers after the parser's messages", "reg.txt", false,
       "\n The Instruction : mul  1 either does not exist or supported. \n\n"},
      {"memory", "mem.txt", false, "\n The Instruction : mul  1 either does not exist or supported. \n\n"},
      {"directory in place of the source", "src.txt", true, ""},
      {"directory in place of the memory file", "mem.txt", true,
       "\n The Instruction : mul  1 either does not exist or supported. \n\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const char* name : {"src.txt", "reg.txt", "mem.txt"}) {
      if (std::string(name) == c.missing) {
        if (c.asDirectory) std::filesystem::create_directory(dir.path() / name);
      } else {
        dir.write(name, std::string(name) == "src.txt" ? "mul $1\n" : "1\n");
      }
    }
    MachineState state;
    const LoadOutcome outcome = loadIn(dir, state);
    EXPECT_EQ(outcome.error, std::string(" File ") + c.missing + " could not be loaded \n") << c.name;
    EXPECT_EQ(outcome.status, 1) << c.name;
    EXPECT_EQ(outcome.log, c.expectedLog) << c.name;
  }
}

// The same files as texts in memory and in a folder load into the same
// machine with the same messages, and fail on the same missing file.
TEST(Loader, TextsInMemoryLoadAsTheSameFilesInAFolder) {
  using Files = std::map<std::string, std::string>;
  const Files complete{{"src.txt", "add $3, $1, $2\r\nori $1\nL2: j L1\n\nlw $4, 4($0)"},
                       {"reg.txt", "5\n\n-3 apples\r\n99999999999\n"},
                       {"mem.txt", "7\n8\n\n"}};
  const auto without = [&complete](const std::string& path) {
    Files files = complete;
    files.erase(path);
    return files;
  };
  const struct {
    const char* name;
    Files files;
    const char* missing;  // the file loading stops at, if any
  } cases[] = {
      {"every file", complete, nullptr},
      {"empty files", {{"src.txt", ""}, {"reg.txt", ""}, {"mem.txt", ""}}, nullptr},
      {"no src.txt", without("src.txt"), "src.txt"},
      {"no reg.txt, after the parser's messages", without("reg.txt"), "reg.txt"},
      {"no mem.txt", without("mem.txt"), "mem.txt"},
      {"a file of the energy tree only", {{"EnergyConsumptionInput/Fetch/energy.txt", "1\n"}}, "src.txt"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    InputTexts texts("texts");
    for (const auto& [path, text] : c.files) {
      dir.write(path, text);
      texts.put(path, text);
    }
    MachineState fromFolder;
    MachineState fromTexts;
    const LoadOutcome folderOutcome = loadIn(dir, fromFolder);
    const LoadOutcome textsOutcome = loadFrom(texts, fromTexts);
    EXPECT_EQ(folderOutcome.error, c.missing ? std::string(" File ") + c.missing + " could not be loaded \n" : "")
        << c.name;
    EXPECT_EQ(textsOutcome.log, folderOutcome.log) << c.name;
    EXPECT_EQ(textsOutcome.error, folderOutcome.error) << c.name;
    EXPECT_EQ(textsOutcome.status, folderOutcome.status) << c.name;
    EXPECT_EQ(fromTexts.sourceLines, fromFolder.sourceLines) << c.name;
    EXPECT_EQ(fromTexts.instructions, fromFolder.instructions) << c.name;
    EXPECT_EQ(fromTexts.instructionLines, fromFolder.instructionLines) << c.name;
    EXPECT_EQ(fromTexts.registers, fromFolder.registers) << c.name;
    EXPECT_EQ(fromTexts.memory, fromFolder.memory) << c.name;
  }
}

TEST(Loader, ListsSourceRegistersAndMemoryWithHexadecimalWordIndices) {
  MachineState state;
  state.sourceLines = {"add $3, $1, $2", "", "\tsub $1 "};
  state.registers = {0, -5, 2147483647};
  for (int i = 0; i < 17; ++i) state.memory.push_back(i * 100);
  state.memory.resize(256, -1);
  std::ostringstream out;
  EXPECT_EQ(&printLoadedData(out, state), &out);

  std::string memory;
  for (int i = 0; i < 256; ++i) {
    std::ostringstream index;
    index << std::hex << i;
    memory.append(" ").append(index.str()).append(" : ").append(std::to_string(i < 17 ? i * 100 : -1)).append(" \n");
  }
  EXPECT_EQ(out.str(),
            " Source Code Loaded : \n\n"
            " L(1) : add $3, $1, $2 \n"
            " L(2) :  \n"
            " L(3) : \tsub $1  \n"
            "\n Register File Loaded : \n\n"
            " $0 : 0 \n $1 : -5 \n $2 : 2147483647 \n"
            "\n Memory File Loaded : \n\n" +
                memory + "\n\n");
  EXPECT_NE(out.str().find(" 9 : 900 \n a : 1000 \n"), std::string::npos);
  EXPECT_NE(out.str().find(" f : 1500 \n 10 : 1600 \n"), std::string::npos);
  EXPECT_NE(out.str().find(" ff : -1 \n"), std::string::npos);
  out << 255;  // the stream is left in decimal
  EXPECT_EQ(out.str().substr(out.str().size() - 3), "255");
}

}  // namespace
}  // namespace fivestage
