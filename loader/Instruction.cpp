#include "loader/Instruction.h"

#include <utility>

namespace fivestage {

Instruction::Instruction() : Instruction("nop", {}, {}, {}, 0, 0) {}

Instruction::Instruction(std::string opcode, std::optional<RegisterNumber> rs, std::optional<RegisterNumber> rt,
                         std::optional<RegisterNumber> rd, std::optional<Word> imm,
                         std::optional<InstructionIndex> label)
    : opcode_(std::move(opcode)), decoded_(opcodeNamed(opcode_)), rs_(rs), rt_(rt), rd_(rd), imm_(imm), label_(label) {}

void Instruction::setOpcode(std::string opcode) {
  opcode_ = std::move(opcode);
  decoded_ = opcodeNamed(opcode_);
}

}  // namespace fivestage
