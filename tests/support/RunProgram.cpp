#include "tests/support/RunProgram.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

namespace fivestage::testing {

RunResult runFivestageIn(const std::filesystem::path& workdir, const std::filesystem::path& input) {
  TempDir scratch;  // standard output goes here, outside the working directory
  const std::filesystem::path outputFile = scratch.path() / "stdout";
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
  return result;
}

}  // namespace fivestage::testing
