#pragma once

#include "stages/Datapath.h"

namespace fivestage {

// Stage 1: takes up the instruction at the program counter, hands its index
// to Decode through FetchLatch and moves the program counter on: to the next
// instruction, or, with a predictor, to the label of a branch it predicts
// taken or of a jump.
class FetchUnit {
 public:
  // The caller has checked that pc names an instruction.
  void fetch(Datapath& datapath, InstructionIndex& pc) const;
  void chargeEnergy(Datapath& datapath) const;
  // The instruction to fetch after `fetched`, as the predictor sees it.
  InstructionIndex predictNext(Datapath& datapath, InstructionTag fetched) const;
};

}  // namespace fivestage
