// fivestage --init end to end: the starter folder it makes, that the folder
// runs as it is, and the folders it will not write into.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::RunAs;
using testing::RunResult;
using testing::TempDir;

RunResult fivestageWith(const std::vector<std::string>& arguments, const fs::path& workdir,
                        const fs::path& input = "/dev/null", RunAs user = RunAs::Tester) {
  return testing::runProgram(FIVESTAGE_EXECUTABLE, arguments, workdir, input, user);
}

// Every file below `folder`, by relative path, with its content.
std::map<std::string, std::string> filesBelow(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = readFile(entry.path());
  }
  return files;
}

const fs::path examples = fs::path(FIVESTAGE_SOURCE_DIR) / "examples";

TEST(Init, MakesAFolderThatRunsToItsEnd) {
  struct Target {
    const char* name;
    std::string folder;  // as typed, relative to the working directory
    bool existsEmpty;
  };
  const Target targets[] = {
      {"a new folder", "course", false},
      {"an empty folder", "course", true},
      {"an empty folder with a trailing slash", "course/", true},
      {"a folder whose name needs quotes", "my course", false},
  };
  for (const Target& target : targets) {
    TempDir dir;
    if (target.existsEmpty) fs::create_directory(dir.path() / target.folder);
    const RunResult init = fivestageWith({"--init", target.folder}, dir.path());
    EXPECT_EQ(init.status, 0) << target.name << ": " << init.errors;
    EXPECT_EQ(init.errors, "") << target.name;
    const std::string word = target.folder.find(' ') == std::string::npos ? target.folder : "'" + target.folder + "'";
    // Started by its path, fivestage is named by it: it need not be on the PATH.
    const std::string command = FIVESTAGE_EXECUTABLE;
    const std::vector<std::string> next = {"cd " + word + " && " + command, command + " " + word};
    EXPECT_TRUE(init.output.ends_with("then run it:\n  " + next[0] + "\nor\n  " + next[1] + "\n")) << init.output;

    const fs::path made = dir.path() / target.folder;
    EXPECT_EQ(filesBelow(made), filesBelow(examples / "starter")) << target.name;

    // Each command it names, typed at a shell prompt: choice 1, then the
    // input ends, and the cycles run on without waiting.
    dir.write("keyboard", "1\n");
    for (const std::string& typed : next) {
      const RunResult run = testing::runProgram("/bin/sh", {"-c", typed}, dir.path(), dir.path() / "keyboard");
      EXPECT_EQ(run.status, 0) << typed << ": " << run.errors << run.output.substr(run.output.size() - 300);
      EXPECT_NE(run.output.find(" All files loaded succesfully \n"), std::string::npos) << typed;
      EXPECT_EQ(run.output.find("either does not exist or supported"), std::string::npos) << typed;
    }
  }
}

// The starter's energy figures are those of examples/basic, for every stage
// and all ten opcodes with Decode figures.
TEST(Init, HasTheWholeEnergyTree) {
  TempDir dir;
  ASSERT_EQ(fivestageWith({"--init", "course"}, dir.path()).status, 0);
  std::vector<std::string> paths = {"Fetch/energy.txt", "Execute/energy.txt", "Mem/energy.txt", "WriteBack/energy.txt"};
  for (const char* opcode : {"add", "addi", "and", "beq", "bne", "j", "lw", "or", "sub", "sw"}) {
    paths.push_back(std::string("Decode/") + opcode + "/energy.txt");
  }
  const fs::path tree = dir.path() / "course" / "EnergyConsumptionInput";
  std::map<std::string, std::string> expected;
  for (const std::string& path : paths) {
    expected[path] = readFile(examples / "basic" / "EnergyConsumptionInput" / path);
    EXPECT_FALSE(expected[path].empty()) << path;
  }
  EXPECT_EQ(filesBelow(tree), expected);
}

// Each refusal: status 2, one line on standard error naming the folder, and
// the folder as it was.
TEST(Init, RefusesAFolderItWouldNotWriteSafely) {
  struct Refusal {
    const char* name;
    std::string folder;
    std::string message;
  };
  const Refusal refusals[] = {
      {"a folder with a file in it", "full", "fivestage: will not write into full: it is not empty"},
      {"a file", "notes.txt", "fivestage: will not write into notes.txt: it exists and is not a folder"},
      {"a link to an empty folder", "link", "fivestage: link is a symbolic link, which --init does not follow"},
      {"a link with a trailing slash", "link/", "fivestage: link/ is a symbolic link, which --init does not follow"},
      {"a link to nowhere", "dangling", "fivestage: dangling is a symbolic link, which --init does not follow"},
      {"a folder in a folder that does not exist", "missing/course",
       "fivestage: cannot create missing/course: No such file or directory"},
      {"an empty folder nobody may write", "locked", "fivestage: cannot create locked/"},
  };
  for (const Refusal& refusal : refusals) {
    TempDir dir;
    dir.write("full/src.txt", "add $3, $1, $2\n");
    dir.write("notes.txt", "keep\n");
    fs::create_directory(dir.path() / "empty");
    fs::create_directory_symlink("empty", dir.path() / "link");
    fs::create_directory_symlink("nowhere", dir.path() / "dangling");
    fs::create_directory(dir.path() / "locked");
    // Unwritable to its owner, and to anyone but root: the run gives up root.
    dir.letOthersRead();
    fs::permissions(dir.path() / "locked",
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    const auto before = filesBelow(dir.path());

    const RunResult result = fivestageWith({"--init", refusal.folder}, dir.path(), "/dev/null", RunAs::Unprivileged);

    EXPECT_EQ(result.status, 2) << refusal.name << ": " << result.errors;
    EXPECT_EQ(result.output, "") << refusal.name;
    EXPECT_EQ(result.errors.rfind(refusal.message, 0), 0U) << refusal.name << ": " << result.errors;
    EXPECT_EQ(result.errors.find('\n'), result.errors.size() - 1) << refusal.name << ": not one line";
    EXPECT_EQ(filesBelow(dir.path()), before) << refusal.name;
    EXPECT_TRUE(fs::is_empty(dir.path() / "empty")) << refusal.name;
    EXPECT_TRUE(fs::is_empty(dir.path() / "locked")) << refusal.name;
    EXPECT_FALSE(fs::exists(dir.path() / "nowhere")) << refusal.name;
  }
}

}  // namespace
}  // namespace fivestage
