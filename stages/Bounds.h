#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/Machine.h"
#include "loader/MachineState.h"

namespace fivestage {

// Checked access to the simulated machine. An index outside the program,
// the register file or the data memory ends the run with a message naming it
// (FatalError); nothing outside them is ever read or written.
// An absent register ($-1 in the source) exists no more than any other
// number outside the register file.
// The checks are inline, as the stages make several every cycle; only the
// messages of a failed one are built elsewhere.

namespace bounds {

// Negative numbers are out of range as well: they are taken as unsigned.
template <typename Element>
bool fits(std::int32_t index, const std::vector<Element>& values) {
  return static_cast<std::uint32_t>(index) < values.size();
}

[[noreturn]] void noSuchInstruction(const MachineState& state, InstructionIndex index);
[[noreturn]] void noSuchRegister(const MachineState& state, std::optional<RegisterNumber> number);
[[noreturn]] void noSuchMemoryWord(const MachineState& state, Address address);

inline std::size_t checkedRegister(const MachineState& state, std::optional<RegisterNumber> number) {
  if (!number || !fits(*number, state.registers)) noSuchRegister(state, number);
  return static_cast<std::size_t>(*number);
}

}  // namespace bounds

inline void checkInstructionExists(const MachineState& state, InstructionIndex index) {
  if (!bounds::fits(index, state.instructions)) bounds::noSuchInstruction(state, index);
}

inline Word& registerAt(MachineState& state, std::optional<RegisterNumber> number) {
  return state.registers[bounds::checkedRegister(state, number)];
}

inline Word registerAt(const MachineState& state, std::optional<RegisterNumber> number) {
  return state.registers[bounds::checkedRegister(state, number)];
}

inline Word& memoryWordAt(MachineState& state, Address address) {
  if (!bounds::fits(address, state.memory)) bounds::noSuchMemoryWord(state, address);
  return state.memory[static_cast<std::size_t>(address)];
}

}  // namespace fivestage
