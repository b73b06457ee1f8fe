#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace fivestage::testing {

struct RunResult {
  std::string output;  // standard output
  std::string errors;  // standard error
  int status = -1;     // the exit status, or -1 when the process did not exit normally (a signal)
};

// Who the program runs as. Root reads files of mode 000 all the same, so a
// test that needs a file the program cannot read asks for an unprivileged
// user: when the tests run as root, the child gives up root before it starts
// the program. Otherwise the program runs as the tester, whoever that is.
enum class RunAs { Tester, Unprivileged };

// The user and group an unprivileged run takes: 'nobody' on Linux.
inline constexpr unsigned unprivilegedId = 65534;

// Runs `executable`, a compiled program, with `arguments` in `workdir`, with
// `input` as its standard input, and collects its output and exit status.
// The program and `input` may lie where only the tester may go; an
// unprivileged run's `workdir` must let others in, as a TempDir does after
// letOthersRead. When the child cannot be set up (privileges, working
// directory, exec) it exits with 127 and says why on its standard error.
RunResult runProgram(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                     const std::filesystem::path& workdir, const std::filesystem::path& input = "/dev/null",
                     RunAs user = RunAs::Tester);

// Runs the fivestage executable in `workdir` with `input` as its standard input.
RunResult runFivestageIn(const std::filesystem::path& workdir, const std::filesystem::path& input,
                         RunAs user = RunAs::Tester);

}  // namespace fivestage::testing
