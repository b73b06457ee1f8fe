#pragma once

#include <cstdint>
#include <string_view>

#include "common/TraceWriter.h"
#include "loader/MachineState.h"

namespace fivestage {

// The ten control signals of one opcode, as the control unit stores them in
// DecodeLatch. `keepsRg` marks the opcodes that write a register: they leave
// Rg as the register-file read set it (the instruction's rd); all others set
// Rg to -1.
struct ControlSignals {
  std::int32_t pcsel, pcsrc, branch, alusrc, aluop, memread, memwrite, memtoreg, regwrite;
  bool keepsRg;

  bool operator==(const ControlSignals&) const = default;
};

// The control table. Any opcode outside the ten known ones (xor and nop
// included) gets the all-indifferent default row.
ControlSignals controlSignalsFor(std::string_view opcode);

// Stage 2: checks for data hazards, reads the source registers, charges the
// opcode's energy and produces the control signals. It decodes the
// instruction whose index is in FetchLatch.Pc.
class DecodeUnit {
 public:
  // Returns 1 when the instruction must stall, 0 otherwise.
  std::int32_t decode(TraceWriter& out, const MachineState& state) const;
  std::int32_t detectDanger(TraceWriter& out, const MachineState& state) const;
  void readRegisterFile(TraceWriter& out, const MachineState& state) const;
  // When a stall is released, the waiting instruction (DecodeLatch.Pc) reads
  // its source registers again: the instruction it waited for has written
  // its result back only now.
  void rereadRegisterFile(TraceWriter& out, const MachineState& state) const;
  void readEnergy(TraceWriter& out, std::string_view opcode) const;
  void produceControlSignals(TraceWriter& out, std::string_view opcode) const;
};

}  // namespace fivestage
