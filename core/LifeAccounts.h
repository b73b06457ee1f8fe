#pragma once

#include <optional>

#include "core/Pipeline.h"
#include "stages/Datapath.h"

namespace fivestage {

// The accounts of the instructions' lives and of the stalls, which the core
// keeps beside its scheduling and reports as events: where an instruction is
// in a cycle no stage works on it, who ran behind a taken branch, and what
// each stall and each idle cycle of Fetch cost, once that is known. The
// views record these accounts; none works them out again.
//
// A cycle of Fetch's is spent on the instruction it fetches, or not: a
// stall holds Fetch, Fetch finds the program's end, or the instruction
// fetched is cancelled. Which, is known only later: a stall's share once
// Fetch fetches again after its release, the rest once the fate of the
// fetch after them is known, and the last ones at the run's end.
class LifeAccounts {
 public:
  explicit LifeAccounts(const Datapath& datapath) : datapath_(&datapath) {}
  // The accounts of `other`, kept from now on for the copy of its datapath.
  LifeAccounts(const LifeAccounts& other, const Datapath& datapath) : LifeAccounts(other) {
    rebind(datapath);
  }

  // A cycle begins. While a stall holds the pipeline in it, the waiting
  // instruction waits in Execute's slot and the one behind it in Decode's.
  void beginCycle(Cycle cycle, const Pipeline& pipeline, bool stallHolds);
  // The instruction leaves the pipeline through Write-back in this cycle.
  void writtenBack(InstructionTag instruction);
  // Decode found a hazard: the instruction waits for `waitsFor`.
  void stallTriggered(InstructionTag waiting, std::optional<RegisterNumber> blockedRegister,
                      std::optional<InstructionTag> waitsFor);
  // The waiting instruction has read its registers again.
  void stallReleased();
  // Without flush: `behind` goes on to Decode after the taken `branch`.
  void ranBehind(InstructionTag branch, InstructionTag behind) const;
  // A taken branch cancelled the instruction, fetched last.
  void cancelled(InstructionTag instruction) {
    if (fetch_ && fetch_->instruction == instruction) fetch_->cancelled = true;
  }
  // Fetch fetches nothing in this cycle.
  void fetchIdle(bool frozen, bool atProgramEnd);
  // Fetch is about to fetch `instruction`.
  void fetching(InstructionTag instruction);
  // The run has ended, run to its end or not: what is still open is settled.
  void settleRunEnd(bool completed);

 private:
  // A fetch, until its fate is known, with the cycles before it in which
  // Fetch fetched nothing.
  struct PendingFetch {
    PendingFetch(InstructionTag fetched, Cycle fetchCycle, Cycle heldBefore, Cycle idleBefore)
        : instruction(fetched), cycle(fetchCycle), held(heldBefore), idle(idleBefore) {}

    InstructionTag instruction;
    Cycle cycle;
    Cycle held;                         // cycles a stall held Fetch before it
    Cycle idle;                         // cycles Fetch found the program's end before it
    std::optional<StallAccount> stall;  // the stall those held cycles belong to, that cost in it
    bool cancelled = false;
  };

  // The fetch before `instruction`'s is settled; its own waits for its fate.
  void openFetch(InstructionTag instruction);
  // A fetch's share: the cycles Fetch stood still before it go to the stall
  // that held it or to the program's end; the fetch itself counts as an
  // instruction that ran or as a cancelled one.
  void settleFetch();
  void settleStall(const StallAccount& stall, Cycle fetchHeld, Cycle endDelay) const;
  // Cycles of Fetch's that no instruction that ran made use of.
  void settleIdle(Cycle nothingToFetch, Cycle cancelled) const;
  // The waiting instruction of the latest stall waits in this cycle.
  void reportStalled(InstructionTag waiting) const;
  // A completed run: the cycles after the last fetch beyond the four its
  // instruction needs to leave the pipeline were made by the stalls that
  // held it.
  void settleCompletedRun();

  template <typename Kind, typename... Fields>
  void report(const Fields&... fields) const {
    datapath_->report<Kind>(fields...);
  }

  // Copied only together with the datapath they report through.
  LifeAccounts(const LifeAccounts&) = default;
  void rebind(const Datapath& datapath) { datapath_ = &datapath; }

  const Datapath* datapath_;
  Cycle cycle_ = 0;
  // The latest stall, until a fetch after its release takes it over.
  std::optional<StallAccount> stall_;
  bool stallOpen_ = false;  // not released yet
  std::optional<PendingFetch> fetch_;
  Cycle heldSinceFetch_ = 0;
  Cycle idleSinceFetch_ = 0;
  // The fetch cycle of the last fetch whose instruction ran: the run drains behind it.
  std::optional<Cycle> lastRunCycle_;
};

}  // namespace fivestage
