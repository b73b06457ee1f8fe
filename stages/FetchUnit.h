#pragma once

#include <cstdint>
#include <iosfwd>

#include "loader/MachineState.h"

namespace fivestage {

// Stage 1: shows the instruction at the program counter, hands its index to
// Decode through FetchLatch and advances the program counter.
class FetchUnit {
 public:
  // The caller has checked that pc names an instruction.
  void fetch(std::ostream& out, std::int32_t& pc, const MachineState& state) const;
  void readEnergy(std::ostream& out) const;
};

}  // namespace fivestage
