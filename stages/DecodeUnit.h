#pragma once

#include <optional>

#include "stages/Datapath.h"

namespace fivestage {

// The hazard check's verdict: whether the instruction must wait, and if so
// for which register and which instruction still to write it.
struct HazardVerdict {
  bool stall = false;
  std::optional<RegisterNumber> blockedRegister;
  std::optional<InstructionTag> waitsFor;
};

// Stage 2: checks for data hazards, reads the source registers, charges the
// opcode's energy and produces the control signals. It decodes the
// instruction whose index is in FetchLatch.Pc.
class DecodeUnit {
 public:
  // Returns the hazard check's verdict: whether the instruction must stall.
  HazardVerdict decode(Datapath& datapath) const;
  HazardVerdict detectDanger(const Datapath& datapath) const;
  // With forwarding: only a load that Execute ran in this cycle and that
  // writes a source register makes the instruction wait.
  HazardVerdict detectLoadUse(const Datapath& datapath) const;
  void readRegisterFile(Datapath& datapath) const;
  // When a stall is released, the waiting instruction (DecodeLatch.Pc) reads
  // its source registers again: the instruction it waited for has written
  // its result back only now.
  void rereadRegisterFile(Datapath& datapath) const;
  void chargeEnergy(Datapath& datapath, std::optional<Opcode> opcode) const;
  // Throws FatalError for an opcode without control signals; Decode never
  // gets that far with one, since it has no energy figures either.
  void produceControlSignals(Datapath& datapath, std::optional<Opcode> opcode) const;
};

}  // namespace fivestage
