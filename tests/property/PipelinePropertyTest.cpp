// The pipeline, stalls and all, must compute what the program means: for many
// generated straight-line programs full of dependent instructions, the
// register writes of a pipeline run and the final registers and memory equal
// those of executing the instructions one at a time.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/Core.h"
#include "tests/support/EventLog.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

using RegisterWrite = std::pair<std::int32_t, std::int32_t>;  // register, value

constexpr std::int32_t baseRegister = 31;  // holds 0 and is never written: addresses are the offsets
constexpr int memoryWords = 16;
constexpr int busyRegisters = 6;  // few registers, so most instructions depend on recent ones

struct Program {
  std::vector<std::string> lines;
  std::vector<std::int32_t> registers;
  std::vector<std::int32_t> memory;
};

Program generate(std::mt19937& random) {
  auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  Program program;
  for (int r = 0; r < 32; ++r) program.registers.push_back(r == baseRegister ? 0 : pick(-40, 40));
  for (int w = 0; w < memoryWords; ++w) program.memory.push_back(pick(-1000, 1000));
  const char* alu[] = {"add", "sub", "and", "or"};
  const int count = pick(2, 24);
  for (int i = 0; i < count; ++i) {
    const std::string d = std::to_string(pick(0, busyRegisters - 1));
    const std::string s = std::to_string(pick(0, busyRegisters - 1));
    const std::string t = std::to_string(pick(0, busyRegisters - 1));
    const std::string base = std::string("($").append(std::to_string(baseRegister)).append(")");
    switch (pick(0, 6)) {
      case 0:
      case 1:
      case 2:
      case 3: program.lines.push_back(std::string(alu[pick(0, 3)]) + " $" + d + ", $" + s + ", $" + t); break;
      case 4: program.lines.push_back("addi $" + d + ", $" + s + ", " + std::to_string(pick(-5, 30))); break;
      case 5: program.lines.push_back("lw $" + t + ", " + std::to_string(pick(0, memoryWords - 1)) + base); break;
      default: program.lines.push_back("sw $" + d + ", " + std::to_string(pick(0, memoryWords - 1)) + base); break;
    }
  }
  return program;
}

std::int32_t wrap(std::int64_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }

// Executes the parsed program one instruction at a time, in this machine's
// meaning of lw (register to memory) and sw (memory to register).
std::vector<RegisterWrite> interpret(const MachineState& parsed, std::vector<std::int32_t>& registers,
                                     std::vector<std::int32_t>& memory) {
  std::vector<RegisterWrite> writes;
  auto reg = [&registers](std::optional<RegisterNumber> r) {
    return registers.at(static_cast<std::size_t>(r.value()));
  };
  auto write = [&](std::optional<RegisterNumber> r, std::int32_t value) {
    registers.at(static_cast<std::size_t>(r.value())) = value;
    writes.emplace_back(r.value(), value);
  };
  for (const Instruction& i : parsed.instructions) {
    const std::string& op = i.opcode();
    const Word imm = i.getImm().value_or(0);
    const std::size_t address = static_cast<std::size_t>(wrap(std::int64_t{reg(i.getRs())} + imm));
    if (op == "lw") memory.at(address) = reg(i.getRt());
    if (op == "sw") write(i.getRd(), memory.at(address));
    if (op == "add") write(i.getRd(), wrap(std::int64_t{reg(i.getRs())} + reg(i.getRt())));
    if (op == "addi") write(i.getRd(), wrap(std::int64_t{reg(i.getRs())} + imm));
    if (op == "sub") write(i.getRd(), wrap(std::int64_t{reg(i.getRs())} - reg(i.getRt())));
    if (op == "and") write(i.getRd(), (reg(i.getRs()) != 0 && reg(i.getRt()) != 0) ? 1 : 0);
    if (op == "or") write(i.getRd(), (reg(i.getRs()) != 0 || reg(i.getRt()) != 0) ? 1 : 0);
  }
  return writes;
}

TEST(PipelineProperty, StraightLineProgramsComputeWhatTheyMean) {
  testing::TempDir dir;
  dir.addEnergyTree();
  std::mt19937 random(20261208);

  for (int run = 0; run < 400; ++run) {
    const Program program = generate(random);
    MachineState state;
    state.sourceLines = program.lines;
    state.registers = program.registers;
    state.memory = program.memory;
    std::ostringstream parseLog;
    state.parseSource(parseLog);
    ASSERT_EQ(state.instructions.size(), program.lines.size());

    std::vector<std::int32_t> expectedRegisters = program.registers;
    std::vector<std::int32_t> expectedMemory = program.memory;
    const std::vector<RegisterWrite> expectedWrites = interpret(state, expectedRegisters, expectedMemory);

    testing::EventLog log;
    Core core(state, dir.path(), &log);
    std::string listing;
    for (const std::string& line : program.lines) listing += line + "\n";
    ASSERT_EQ(simulate(core).state, RunState::Completed) << listing;

    std::vector<RegisterWrite> writes;
    for (const RegisterWritten& write : log.all<RegisterWritten>()) writes.emplace_back(write.number, write.value);
    ASSERT_EQ(writes, expectedWrites) << listing;
    ASSERT_EQ(core.machine().registers, expectedRegisters) << listing;
    ASSERT_EQ(core.machine().memory, expectedMemory) << listing;
  }
}

}  // namespace
}  // namespace fivestage
