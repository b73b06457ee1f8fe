#pragma once

#include <cstdint>

#include "common/TraceWriter.h"
#include "loader/MachineState.h"

namespace fivestage {

// Stage 5: chooses between the ALU result and the loaded word and, when the
// instruction writes a register, stores it in the register file. It runs
// first in every cycle, so Decode reads the new value in the same cycle.
class WriteBackUnit {
 public:
  void writeBack(TraceWriter& out, MachineState& state, std::int32_t index) const;
  std::int32_t memToRegMux(TraceWriter& out, std::int32_t aluResult, std::int32_t loadedWord,
                           std::int32_t select) const;
  void writeRegister(TraceWriter& out, std::int32_t value, std::int32_t number, MachineState& state) const;
  void readEnergy(TraceWriter& out) const;
};

}  // namespace fivestage
