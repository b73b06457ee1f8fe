#pragma once

#include <cstdint>

#include "common/TraceWriter.h"
#include "loader/MachineState.h"

namespace fivestage {

// Stage 1: shows the instruction at the program counter, hands its index to
// Decode through FetchLatch and advances the program counter.
class FetchUnit {
 public:
  // The caller has checked that pc names an instruction.
  void fetch(TraceWriter& out, std::int32_t& pc, const MachineState& state) const;
  void readEnergy(TraceWriter& out) const;
};

}  // namespace fivestage
