#pragma once

#include <cstdint>

#include "loader/MachineState.h"

namespace fivestage {

// Checked access to the simulated machine. An index outside the program,
// the register file or the data memory ends the run with a message naming it
// (FatalError); nothing outside them is ever read or written.
void checkInstructionExists(const MachineState& state, std::int32_t index);
std::int32_t& registerAt(MachineState& state, std::int32_t number);
std::int32_t registerAt(const MachineState& state, std::int32_t number);
std::int32_t& memoryWordAt(MachineState& state, std::int32_t address);

}  // namespace fivestage
