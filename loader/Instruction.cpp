#include "loader/Instruction.h"

#include <utility>

namespace fivestage {

Instruction::Instruction() : Instruction("nop", -1, -1, -1, 0, 0) {}

Instruction::Instruction(std::string opcode, std::int32_t rs, std::int32_t rt, std::int32_t rd, std::int32_t imm,
                         std::int32_t label)
    : opcode_(std::move(opcode)), rs_(rs), rt_(rt), rd_(rd), imm_(imm), label_(label) {}

}  // namespace fivestage
