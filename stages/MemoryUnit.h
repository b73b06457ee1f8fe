#pragma once

#include "stages/Datapath.h"

namespace fivestage {

// Stage 4: passes the write-back signals and the ALU result on into
// MemoryLatch and makes at most one data-memory access. The ALU result is
// the word index itself: memory is addressed by word, not by byte.
class MemoryUnit {
 public:
  void accessMemory(Datapath& datapath, InstructionIndex index) const;
  Word readMemory(Address address, MachineState& state) const;
  void writeMemory(Word word, Address address, MachineState& state) const;
  void chargeEnergy(Datapath& datapath) const;
};

}  // namespace fivestage
