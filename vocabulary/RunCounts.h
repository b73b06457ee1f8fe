#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/Machine.h"
#include "vocabulary/Events.h"

namespace fivestage {

// Energy in whole units, per stage in the order of allStages.
using StageEnergy = std::array<std::int64_t, stageCount>;

inline std::int64_t sumOf(const StageEnergy& energy) {
  std::int64_t total = 0;
  for (const std::int64_t stage : energy) total += stage;
  return total;
}

// Where the energy went, by stage; the four parts add up to the total.
// Work is charged to the instruction a stage works on: it counts as
// completed unless a branch or jump cancels the instruction on a wrong path.
// So the work of an instruction still in the pipeline when a run stops or
// fails counts as completed too: nothing cancelled it. Idle charges are a
// stage's cycles without work: with nothing to do, or held by a stall
// (Decode and Execute while a stall is open, Fetch while it holds Fetch).
struct EnergySplit {
  StageEnergy completed{};
  StageEnergy wrongPath{};
  StageEnergy idle{};
  StageEnergy stalled{};
};

// The whole run's energy over time, in buckets of `width` cycles each (the
// last may hold fewer): bucket i holds cycles i * width + 1 to
// (i + 1) * width. A long run keeps at most maxBuckets: when one more is
// needed, neighbours are merged in pairs and the width doubles, so that a
// picture of any run stays readable and the record stays small.
struct EnergyBucket {
  StageEnergy energy{};
  std::int64_t stalls = 0;     // stalls that began in its cycles
  std::int64_t cancelled = 0;  // instructions cancelled in its cycles
};
struct EnergyTimeline {
  static constexpr std::size_t maxBuckets = 200;
  Cycle width = 1;
  std::vector<EnergyBucket> buckets;

  // Makes room for `cycle`, the run's next, and returns its bucket. Cycles
  // come one at a time: a new bucket begins past the end of the last.
  EnergyBucket& bucketFor(Cycle cycle) {
    if (cycle > roomUpTo_) {
      if (buckets.size() == maxBuckets) {
        for (std::size_t i = 0; i < buckets.size() / 2; ++i) buckets[i] = merged(buckets[2 * i], buckets[2 * i + 1]);
        buckets.resize(buckets.size() / 2);
        width *= 2;
      }
      if (cycle > static_cast<Cycle>(buckets.size()) * width) buckets.emplace_back();
      roomUpTo_ = static_cast<Cycle>(buckets.size()) * width;
    }
    return buckets.back();
  }

 private:
  // The last cycle the buckets have room for, kept rather than worked out
  // at every cycle's start.
  Cycle roomUpTo_ = 0;

  static EnergyBucket merged(const EnergyBucket& a, const EnergyBucket& b) {
    EnergyBucket sum{{}, a.stalls + b.stalls, a.cancelled + b.cancelled};
    for (std::size_t stage = 0; stage < stageCount; ++stage) sum.energy[stage] = a.energy[stage] + b.energy[stage];
    return sum;
  }
};

// What the instruction of one source line took, over the whole run.
struct InstructionTotals {
  std::int64_t energy = 0;
  std::int64_t fetched = 0;
};

// The figures of a whole run that grow with every cycle: what was fetched
// and completed, and where the energy went, over time and by instruction.
// The core counts them where they arise, as it charges and fetches, so that
// a view that wants only figures need not hear of every cycle to rebuild them.
struct RunCounts {
  std::int64_t fetched = 0;
  std::int64_t completed = 0;  // instructions that left Write-back
  std::int64_t taken = 0;      // branches and jumps executed and taken
  std::int64_t notTaken = 0;   // branches executed and not taken
  StageEnergy energyByStage{};
  EnergySplit energySplit;
  std::vector<InstructionTotals> byInstruction;  // by instruction index
  EnergyTimeline energyOverTime;                 // for every cycle of the run

  // A stage charged `energy` for `use`; work is the instruction's it works on.
  void charged(Stage stage, EnergyUse use, std::int64_t energy, InstructionIndex instruction) {
    const auto at = static_cast<std::size_t>(stage);
    energyByStage[at] += energy;
    energyOverTime.buckets.back().energy[at] += energy;
    switch (use) {
      case EnergyUse::Work:
        energySplit.completed[at] += energy;
        byInstruction[static_cast<std::size_t>(instruction)].energy += energy;
        break;
      case EnergyUse::Idle: energySplit.idle[at] += energy; break;
      case EnergyUse::Stalled: energySplit.stalled[at] += energy; break;
    }
  }
  // Fetch fetched the instruction: the number of this fetch.
  FetchNumber fetch(InstructionIndex instruction) {
    ++byInstruction[static_cast<std::size_t>(instruction)].fetched;
    return ++fetched;
  }
  // An instruction cancelled on a wrong path: Fetch's work on it, all it
  // did, moves to the wrong path.
  void cancelled(std::int64_t fetchWork) {
    constexpr auto at = static_cast<std::size_t>(Stage::Fetch);
    energySplit.completed[at] -= fetchWork;
    energySplit.wrongPath[at] += fetchWork;
    ++energyOverTime.buckets.back().cancelled;
  }
  // A branch or jump executed, taken or not.
  void branchExecuted(bool wasTaken) { ++(wasTaken ? taken : notTaken); }
  void stallTriggered() { ++energyOverTime.buckets.back().stalls; }
};

}  // namespace fivestage
