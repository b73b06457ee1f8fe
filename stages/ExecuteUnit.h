#pragma once

#include <optional>

#include "stages/Datapath.h"

namespace fivestage {

// Stage 3: runs the ALU on the operands in DecodeLatch, passes the memory
// and write-back signals on into ExecuteLatch, and works out through the
// gate, Mux3 and the PC multiplexer whether the program counter changes.
class ExecuteUnit {
 public:
  // Returns the new program counter, or nothing when it stays as it is.
  std::optional<InstructionIndex> execute(Datapath& datapath) const;
  // The forwarding unit: replaces an operand as Decode read it, a or b,
  // with the newest value of its register from the instructions ahead,
  // when one of them has it.
  void forward(const Datapath& datapath, std::optional<Word>& a, std::optional<Word>& b) const;
  Word aluSrcMux(const Datapath& datapath, Word b, Word imm, std::optional<AluSource> select) const;
  // Zero is set by Sub only, and inverted: true when the inputs differ.
  Word alu(const Datapath& datapath, Word input1, Word input2, AluOperation operation, bool& zero) const;
  bool mux3Gate(const Datapath& datapath, bool pcsrc, bool zero, std::optional<BranchKind> branch) const;
  std::optional<InstructionIndex> mux3(const Datapath& datapath, InstructionIndex pc,
                                       const std::optional<InstructionIndex>& label, bool gate) const;
  // Without pcsel the PC stays; otherwise a jump or taken branch hands back
  // its target, and a branch whose gate did not pass leaves the PC.
  std::optional<InstructionIndex> pcMux(const Datapath& datapath, InstructionIndex pc,
                                        const std::optional<InstructionIndex>& selected, bool select, bool gate) const;
  void chargeEnergy(Datapath& datapath) const;
};

}  // namespace fivestage
