// Micro-benchmarks to find where a cycle or a load spends its time.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include "core/Core.h"
#include "loader/MachineState.h"
#include "record/RunRecorder.h"
#include "trace/ConsoleTrace.h"

namespace {

using namespace fivestage;

class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

void BM_ParseSource(benchmark::State& state) {
  MachineState source;
  const char* lines[] = {"add $3, $1, $2", "lw $5, 8($2)", "beq $1, $2, L4", "addi $1, $2, -7", "j L3", "nop"};
  for (int i = 0; i < 10000; ++i) source.sourceLines.emplace_back(lines[i % 6]);
  NullBuffer buffer;
  std::ostream sink(&buffer);
  for (auto _ : state) {
    MachineState copy = source;
    copy.parseSource(sink);
    benchmark::DoNotOptimize(copy.instructions.data());
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_ParseSource);

// A loop with a load, a store, arithmetic, a stall and a taken branch that
// runs for ever, with its energy files in a folder of its own for as long
// as it lives.
struct EndlessLoop {
  EndlessLoop() {
    if (mkdtemp(folder.data()) == nullptr) throw std::runtime_error("no temporary directory");
    std::filesystem::copy(FIVESTAGE_ENERGY_TREE, std::filesystem::path(folder) / "EnergyConsumptionInput",
                          std::filesystem::copy_options::recursive);
    machine.sourceLines = {"addi $1, $1, 1", "lw $1, 0($0)",   "sw $4, 0($0)",
                           "add $5, $4, $3", "bne $1, $2, L1", "addi $6, $6, 1"};
    machine.registers.assign(32, 0);
    machine.registers[2] = -1;  // never reached
    machine.registers[3] = 1;
    machine.memory.assign(16, 0);
    machine.parseSource(sink);
  }
  ~EndlessLoop() { std::filesystem::remove_all(folder); }
  EndlessLoop(const EndlessLoop&) = delete;
  EndlessLoop& operator=(const EndlessLoop&) = delete;

  std::string folder = (std::filesystem::temp_directory_path() / "fivestage-bench-XXXXXX").string();
  NullBuffer buffer;
  std::ostream sink{&buffer};
  MachineState machine;
};

// One cycle of the loop, energy files and all; the trace goes nowhere, or
// (with the argument 0) nobody watches the run at all, or (2) nobody
// watches and the energy figures are read once, as a headless run reads
// them: the core alone.
void BM_StepCycle(benchmark::State& state) {
  EndlessLoop loop;
  TraceWriter writer(loop.sink);
  ConsoleTrace trace(writer);
  Core core(loop.machine, InputFolder(loop.folder), state.range(0) == 1 ? &trace : nullptr, {},
            state.range(0) == 2 ? EnergyReading::OncePerRun : EnergyReading::EveryUse);
  for (auto _ : state) core.stepCycle(Key::Newline);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StepCycle)->Arg(1)->Arg(0)->Arg(2);

// The loop, headless, watched by the report's recorder counting its figures
// (argument 0: its chart's window lies beyond the run) or charting every
// cycle (1), or by an observer that only hears each cycle begin and end
// (2): what being told of every cycle costs, whatever is done with it.
void BM_RecordCycle(benchmark::State& state) {
  struct CycleCounter final : RunObserver {
    void observe(const Event& event) override { ++heard[event.index()]; }
    EventKinds interests() const override { return eventKinds<CycleStarted, CycleEnded>(); }
    std::array<std::int64_t, std::variant_size_v<Event>> heard{};
  } counter;
  EndlessLoop loop;
  constexpr Cycle never = 1'000'000'000'000;
  report::RunRecorder recorder(loop.machine, state.range(0) == 1 ? report::CycleWindow{1, never}
                                                                 : report::CycleWindow{never, never});
  RunObserver* observer = &recorder;
  if (state.range(0) == 2) observer = &counter;
  Core core(loop.machine, InputFolder(loop.folder), observer, {}, EnergyReading::OncePerRun);
  for (auto _ : state) core.stepCycle(Key::Newline);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordCycle)->Arg(0)->Arg(2);
// A chart of every cycle grows with the cycles: a fixed number of them.
BENCHMARK(BM_RecordCycle)->Arg(1)->Iterations(200000);

}  // namespace
