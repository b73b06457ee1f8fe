// The pipelines must compute what a program means. Generated programs run on
// a pipeline and on the reference executor, which executes the instructions
// one at a time, and the runs are compared: the final registers and memory,
// the register writes in order, and the instructions written back.
//
// - Straight-line programs full of dependent instructions mean the same on
//   all four machines.
// - Programs with forward branches and counted loops mean it on the machines
//   with flush, so there forwarding changes the timing, never the results.
//   Without flush the instruction behind a taken branch runs too.
// - With forwarding and flush, the only stalls are those of a load followed on
//   the executed path by an instruction that reads the register it loads.
// - Energy splits into completed work, wrong-path work, idle and stalled
//   charges, which add up to the total on every machine; idle figures of zero
//   change no total, and idle figures equal to the working ones make every
//   stage charge in every cycle.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/Core.h"
#include "core/Reference.h"
#include "record/Figures.h"
#include "record/RunRecorder.h"
#include "report/JsonReport.h"
#include "tests/support/EventLog.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

using RegisterWrite = std::pair<RegisterNumber, Word>;  // register, value

constexpr RegisterNumber baseRegister = 31;  // holds 0 and is never written: addresses are the offsets
constexpr int memoryWords = 16;
constexpr int busyRegisters = 6;             // few registers, so most instructions depend on recent ones
constexpr RegisterNumber firstCounter = 20;  // a loop's counter: $20, and $21 in a loop inside a loop
constexpr int deepestLoop = 2;
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
  bool straightLine;
};

// Thirty-two registers of small values, but for the base register's 0, and
// the memory words.
Program withRandomState(Random& random, bool straightLine) {
  Program program{{}, {}, {}, straightLine};
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
  Program program = withRandomState(random, true);
  const int count = random.pick(2, 24);
  for (int i = 0; i < count; ++i) program.lines.push_back(plainInstruction(random, busyRegisterNumbers()));
  return program;
}

// Writes a sequence of items: plain instructions, forward branches and
// counted loops. A forward branch skips up to three of the items after it in
// its own sequence, so it never lands inside a loop it is not in. A loop
// counts its own counter down to zero with bne and nothing else writes that
// counter, so every program ends. A plain instruction follows every branch
// and every loop, as the line behind the branch: a machine without flush
// executes that line after a taken branch too, and it must never be a
// counter's addi, or a loop could count past zero and on for ever.
class BranchingProgramWriter {
 public:
  explicit BranchingProgramWriter(Random& random) : random_(random) {}

  std::vector<std::string> write() && {
    writeSequence(0, random_.pick(2, 10));
    return std::move(lines_);
  }

 private:
  void writeSequence(int depth, int items) {
    // The forward branches of this sequence awaiting their label: each one's
    // line, and the item it goes to (`items`: the end of the sequence).
    std::vector<std::pair<std::size_t, int>> awaiting;
    for (int item = 0; item <= items; ++item) {
      for (const auto& [line, target] : awaiting) {
        if (target == item) lines_[line] += nextLineNumber();
      }
      if (item == items) return;
      const int kind = random_.pick(0, 9);
      if (kind < 2) {
        awaiting.emplace_back(lines_.size(), std::min(items, item + 1 + random_.pick(0, 3)));
        lines_.push_back(forwardBranchWithoutLabel(depth));
      } else if (kind < 4 && depth < deepestLoop) {
        writeLoop(depth);
      }
      // The item itself, or the line behind its branch.
      lines_.push_back(plainInstruction(random_, sources(depth)));
    }
  }

  void writeLoop(int depth) {
    const std::string counter = reg(firstCounter + depth);
    const std::string zero = reg(baseRegister);
    lines_.push_back("addi " + counter + ", " + zero + ", " + std::to_string(random_.pick(1, 3)));
    const std::string body = nextLineNumber();
    writeSequence(depth + 1, random_.pick(1, 3));
    lines_.push_back("addi " + counter + ", " + counter + ", -1");
    lines_.push_back("bne " + counter + ", " + zero + ", L" + body);
  }

  // beq, bne or j, its label's line number still to be appended.
  std::string forwardBranchWithoutLabel(int depth) {
    const std::vector<RegisterNumber> readable = sources(depth);
    switch (random_.pick(0, 2)) {
      case 0: return "beq " + random_.registerOf(readable) + ", " + random_.registerOf(readable) + ", L";
      case 1: return "bne " + random_.registerOf(readable) + ", " + random_.registerOf(readable) + ", L";
      default: return "j L";
    }
  }

  // The busy registers, and the counters of the loops an instruction is in.
  static std::vector<RegisterNumber> sources(int depth) {
    std::vector<RegisterNumber> numbers = busyRegisterNumbers();
    for (int level = 0; level < depth; ++level) numbers.push_back(firstCounter + level);
    return numbers;
  }

  // The label of the line written next: Lk names source line k, from 1.
  std::string nextLineNumber() const { return std::to_string(lines_.size() + 1); }

  Random& random_;
  std::vector<std::string> lines_;
};

Program branchingProgram(Random& random) {
  Program program = withRandomState(random, false);
  program.lines = BranchingProgramWriter(random).write();
  return program;
}

MachineState parsed(const Program& program) {
  MachineState state = testing::machineOf(program.lines, program.registers, program.memory);
  EXPECT_EQ(state.instructions.size(), program.lines.size());
  return state;
}

void listWords(std::ostream& out, const char* name, const std::vector<Word>& words) {
  out << name << ":";
  for (const Word word : words) out << " " << word;
  out << "\n";
}

// The machine, the program with its line numbers, which its labels name,
// and the registers and memory it starts from.
std::string described(const Program& program, MachineOptions machine) {
  std::ostringstream text;
  text << "machine: forwarding " << (machine.forwarding ? "on" : "off") << ", flush " << (machine.flush ? "on" : "off")
       << "\nprogram:\n";
  for (std::size_t line = 0; line < program.lines.size(); ++line) {
    text << line + 1 << "\t" << program.lines[line] << "\n";
  }
  listWords(text, "registers", program.registers);
  listWords(text, "memory", program.memory);
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

// A stall: the waiting instruction, the register it cannot read yet, and the
// instruction still to write it.
struct Stall {
  InstructionIndex waiting;
  std::optional<RegisterNumber> blocked;
  std::optional<InstructionIndex> waitsFor;

  bool operator==(const Stall&) const = default;
};

void PrintTo(const Stall& stall, std::ostream* out) {
  *out << "E(" << stall.waiting << ") waits for $" << onBus(stall.blocked) << " from E(" << onBus(stall.waitsFor)
       << ")";
}

// The stalls a machine with forwarding must make: wherever on the executed
// path a load is followed by an instruction that reads the register it loads.
std::vector<Stall> loadUsePairs(const MachineState& state, const std::vector<InstructionIndex>& path) {
  std::vector<Stall> stalls;
  for (std::size_t k = 1; k < path.size(); ++k) {
    const Instruction& load = instructionAt(state, path[k - 1]);
    const Instruction& use = instructionAt(state, path[k]);
    const ControlSignals& signals = signalsOf(load);
    if (!signals.memread || !signals.regwrite) continue;
    if (load.getRd() == use.getRs() || load.getRd() == use.getRt()) {
      stalls.push_back({path[k], load.getRd(), path[k - 1]});
    }
  }
  return stalls;
}

// What a pipeline run did, as far as the properties compare it.
struct PipelineRun {
  RunOutcome outcome;
  Cycle cycles;
  std::vector<Word> registers, memory;
  std::vector<RegisterWrite> writes;          // in the order Write-back made them
  std::vector<InstructionIndex> writtenBack;  // the instructions that reached Write-back, in order
  std::vector<Stall> stalls;
  report::RunRecord record;      // what the report makes of the run
  report::RunRecord lateWindow;  // the same, noting the cycles from lateWindowFrom only
  // The run again, gone on from a copy of its core and of a recorder whose
  // window lay beyond the run, taken at cycle copiedAt with the late window
  // moved to the copy; empty when the run ended before.
  std::optional<report::RunRecord> resumed = std::nullopt;
  std::optional<std::pair<std::vector<Word>, std::vector<Word>>> resumedMachine =
      std::nullopt;                 // its registers and memory
  bool lateUpdate = false;          // a prediction read its entry before an update to it took effect
  std::int64_t jumpsCancelled = 0;  // instructions a jump cancelled (the not-taken machine)
};

bool anUpdateCameLate(const std::vector<Event>& events);

// A window that begins well into most runs, beyond the cycles before it in
// which the recorder begins no rows.
constexpr Cycle lateWindowFrom = report::RunRecorder::longestLife + 16;
// Early enough that a copy of the recorder can still take the late window.
constexpr Cycle copiedAt = 9;

// Runs the pipeline until the run ends, or has taken so many cycles for the
// instructions the program executes that it will not end.
PipelineRun runPipeline(const MachineState& state, const testing::TempDir& energy, MachineOptions machine,
                        std::int64_t executed) {
  testing::EventLog log;
  report::RunRecorder recorder(state, {1, report::CycleWindow::maximumLength}, machine);
  report::RunRecorder late(state, {lateWindowFrom, report::CycleWindow::maximumLength}, machine);
  RunObservers observers;
  observers.add(log);
  observers.add(recorder);
  observers.add(late);
  constexpr Cycle beyond = Cycle{1} << 40;
  report::RunRecorder ahead(state, {beyond, beyond}, machine);
  observers.add(ahead);
  Core core(state, InputFolder(energy.path()), &observers, machine);
  const Cycle mostCycles = mostCyclesPerInstruction * (executed + 1);
  std::optional<Core> copy;
  std::optional<report::RunRecorder> copied;
  while (core.stepCycle(Key::Newline) == RunEnd::Running && core.cyclesRun() < mostCycles) {
    if (core.cyclesRun() != copiedAt) continue;
    copied.emplace(ahead);
    EXPECT_TRUE(copied->moveWindow({lateWindowFrom, report::CycleWindow::maximumLength}));
    copy.emplace(core, &*copied);
  }
  if (copy) {
    while (copy->stepCycle(Key::Newline) == RunEnd::Running && copy->cyclesRun() < mostCycles) {
    }
  }
  PipelineRun run{core.outcome(),
                  core.cyclesRun(),
                  core.machine().registers,
                  core.machine().memory,
                  {},
                  {},
                  {},
                  recorder.finish(state, core.machine(), core.counts()),
                  late.finish(state, core.machine(), core.counts())};
  if (copy) {
    run.resumed = copied->finish(state, copy->machine(), copy->counts());
    run.resumedMachine.emplace(copy->machine().registers, copy->machine().memory);
  }
  for (const RegisterWritten& write : log.all<RegisterWritten>()) run.writes.emplace_back(write.number, write.value);
  for (const StageEntered& entered : log.all<StageEntered>()) {
    if (entered.stage == Stage::WriteBack) run.writtenBack.push_back(entered.instruction.index);
  }
  run.lateUpdate = anUpdateCameLate(log.events);
  for (const InstructionCancelled& cancelled : log.all<InstructionCancelled>()) {
    run.jumpsCancelled += instructionAt(state, cancelled.by.index).decoded() == Opcode::J ? 1 : 0;
  }
  for (const StallTriggered& stall : log.all<StallTriggered>()) {
    const std::optional<InstructionIndex> waitsFor =
        stall.waitsFor ? std::optional(stall.waitsFor->index) : std::nullopt;
    run.stalls.push_back({stall.instruction.index, stall.blockedRegister, waitsFor});
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
  EXPECT_EQ(run.outcome.state, RunEnd::Completed) << run.outcome.message << "after " << run.cycles << " cycles";
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
    ASSERT_EQ(meaning.run.end, RunEnd::Completed) << meaning.run.message;

    const PipelineRun run = runPipeline(state, dir, {}, meaning.run.executed);
    expectCompleted(run);
    expectMeaning(run, meaning);
    if (::testing::Test::HasFailure()) return;  // one program's differences are enough to read
  }
}

constexpr MachineOptions fourMachines[] = {{false, false}, {true, false}, {false, true}, {true, true}};

// A generated program, what it means, and its runs on the four machines,
// in the order of fourMachines.
struct Trial {
  Program program;
  MachineState state;
  Meaning meaning;
  std::vector<PipelineRun> runs;

  const PipelineRun& runOn(MachineOptions machine) const {
    return runs[static_cast<std::size_t>(std::ranges::find(fourMachines, machine) - std::begin(fourMachines))];
  }
};

std::vector<Trial> runTrials() {
  testing::TempDir dir;
  dir.addEnergyTree();
  Random random(20261209);
  std::vector<Trial> trials;
  for (int n = 0; n < 400; ++n) {
    Trial trial{n % 4 == 0 ? straightLineProgram(random) : branchingProgram(random), {}, {}, {}};
    trial.state = parsed(trial.program);
    trial.meaning = meaningOf(trial.state);
    for (const MachineOptions machine : fourMachines) {
      trial.runs.push_back(runPipeline(trial.state, dir, machine, trial.meaning.run.executed));
    }
    trials.push_back(std::move(trial));
  }
  return trials;
}

// Four hundred programs, a quarter of them straight-line, run once for all
// the properties below.
const std::vector<Trial>& trials() {
  static const std::vector<Trial> all = runTrials();
  return all;
}

TEST(PipelineProperty, GeneratedProgramsRunToTheirEndOnFourMachines) {
  for (const Trial& trial : trials()) {
    EXPECT_EQ(trial.meaning.run.end, RunEnd::Completed) << described(trial.program, {}) << trial.meaning.run.message;
    for (const MachineOptions machine : fourMachines) {
      SCOPED_TRACE(described(trial.program, machine));
      expectCompleted(trial.runOn(machine));
    }
    if (::testing::Test::HasFailure()) return;
  }
}

// Without flush, the instruction behind a taken branch runs too: only
// straight-line programs mean the same there.
TEST(PipelineProperty, FourMachinesComputeWhatProgramsMean) {
  for (const Trial& trial : trials()) {
    for (const MachineOptions machine : fourMachines) {
      if (!machine.flush && !trial.program.straightLine) continue;
      SCOPED_TRACE(described(trial.program, machine));
      expectMeaning(trial.runOn(machine), trial.meaning);
    }
    if (::testing::Test::HasFailure()) return;
  }
}

// Without flush, the instruction behind a taken branch runs only when it was
// fetched, and a stall decides that: a stalled branch holds Fetch. Forwarding
// stalls less, so there it may change what a program with branches computes.
// With flush, and on straight-line programs, it changes only the timing.
TEST(PipelineProperty, ForwardingChangesTheTimingNeverTheResults) {
  for (const Trial& trial : trials()) {
    for (const bool flush : {false, true}) {
      if (!flush && !trial.program.straightLine) continue;
      SCOPED_TRACE(described(trial.program, {true, flush}) + "against the same machine without forwarding");
      const PipelineRun& forwarded = trial.runOn({true, flush});
      const PipelineRun& stalled = trial.runOn({false, flush});
      EXPECT_EQ(forwarded.registers, stalled.registers);
      EXPECT_EQ(forwarded.memory, stalled.memory);
      EXPECT_LE(forwarded.cycles, stalled.cycles);
    }
    if (::testing::Test::HasFailure()) return;
  }
}

// Where a completed run's cycles went adds up: completed instructions,
// cancelled fetches, four to fill the pipeline, what the stalls cost and the
// cycles Fetch found the program's end.
void expectTheBreakdownAddsUp(const report::RunRecord& record) {
  const std::optional<report::CycleBreakdown> breakdown = report::cycleBreakdown(record);
  ASSERT_TRUE(breakdown);
  EXPECT_EQ(
      breakdown->instructions + breakdown->cancelled + breakdown->fill + breakdown->stalls + breakdown->nothingToFetch,
      record.cycles);
}

// The cycles add up on every machine, and each stall's cost shows in the
// chart as its waiting cells.
TEST(PipelineProperty, EveryRunsCyclesAddUp) {
  for (const Trial& trial : trials()) {
    for (const MachineOptions machine : fourMachines) {
      SCOPED_TRACE(described(trial.program, machine));
      const report::RunRecord& record = trial.runOn(machine).record;
      expectTheBreakdownAddsUp(record);
      EXPECT_EQ(record.fetched, record.completed + record.cancelled);
      std::int64_t lostCells = 0;
      for (const report::ChartRow& row : record.chart) {
        lostCells += std::ranges::count_if(row.cells, [](char cell) { return cell == 's' || cell == 'f'; });
      }
      if (record.cycles <= record.window.to) {
        EXPECT_EQ(lostCells, record.cyclesLost);
      }
      for (const report::StallRecord& stall : record.stalls) {
        EXPECT_GE(stall.cyclesLost(), 1) << "stall in cycle " << stall.cycle;
        EXPECT_LE(stall.cyclesLost(), machine.forwarding ? 1 : 2) << "stall in cycle " << stall.cycle;
      }
    }
    if (::testing::Test::HasFailure()) return;
  }
}

// The chart of a window that begins late in a run has the rows and cells a
// chart from the first cycle has there, with the same notes in its cycles,
// although the recorder begins no rows long before the window: no
// instruction lives as long as it allows for.
TEST(PipelineProperty, AWindowLateInARunChartsWhatAWindowFromTheStartDoes) {
  int reachingLateWindow = 0;
  for (const Trial& trial : trials()) {
    for (const MachineOptions machine : fourMachines) {
      SCOPED_TRACE(described(trial.program, machine));
      const PipelineRun& run = trial.runOn(machine);
      if (run.cycles > report::CycleWindow::maximumLength) continue;
      reachingLateWindow += run.cycles >= lateWindowFrom ? 1 : 0;
      std::vector<const report::ChartRow*> reaching;
      for (const report::ChartRow& row : run.record.chart) {
        const auto waits = static_cast<Cycle>(row.cells.find_first_not_of('f'));
        EXPECT_LT(row.lastCycle() - (row.firstCycle + waits), report::RunRecorder::longestLife);
        if (row.lastCycle() >= lateWindowFrom) reaching.push_back(&row);
      }
      ASSERT_EQ(run.lateWindow.chart.size(), reaching.size());
      for (std::size_t i = 0; i < reaching.size(); ++i) {
        const report::ChartRow& late = run.lateWindow.chart[i];
        const report::ChartRow& full = *reaching[i];
        EXPECT_EQ(late.instruction, full.instruction);
        EXPECT_EQ(late.firstCycle, full.firstCycle);
        EXPECT_EQ(late.cells, full.cells);
        for (Cycle cycle = std::max(lateWindowFrom, full.firstCycle); cycle <= full.lastCycle(); ++cycle) {
          const auto cell = static_cast<std::size_t>(cycle - full.firstCycle);
          EXPECT_EQ(late.notes[cell], full.notes[cell]) << "cycle " << cycle;
        }
      }
    }
    if (::testing::Test::HasFailure()) return;
  }
  // Runs long enough that the recorder of the late window left rows out.
  EXPECT_GT(reachingLateWindow, 100);
}

// A run that goes on from a copy of its core, with a copy of a recorder that
// was still far from its window taking another one, ends as the run does and
// records what a recorder made with that window records: the page goes on
// so from copies it keeps on the way through a long run.
TEST(PipelineProperty, ARunGoneOnFromACopyRecordsWhatTheRunDoes) {
  int resumed = 0;
  for (const Trial& trial : trials()) {
    for (const MachineOptions machine : fourMachines) {
      SCOPED_TRACE(described(trial.program, machine));
      const PipelineRun& run = trial.runOn(machine);
      if (!run.resumed) continue;
      ++resumed;
      const auto json = [&](const report::RunRecord& record) {
        return report::jsonReport({"", trial.state, {}, record, std::nullopt, {}, nullptr}, run.cycles + 1).dump();
      };
      EXPECT_EQ(json(*run.resumed), json(run.lateWindow));
      EXPECT_EQ(run.resumedMachine->first, run.registers);
      EXPECT_EQ(run.resumedMachine->second, run.memory);
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(resumed, 100);
}

// A program without instructions, empty or all comments, runs one cycle on
// every machine, and that cycle is accounted for too.
TEST(PipelineProperty, AProgramWithoutInstructionsAddsUpToo) {
  testing::TempDir dir;
  dir.addEnergyTree();
  for (const std::vector<std::string>& lines : {std::vector<std::string>{}, std::vector<std::string>{"# nothing"}}) {
    const Program program{lines, std::vector<Word>(8, 0), std::vector<Word>(8, 0), true};
    const MachineState state = testing::machineOf(program.lines, program.registers, program.memory);
    for (const MachineOptions machine : fourMachines) {
      SCOPED_TRACE(described(program, machine));
      const PipelineRun run = runPipeline(state, dir, machine, 0);
      expectCompleted(run);
      EXPECT_EQ(run.cycles, 1);
      expectTheBreakdownAddsUp(run.record);
    }
  }
}

TEST(PipelineProperty, WithForwardingAndFlushOnlyALoadFollowedByAUseOfItsWordStalls) {
  for (const Trial& trial : trials()) {
    SCOPED_TRACE(described(trial.program, {true, true}));
    EXPECT_EQ(trial.runOn({true, true}).stalls, loadUsePairs(trial.state, trial.meaning.run.path));
    if (::testing::Test::HasFailure()) return;
  }
}

// ---- Branch prediction -------------------------------------------------------

constexpr Predictor allPredictors[] = {Predictor::NotTaken, Predictor::Taken, Predictor::BackwardTaken,
                                       Predictor::OneBit, Predictor::TwoBit};

std::string describedWithPredictor(const Program& program, MachineOptions machine) {
  return described(program, machine) + "predictor " + std::to_string(static_cast<int>(machine.predictor)) +
         ", entries " + std::to_string(machine.predictorEntries) + "\n";
}

// The mispredictions a predictor makes on the reference run's branches,
// each entry updated as soon as its branch is known.
std::int64_t modelMispredictions(const MachineState& state, const std::vector<InstructionIndex>& path,
                                 MachineOptions machine) {
  std::vector<std::int32_t> table(static_cast<std::size_t>(machine.predictorEntries),
                                  machine.predictor == Predictor::TwoBit ? 1 : 0);
  const auto end = static_cast<InstructionIndex>(state.instructions.size());
  std::int64_t wrong = 0;
  for (std::size_t k = 0; k < path.size(); ++k) {
    const Instruction& branch = instructionAt(state, path[k]);
    if (branch.decoded() != Opcode::Beq && branch.decoded() != Opcode::Bne) continue;
    // The generated labels never name the line after their branch.
    const InstructionIndex next = k + 1 < path.size() ? path[k + 1] : end;
    const bool taken = next != path[k] + 1;
    std::int32_t& entry = table[static_cast<std::size_t>(path[k] % machine.predictorEntries)];
    bool predicted = false;
    switch (machine.predictor) {
      case Predictor::NotTaken: predicted = false; break;
      case Predictor::Taken: predicted = true; break;
      case Predictor::BackwardTaken: predicted = branch.getLabel().value() <= path[k]; break;
      case Predictor::OneBit: predicted = entry == 1; break;
      case Predictor::TwoBit: predicted = entry >= 2; break;
    }
    wrong += predicted != taken ? 1 : 0;
    entry = machine.predictor == Predictor::TwoBit ? std::clamp(entry + (taken ? 1 : -1), 0, 3) : (taken ? 1 : 0);
  }
  return wrong;
}

// Whether a branch that resolved had read its entry before an earlier
// branch's update to it took effect: there the model above, which updates
// at once, may differ from the pipeline.
bool anUpdateCameLate(const std::vector<Event>& events) {
  struct Pending {
    FetchNumber fetch;
    std::int32_t entry;
    Cycle cycle;
    bool stale = false;
  };
  std::vector<Pending> pending;
  std::map<std::int32_t, Cycle> updated;  // by entry: the cycle of its latest update, written at its end
  Cycle cycle = 0;
  for (const Event& event : events) {
    if (const auto* started = std::get_if<CycleStarted>(&event)) cycle = started->cycle;
    if (const auto* predicted = std::get_if<BranchPredicted>(&event); predicted && predicted->entry) {
      const auto update = updated.find(predicted->entry->index);
      pending.push_back({predicted->branch.fetch, predicted->entry->index, cycle,
                         update != updated.end() && update->second == cycle});
    }
    if (const auto* cancelled = std::get_if<InstructionCancelled>(&event)) {
      std::erase_if(pending, [&](const Pending& p) { return p.fetch == cancelled->instruction.fetch; });
    }
    if (const auto* resolved = std::get_if<BranchResolved>(&event); resolved && resolved->before) {
      const auto own =
          std::ranges::find_if(pending, [&](const Pending& p) { return p.fetch == resolved->branch.fetch; });
      if (own != pending.end() && own->stale) return true;
      if (own != pending.end()) pending.erase(own);
      for (Pending& other : pending) {
        if (other.entry == resolved->before->index) other.stale = true;
      }
      updated[resolved->before->index] = cycle;
    }
  }
  return false;
}

// Generated programs, two in three with branches, under every predictor,
// with and without forwarding, with tables of 1 to 16 entries.
TEST(PipelineProperty, EveryPredictorComputesWhatProgramsMeanAndMispredictsAsAModelDoes) {
  testing::TempDir dir;
  dir.addEnergyTree();
  Random random(20261210);
  int compared = 0;
  for (int n = 0; n < 150; ++n) {
    const Program program = n % 3 == 0 ? straightLineProgram(random) : branchingProgram(random);
    const MachineState state = parsed(program);
    const Meaning meaning = meaningOf(state);
    ASSERT_EQ(meaning.run.end, RunEnd::Completed) << meaning.run.message;
    const int entries = 1 << random.pick(0, 4);
    for (const bool forwarding : {false, true}) {
      for (const Predictor predictor : allPredictors) {
        const MachineOptions machine{forwarding, true, predictor, entries};
        SCOPED_TRACE(describedWithPredictor(program, machine));
        const PipelineRun run = runPipeline(state, dir, machine, meaning.run.executed);
        expectCompleted(run);
        expectMeaning(run, meaning);
        expectTheBreakdownAddsUp(run.record);
        EXPECT_EQ(run.record.fetched, run.record.completed + run.record.cancelled);
        // Each fetch on a mispredicted path costs its cycle, but one cancelled
        // as the program drains at its end, which the run's breakdown does
        // not count either.
        const Cycle lost = report::predictionFigures(run.record).cyclesLost;
        const Cycle mispredictedPath = run.record.cancelled - run.jumpsCancelled;
        EXPECT_LE(lost, run.record.cancelledCycles);
        EXPECT_GE(lost, run.record.cancelledCycles - run.jumpsCancelled);
        EXPECT_TRUE(lost == mispredictedPath || lost + 1 == mispredictedPath) << lost << " of " << mispredictedPath;
        if (!run.lateUpdate) {
          EXPECT_EQ(run.record.mispredictions, modelMispredictions(state, meaning.run.path, machine));
          ++compared;
        }
      }
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(compared, 1000);  // most runs have no late update to leave out
}

// ---- Energy -------------------------------------------------------------------

// Each stage's charges in each cycle of a run; the cycles whose summary
// at their end (what each stage took up and was charged, what retired)
// differs from what the stages told as they worked; and the run's figures
// counted again from the stages' events, which the core's own counts must
// agree with.
class ChargeCounter final : public RunObserver {
 public:
  explicit ChargeCounter(std::size_t instructions) { counted.byInstruction.resize(instructions); }
  void observe(const Event& event) override {
    if (const auto* started = std::get_if<CycleStarted>(&event)) {
      perCycle.emplace_back();
      told = {};
      retired.reset();
      cycle = started->cycle;
    }
    if (const auto* entered = std::get_if<StageEntered>(&event)) {
      told[static_cast<std::size_t>(entered->stage)].instruction = entered->instruction;
      if (entered->stage == Stage::Fetch) {
        ++counted.fetched;
        ++counted.byInstruction[static_cast<std::size_t>(entered->instruction.index)].fetched;
      }
    }
    if (const auto* charged = std::get_if<EnergyCharged>(&event)) {
      const auto stage = static_cast<std::size_t>(charged->file.stage);
      ++perCycle.back()[stage];
      told[stage].charged = charged->use;
      told[stage].energy += charged->added;
      counted.energyByStage[stage] += charged->added;
      switch (charged->use) {
        case EnergyUse::Work:
          counted.energySplit.completed[stage] += charged->added;
          counted.byInstruction[static_cast<std::size_t>(told[stage].instruction->index)].energy += charged->added;
          break;
        case EnergyUse::Idle: counted.energySplit.idle[stage] += charged->added; break;
        case EnergyUse::Stalled: counted.energySplit.stalled[stage] += charged->added; break;
      }
    }
    if (const auto* cancelled = std::get_if<InstructionCancelled>(&event)) {
      constexpr auto fetch = static_cast<std::size_t>(Stage::Fetch);
      counted.energySplit.completed[fetch] -= cancelled->fetchWork;
      counted.energySplit.wrongPath[fetch] += cancelled->fetchWork;
    }
    if (const auto* selected = std::get_if<PcMuxSelected>(&event); selected != nullptr && selected->pcsel) {
      ++(selected->newPc ? counted.taken : counted.notTaken);
    }
    if (const auto* left = std::get_if<InstructionRetired>(&event)) {
      retired = left->instruction;
      ++counted.completed;
    }
    if (const auto* ended = std::get_if<CycleEnded>(&event)) {
      ++cyclesEnded;
      bool same = ended->cycle == cycle && ended->retired == retired;
      for (std::size_t stage = 0; stage < stageCount; ++stage) {
        same = same && ended->stages[stage].instruction == told[stage].instruction &&
               ended->stages[stage].charged == told[stage].charged && ended->stages[stage].energy == told[stage].energy;
      }
      if (!same) unlikeTheirEvents.push_back(cycle);
    }
  }
  EventKinds interests() const override {
    return eventKinds<CycleStarted, StageEntered, EnergyCharged, InstructionCancelled, PcMuxSelected,
                      InstructionRetired, CycleEnded>();
  }

  std::vector<std::array<int, stageCount>> perCycle;
  Cycle cyclesEnded = 0;
  std::vector<Cycle> unlikeTheirEvents;
  RunCounts counted;  // the run's figures as the stages' events tell them

 private:
  Cycle cycle = 0;
  std::array<StageWork, stageCount> told{};
  std::optional<InstructionTag> retired;
};

struct EnergyRun {
  RunOutcome outcome;
  double consoleTotal;
  report::RunRecord record;
  report::RunRecord figuresOnly;  // the same run, recorded with a window of one cycle
  std::vector<std::array<int, stageCount>> chargesPerCycle;
  Cycle cyclesEnded;
  std::vector<Cycle> summariesUnlikeTheirEvents;
  RunCounts told;  // the run's figures as the stages' events tell them
};

EnergyRun runForEnergy(const MachineState& state, const testing::TempDir& energy, MachineOptions machine) {
  ChargeCounter counter(state.instructions.size());
  report::RunRecorder recorder(state, {1, report::CycleWindow::maximumLength}, machine);
  report::RunRecorder figures(state, {1, 1}, machine);
  RunObservers observers;
  observers.add(counter);
  observers.add(recorder);
  observers.add(figures);
  Core core(state, InputFolder(energy.path()), &observers, machine);
  simulate(core);
  return {core.outcome(),
          core.energyTotal(),
          recorder.finish(state, core.machine(), core.counts()),
          figures.finish(state, core.machine(), core.counts()),
          std::move(counter.perCycle),
          counter.cyclesEnded,
          std::move(counter.unlikeTheirEvents),
          std::move(counter.counted)};
}

// Two accounts of the figures that grow with every cycle agree.
void expectTheSameCounts(const RunCounts& expected, const RunCounts& counted) {
  EXPECT_EQ(expected.fetched, counted.fetched);
  EXPECT_EQ(expected.completed, counted.completed);
  EXPECT_EQ(expected.taken, counted.taken);
  EXPECT_EQ(expected.notTaken, counted.notTaken);
  EXPECT_EQ(expected.energyByStage, counted.energyByStage);
  EXPECT_EQ(expected.energySplit.completed, counted.energySplit.completed);
  EXPECT_EQ(expected.energySplit.wrongPath, counted.energySplit.wrongPath);
  EXPECT_EQ(expected.energySplit.idle, counted.energySplit.idle);
  EXPECT_EQ(expected.energySplit.stalled, counted.energySplit.stalled);
  ASSERT_EQ(expected.byInstruction.size(), counted.byInstruction.size());
  for (std::size_t i = 0; i < expected.byInstruction.size(); ++i) {
    EXPECT_EQ(expected.byInstruction[i].energy, counted.byInstruction[i].energy) << "instruction " << i;
    EXPECT_EQ(expected.byInstruction[i].fetched, counted.byInstruction[i].fetched) << "instruction " << i;
  }
}

// What a recorder counts over the whole run does not depend on the cycles
// it notes: a window of one cycle, the grader's, counts what a wide one does.
void expectTheSameTotals(const report::RunRecord& figures, const report::RunRecord& noted) {
  expectTheSameCounts(figures, noted);
  EXPECT_EQ(figures.cycles, noted.cycles);
  EXPECT_EQ(figures.cancelled, noted.cancelled);
  EXPECT_EQ(figures.stallCount, noted.stallCount);
  EXPECT_EQ(figures.cyclesLost, noted.cyclesLost);
  ASSERT_EQ(figures.predictedBranches.size(), noted.predictedBranches.size());
  for (std::size_t i = 0; i < figures.predictedBranches.size(); ++i) {
    EXPECT_EQ(figures.predictedBranches[i].wrongPathEnergy, noted.predictedBranches[i].wrongPathEnergy);
  }
}

// The shared figures, with idle figures for every stage: each `zero`, or
// each the stage's working figures (for Decode, add's).
void addIdleFigures(const testing::TempDir& dir, bool zero) {
  for (const Stage stage : allStages) {
    const std::optional<Opcode> opcode = stage == Stage::Decode ? std::optional(Opcode::Add) : std::nullopt;
    const std::filesystem::path working = dir.path() / *energyFilePath({stage, opcode});
    if (zero) {
      dir.write(*energyFilePath({stage, {}, true}), "0\n");
    } else {
      std::filesystem::copy_file(working, dir.path() / *energyFilePath({stage, {}, true}));
    }
  }
}

// Every machine: the four, and each predictor with and without forwarding.
std::vector<MachineOptions> everyMachine() {
  std::vector<MachineOptions> machines(std::begin(fourMachines), std::end(fourMachines));
  for (const bool forwarding : {false, true}) {
    for (const Predictor predictor : allPredictors) {
      if (predictor != Predictor::NotTaken) machines.push_back({forwarding, true, predictor, 4});
    }
  }
  return machines;
}

void expectTheSplitAddsUp(const EnergyRun& run) {
  const EnergySplit& split = run.record.energySplit;
  for (std::size_t stage = 0; stage < stageCount; ++stage) {
    EXPECT_EQ(split.completed[stage] + split.wrongPath[stage] + split.idle[stage] + split.stalled[stage],
              run.record.energyByStage[stage])
        << stageName(allStages[stage]);
  }
  EXPECT_EQ(static_cast<double>(run.record.energyTotal()), run.consoleTotal);
}

// Generated programs on every machine: the four parts of the split add up
// to the total, idle figures of zero leave the total as it is without idle
// files, and idle figures equal to the working ones make every stage charge
// in every cycle, the machine without clock gating. Each cycle's summary
// agrees with the stages' events, and so do the figures the core counts; a
// recorder of the figures alone counts what one that notes every cycle does.
TEST(PipelineProperty, EnergySplitAddsUpAndIdleFiguresModelClockGating) {
  testing::TempDir plain, zero, working;
  for (const testing::TempDir* dir : {&plain, &zero, &working}) dir->addEnergyTree();
  addIdleFigures(zero, true);
  addIdleFigures(working, false);
  Random random(20261211);
  for (int n = 0; n < 100; ++n) {
    const Program program = n % 3 == 0 ? straightLineProgram(random) : branchingProgram(random);
    const MachineState state = parsed(program);
    for (const MachineOptions machine : everyMachine()) {
      SCOPED_TRACE(describedWithPredictor(program, machine));
      const EnergyRun withoutIdle = runForEnergy(state, plain, machine);
      const EnergyRun gated = runForEnergy(state, zero, machine);
      const EnergyRun ungated = runForEnergy(state, working, machine);
      for (const EnergyRun* run : {&withoutIdle, &gated, &ungated}) {
        ASSERT_EQ(run->outcome.state, RunEnd::Completed) << run->outcome.message;
        expectTheSplitAddsUp(*run);
        expectTheSameTotals(run->figuresOnly, run->record);
        expectTheSameCounts(run->told, run->record);
        EXPECT_EQ(run->cyclesEnded, run->record.cycles);
        EXPECT_EQ(run->summariesUnlikeTheirEvents, std::vector<Cycle>{});
      }
      EXPECT_EQ(sumOf(withoutIdle.record.energySplit.idle) + sumOf(withoutIdle.record.energySplit.stalled), 0);
      EXPECT_EQ(gated.record.energyByStage, withoutIdle.record.energyByStage);
      EXPECT_EQ(gated.consoleTotal, withoutIdle.consoleTotal);
      EXPECT_EQ(gated.record.energySplit.completed, withoutIdle.record.energySplit.completed);
      EXPECT_EQ(gated.record.energySplit.wrongPath, withoutIdle.record.energySplit.wrongPath);
      EXPECT_EQ(ungated.record.cycles, withoutIdle.record.cycles);
      for (std::size_t cycle = 0; cycle < ungated.chargesPerCycle.size(); ++cycle) {
        EXPECT_EQ(ungated.chargesPerCycle[cycle], (std::array<int, stageCount>{1, 1, 1, 1, 1}))
            << "cycle " << cycle + 1;
      }
      // Without gating, a stage whose figure is one whatever the work charges it every cycle.
      const Cycle cycles = ungated.record.cycles;
      const std::pair<Stage, std::int64_t> figures[] = {
          {Stage::Fetch, 5}, {Stage::Execute, 20}, {Stage::Memory, 30}, {Stage::WriteBack, 40}};
      for (const auto& [stage, figure] : figures) {
        EXPECT_EQ(ungated.record.energyByStage[static_cast<std::size_t>(stage)], figure * cycles) << stageName(stage);
      }
    }
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace
}  // namespace fivestage
