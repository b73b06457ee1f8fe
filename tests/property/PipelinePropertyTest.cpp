// The pipelines must compute what a program means. Generated straight-line
// programs full of dependent instructions run on the pipeline and on the
// reference executor, which executes the instructions one at a time, and the
// runs are compared: the final registers and memory, the register writes in
// order, and the instructions written back.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/Core.h"
#include "core/Reference.h"
#include "tests/support/EventLog.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

using RegisterWrite = std::pair<RegisterNumber, Word>;  // register, value

constexpr RegisterNumber baseRegister = 31;  // holds 0 and is never written: addresses are the offsets
constexpr int memoryWords = 16;
constexpr int busyRegisters = 6;  // few registers, so most instructions depend on recent ones
// No generated program executes more instructions than this, nor takes more
// cycles per instruction executed: a run that goes on longer has gone wrong.
constexpr std::int64_t mostExecuted = 10'000;
constexpr Cycle mostCyclesPerInstruction = 10;

std::string reg(RegisterNumber number) { return "$" + std::to_string(number); }

class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
  std::string registerOf(const std::vector<RegisterNumber>& numbers) {
    return reg(numbers[static_cast<std::size_t>(pick(0, static_cast<int>(numbers.size()) - 1))]);
  }

 private:
  std::mt19937 engine_;
};

struct Program {
  std::vector<std::string> lines;
  std::vector<Word> registers;
  std::vector<Word> memory;
};

// Thirty-two registers of small values, but for the base register's 0, and
// the memory words.
Program withRandomState(Random& random) {
  Program program;
  for (RegisterNumber r = 0; r < 32; ++r) program.registers.push_back(r == baseRegister ? 0 : random.pick(-40, 40));
  for (int w = 0; w < memoryWords; ++w) program.memory.push_back(random.pick(-1000, 1000));
  return program;
}

// An instruction that goes on in order: ALU, addi, a store (lw) or a load
// (sw) at a word of memory. It writes only the busy registers and reads
// `sources`.
std::string plainInstruction(Random& random, const std::vector<RegisterNumber>& sources) {
  const std::string d = reg(random.pick(0, busyRegisters - 1));
  const std::string s = random.registerOf(sources);
  const std::string t = random.registerOf(sources);
  const std::string base = "(" + reg(baseRegister) + ")";
  const char* alu[] = {"add", "sub", "and", "or"};
  switch (random.pick(0, 6)) {
    case 0:
    case 1:
    case 2:
    case 3: return std::string(alu[random.pick(0, 3)]) + " " + d + ", " + s + ", " + t;
    case 4: return "addi " + d + ", " + s + ", " + std::to_string(random.pick(-5, 30));
    case 5: return "lw " + t + ", " + std::to_string(random.pick(0, memoryWords - 1)) + base;
    default: return "sw " + d + ", " + std::to_string(random.pick(0, memoryWords - 1)) + base;
  }
}

std::vector<RegisterNumber> busyRegisterNumbers() {
  std::vector<RegisterNumber> numbers;
  for (RegisterNumber r = 0; r < busyRegisters; ++r) numbers.push_back(r);
  return numbers;
}

Program straightLineProgram(Random& random) {
  Program program = withRandomState(random);
  const int count = random.pick(2, 24);
  for (int i = 0; i < count; ++i) program.lines.push_back(plainInstruction(random, busyRegisterNumbers()));
  return program;
}

MachineState parsed(const Program& program) {
  MachineState state = testing::machineOf(program.lines, program.registers, program.memory);
  EXPECT_EQ(state.instructions.size(), program.lines.size());
  return state;
}

// The program with its line numbers, which its labels name, and the machine.
std::string described(const Program& program, MachineOptions machine) {
  std::ostringstream text;
  text << "machine: forwarding " << (machine.forwarding ? "on" : "off") << ", flush " << (machine.flush ? "on" : "off")
       << "\nprogram:\n";
  for (std::size_t line = 0; line < program.lines.size(); ++line) {
    text << line + 1 << "\t" << program.lines[line] << "\n";
  }
  return text.str();
}

const ControlSignals& signalsOf(const Instruction& instruction) {
  return opcodeRow(instruction.decoded().value()).control.value();
}

const Instruction& instructionAt(const MachineState& state, InstructionIndex index) {
  return state.instructions[static_cast<std::size_t>(index)];
}

// What the program means: the reference run and its path, and the register
// writes along the path, each with the value its register holds once the
// instruction has executed.
struct Meaning {
  ReferenceRun run;
  std::vector<RegisterWrite> writes;
};

Meaning meaningOf(const MachineState& state) {
  Meaning meaning{runReference(state, {.maxExecuted = mostExecuted, .keepPath = true}), {}};
  const std::vector<InstructionIndex>& path = meaning.run.path;
  for (std::size_t k = 0; k < path.size(); ++k) {
    const Instruction& instruction = instructionAt(state, path[k]);
    if (!signalsOf(instruction).regwrite) continue;
    const RegisterNumber rd = instruction.getRd().value();
    const ReferenceRun upToHere = runReference(state, {.maxExecuted = static_cast<std::int64_t>(k + 1)});
    meaning.writes.emplace_back(rd, upToHere.registers[static_cast<std::size_t>(rd)]);
  }
  return meaning;
}

// What a pipeline run did, as far as the properties compare it.
struct PipelineRun {
  RunOutcome outcome;
  Cycle cycles;
  std::vector<Word> registers, memory;
  std::vector<RegisterWrite> writes;          // in the order Write-back made them
  std::vector<InstructionIndex> writtenBack;  // the instructions that reached Write-back, in order
};

// Runs the pipeline until the run ends, or has taken so many cycles for the
// instructions the program executes that it will not end.
PipelineRun runPipeline(const MachineState& state, const testing::TempDir& energy, MachineOptions machine,
                        std::int64_t executed) {
  testing::EventLog log;
  Core core(state, energy.path(), &log, machine);
  const Cycle mostCycles = mostCyclesPerInstruction * (executed + 1);
  while (core.stepCycle(Key::Newline) == RunState::Running && core.cyclesRun() < mostCycles) {
  }
  PipelineRun run{core.outcome(), core.cyclesRun(), core.machine().registers, core.machine().memory, {}, {}};
  for (const RegisterWritten& write : log.all<RegisterWritten>()) run.writes.emplace_back(write.number, write.value);
  for (const StageEntered& entered : log.all<StageEntered>()) {
    if (entered.stage == Stage::WriteBack) run.writtenBack.push_back(entered.instruction.index);
  }
  return run;
}

void expectMeaning(const PipelineRun& run, const Meaning& meaning) {
  EXPECT_EQ(run.writes, meaning.writes);
  EXPECT_EQ(run.registers, meaning.run.registers);
  EXPECT_EQ(run.memory, meaning.run.memory);
  EXPECT_EQ(run.writtenBack, meaning.run.path);
}

void expectCompleted(const PipelineRun& run) {
  EXPECT_EQ(run.outcome.state, RunState::Completed) << run.outcome.message << "after " << run.cycles << " cycles";
}

TEST(PipelineProperty, StraightLineProgramsComputeWhatTheyMean) {
  testing::TempDir dir;
  dir.addEnergyTree();
  Random random(20261208);

  for (int n = 0; n < 400; ++n) {
    const Program program = straightLineProgram(random);
    SCOPED_TRACE(described(program, {}));
    const MachineState state = parsed(program);
    const Meaning meaning = meaningOf(state);
    ASSERT_EQ(meaning.run.end, ReferenceRun::End::Completed) << meaning.run.message;

    const PipelineRun run = runPipeline(state, dir, {}, meaning.run.executed);
    expectCompleted(run);
    expectMeaning(run, meaning);
    if (::testing::Test::HasFailure()) return;  // one program's differences are enough to read
  }
}

}  // namespace
}  // namespace fivestage
