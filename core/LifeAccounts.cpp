#include "core/LifeAccounts.h"

#include <algorithm>
#include <utility>

namespace fivestage {

void LifeAccounts::beginCycle(Cycle cycle, const Pipeline& pipeline, bool stallHolds) {
  cycle_ = cycle;
  if (!stallHolds) return;
  if (pipeline.executeSlot) reportStalled(*pipeline.executeSlot);
  if (pipeline.decodeSlot) report<DecodeWaited>(*pipeline.decodeSlot);
}

void LifeAccounts::reportStalled(InstructionTag waiting) const {
  // Its source text is looked up only for an observer that hears of it.
  if (!datapath_->wants<InstructionStalled>()) return;
  report<InstructionStalled>(waiting, datapath_->state.sourceTextOf(waiting.index), stall_->blockedRegister,
                             stall_->waitsFor);
}

void LifeAccounts::writtenBack(InstructionTag instruction) {
  if (stall_ && stall_->waitsFor && stall_->waitsFor->fetch == instruction.fetch) stall_->writtenBack = cycle_;
}

void LifeAccounts::stallTriggered(InstructionTag waiting, std::optional<RegisterNumber> blockedRegister,
                                  std::optional<InstructionTag> waitsFor) {
  // A stall released in this cycle and not yet taken over by a fetch (with
  // forwarding, a load that waited for a load, then holds up the use of its
  // own word): the cycles Fetch stood still so far were its cost.
  if (stall_ && !stallOpen_) {
    settleStall(*stall_, heldSinceFetch_, 0);
    heldSinceFetch_ = 0;
  }
  stall_ = StallAccount{cycle_, waiting, blockedRegister, waitsFor, {}, {}, 0, 0};
  stallOpen_ = true;
}

void LifeAccounts::stallReleased() {
  stall_->released = cycle_;
  stallOpen_ = false;
  report<StallEnded>(*stall_);
}

void LifeAccounts::ranBehind(InstructionTag branch, InstructionTag behind) const {
  report<RanBehindTakenBranch>(branch, behind);
}

void LifeAccounts::fetchIdle(bool frozen, bool atProgramEnd) {
  // In the cycle a stall is found at the program's end Fetch would have had
  // nothing to fetch anyway: only a branch still to execute can lead it back.
  const bool heldByStall = frozen && !(atProgramEnd && stall_ && stall_->cycle == cycle_);
  ++(heldByStall ? heldSinceFetch_ : idleSinceFetch_);
}

void LifeAccounts::fetching(InstructionTag instruction) {
  // The cycles a stall held Fetch beyond the waiting instruction's own wait
  // (its s cells) are this instruction's wait to be fetched.
  Cycle held = 0;
  if (stall_) {
    const Cycle ownWait = stall_->released ? *stall_->released - stall_->cycle - 1 : 0;
    held = std::max<Cycle>(0, heldSinceFetch_ - ownWait);
  }
  report<InstructionFetched>(instruction, held, held > 0 ? std::optional(stall_->waiting) : std::nullopt);
  openFetch(instruction);
}

void LifeAccounts::openFetch(InstructionTag instruction) {
  settleFetch();
  fetch_.emplace(instruction, cycle_, heldSinceFetch_, idleSinceFetch_);
  // A released stall's cost is the cycles it held Fetch before this fetch:
  // known now, and told once the fetch's fate is. Written into its account
  // now rather than into a copy then, which would be read back right after
  // it was written.
  if (stall_ && !stallOpen_) {
    fetch_->stall = std::exchange(stall_, std::nullopt);
    fetch_->stall->fetchHeld = fetch_->held;
  }
  heldSinceFetch_ = 0;
  idleSinceFetch_ = 0;
}

void LifeAccounts::settleFetch() {
  if (!fetch_) return;
  if (fetch_->stall) report<StallSettled>(*fetch_->stall);
  settleIdle(fetch_->idle, fetch_->cancelled ? 1 : 0);
  if (!fetch_->cancelled) lastRunCycle_ = fetch_->cycle;
  fetch_.reset();
}

void LifeAccounts::settleStall(const StallAccount& stall, Cycle fetchHeld, Cycle endDelay) const {
  if (!datapath_->wants<StallSettled>()) return;
  StallAccount settled = stall;
  settled.fetchHeld = fetchHeld;
  settled.endDelay = endDelay;
  report<StallSettled>(settled);
}

void LifeAccounts::settleIdle(Cycle nothingToFetch, Cycle cancelled) const {
  if (nothingToFetch != 0 || cancelled != 0) report<FetchCyclesSettled>(nothingToFetch, cancelled);
}

void LifeAccounts::settleRunEnd(bool completed) {
  if (completed) {
    settleCompletedRun();
    return;
  }
  // A run cut short: what Fetch stood still for so far. A run that failed
  // in the cycle its stall was due to end, before the release, held the
  // waiting instruction in that cycle too.
  if (stall_ && stallOpen_ && cycle_ - stall_->cycle >= 2) reportStalled(stall_->waiting);
  settleFetch();
  if (stall_) settleStall(*stall_, heldSinceFetch_, 0);
  settleIdle(idleSinceFetch_, 0);
}

void LifeAccounts::settleCompletedRun() {
  // A fetch cancelled last lies in the drain of the last instruction that
  // ran; a stall released before it held that instruction back.
  Cycle heldInDrain = 0;
  if (fetch_ && fetch_->cancelled) {
    if (fetch_->stall) report<StallSettled>(*fetch_->stall);
    heldInDrain = fetch_->held;
    settleIdle(fetch_->idle, 0);
    fetch_.reset();
  }
  settleFetch();
  // The last instruction that ran needs four cycles after its fetch to
  // leave Write-back; any more were stalls holding it.
  const Cycle beyondDrain = lastRunCycle_ ? cycle_ - *lastRunCycle_ - 4 - heldInDrain : 0;
  if (stall_) {
    settleStall(*stall_, 0, beyondDrain);
    stall_.reset();
  } else {
    settleIdle(beyondDrain, 0);
  }
}

}  // namespace fivestage
