#pragma once

#include "stages/Datapath.h"

namespace fivestage {

// Stage 5: chooses between the ALU result and the loaded word and, when the
// instruction writes a register, stores it in the register file. It runs
// first in every cycle, so Decode reads the new value in the same cycle.
class WriteBackUnit {
 public:
  void writeBack(Datapath& datapath, InstructionIndex index) const;
  Word memToRegMux(const Datapath& datapath, Word aluResult, Word loadedWord,
                   std::optional<WriteBackSource> select) const;
  void writeRegister(Datapath& datapath, Word value, std::optional<RegisterNumber> number) const;
  void chargeEnergy(Datapath& datapath) const;
};

}  // namespace fivestage
