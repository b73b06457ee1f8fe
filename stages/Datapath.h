#pragma once

#include <filesystem>

#include "energy/EnergySource.h"
#include "loader/MachineState.h"
#include "stages/Events.h"
#include "stages/Latches.h"

namespace fivestage {

// Everything the five stages act on during one run: the loaded machine (its
// register file and data memory change as the program runs), the pipeline
// registers between the stages, the energy figures and the running total,
// and the observer the stages report to.
struct Datapath {
  Datapath(MachineState machine, const std::filesystem::path& folder, RunObserver* runObserver)
      : state(std::move(machine)), energy(folder), observer(runObserver) {}

  MachineState state;
  FetchLatchRecord FetchLatch;
  DecodeLatchRecord DecodeLatch;
  ExecuteLatchRecord ExecuteLatch;
  MemoryLatchRecord MemoryLatch;
  EnergySource energy;
  double energyTotal = 0.0;  // energy consumed so far by all stages together
  FetchNumber fetches = 0;   // instructions fetched so far
  RunObserver* observer;     // may be null: nobody watches

  void report(const Event& event) const {
    if (observer != nullptr) observer->observe(event);
  }

  // Adds one energy file's figures to the total and reports the charge.
  void chargeEnergy(const EnergyFile& file) {
    const std::int64_t added = energy.addTo(file, energyTotal);
    report(EnergyCharged{file, added, energyTotal});
  }
};

}  // namespace fivestage
