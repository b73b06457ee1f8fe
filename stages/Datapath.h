#pragma once

#include <array>

#include "energy/EnergySource.h"
#include "loader/MachineState.h"
#include "stages/BranchPredictor.h"
#include "stages/Latches.h"
#include "vocabulary/Events.h"
#include "vocabulary/MachineOptions.h"
#include "vocabulary/RunCounts.h"

namespace fivestage {

// Everything the five stages act on during one run: the loaded machine (its
// register file and data memory change as the program runs), the pipeline
// registers between the stages, the energy figures and the running total,
// and the observer the stages report to.
struct Datapath {
  Datapath(MachineState machine, const InputFiles& inputs, RunObserver* runObserver, MachineOptions machineOptions = {},
           EnergyReading reading = EnergyReading::EveryUse)
      : state(std::move(machine)),
        energy(inputs, reading),
        observer(runObserver),
        options(machineOptions),
        predictor(machineOptions.predictor, machineOptions.predictorEntries) {
    counts.byInstruction.resize(state.instructions.size());
    askInterests();
  }

  // What the stages behind Decode did earlier in the current cycle, which
  // they run first: the forwarding unit and the hazard check of a machine
  // with forwarding look at it.
  // It also counts, by Stage, what each stage took up and was charged, and
  // which instruction retired: views that only count read that at the end
  // of the cycle.
  struct CycleWork {
    bool executed = false;                       // ExecuteLatch holds what Execute computed in this cycle
    bool memoryAccessed = false;                 // MemoryLatch holds what Memory passed on in this cycle
    std::optional<WrittenRegister> writtenBack;  // the register Write-back wrote in this cycle
    std::array<StageWork, stageCount> stages{};  // by Stage
    std::optional<InstructionTag> retired;       // the instruction that left Write-back

    // Ready for the next cycle: as new, field by field, which costs less
    // than making a new one and copying it in. Each value is emptied by
    // assigning an empty one, a plain store, rather than by reset(), which
    // tests first whether it held one.
    void clear() {
      executed = memoryAccessed = false;
      writtenBack = {};
      retired = {};
      for (StageWork& stage : stages) {
        stage.instruction = {};
        stage.charged = {};
        stage.energy = 0;
      }
    }
  };

  MachineState state;
  FetchLatchRecord FetchLatch;
  DecodeLatchRecord DecodeLatch;
  ExecuteLatchRecord ExecuteLatch;
  MemoryLatchRecord MemoryLatch;
  EnergySource energy;
  double energyTotal = 0.0;  // energy consumed so far by all stages together
  RunCounts counts;          // the run's figures so far
  // What Fetch charged for its latest fetch: all an instruction cancelled
  // behind a branch did, since a branch only ever cancels the latest fetch.
  std::int64_t latestFetchWork = 0;
  RunObserver* observer;     // may be null: nobody watches
  EventKinds interests = 0;  // what the observer looks at in this cycle
  MachineOptions options;
  BranchPredictor predictor;  // Fetch's, read and written by the core as branches resolve
  CycleWork thisCycle;

  // What the observer looks at from now on.
  void askInterests() { interests = observer != nullptr ? observer->interests() : 0; }

  // A cycle begins: the run's figures make room for it, and the observer
  // always hears of it, and then says what it looks at in this cycle, now
  // that it knows which cycle it is. Observers that joined after the run
  // was made are heard this way too. The stages work within a cycle.
  void beginCycle(const CycleStarted& started) {
    counts.energyOverTime.bucketFor(started.cycle);
    interests = observer != nullptr ? observer->beginCycle(started) : 0;
  }

  // Whether the observer looks at events of this kind in this cycle.
  template <typename Kind>
  bool wants() const {
    return (interests & eventKind<Kind>()) != 0;
  }

  // Hands the observer an event of `Kind` made of `fields`, when it looks at
  // events of that kind. Only then is the event made: a run told to few
  // kinds, such as one that wants only figures, would otherwise build
  // dozens of events a cycle for nobody.
  template <typename Kind, typename... Fields>
  void report(const Fields&... fields) const {
    if (!wants<Kind>()) return;
#if __cpp_aggregate_paren_init >= 201902L
    // Made in place in the event the observer is handed, rather than made
    // apart and copied in, where the compiler can make an event from
    // parentheses.
    observer->observe(Event(std::in_place_type<Kind>, fields...));
#else
    observer->observe(Kind{fields...});
#endif
  }

  // The cycle is over: the observer hears what the stages did in it. The
  // event, a copy of the cycle's work, is made only for an observer that
  // hears of it.
  void endCycle(Cycle cycle) const {
    if (wants<CycleEnded>()) observer->observe(CycleEnded{cycle, thisCycle.stages, thisCycle.retired});
  }

  // A stage takes up an instruction. Its source text is looked up only for
  // an observer that hears of it.
  [[gnu::always_inline]] void enterStage(Stage stage, InstructionTag instruction) {
    thisCycle.stages[static_cast<std::size_t>(stage)].instruction = instruction;
    if (wants<StageEntered>())
      observer->observe(StageEntered{stage, instruction, state.sourceTextOf(instruction.index)});
  }

  // A stage charges its working figures for the work it does.
  // Returns what the charge came to. Made in place, where the file is
  // known, so that finding its figures is no work in the cycle.
  [[gnu::always_inline]] std::int64_t chargeEnergy(const EnergyFile& file) { return charge(file, EnergyUse::Work); }

  // The instruction in Write-back leaves the pipeline.
  void retire(InstructionTag instruction) {
    thisCycle.retired = instruction;
    ++counts.completed;
    report<InstructionRetired>(instruction);
  }

  // A stage has done its part of the cycle: if it charged nothing for work,
  // it charges its idle figures, when it has any. `heldByStall` tells a
  // stage a stall holds from one with nothing to do.
  void chargeIdle(Stage stage, bool heldByStall) {
    if (thisCycle.stages[static_cast<std::size_t>(stage)].charged || !energy.hasIdleFigures(stage)) return;
    charge({stage, {}, true}, heldByStall ? EnergyUse::Stalled : EnergyUse::Idle);
  }

 private:
  // Adds one energy file's figures to the total, counts the charge as the
  // stage's in this cycle and in the run's figures, and reports it. A stage
  // charges once a cycle at most: its working figures, or else its idle
  // ones; working, it charges after taking up its instruction.
  [[gnu::always_inline]] std::int64_t charge(const EnergyFile& file, EnergyUse use) {
    const std::int64_t added = energy.addTo(file, energyTotal);
    StageWork& work = thisCycle.stages[static_cast<std::size_t>(file.stage)];
    work.charged = use;
    work.energy = added;
    counts.charged(file.stage, use, added, use == EnergyUse::Work ? work.instruction->index : 0);
    report<EnergyCharged>(file, added, energyTotal, use);
    return added;
  }
};

}  // namespace fivestage
