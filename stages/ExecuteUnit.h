#pragma once

#include <cstdint>

#include "common/TraceWriter.h"
#include "loader/MachineState.h"

namespace fivestage {

// Stage 3: runs the ALU on the operands in DecodeLatch, passes the memory
// and write-back signals on into ExecuteLatch, and works out through the
// gate, Mux3 and the PC multiplexer whether the program counter changes.
class ExecuteUnit {
 public:
  // Returns the new program counter, or -1 when it stays as it is.
  std::int32_t execute(TraceWriter& out, const MachineState& state) const;
  std::int32_t aluSrcMux(TraceWriter& out, std::int32_t b, std::int32_t imm, std::int32_t select) const;
  // Zero is set by Sub only, and inverted: 1 when the inputs differ.
  std::int32_t alu(TraceWriter& out, std::int32_t input1, std::int32_t input2, std::int32_t operation,
                   std::int32_t& zero) const;
  std::int32_t mux3Gate(TraceWriter& out, std::int32_t pcsrc, std::int32_t zero, std::int32_t branch) const;
  std::int32_t mux3(TraceWriter& out, std::int32_t pc, std::int32_t label, std::int32_t gate) const;
  // With select 0 the PC stays; otherwise the jump or taken branch hands
  // back its target, and a branch whose gate did not pass leaves the PC.
  std::int32_t pcMux(TraceWriter& out, std::int32_t pc, std::int32_t selected, std::int32_t select,
                     std::int32_t gate) const;
  void readEnergy(TraceWriter& out) const;
};

}  // namespace fivestage
