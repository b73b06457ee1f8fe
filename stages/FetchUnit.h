#pragma once

#include "stages/Datapath.h"

namespace fivestage {

// Stage 1: takes up the instruction at the program counter, hands its index
// to Decode through FetchLatch and advances the program counter.
class FetchUnit {
 public:
  // The caller has checked that pc names an instruction.
  void fetch(Datapath& datapath, InstructionIndex& pc) const;
  void chargeEnergy(Datapath& datapath) const;
};

}  // namespace fivestage
