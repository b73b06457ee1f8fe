#include <gtest/gtest.h>

#include <sstream>

#include "record/ProgramCheck.h"
#include "tests/support/TempDir.h"

namespace fivestage::report {
namespace {

struct CheckCase {
  const char* name;
  std::string program;
  std::vector<std::pair<std::optional<std::size_t>, std::string>> expected;  // line and kind of each warning
  std::string mentions;                                                      // a piece of the first warning's message
};

TEST(ProgramCheck, WarnsAboutWhatSilentlySurprisesStudents) {
  const CheckCase cases[] = {
      {"a clean program", "add $3, $1, $2\nbeq $3, $1, L1\n", {}, ""},
      // Line 2, a label definition, is rejected, so L7 on line 3 names E(6), which is line 8.
      {"a rejected line shifts the labels after it",
       "add $1, $1, $1\nL2: add $1, $2, $3\nj L7\nadd $1, $1, $1\nadd $1, $1, $1\nadd $1, $1, $1\n"
       "add $1, $1, $1\nadd $1, $1, $1\nadd $1, $1, $1\n",
       {{2, "rejected-line"}, {3, "label-shift"}},
       "skipped while loading"},
      {"ori is read as or", "ori $1, $2, 5\n", {{1, "prefix-opcode"}}, "`ori` is read as `or`"},
      {"jal is read as j", "jal L1\n", {{1, "prefix-opcode"}}, "`jal` is read as `j`"},
      {"beqz is read as beq", "beqz $1, L1\n", {{1, "prefix-opcode"}}, "`beqz` is read as `beq`"},
      {"xor has no energy figures", "add $1, $1, $1\nxor $3, $1, $2\n", {{2, "no-decode-energy"}}, "`xor`"},
      {"nop has none either", "nop\n", {{1, "no-decode-energy"}}, "`nop`"},
      {"a label past the end", "beq $1, $2, L5\n", {{1, "label-outside"}}, "L5 is outside"},
      {"one past the end ends the program", "beq $1, $2, L2\n", {}, ""},
      {"L0 is never taken", "j L0\n", {{1, "label-never-taken"}}, "never taken"},
      {"a named label is never taken", "bne $1, $2, loop\n", {{1, "label-never-taken"}}, ""},
      // reg.txt has 8 registers: $7 is the last, $8 the first missing one.
      {"the last register is in reg.txt", "add $7, $7, $7\n", {}, ""},
      {"the first register beyond reg.txt", "add $1, $8, $1\n", {{1, "register-outside"}}, "$8 is not in reg.txt"},
      {"a register beyond reg.txt",
       "add $3, $40, $1\nsw $9, 0($0)\n",
       {{1, "register-outside"}, {2, "register-outside"}},
       "$40 is not in reg.txt, which has 8 registers"},
  };
  for (const CheckCase& c : cases) {
    testing::TempDir dir;
    dir.addEnergyTree();
    MachineState state;
    std::istringstream lines(c.program);
    for (std::string line; std::getline(lines, line);) state.sourceLines.push_back(line);
    state.registers.assign(8, 0);
    std::ostringstream ignored;
    state.parseSource(ignored);

    const std::vector<Warning> warnings = checkProgram(state, InputFolder(dir.path()));
    std::vector<std::pair<std::optional<std::size_t>, std::string>> found;
    for (const Warning& warning : warnings) found.emplace_back(warning.line, warning.kind);
    EXPECT_EQ(found, c.expected) << c.name;
    if (!c.mentions.empty() && !warnings.empty()) {
      EXPECT_NE(warnings.front().message.find(c.mentions), std::string::npos)
          << c.name << ": " << warnings.front().message;
    }
  }
}

TEST(ProgramCheck, NamesTheEnergyFilesTheRunWillMiss) {
  testing::TempDir dir;
  dir.addEnergyTree();
  std::filesystem::remove(dir.path() / "EnergyConsumptionInput/Decode/lw/energy.txt");
  std::filesystem::remove(dir.path() / "EnergyConsumptionInput/Mem/energy.txt");
  std::filesystem::remove(dir.path() / "EnergyConsumptionInput/Decode/sub/energy.txt");  // not used
  MachineState state;
  state.sourceLines = {"add $1, $1, $1", "lw $1, 0($0)"};
  state.registers.assign(4, 0);
  std::ostringstream ignored;
  state.parseSource(ignored);

  const std::vector<Warning> warnings = checkProgram(state, InputFolder(dir.path()));
  ASSERT_EQ(warnings.size(), 2U);
  EXPECT_EQ(warnings[0].line, 2U);
  // Each file is named inside the input folder, wherever that lies.
  EXPECT_NE(warnings[0].message.find("the energy file EnergyConsumptionInput/Decode/lw/energy.txt is missing"),
            std::string::npos)
      << warnings[0].message;
  EXPECT_EQ(warnings[1].line, std::nullopt);
  EXPECT_NE(warnings[1].message.find("the energy file EnergyConsumptionInput/Mem/energy.txt is missing"),
            std::string::npos)
      << warnings[1].message;
  EXPECT_NE(warnings[1].message.find("first load or store"), std::string::npos);
}

}  // namespace
}  // namespace fivestage::report
