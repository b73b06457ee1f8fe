#include "tests/support/RunProgram.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

namespace fivestage::testing {

RunResult runProgram(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                     const std::filesystem::path& workdir, const std::filesystem::path& input) {
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
    const int in = open(input.c_str(), O_RDONLY);
    const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        chdir(workdir.c_str()) != 0) {
      _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int raw = 0;
  waitpid(child, &raw, 0);
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.output = readFile(outputFile);
  result.errors = readFile(errorFile);
  return result;
}

RunResult runFivestageIn(const std::filesystem::path& workdir, const std::filesystem::path& input) {
  return runProgram(FIVESTAGE_EXECUTABLE, {}, workdir, input);
}

}  // namespace fivestage::testing
