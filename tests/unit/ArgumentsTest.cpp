#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/Arguments.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

using testing::TempDir;
using testing::WorkingDirectory;

struct Line {
  const char* name;
  std::vector<std::string> words;
  Action action;
  std::string folder;  // empty unless simulating
  std::string error;   // for Refuse, the whole message
  MachineOptions machine = {};
};

const std::string machineAlone =
    "--forwarding and --flush choose the machine to simulate: give them with a folder or alone";

const std::string initWants = "--init wants one folder after it: fivestage --init DIR";

// Run in a working directory that holds the folder `input` and the file `notes.txt`.
TEST(Arguments, ReadsEachCommandLine) {
  const Line lines[] = {
      {"no argument", {}, Action::Simulate, ".", ""},
      {"a folder", {"input"}, Action::Simulate, "input", ""},
      {"a folder with a trailing slash", {"input/"}, Action::Simulate, "input/", ""},
      {"help", {"--help"}, Action::Help, "", ""},
      {"version", {"--version"}, Action::Version, "", ""},
      {"init a new folder", {"--init", "course"}, Action::Init, "course", ""},
      {"init an existing folder", {"--init", "input"}, Action::Init, "input", ""},
      {"init without a folder", {"--init"}, Action::Refuse, "", initWants},
      {"init with two folders", {"--init", "a", "b"}, Action::Refuse, "", initWants},
      {"init after a folder", {"input", "--init", "b"}, Action::Refuse, "", initWants},
      {"init with an option for a folder", {"--init", "--help"}, Action::Refuse, "", initWants},
      {"init with an empty folder name", {"--init", ""}, Action::Refuse, "", initWants},
      {"a folder that does not exist", {"nowhere"}, Action::Refuse, "", "no such folder: nowhere"},
      {"an empty folder name", {""}, Action::Refuse, "", "no such folder: "},
      {"a file", {"notes.txt"}, Action::Refuse, "", "not a folder: notes.txt"},
      {"two folders", {"input", "input"}, Action::Refuse, "", "one folder at most, not 2"},
      {"an unknown option", {"--colour"}, Action::Refuse, "", "unknown option: --colour"},
      {"a short option", {"-h"}, Action::Refuse, "", "unknown option: -h"},
      {"a lone dash", {"-"}, Action::Refuse, "", "unknown option: -"},
      {"an unknown option after a folder", {"input", "--colour"}, Action::Refuse, "", "unknown option: --colour"},
      {"help with a folder", {"--help", "input"}, Action::Refuse, "", "--help stands alone"},
      {"version after a folder", {"input", "--version"}, Action::Refuse, "", "--version stands alone"},
      {"help and version", {"--help", "--version"}, Action::Refuse, "", "--help stands alone"},
      {"forwarding", {"--forwarding"}, Action::Simulate, ".", "", {true, false}},
      {"flush after a folder", {"input", "--flush"}, Action::Simulate, "input", "", {false, true}},
      {"both around a folder", {"--flush", "input", "--forwarding"}, Action::Simulate, "input", "", {true, true}},
      {"forwarding with help", {"--forwarding", "--help"}, Action::Refuse, "", machineAlone},
      {"flush with init", {"--flush", "--init", "course"}, Action::Refuse, "", machineAlone},
      {"forwarding and a second folder",
       {"--forwarding", "input", "input"},
       Action::Refuse,
       "",
       "one folder at most, not 2"},
  };
  TempDir dir;
  dir.write("input/src.txt", "");
  dir.write("notes.txt", "");
  WorkingDirectory inside(dir.path());
  for (const Line& line : lines) {
    const Arguments arguments = parseArguments(line.words);
    EXPECT_EQ(arguments.action, line.action) << line.name;
    EXPECT_EQ(arguments.error, line.error) << line.name;
    EXPECT_EQ(arguments.folder, line.folder) << line.name;
    EXPECT_EQ(arguments.machine, line.machine) << line.name;
  }
}

}  // namespace
}  // namespace fivestage
