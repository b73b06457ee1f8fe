#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "loader/Instruction.h"

namespace fivestage {

class InputFiles;

// Everything loaded at start-up: the program as text and as parsed records,
// the register file and the data memory. The stages index the sequences
// directly; the register file and the data memory are the simulated
// machine's state and never change their length.
class MachineState {
 public:
  // Nothing loaded: for states assembled in code.
  MachineState() = default;
  // Loads src.txt, reg.txt and mem.txt of `inputs`, in this order, parsing
  // the source before the register file is opened, and writes the loading
  // messages to `log`. Throws FatalError when a file cannot be opened.
  MachineState(std::ostream& log, const InputFiles& inputs);

  // Turns sourceLines into instructions, reporting every line it cannot read.
  void parseSource(std::ostream& log);

  // The text of the source line that instruction `index` was parsed from.
  const std::string& sourceTextOf(InstructionIndex index) const;

  std::vector<std::string> sourceLines;
  std::vector<Instruction> instructions;
  // For each instruction, the index in sourceLines of the line it came from.
  std::vector<std::size_t> instructionLines;
  std::vector<Word> registers;
  std::vector<Word> memory;
};

// Writes the loaded-data listing: the source lines with their label numbers,
// the registers, and the memory words with hexadecimal indices.
std::ostream& printLoadedData(std::ostream& out, const MachineState& state);

}  // namespace fivestage
