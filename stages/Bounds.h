#pragma once

#include <optional>

#include "common/Machine.h"
#include "loader/MachineState.h"

namespace fivestage {

// Checked access to the simulated machine. An index outside the program,
// the register file or the data memory ends the run with a message naming it
// (FatalError); nothing outside them is ever read or written.
// An absent register ($-1 in the source) exists no more than any other
// number outside the register file.
void checkInstructionExists(const MachineState& state, InstructionIndex index);
Word& registerAt(MachineState& state, std::optional<RegisterNumber> number);
Word registerAt(const MachineState& state, std::optional<RegisterNumber> number);
Word& memoryWordAt(MachineState& state, Address address);

}  // namespace fivestage
