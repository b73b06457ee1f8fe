#pragma once

#include <cstdint>
#include <iosfwd>

#include "loader/MachineState.h"

namespace fivestage {

// Stage 5: chooses between the ALU result and the loaded word and, when the
// instruction writes a register, stores it in the register file. It runs
// first in every cycle, so Decode reads the new value in the same cycle.
class WriteBackUnit {
 public:
  void writeBack(std::ostream& out, MachineState& state, std::int32_t index) const;
  std::int32_t memToRegMux(std::ostream& out, std::int32_t aluResult, std::int32_t loadedWord,
                           std::int32_t select) const;
  void writeRegister(std::ostream& out, std::int32_t value, std::int32_t number, MachineState& state) const;
  void readEnergy(std::ostream& out) const;
};

}  // namespace fivestage
