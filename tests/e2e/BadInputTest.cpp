// Hostile and unusual input, end to end against the real executable: every
// case ends with exit status 0 or 1 (never a signal) and shows the message or
// trace end that the program defines for it.
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
using testing::TempDir;

// Special file contents of a case.
const std::string missing = "<missing>";
const std::string directory = "<directory>";
const std::string unreadable = "<unreadable>";

std::string numberedLines(int count, int step, const std::string& lineEnd = "\n") {
  std::string text;
  for (int i = 0; i < count; ++i) text += std::to_string(i * step) + lineEnd;
  return text;
}

struct BadInput {
  std::string name;
  std::map<std::string, std::string> files;  // over the defaults below
  std::string keyboard;
  int status;
  std::string tail;      // how standard output must end
  std::string contains;  // and what it must hold somewhere, when not empty
};

// Register $i holds 10 i (32 registers), word i holds 100 + i (16 words).
std::map<std::string, std::string> defaultFiles() {
  std::string memory;
  for (int i = 0; i < 16; ++i) memory += std::to_string(100 + i) + "\n";
  return {{"src.txt", "addi $3, $1, 5\n"}, {"reg.txt", numberedLines(32, 10)}, {"mem.txt", memory}};
}

const std::string keys = "1\n" + std::string(40, '\n');
const std::string fileError = " File could not be loaded \n";
std::string cannotLoad(const std::string& name) { return " File " + name + " could not be loaded \n"; }
// The end of a run whose last act writes `value` into register `r`.
std::string lastWrite(int value, int r, const std::string& energy) {
  return "\t Data   : " + std::to_string(value) + "\n\t Rg     : $" + std::to_string(r) +
         "\n\n\n Energy Consumed until now : " + energy + "\n\n";
}
// addi $3, $1, 5 alone: Fetch 5 + Decode 4 + Execute 20 + Write-back 40.
const std::string addiRun = lastWrite(15, 3, "69");
const std::string emptyRun =
    "\n Press Enter to perform a step :  \n\n --------------------- Cpu Cycle 1 ---------------------------- \n\n";

std::vector<BadInput> inputFileCases() {
  std::vector<BadInput> cases;
  for (const char* name : {"src.txt", "reg.txt", "mem.txt"}) {
    for (const std::string& kind : {missing, directory, unreadable}) {
      cases.push_back({std::string(name) + " " + kind, {{name, kind}}, keys, 1, cannotLoad(name), ""});
    }
  }
  return cases;
}

std::vector<BadInput> energyFileCases() {
  std::vector<BadInput> cases;
  const std::pair<const char*, const char*> stages[] = {
      {"Fetch", "addi $3, $1, 5\n"},
      {"Execute", "addi $3, $1, 5\n"},
      {"Mem", "sw $3, 2($0)\n"},  // this machine's load
      {"WriteBack", "addi $3, $1, 5\n"},
  };
  for (const auto& [stage, program] : stages) {
    const std::string file = std::string("EnergyConsumptionInput/") + stage + "/energy.txt";
    for (const std::string& kind : {missing, directory, unreadable}) {
      cases.push_back(
          {std::string(stage) + " energy " + kind, {{file, kind}, {"src.txt", program}}, keys, 1, fileError, ""});
    }
  }
  for (const char* opcode : {"add", "addi", "and", "beq", "bne", "j", "lw", "or", "sub", "sw"}) {
    cases.push_back({std::string("Decode energy of ") + opcode + " missing",
                     {{std::string("EnergyConsumptionInput/Decode/") + opcode + "/energy.txt", missing},
                      {"src.txt", std::string(opcode) + " $3, $1, $2\n"}},
                     keys,
                     1,
                     fileError,
                     ""});
  }
  return cases;
}

std::vector<BadInput> contentCases() {
  const std::string megabyte(1 << 20, 'x');
  const std::string chain = "add $3, $1, $2\nadd $4, $3, $1\nadd $5, $4, $3\n";
  return {
      {"all files empty", {{"src.txt", ""}, {"reg.txt", ""}, {"mem.txt", ""}}, keys, 0, emptyRun, ""},
      {"empty register file",
       {{"reg.txt", ""}},
       keys,
       1,
       "\t Reading Register File : \n\n Register $1 does not exist: register file size is 0 \n",
       ""},
      // Two-register files: the result goes to $0.
      {"no final newline", {{"src.txt", "addi $0, $1, 5"}, {"reg.txt", "0\n10"}}, keys, 0, lastWrite(15, 0, "69"), ""},
      {"CRLF line ends",
       {{"src.txt", "addi $3, $1, 5\r\n"}, {"reg.txt", numberedLines(32, 10, "\r\n")}},
       keys,
       0,
       addiRun,
       ""},
      {"1 MiB source line", {{"src.txt", "addi $3, $1, 5 " + megabyte + "\n"}}, keys, 0, addiRun, ""},
      {"1 MiB rejected line",
       {{"src.txt", megabyte + "\n"}},
       keys,
       0,
       emptyRun,
       "\n The Instruction : " + megabyte + " either does not exist or supported. \n\n"},
      {"NUL bytes and invalid UTF-8",
       {{"src.txt", std::string("addi $3, $1, 5\0\xff\xfe junk\n", 22)}},
       keys,
       0,
       addiRun,
       ""},
      {"numbers with trailing text",
       {{"src.txt", "addi $0, $1, 5"}, {"reg.txt", "0\n10abc\n"}},
       keys,
       0,
       lastWrite(15, 0, "69"),
       ""},
      {"numbers beyond 32 bits",
       {{"src.txt", "addi $0, $1, 5"}, {"reg.txt", "0\n99999999999\n"}},
       keys,
       0,
       lastWrite(-2147483644, 0, "69"),
       ""},
      {"negative register number",
       {{"src.txt", "add $3, $-2, $1\n"}},
       keys,
       1,
       " Register $-2 does not exist: register file size is 32 \n",
       ""},
      {"huge register number",
       {{"src.txt", "add $3, $1, $99999999999\n"}},
       keys,
       1,
       " Register $2147483647 does not exist: register file size is 32 \n",
       ""},
      {"huge destination register",
       {{"src.txt", "addi $4294967296, $1, 5\n"}},
       keys,
       1,
       "\n Energy Consumed until now : 69\n\n Register $2147483647 does not exist: register file size is 32 \n",
       ""},
      {"negative memory address",
       {{"src.txt", "sw $1, -5($0)\n"}},
       keys,
       1,
       " Memory word -5 does not exist: data memory size is 16 \n",
       ""},
      {"huge memory address",
       {{"src.txt", "lw $1, 99999999999($0)\n"}},
       keys,
       1,
       " Memory word 2147483647 does not exist: data memory size is 16 \n",
       ""},
      {"address that wraps",
       {{"src.txt", "lw $1, 2147483647($5)\n"}},
       keys,
       1,
       " Memory word -2147483599 does not exist: data memory size is 16 \n",
       ""},
      {"label number that wraps",
       {{"src.txt", "j L-2147483648\n"}},
       keys,
       1,
       " Instruction E(2147483647) does not exist: program size is 1 \n",
       ""},
      // beq 7 + addi 4, two fetches, two executions, one write.
      {"branch to label 0 keeps the program counter",
       {{"src.txt", "beq $0, $0, L0\naddi $3, $1, 5\n"}},
       keys,
       0,
       lastWrite(15, 3, "101"),
       "\t Mux3 Signal  : -1\n\n\t PC  : -1\n"},
      {"branch to the instruction count drains",
       {{"src.txt", "beq $0, $0, L3\naddi $3, $1, 5\n"}},
       keys,
       0,
       lastWrite(15, 3, "101"),
       "\t PC  : 2\n"},
      {"branch past the end",
       {{"src.txt", "beq $0, $0, L4\naddi $3, $1, 5\n"}},
       keys,
       1,
       " Instruction E(3) does not exist: program size is 2 \n",
       ""},
      {"endless loop with input ending at once",
       {{"src.txt", "j L1\n"}},
       "1\n",
       1,
       "\n Press Enter to perform a step :  \n Input ended: the program did not finish within 100000 cycles \n",
       ""},
      {"endless loop after some key presses",
       {{"src.txt", "j L1\n"}},
       keys,
       1,
       "\n Input ended: the program did not finish within 100000 cycles \n",
       ""},
      // 30 = 10 + 20, 40 = 30 + 10, 70 = 40 + 30; three of each stage's energy.
      {"chain of stalls with several characters per line",
       {{"src.txt", chain}},
       "1\nabc\nxy\n\n\n",
       0,
       lastWrite(70, 5, "204"),
       "\t Data   : 40\n\t Rg     : $4\n"},
      {"chain of stalls with input ending at the choice", {{"src.txt", chain}}, "", 0, lastWrite(70, 5, "204"), ""},
      {"input closed at the choice", {}, "", 0, addiRun, ""},
      {"letters at the choice", {}, "abc\n", 0, addiRun, ""},
      {"choice beyond 32 bits", {}, "99999999999\n", 0, addiRun, ""},
      {"xor ends the run", {{"src.txt", "xor $3, $1, $2\n"}}, keys, 1, "\t D.Label : E(0) \n\n" + fileError, ""},
      {"nop ends the run", {{"src.txt", "nop\n"}}, keys, 1, "\t D.Label : E(0) \n\n" + fileError, ""},
      {"capitals are no opcode",
       {{"src.txt", "ADD $3, $1, $2\n"}},
       keys,
       0,
       emptyRun,
       "\n The Instruction : ADD  3   1   2 either does not exist or supported. \n\n"},
      {"ori is read as or and has no energy", {{"src.txt", "ori $3, $1, 5\n"}}, keys, 1, fileError, "\t R2 = $5\n"},
      {"addu is no opcode", {{"src.txt", "addu $3, $1, $2\n"}}, keys, 0, emptyRun, ""},
      {"jal is read as j and has no energy", {{"src.txt", "jal L1\n"}}, keys, 1, fileError, ""},
  };
}

void PrintTo(const BadInput& c, std::ostream* out) { *out << c.name; }

class BadInputRun : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputRun, EndsWithItsStatusAndMessage) {
  const BadInput& c = GetParam();
  TempDir work;
  work.addEnergyTree();
  std::map<std::string, std::string> files = defaultFiles();
  for (const auto& [path, content] : c.files) files[path] = content;

  std::vector<fs::path> unreadableFiles;
  for (const auto& [path, content] : files) {
    const fs::path target = work.path() / path;
    if (content == missing || content == directory) fs::remove(target);
    if (content == directory) fs::create_directories(target);
    if (content == missing || content == directory) continue;
    if (content == unreadable) {
      if (!fs::exists(target)) work.write(path, "1\n");
      unreadableFiles.push_back(target);
      continue;
    }
    work.write(path, content);
  }
  work.write("keyboard", c.keyboard);
  const fs::path keyboard = work.path() / "keyboard";
  // A file of mode 000 is unreadable only to a user without privileges: the
  // program runs as one, in a folder it may enter and read.
  testing::RunAs user = testing::RunAs::Tester;
  if (!unreadableFiles.empty()) {
    work.letOthersRead();
    for (const fs::path& file : unreadableFiles) fs::permissions(file, fs::perms::none);
    user = testing::RunAs::Unprivileged;
  }

  const testing::RunResult result = testing::runFivestageIn(work.path(), keyboard, user);

  EXPECT_EQ(result.status, c.status) << result.errors;
  ASSERT_GE(result.output.size(), c.tail.size());
  EXPECT_EQ(result.output.substr(result.output.size() - c.tail.size()), c.tail);
  if (!c.contains.empty()) {
    EXPECT_NE(result.output.find(c.contains), std::string::npos) << "missing: " << c.contains.substr(0, 200);
  }
  for (const auto& [path, content] : files) {
    if (path.ends_with(".txt") && content != missing && content != directory && content != unreadable) {
      EXPECT_EQ(readFile(work.path() / path), content) << path << " was changed";
    }
  }
}

std::string caseName(const ::testing::TestParamInfo<BadInput>& test) {
  std::string name;
  for (char ch : test.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(InputFiles, BadInputRun, ::testing::ValuesIn(inputFileCases()), caseName);
INSTANTIATE_TEST_SUITE_P(EnergyFiles, BadInputRun, ::testing::ValuesIn(energyFileCases()), caseName);
INSTANTIATE_TEST_SUITE_P(Contents, BadInputRun, ::testing::ValuesIn(contentCases()), caseName);

}  // namespace
}  // namespace fivestage
