#pragma once

#include <optional>
#include <string>

#include "common/Machine.h"
#include "isa/InstructionSet.h"

namespace fivestage {

// One accepted source line in parsed form: the opcode text and its operands.
// An operand the instruction does not have is empty.
class Instruction {
 public:
  // The record of a nop line: no registers, immediate and label 0.
  Instruction();
  Instruction(std::string opcode, std::optional<RegisterNumber> rs, std::optional<RegisterNumber> rt,
              std::optional<RegisterNumber> rd, std::optional<Word> imm, std::optional<InstructionIndex> label);

  std::string getOpcode() const { return opcode_; }
  void setOpcode(std::string opcode);
  // The opcode text without a copy, for the stages that only print it.
  const std::string& opcode() const { return opcode_; }
  // The opcode text decoded once: empty for a text outside the instruction
  // set, such as ori, which the parser reads by its prefix or.
  std::optional<Opcode> decoded() const { return decoded_; }

  std::optional<RegisterNumber> getRs() const { return rs_; }
  void setRs(std::optional<RegisterNumber> rs) { rs_ = rs; }
  std::optional<RegisterNumber> getRt() const { return rt_; }
  void setRt(std::optional<RegisterNumber> rt) { rt_ = rt; }
  std::optional<RegisterNumber> getRd() const { return rd_; }
  void setRd(std::optional<RegisterNumber> rd) { rd_ = rd; }
  std::optional<Word> getImm() const { return imm_; }
  void setImm(std::optional<Word> imm) { imm_ = imm; }
  std::optional<InstructionIndex> getLabel() const { return label_; }
  void setLabel(std::optional<InstructionIndex> label) { label_ = label; }

  bool operator==(const Instruction&) const = default;

 private:
  std::string opcode_;
  std::optional<Opcode> decoded_;
  std::optional<RegisterNumber> rs_;       // first source register (Decode's a)
  std::optional<RegisterNumber> rt_;       // second source register (Decode's b, the word a store writes)
  std::optional<RegisterNumber> rd_;       // register the instruction writes (Decode's Rg)
  std::optional<Word> imm_;                // immediate or address offset
  std::optional<InstructionIndex> label_;  // branch or jump target
};

}  // namespace fivestage
