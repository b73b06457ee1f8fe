#include "stages/Bounds.h"

#include <string>
#include <vector>

#include "common/FatalError.h"

namespace fivestage {
namespace {

// Negative numbers are out of range as well: they are taken as unsigned.
template <typename Element>
bool fits(std::int32_t index, const std::vector<Element>& values) {
  return static_cast<std::uint32_t>(index) < values.size();
}

std::size_t checkedRegister(const MachineState& state, std::optional<RegisterNumber> number) {
  if (!number || !fits(*number, state.registers)) {
    throw FatalError(" Register $" + std::to_string(onBus(number)) + " does not exist: register file size is " +
                     std::to_string(state.registers.size()) + " \n");
  }
  return static_cast<std::size_t>(*number);
}

}  // namespace

void checkInstructionExists(const MachineState& state, InstructionIndex index) {
  if (!fits(index, state.instructions)) {
    throw FatalError(" Instruction E(" + std::to_string(index) + ") does not exist: program size is " +
                     std::to_string(state.instructions.size()) + " \n");
  }
}

Word& registerAt(MachineState& state, std::optional<RegisterNumber> number) {
  return state.registers[checkedRegister(state, number)];
}

Word registerAt(const MachineState& state, std::optional<RegisterNumber> number) {
  return state.registers[checkedRegister(state, number)];
}

Word& memoryWordAt(MachineState& state, Address address) {
  if (!fits(address, state.memory)) {
    throw FatalError(" Memory word " + std::to_string(address) + " does not exist: data memory size is " +
                     std::to_string(state.memory.size()) + " \n");
  }
  return state.memory[static_cast<std::size_t>(address)];
}

}  // namespace fivestage
