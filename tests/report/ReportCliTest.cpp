// fivestage-report end to end: the real executable, its exit statuses, its
// refusals, its outputs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

namespace fs = std::filesystem;
using testing::linesOf;
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
      {"compare with a machine", {"--compare", "--flush"}, 2, "--compare runs the program on all four machines"},
      {"compare with a trace", {"--compare", "--trace", "t.txt"}, 2, "--compare writes no --kanata or --trace"},
      {"compare with a predictor",
       {"--compare", "--predictor", "taken"},
       2,
       "--compare runs the program on all four machines: give it without --predictor (--compare-predictors compares "
       "the predictors)"},
      {"predictors compared with one of them",
       {"--compare-predictors", "--predictor", "1-bit"},
       2,
       "--compare-predictors runs the program under every predictor: give it without --predictor"},
      {"two comparisons", {"--compare", "--compare-predictors"}, 2, "are two comparisons: give one"},
      {"predictors compared with a log",
       {"--compare-predictors", "--kanata", "k.kanata"},
       2,
       "--compare-predictors writes no --kanata or --trace"},
      {"a predictor not offered", {"--predictor", "3-bit"}, 2, "--predictor takes one of not-taken, taken"},
      {"a table not a power of two", {"--predictor-entries", "3"}, 2, "--predictor-entries takes a power of two"},
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
  EXPECT_NE(help.output.find("may be - for standard output"), std::string::npos) << help.output;
}

// Each refusal of a value or of the command line's shape is this one line.
TEST(ReportCli, OptionValuesAndTheCommandLineAreRefusedInOnePlainLine) {
  const std::string whole = "a whole number from 1 to 9223372036854775807";
  const std::string window = "FROM:TO, two cycle numbers from 1 to 9223372036854775807 with FROM <= TO";
  const std::string file = "a file name, or - for standard output";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--max-cycles", "0"}, "--max-cycles takes " + whole + ", not '0'"},
      {{"--max-cycles", "-5"}, "--max-cycles takes " + whole + ", not '-5'"},
      {{"--max-cycles", "abc"}, "--max-cycles takes " + whole + ", not 'abc'"},
      {{"--max-cycles", "1e3"}, "--max-cycles takes " + whole + ", not '1e3'"},
      {{"--max-cycles", "+5"}, "--max-cycles takes " + whole + ", not '+5'"},
      {{"--max-cycles", "9223372036854775808"}, "--max-cycles takes " + whole + ", not '9223372036854775808'"},
      {{"--max-cycles", ""}, "--max-cycles takes " + whole + ", not ''"},
      {{"--max-cycles"}, "--max-cycles takes " + whole + ", and none was given"},
      {{"--max-cycles="}, "--max-cycles takes " + whole + ", and none was given"},
      {{"--cycles", "5"}, "--cycles takes " + window + ", not '5'"},
      {{"--cycles", "1:9223372036854775808"}, "--cycles takes " + window + ", not '1:9223372036854775808'"},
      {{"--cycles"}, "--cycles takes " + window + ", and none was given"},
      {{"--json"}, "--json takes " + file + ", and none was given"},
      {{"--trace", ""}, "--trace takes " + file + ", not ''"},
      {{"--html", "--max-cycles", "5"},
       "--html takes " + file + ", not '--max-cycles' (./--max-cycles for a file so named)"},
      {{"--kanata", "a.kanata", "--kanata", "b.kanata"}, "--kanata is given 2 times: give it once"},
      {{"examples/basic", "examples/loop"}, "one input folder at a time: got examples/basic and examples/loop"},
      {{"a", "b", "c"}, "one input folder at a time: got a, b and c"},
      {{"--colour"}, "no option --colour (see fivestage-report --help)"},
      {{"--colour=red", "--json", "r.json"}, "no option --colour (see fivestage-report --help)"},
      {{"-x"}, "no option -x (see fivestage-report --help)"},
  };
  for (const auto& [arguments, message] : cases) {
    TempDir dir;
    writeInputs(dir);
    const std::vector<std::string> before = entriesOf(dir.path());
    const RunResult result = report(dir.path(), arguments);
    EXPECT_EQ(result.status, 2) << message;
    EXPECT_EQ(result.errors, "fivestage-report: " + message + "\n");
    EXPECT_EQ(result.output, "") << message;
    EXPECT_EQ(entriesOf(dir.path()), before) << message;
  }
}

TEST(ReportCli, TheLargestCycleNumbersAreAccepted) {
  TempDir dir;
  writeInputs(dir);
  const RunResult result = report(
      dir.path(), {"--max-cycles", "9223372036854775807", "--cycles", "9223372036854775000:9223372036854775807"});
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_NE(result.output.find("completed in"), std::string::npos) << result.output;
}

using Snapshot = std::map<std::string, std::string>;

// What a folder holds, all the way down, without following links: the kind
// of each entry, a file's content, a link's target, a device's number.
Snapshot snapshotOf(const fs::path& folder) {
  Snapshot entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    struct stat status {};
    lstat(entry.path().c_str(), &status);
    std::string what;
    switch (entry.symlink_status().type()) {
      case fs::file_type::regular: what = "file " + readFile(entry.path()); break;
      case fs::file_type::symlink: what = "link to " + fs::read_symlink(entry.path()).string(); break;
      case fs::file_type::directory: what = "folder"; break;
      case fs::file_type::fifo: what = "named pipe"; break;
      case fs::file_type::socket: what = "socket"; break;
      case fs::file_type::character: what = "character device " + std::to_string(status.st_rdev); break;
      case fs::file_type::block: what = "block device " + std::to_string(status.st_rdev); break;
      default: what = "other"; break;
    }
    entries[entry.path().lexically_relative(folder).string()] = what;
  }
  return entries;
}

// The entries of `actual` that are not as `expected`, one a line, so that a
// failure names only what changed.
std::string differences(const Snapshot& expected, const Snapshot& actual) {
  std::string text;
  for (const auto& [name, what] : actual) {
    const auto found = expected.find(name);
    if (found == expected.end() || found->second != what) {
      text += (found == expected.end() ? "new " : "changed ") + name + ": " + what.substr(0, 60) + "\n";
    }
  }
  for (const auto& [name, what] : expected) {
    if (!actual.contains(name)) text += "gone " + name + "\n";
  }
  return text;
}

// What the report writes for `option` into a plain new file, in this folder.
std::string referenceOutput(const TempDir& dir, const std::string& option) {
  const RunResult result = report(dir.path(), {option, "reference.out"});
  EXPECT_EQ(result.errors, "") << option;
  const std::string content = readFile(dir.path() / "reference.out");
  fs::remove(dir.path() / "reference.out");
  return content;
}

using Setup = std::function<void(const fs::path& dir)>;

void makeLink(const fs::path& dir, const std::string& name, const fs::path& target) {
  fs::create_symlink(target, dir / name);
}

void bindSocket(const fs::path& path) {
  const int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
  close(socketFd);
}

struct OutputRefusal {
  const char* name;
  Setup setup;
  std::vector<std::string> arguments;
  std::string message;  // on standard error
};

// Outputs that cannot be written, or two outputs on one file: refused before
// anything is created, and nothing in the folder changes.
TEST(ReportCli, RefusesOutputsThatCannotBeWrittenOrShareAFile) {
  const auto nothing = [](const fs::path&) {};
  const OutputRefusal cases[] = {
      {"one name twice",
       nothing,
       {"--html", "out.html", "--json", "out.html"},
       "--html out.html and --json out.html are the same file"},
      {"two spellings of a new file",
       [](const fs::path& dir) { fs::create_directory(dir / "sub"); },
       {"--html", "out.html", "--json", "sub/../out.html"},
       "--html out.html and --json sub/../out.html are the same"},
      {"a file and a link to it",
       [](const fs::path& dir) {
         std::ofstream(dir / "out.json") << "old\n";
         makeLink(dir, "link.json", "out.json");
       },
       {"--json", "out.json", "--trace", "link.json"},
       "--json out.json and --trace link.json are the same file"},
      {"a hard link",
       [](const fs::path& dir) {
         std::ofstream(dir / "a.txt") << "old\n";
         fs::create_hard_link(dir / "a.txt", dir / "b.txt");
       },
       {"--kanata", "a.txt", "--trace", "b.txt"},
       "--kanata a.txt and --trace b.txt are the same file"},
      {"a dangling link and the file it names",
       [](const fs::path& dir) { makeLink(dir, "link.json", "new.json"); },
       {"--json", "link.json", "--trace", "new.json"},
       "--json link.json and --trace new.json are the same file"},
      {"a new file through a linked folder",
       [](const fs::path& dir) {
         fs::create_directory(dir / "real");
         makeLink(dir, "alias", "real");
       },
       {"--json", "real/r.json", "--html", "alias/r.json"},
       "--html alias/r.json and --json real/r.json are the same"},
      {"standard output twice",
       nothing,
       {"--json", "-", "--trace", "-"},
       "only one output can go to standard output, not both --json - and --trace -"},
      {"- and a name for descriptor 1",
       [](const fs::path& dir) { makeLink(dir, "out", "/proc/self/fd/1"); },
       {"--html", "out", "--kanata", "-"},
       "only one output can go to standard output, not both --html out and"},
      {"a socket",
       [](const fs::path& dir) { bindSocket(dir / "sock"); },
       {"--json", "sock"},
       "cannot write sock: it is a socket"},
      {"a link to a folder",
       [](const fs::path& dir) { makeLink(dir, "folder", "EnergyConsumptionInput"); },
       {"--json", "folder"},
       "cannot write folder: it is a folder"},
      {"a loop of links",
       [](const fs::path& dir) {
         makeLink(dir, "a", "b");
         makeLink(dir, "b", "a");
       },
       {"--json", "a"},
       "cannot write a: Too many levels of symbolic links"},
      {"a link to an input file",
       [](const fs::path& dir) { makeLink(dir, "out", "src.txt"); },
       {"--trace", "out"},
       "will not write out: it is the input file src.txt"},
      {"a link into the energy figures",
       [](const fs::path& dir) { makeLink(dir, "out", "EnergyConsumptionInput/Fetch/energy.txt"); },
       {"--trace", "out"},
       "will not write out: it is inside the energy figures"},
      {"a descriptor that is not open",
       [](const fs::path& dir) { makeLink(dir, "out", "/proc/self/fd/97"); },
       {"--json", "out"},
       "cannot write out: descriptor 97 is not open"},
      {"standard input",
       [](const fs::path& dir) { makeLink(dir, "out", "/proc/self/fd/0"); },
       {"--json", "out"},
       "cannot write out: descriptor 0 is open for reading only"},
      {"a link into a missing folder",
       [](const fs::path& dir) { makeLink(dir, "out", "missing/out.json"); },
       {"--json", "out"},
       "cannot write out: there is no folder"},
  };
  for (const OutputRefusal& c : cases) {
    TempDir dir;
    writeInputs(dir);
    c.setup(dir.path());
    const Snapshot before = snapshotOf(dir.path());
    const RunResult result = report(dir.path(), c.arguments);
    EXPECT_EQ(result.status, 2) << c.name;
    EXPECT_NE(result.errors.find("fivestage-report: " + c.message), std::string::npos)
        << c.name << ": " << result.errors;
    EXPECT_EQ(result.output, "") << c.name;
    EXPECT_EQ(differences(before, snapshotOf(dir.path())), "") << c.name;
  }
}

struct LinkedOutput {
  const char* name;
  Setup setup;
  std::string output;             // the name given to --json
  std::string replaced;           // the file that gets the report
  std::optional<fs::perms> mode;  // the replaced file's, kept
};

// A symbolic link is followed: the file it names gets the report, the link
// stays as it was, and no temporary file is left anywhere.
TEST(ReportCli, AnOutputThroughSymbolicLinksReplacesTheFileTheyName) {
  const auto oldFile = [](const fs::path& path, fs::perms mode) {
    std::ofstream(path) << "old\n";
    fs::permissions(path, mode);
  };
  const LinkedOutput cases[] = {
      {"a link to a file",
       [&](const fs::path& dir) {
         oldFile(dir / "target.json", fs::perms::owner_read | fs::perms::owner_write);
         makeLink(dir, "link.json", "target.json");
       },
       "link.json", "target.json", fs::perms::owner_read | fs::perms::owner_write},
      {"a link to a file yet to be", [](const fs::path& dir) { makeLink(dir, "link.json", "new.json"); }, "link.json",
       "new.json", std::nullopt},
      {"a chain of links",
       [&](const fs::path& dir) {
         oldFile(dir / "target.json", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
         makeLink(dir, "first", "second");
         makeLink(dir, "second", dir / "target.json");
       },
       "first", "target.json", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read},
      {"a relative link in a subfolder",
       [](const fs::path& dir) {
         fs::create_directory(dir / "sub");
         makeLink(dir, "sub/link.json", "../target.json");
       },
       "sub/link.json", "target.json", std::nullopt},
      {"a link through a linked folder",
       [](const fs::path& dir) {
         fs::create_directory(dir / "real");
         makeLink(dir, "alias", "real");
         makeLink(dir, "link.json", "alias/out.json");
       },
       "link.json", "real/out.json", std::nullopt},
  };
  for (const LinkedOutput& c : cases) {
    TempDir dir;
    writeInputs(dir);
    const std::string expected = referenceOutput(dir, "--json");
    c.setup(dir.path());
    Snapshot after = snapshotOf(dir.path());
    after[c.replaced] = "file " + expected;
    const RunResult result = report(dir.path(), {"--json", c.output});
    EXPECT_EQ(result.status, 0) << c.name << ": " << result.errors;
    EXPECT_EQ(differences(after, snapshotOf(dir.path())), "") << c.name;
    if (c.mode) {
      EXPECT_EQ(fs::status(dir.path() / c.replaced).permissions(), *c.mode) << c.name;
    }
  }
}

const char* const outputOptions[] = {"--html", "--json", "--kanata", "--trace"};

// - and a name for descriptor 1 put the output on standard output, which then
// carries it alone: the text report is left out.
TEST(ReportCli, StandardOutputCarriesTheOutputNamedDashAlone) {
  for (const char* option : outputOptions) {
    for (const char* name : {"-", "stdout-link"}) {
      TempDir dir;
      writeInputs(dir);
      makeLink(dir.path(), "stdout-link", "/proc/self/fd/1");
      const std::string expected = referenceOutput(dir, option);
      const RunResult result = report(dir.path(), {option, name});
      EXPECT_EQ(result.status, 0) << option << " " << name;
      EXPECT_EQ(result.output, expected) << option << " " << name;
      EXPECT_EQ(result.errors, "") << option << " " << name;
      EXPECT_TRUE(fs::is_symlink(dir.path() / "stdout-link"));
    }
  }
  // Another output still goes to its file.
  TempDir dir;
  writeInputs(dir);
  const std::string json = referenceOutput(dir, "--json");
  const std::string trace = referenceOutput(dir, "--trace");
  const RunResult result = report(dir.path(), {"--json", "-", "--trace", "trace.txt"});
  EXPECT_EQ(result.output, json);
  EXPECT_EQ(readFile(dir.path() / "trace.txt"), trace);
}

// A run that does not complete says so in one line on standard error when
// standard output carries an output instead of the text report.
TEST(ReportCli, WithTheTextReportLeftOutAnUnfinishedRunIsNamedOnStandardError) {
  const struct {
    const char* program;  // nullptr: no src.txt
    std::vector<std::string> arguments;
    int status;
    std::string errors;
  } cases[] = {
      {nullptr, {"--json", "-"}, 1, "fivestage-report: not run: File src.txt could not be loaded\n"},
      {"add $3, $1, $2\nxor $1, $1, $1\n",
       {"--trace", "-"},
       1,
       "fivestage-report: ended in cycle 3: File could not be loaded\n"},
      {"j L1\n",
       {"--kanata", "-", "--max-cycles", "40"},
       1,
       "fivestage-report: stopped: still running after 40 cycles (--max-cycles)\n"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    writeInputs(dir, c.program == nullptr ? "" : c.program);
    if (c.program == nullptr) fs::remove(dir.path() / "src.txt");
    const RunResult result = report(dir.path(), c.arguments);
    EXPECT_EQ(result.status, c.status) << c.errors;
    EXPECT_EQ(result.errors, c.errors);
    EXPECT_NE(result.output, "") << c.errors;
    EXPECT_EQ(result.output.find("fivestage report for"), std::string::npos) << c.errors;
  }
}

// Reads a named pipe to its end on a thread of its own, as another program
// reading it would. The test holds a writing end of its own as well, so that
// the reader never waits for a writer that does not come: the read ends when
// the report has closed the pipe and take() closes that end.
class PipeReader {
 public:
  explicit PipeReader(const fs::path& pipe)
      : ownEnd_(open(pipe.c_str(), O_RDWR | O_CLOEXEC)),
        reader_(open(pipe.c_str(), O_RDONLY | O_CLOEXEC)),
        thread_([this] { readAll(); }) {}
  ~PipeReader() { take(); }
  PipeReader(const PipeReader&) = delete;
  PipeReader& operator=(const PipeReader&) = delete;

  std::string take() {
    if (ownEnd_ >= 0) close(ownEnd_);
    ownEnd_ = -1;
    if (thread_.joinable()) thread_.join();
    return text_;
  }

 private:
  void readAll() {
    char buffer[4096];
    for (ssize_t got; reader_ >= 0 && (got = read(reader_, buffer, sizeof buffer)) > 0;) {
      text_.append(buffer, static_cast<std::size_t>(got));
    }
    if (reader_ >= 0) close(reader_);
  }

  int ownEnd_;
  int reader_;
  std::string text_;
  std::thread thread_;
};

TEST(ReportCli, ANamedPipeIsWrittenInPlaceForItsReader) {
  for (const char* option : outputOptions) {
    TempDir dir;
    writeInputs(dir);
    const std::string expected = referenceOutput(dir, option);
    ASSERT_EQ(mkfifo((dir.path() / "pipe").c_str(), 0600), 0) << std::strerror(errno);
    const Snapshot before = snapshotOf(dir.path());
    PipeReader reader(dir.path() / "pipe");
    const RunResult result = report(dir.path(), {option, "pipe"});
    EXPECT_EQ(result.status, 0) << option << ": " << result.errors;
    EXPECT_EQ(reader.take(), expected) << option;
    EXPECT_NE(result.output.find("fivestage report for"), std::string::npos) << option;
    EXPECT_EQ(differences(before, snapshotOf(dir.path())), "") << option;  // still a pipe, and no temporary left
  }
}

// A device node in the test's own folder (major 1 holds the memory devices:
// 3 the null device, 7 the full one), never the machine's own. Returns why
// it cannot be made or opened, when the system does not allow it.
std::optional<std::string> makeDevice(const fs::path& path, mode_t type, unsigned majorNumber, unsigned minorNumber) {
  if (mknod(path.c_str(), type | 0666, makedev(majorNumber, minorNumber)) != 0) {
    return std::string("cannot make a device node here (mknod: ") + std::strerror(errno) + "): it needs root";
  }
  if (type != S_IFCHR) return std::nullopt;
  const int device = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (device < 0) {
    return std::string("cannot open a device node made here (") + std::strerror(errno) +
           "): the temporary folder may be mounted nodev";
  }
  close(device);
  return std::nullopt;
}

struct DeviceCase {
  const char* name;
  std::vector<std::string> arguments;
  int status;
  std::string errors;  // what standard error holds
};

// Character devices are written in place and stay devices; a block device
// is refused; an output that fails to be written leaves no file behind,
// neither its own nor another output's, nor any temporary.
TEST(ReportCli, DevicesAreWrittenInPlaceOrRefusedAndAFailedWriteLeavesNoFileBehind) {
  const DeviceCase cases[] = {
      {"the null device", {"--json", "null", "--trace", "null-too"}, 0, ""},
      {"the null device and a file", {"--html", "null", "--kanata", "run.kanata"}, 0, ""},
      {"a full device",
       {"--json", "good.json", "--html", "page.html", "--trace", "full"},
       2,
       "fivestage-report: cannot write full: No space left on device\n"},
      {"a block device",
       {"--json", "good.json", "--trace", "block"},
       2,
       "fivestage-report: cannot write block: it is a block device"},
  };
  for (const DeviceCase& c : cases) {
    TempDir dir;
    writeInputs(dir);
    for (const auto& [name, type, majorNumber, minorNumber] :
         {std::tuple{"null", mode_t{S_IFCHR}, 1u, 3u}, std::tuple{"null-too", mode_t{S_IFCHR}, 1u, 3u},
          std::tuple{"full", mode_t{S_IFCHR}, 1u, 7u}, std::tuple{"block", mode_t{S_IFBLK}, 7u, 200u}}) {
      if (const std::optional<std::string> whyNot = makeDevice(dir.path() / name, type, majorNumber, minorNumber)) {
        GTEST_SKIP() << *whyNot;
      }
    }
    Snapshot after = snapshotOf(dir.path());
    if (c.status == 0 && std::find(c.arguments.begin(), c.arguments.end(), "run.kanata") != c.arguments.end()) {
      after["run.kanata"] = "file " + referenceOutput(dir, "--kanata");
    }
    const RunResult result = report(dir.path(), c.arguments);
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_EQ(result.errors.substr(0, c.errors.size()), c.errors) << c.name;
    EXPECT_EQ(result.output.empty(), c.status != 0) << c.name;
    EXPECT_EQ(differences(after, snapshotOf(dir.path())), "") << c.name;
  }
}

// With one Enter per cycle the console prints exactly what the report's
// trace holds: every golden case fed so is compared byte for byte.
// --compare runs the four machines: each machine's JSON is what the single
// run on that machine writes, and the text shows a row per machine.
TEST(ReportCli, CompareGivesEachMachineItsSingleRunsFigures) {
  TempDir dir;
  writeInputs(dir, "beq $1, $1, L3\naddi $2, $0, 9\nsw $3, 0($0)\nadd $4, $3, $3\n");
  const RunResult compared = report(dir.path(), {"--compare", "--json", "all.json", "--html", "all.html"});
  EXPECT_EQ(compared.status, 0) << compared.errors;
  const nlohmann::json machines = nlohmann::json::parse(readFile(dir.path() / "all.json"))["machines"];
  ASSERT_EQ(machines.size(), 4U);
  const std::vector<std::vector<std::string>> flags = {{}, {"--forwarding"}, {"--flush"}, {"--forwarding", "--flush"}};
  for (std::size_t m = 0; m < flags.size(); ++m) {
    std::vector<std::string> arguments = flags[m];
    arguments.insert(arguments.end(), {"--json", "one.json"});
    ASSERT_EQ(report(dir.path(), arguments).status, 0);
    EXPECT_EQ(machines[m], nlohmann::json::parse(readFile(dir.path() / "one.json"))) << m;
  }
  // Flush cancels the addi behind the taken beq. The use of the loaded word
  // right after the load costs one cycle on both machines: without
  // forwarding as the last instruction's wait, with it as the load's delay.
  EXPECT_EQ(machines[0]["cancelled"], 0);
  EXPECT_EQ(machines[2]["cancelled"], 1);
  EXPECT_EQ(machines[0]["cyclesLost"], 1);
  EXPECT_EQ(machines[1]["cyclesLost"], 1);
  // Each row's energy, delay products and split are the JSON's, which the
  // page's table shows; the wrong-path energy is the flushed addi's.
  const char* names[] = {"as specified", "forwarding", "flush", "forwarding and flush"};
  const std::pair<std::size_t, nlohmann::json::json_pointer> energyCells[] = {
      {5, "/energy/total"_json_pointer},
      {7, "/energy/delayProduct"_json_pointer},
      {8, "/energy/delaySquaredProduct"_json_pointer},
      {9, "/energy/split/completed/total"_json_pointer},
      {10, "/energy/split/wrongPath/total"_json_pointer},
      {11, "/energy/split/idle/total"_json_pointer},
      {12, "/energy/split/stalled/total"_json_pointer}};
  for (std::size_t m = 0; m < machines.size(); ++m) {
    const std::string start = "\n  " + std::string(names[m]) + "  ";
    const std::size_t row = compared.output.find(start);
    ASSERT_NE(row, std::string::npos) << names[m];
    std::istringstream cells(compared.output.substr(row + 25, compared.output.find('\n', row + 1) - row - 25));
    std::vector<std::string> cell(13);
    for (std::string& text : cell) cells >> text;
    for (const auto& [column, pointer] : energyCells) {
      EXPECT_EQ(cell[column], std::to_string(std::llround(machines[m][pointer].get<double>())))
          << names[m] << " " << pointer;
    }
    EXPECT_EQ(machines[m]["energy"]["split"]["wrongPath"]["total"].get<std::int64_t>() > 0, m >= 2) << names[m];
  }
  EXPECT_NE(readFile(dir.path() / "all.html").find("<h1>fivestage comparison</h1>"), std::string::npos);
}

// With flush, the instruction behind a taken branch leaves the Kanata log as
// flushed the cycle it is cancelled; the others retire in order.
TEST(ReportCli, TheKanataLogRetiresACancelledInstructionAsFlushed) {
  TempDir dir;
  writeInputs(dir, "beq $1, $1, L3\naddi $2, $0, 9\naddi $3, $0, 1\n");
  ASSERT_EQ(report(dir.path(), {"--flush", "--kanata", "run.kanata"}).status, 0);
  const std::string log = readFile(dir.path() / "run.kanata");
  // Fetch 2 (log id 1, the addi behind the beq) is cancelled in cycle 3.
  EXPECT_NE(log.find("L\t1\t1\tcancelled: fetched behind the taken E(0)\nR\t1\t1\t1\n"), std::string::npos) << log;
  EXPECT_NE(log.find("R\t0\t0\t0\n"), std::string::npos) << log;
  EXPECT_NE(log.find("R\t2\t1\t0\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("S\t1\t0\tD"), std::string::npos) << "the cancelled instruction is never decoded";
}

// --compare-predictors runs the five predictors with forwarding if given:
// each one's JSON is its single run's, and the text has a row for each.
TEST(ReportCli, ComparePredictorsGivesEachPredictorItsSingleRunsFigures) {
  TempDir dir;
  writeInputs(dir, "addi $1, $0, 3\naddi $2, $0, 0\naddi $2, $2, 1\nbne $2, $1, L3\naddi $5, $0, 1\n");
  const RunResult compared =
      report(dir.path(), {"--compare-predictors", "--forwarding", "--json", "all.json", "--html", "all.html"});
  ASSERT_EQ(compared.status, 0) << compared.errors;
  const nlohmann::json machines = nlohmann::json::parse(readFile(dir.path() / "all.json"))["machines"];
  const char* predictors[] = {"not-taken", "taken", "backward-taken", "1-bit", "2-bit"};
  ASSERT_EQ(machines.size(), std::size(predictors));
  for (std::size_t m = 0; m < machines.size(); ++m) {
    ASSERT_EQ(report(dir.path(), {"--forwarding", "--predictor", predictors[m], "--json", "one.json"}).status, 0);
    EXPECT_EQ(machines[m], nlohmann::json::parse(readFile(dir.path() / "one.json"))) << predictors[m];
  }
  // not-taken mispredicts the two taken turns, taken only the exit.
  const RunResult text = report(dir.path(), {"--compare-predictors", "--forwarding"});
  EXPECT_NE(text.output.find("  not-taken                   15   1.67             2    33.33%     2"),
            std::string::npos)
      << text.output;
  EXPECT_NE(text.output.find("  taken                       14   1.56             1    66.67%     1"),
            std::string::npos)
      << text.output;
  EXPECT_NE(readFile(dir.path() / "all.html").find("the program on five predictors"), std::string::npos);
}

// --predictor not-taken is the flush machine: every output the same, byte
// for byte, and no prediction section or object.
TEST(ReportCli, TheNotTakenPredictorReportsAsTheFlushMachine) {
  TempDir dir;
  writeInputs(dir, "addi $1, $0, 2\naddi $2, $0, 0\naddi $2, $2, 1\nbne $2, $1, L3\nj L7\naddi $5, $0, 1\n");
  const std::vector<std::string> outputs = {"--html", "r.html", "--json", "r.json", "--kanata", "r.kanata"};
  std::vector<std::string> flush = {"--flush"}, notTaken = {"--predictor", "not-taken"};
  flush.insert(flush.end(), outputs.begin(), outputs.end());
  const RunResult viaFlush = report(dir.path(), flush);
  std::vector<std::string> saved;
  for (const char* name : {"r.html", "r.json", "r.kanata"}) saved.push_back(readFile(dir.path() / name));
  notTaken.insert(notTaken.end(), outputs.begin(), outputs.end());
  const RunResult viaPredictor = report(dir.path(), notTaken);
  EXPECT_EQ(viaPredictor.output, viaFlush.output);
  EXPECT_EQ(readFile(dir.path() / "r.html"), saved[0]);
  EXPECT_EQ(readFile(dir.path() / "r.json"), saved[1]);
  EXPECT_EQ(readFile(dir.path() / "r.kanata"), saved[2]);
  EXPECT_EQ(viaFlush.output.find("Branch prediction"), std::string::npos);
  EXPECT_FALSE(nlohmann::json::parse(saved[1]).contains("prediction"));
}

// A loop of three turns whose branch is taken twice, with forwarding so
// that it never waits and each wrong guess cancels a fetch: each predictor's
// mispredictions, their cost in the breakdown, and the branch's row.
TEST(ReportCli, TheBranchPredictionSectionCountsEachBranchsMispredictions) {
  TempDir dir;
  writeInputs(dir, "addi $1, $0, 3\naddi $2, $0, 0\naddi $2, $2, 1\nbne $2, $1, L3\naddi $5, $0, 1\n");
  const struct {
    const char* predictor;
    int mispredicted;
    const char* row;
  } cases[] = {
      {"taken", 1, "L4    bne $2, $1, L3               3      2      1    66.67%     1       5"},
      {"backward-taken", 1, "L4    bne $2, $1, L3               3      2      1    66.67%     1       5"},
      {"1-bit", 2, "L4    bne $2, $1, L3               3      2      2    33.33%     2      10"},
      {"2-bit", 2, "L4    bne $2, $1, L3               3      2      2    33.33%     2      10"},
  };
  for (const auto& c : cases) {
    const RunResult run =
        report(dir.path(), {"--forwarding", "--predictor", c.predictor, "--json", "r.json", "--html", "r.html"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.output.find("\nBranch prediction\n"), std::string::npos) << c.predictor;
    EXPECT_NE(run.output.find(c.row), std::string::npos) << c.predictor << run.output;
    EXPECT_NE(run.output.find(" + " + std::to_string(c.mispredicted) + " lost to mispredictions"), std::string::npos)
        << c.predictor;
    const nlohmann::json json = nlohmann::json::parse(readFile(dir.path() / "r.json"));
    EXPECT_EQ(json["machine"]["predictor"], c.predictor);
    EXPECT_EQ(json["machine"]["flush"], true);
    EXPECT_EQ(json["prediction"]["mispredictions"], c.mispredicted);
    EXPECT_EQ(json["prediction"]["branches"][0]["line"], 4);
    EXPECT_EQ(json["prediction"]["history"].size(), 3U);
    const std::string html = readFile(dir.path() / "r.html");
    EXPECT_NE(html.find("<h2>Branch prediction"), std::string::npos) << c.predictor;
    EXPECT_NE(html.find("<tr class=\"wrong\">"), std::string::npos) << c.predictor;
  }
}

// With a predictor, the instruction fetched at the label of a branch
// predicted taken that is not taken leaves the log as flushed too.
TEST(ReportCli, TheKanataLogRetiresAWrongPathInstructionAsFlushed) {
  TempDir dir;
  writeInputs(dir, "beq $1, $2, L3\naddi $2, $0, 9\naddi $3, $0, 1\n");
  ASSERT_EQ(report(dir.path(), {"--predictor", "taken", "--kanata", "run.kanata"}).status, 0);
  const std::string log = readFile(dir.path() / "run.kanata");
  // Fetch 2 (log id 1) is E(2), at the label; the beq is not taken in cycle 3.
  EXPECT_NE(log.find("L\t1\t1\tcancelled: fetched behind the not taken E(0)\nR\t1\t1\t1\n"), std::string::npos)
      << log;
  EXPECT_EQ(log.find("S\t1\t0\tD"), std::string::npos) << "the cancelled instruction is never decoded";
}

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
    // The case's machine options, if any, apply to the report as to the console.
    std::vector<std::string> arguments = linesOf(caseDir / "args");
    arguments.insert(arguments.end(), {"--trace", "trace.txt"});
    const RunResult result = report(work.path(), arguments);
    EXPECT_EQ(readFile(work.path() / "trace.txt"), expected) << caseDir.filename();
    EXPECT_EQ(result.status, std::stoi(readFile(caseDir / "expected_status"))) << caseDir.filename();
    ++compared;
  }
  EXPECT_GE(compared, 20);
}

}  // namespace
}  // namespace fivestage
