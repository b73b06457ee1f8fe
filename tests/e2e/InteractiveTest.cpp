// At a terminal the prompt must be on screen before the program waits for a
// key, and a key press must show its cycle at once: the trace is buffered, so
// this checks that it is flushed before every wait.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>

#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

class Terminal {
 public:
  explicit Terminal(const std::filesystem::path& workdir) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      if (chdir(workdir.c_str()) != 0) _exit(127);
      execl(FIVESTAGE_EXECUTABLE, FIVESTAGE_EXECUTABLE, static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool started() const { return pid_ > 0; }

  // Reads what the program shows until `expected` has appeared (true) or the
  // time has passed without it (false). Generous: the tests also run under valgrind.
  bool waitFor(const std::string& expected, std::chrono::milliseconds patience = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (screen_.find(expected, searched_) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd ready{master_, POLLIN, 0};
      if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
      char chunk[4096];
      const ssize_t count = read(master_, chunk, sizeof chunk);
      if (count <= 0) return false;
      // The terminal turns each line feed into a carriage return and a line feed.
      for (ssize_t i = 0; i < count; ++i) {
        if (chunk[i] != '\r') screen_ += chunk[i];
      }
    }
    searched_ = screen_.find(expected, searched_) + expected.size();
    return true;
  }

  void type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  std::string screen_;
  std::size_t searched_ = 0;
};

TEST(Interactive, PromptIsShownBeforeEachWaitAndEachKeyShowsItsCycle) {
  testing::TempDir work;
  work.addEnergyTree();
  work.write("src.txt", "add $3, $1, $2\nadd $4, $3, $3\n");
  work.write("reg.txt", "0\n1\n2\n3\n4\n");
  work.write("mem.txt", "0\n");

  Terminal terminal(work.path());
  ASSERT_TRUE(terminal.started());
  ASSERT_TRUE(terminal.waitFor("or 2 to see the loaded data  : \n"));
  terminal.type("1\n");
  // Cycle 1 runs on the newline that ended the choice, then the program waits.
  ASSERT_TRUE(terminal.waitFor("Cpu Cycle 1 "));
  ASSERT_TRUE(terminal.waitFor(" Fetching : E(0)   add $3, $1, $2"));
  ASSERT_TRUE(terminal.waitFor("Press Enter to perform a step :  "));
  EXPECT_FALSE(terminal.waitFor("Cpu Cycle 2 ", std::chrono::seconds(1))) << "a cycle ran without a key press";
  terminal.type("\n");
  ASSERT_TRUE(terminal.waitFor("Cpu Cycle 2 "));
  ASSERT_TRUE(terminal.waitFor(" Decoding : E(0)   add $3, $1, $2"));
  ASSERT_TRUE(terminal.waitFor("Press Enter to perform a step :  "));
  terminal.type("\n");
  ASSERT_TRUE(terminal.waitFor("Cpu Cycle 3 "));
  ASSERT_TRUE(terminal.waitFor("\t Stall : E(1) \n"));
}

}  // namespace
}  // namespace fivestage
