#include "tests/support/RunProgram.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/support/TempDir.h"

namespace fivestage::testing {
namespace {

// Says on the child's standard error what could not be set up, and ends the child.
[[noreturn]] void failInChild(const std::string& what) {
  const std::string message = "runProgram: " + what + ": " + std::strerror(errno) + "\n";
  [[maybe_unused]] const ssize_t written = write(2, message.data(), message.size());
  _exit(127);
}

// Gives up root for good: first the supplementary groups and the group, which
// only root may change, then the user. Anyone else has nothing to give up.
void dropPrivileges() {
  if (geteuid() != 0) return;
  if (setgroups(0, nullptr) != 0 || setgid(unprivilegedId) != 0 || setuid(unprivilegedId) != 0) {
    failInChild("cannot give up root");
  }
}

}  // namespace

RunResult runProgram(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                     const std::filesystem::path& workdir, const std::filesystem::path& input, RunAs user) {
  TempDir scratch;  // the output goes here, outside the working directory
  const std::filesystem::path outputFile = scratch.path() / "stdout";
  const std::filesystem::path errorFile = scratch.path() / "stderr";
  std::vector<std::string> words{executable.string()};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    // The program is opened while the child may still reach it: a checkout in
    // a folder only root may enter, such as root's home, is out of an
    // unprivileged user's reach by its path, but not through a descriptor.
    // Close-on-exec suits a compiled program; a script's interpreter would
    // read the script through this descriptor and need it kept open.
    const int program = open(executable.c_str(), O_PATH | O_CLOEXEC);
    if (program < 0) failInChild("cannot open " + executable.string());
    const int in = open(input.c_str(), O_RDONLY);
    const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
    if (user == RunAs::Unprivileged) dropPrivileges();
    // After the drop this also finds a folder on the way that does not let others in.
    if (chdir(workdir.c_str()) != 0) failInChild("cannot enter " + workdir.string());
    fexecve(program, argv.data(), environ);
    failInChild("cannot run " + executable.string());
  }
  int raw = 0;
  waitpid(child, &raw, 0);
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.output = readFile(outputFile);
  result.errors = readFile(errorFile);
  return result;
}

RunResult runFivestageIn(const std::filesystem::path& workdir, const std::filesystem::path& input, RunAs user) {
  return runProgram(FIVESTAGE_EXECUTABLE, {}, workdir, input, user);
}

}  // namespace fivestage::testing
