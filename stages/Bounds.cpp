#include "stages/Bounds.h"

#include <string>

#include "common/FatalError.h"

namespace fivestage::bounds {

void noSuchInstruction(const MachineState& state, InstructionIndex index) {
  throw FatalError(" Instruction E(" + std::to_string(index) + ") does not exist: program size is " +
                   std::to_string(state.instructions.size()) + " \n");
}

void noSuchRegister(const MachineState& state, std::optional<RegisterNumber> number) {
  throw FatalError(" Register $" + std::to_string(onBus(number)) + " does not exist: register file size is " +
                   std::to_string(state.registers.size()) + " \n");
}

void noSuchMemoryWord(const MachineState& state, Address address) {
  throw FatalError(" Memory word " + std::to_string(address) + " does not exist: data memory size is " +
                   std::to_string(state.memory.size()) + " \n");
}

}  // namespace fivestage::bounds
