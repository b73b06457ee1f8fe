#pragma once

#include <optional>

#include "stages/Datapath.h"

namespace fivestage {

// Stage 3: runs the ALU on the operands in DecodeLatch, passes the memory
// and write-back signals on into ExecuteLatch, and works out through the
// gate, Mux3 and the PC multiplexer whether the program counter changes.
class ExecuteUnit {
 public:
  // Puts into `newPc` the new program counter, or nothing when it stays as
  // it is. Written where the core keeps it, as the multiplexers below
  // write their outputs, and for the same reason.
  void execute(Datapath& datapath, std::optional<InstructionIndex>& newPc) const;
  // The forwarding unit: replaces an operand as Decode read it, a or b,
  // with the newest value of its register from the instructions ahead,
  // when one of them has it.
  void forward(const Datapath& datapath, std::optional<Word>& a, std::optional<Word>& b) const;
  Word aluSrcMux(const Datapath& datapath, Word b, Word imm, std::optional<AluSource> select) const;
  // Zero is set by Sub only, and inverted: true when the inputs differ.
  Word alu(const Datapath& datapath, Word input1, Word input2, AluOperation operation, bool& zero) const;
  bool mux3Gate(const Datapath& datapath, bool pcsrc, bool zero, std::optional<BranchKind> branch) const;
  // Mux3 and the PC multiplexer put their outputs where the caller keeps
  // them. An index that may be absent, handed back as a value, is written
  // to memory piece by piece and read back whole right away, a read the
  // processor cannot serve until the pieces are stored.
  void mux3(const Datapath& datapath, InstructionIndex pc, const std::optional<InstructionIndex>& label, bool gate,
            std::optional<InstructionIndex>& selected) const;
  // Without pcsel the PC stays; otherwise a jump or taken branch hands back
  // its target, and a branch whose gate did not pass leaves the PC.
  void pcMux(const Datapath& datapath, InstructionIndex pc, const std::optional<InstructionIndex>& selected,
             bool select, bool gate, std::optional<InstructionIndex>& newPc) const;
  void chargeEnergy(Datapath& datapath) const;
};

}  // namespace fivestage
