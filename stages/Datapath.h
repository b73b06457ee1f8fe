#pragma once

#include <array>

#include "vocabulary/Events.h"
#include "vocabulary/MachineOptions.h"
#include "energy/EnergySource.h"
#include "loader/MachineState.h"
#include "stages/BranchPredictor.h"
#include "stages/Latches.h"

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
    askInterests();
  }

  // What the stages behind Decode did earlier in the current cycle, which
  // they run first: the forwarding unit and the hazard check of a machine
  // with forwarding look at it.
  struct CycleWork {
    bool executed = false;                       // ExecuteLatch holds what Execute computed in this cycle
    bool memoryAccessed = false;                 // MemoryLatch holds what Memory passed on in this cycle
    std::optional<WrittenRegister> writtenBack;  // the register Write-back wrote in this cycle
    std::array<bool, stageCount> worked{};       // by Stage: it charged its working figures
  };

  MachineState state;
  FetchLatchRecord FetchLatch;
  DecodeLatchRecord DecodeLatch;
  ExecuteLatchRecord ExecuteLatch;
  MemoryLatchRecord MemoryLatch;
  EnergySource energy;
  double energyTotal = 0.0;  // energy consumed so far by all stages together
  FetchNumber fetches = 0;   // instructions fetched so far
  RunObserver* observer;     // may be null: nobody watches
  EventKinds interests = 0;  // what the observer looks at in this cycle
  MachineOptions options;
  BranchPredictor predictor;  // Fetch's, read and written by the core as branches resolve
  CycleWork thisCycle;

  // What the observer looks at from now on.
  void askInterests() { interests = observer != nullptr ? observer->interests() : 0; }

  // A cycle begins: the observer always hears of it, and then says what it
  // looks at in this cycle, now that it knows which cycle it is. Observers
  // that joined after the run was made are heard this way too.
  void beginCycle(const CycleStarted& started) {
    if (observer != nullptr) observer->observe(started);
    askInterests();
  }

  // Whether the observer looks at events of this kind in this cycle.
  template <typename Kind>
  bool wants() const {
    return (interests & eventKind<Kind>()) != 0;
  }

  // Hands an event to the observer, when it looks at events of its kind.
  template <typename Kind>
  void report(const Kind& event) const {
    if (wants<Kind>()) observer->observe(event);
  }

  // A stage takes up an instruction. Its source text is looked up only for
  // an observer that hears of it.
  void enterStage(Stage stage, InstructionTag instruction) const {
    if (wants<StageEntered>())
      observer->observe(StageEntered{stage, instruction, state.sourceTextOf(instruction.index)});
  }

  // A stage charges its working figures for the work it does.
  void chargeEnergy(const EnergyFile& file) {
    thisCycle.worked[static_cast<std::size_t>(file.stage)] = true;
    charge(file, EnergyUse::Work);
  }

  // A stage has done its part of the cycle: if it charged nothing for work,
  // it charges its idle figures, when it has any. `heldByStall` tells a
  // stage a stall holds from one with nothing to do.
  void chargeIdle(Stage stage, bool heldByStall) {
    if (thisCycle.worked[static_cast<std::size_t>(stage)] || !energy.hasIdleFigures(stage)) return;
    charge({stage, {}, true}, heldByStall ? EnergyUse::Stalled : EnergyUse::Idle);
  }

 private:
  // Adds one energy file's figures to the total and reports the charge.
  void charge(const EnergyFile& file, EnergyUse use) {
    const std::int64_t added = energy.addTo(file, energyTotal);
    report(EnergyCharged{file, added, energyTotal, use});
  }
};

}  // namespace fivestage
