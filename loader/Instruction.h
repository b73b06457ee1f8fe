#pragma once

#include <cstdint>
#include <string>

namespace fivestage {

// One accepted source line in parsed form. -1 marks an operand the
// instruction does not have (so a real operand of -1 looks the same).
class Instruction {
 public:
  // The record of a nop line: no registers, immediate and label 0.
  Instruction();
  Instruction(std::string opcode, std::int32_t rs, std::int32_t rt, std::int32_t rd, std::int32_t imm,
              std::int32_t label);

  std::string getOpcode() const { return opcode_; }
  void setOpcode(std::string opcode) { opcode_ = std::move(opcode); }
  // The opcode without a copy, for the stages that only compare or print it.
  const std::string& opcode() const { return opcode_; }

  std::int32_t getRs() const { return rs_; }
  void setRs(std::int32_t rs) { rs_ = rs; }
  std::int32_t getRt() const { return rt_; }
  void setRt(std::int32_t rt) { rt_ = rt; }
  std::int32_t getRd() const { return rd_; }
  void setRd(std::int32_t rd) { rd_ = rd; }
  std::int32_t getImm() const { return imm_; }
  void setImm(std::int32_t imm) { imm_ = imm; }
  std::int32_t getLabel() const { return label_; }
  void setLabel(std::int32_t label) { label_ = label; }

  bool operator==(const Instruction&) const = default;

 private:
  std::string opcode_;
  std::int32_t rs_;     // first source register (Decode's a)
  std::int32_t rt_;     // second source register (Decode's b, the word a store writes)
  std::int32_t rd_;     // register the instruction writes (Decode's Rg)
  std::int32_t imm_;    // immediate or address offset
  std::int32_t label_;  // branch or jump target as an instruction index
};

}  // namespace fivestage
