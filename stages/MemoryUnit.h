#pragma once

#include <cstdint>

#include "common/TraceWriter.h"
#include "loader/MachineState.h"

namespace fivestage {

// Stage 4: passes the write-back signals and the ALU result on into
// MemoryLatch and makes at most one data-memory access. The ALU result is
// the word index itself: memory is addressed by word, not by byte.
class MemoryUnit {
 public:
  void accessMemory(TraceWriter& out, MachineState& state, std::int32_t index) const;
  std::int32_t readMemory(std::int32_t address, MachineState& state) const;
  void writeMemory(std::int32_t word, std::int32_t address, MachineState& state) const;
  void readEnergy(TraceWriter& out) const;
};

}  // namespace fivestage
