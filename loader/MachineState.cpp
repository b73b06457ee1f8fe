#include "loader/MachineState.h"

#include <ostream>

#include "common/FatalError.h"
#include "common/LineFile.h"
#include "common/NumberText.h"
#include "common/TraceWriter.h"
#include "loader/InputFiles.h"

namespace fivestage {
namespace {

[[noreturn]] void cannotLoad(const std::string& name) { throw FatalError(" File " + name + " could not be loaded \n"); }

// The message names the bare file name, never the folder.
void openOrFail(LineFile& file, const InputFiles& inputs, const std::string& name) {
  if (!inputs.find(name).openIn(file)) cannotLoad(name);
}

// One integer per line, by the atoi rules; every line counts, an empty one as 0.
void readNumbers(LineFile& file, const InputFiles& inputs, const std::string& name, std::vector<Word>& values) {
  openOrFail(file, inputs, name);
  std::string_view line;
  while (file.nextLine(line)) values.push_back(atoiSaturated(line));
}

}  // namespace

MachineState::MachineState(std::ostream& log, const InputFiles& inputs) {
  LineFile file;
  openOrFail(file, inputs, "src.txt");
  std::string_view line;
  while (file.nextLine(line)) sourceLines.emplace_back(line);

  parseSource(log);

  readNumbers(file, inputs, "reg.txt", registers);
  readNumbers(file, inputs, "mem.txt", memory);

  log << "\n All files loaded succesfully \n\n"
      << " ******************** Ending Loading Input Phase ***************************** \n\n";
}

const std::string& MachineState::sourceTextOf(InstructionIndex index) const {
  return sourceLines[instructionLines.at(static_cast<std::size_t>(index))];
}

std::ostream& printLoadedData(std::ostream& stream, const MachineState& state) {
  // A listing may run to millions of lines: it is written in large blocks.
  TraceWriter out(stream);
  out << " Source Code Loaded : \n\n";
  for (std::size_t i = 0; i < state.sourceLines.size(); ++i) {
    out << " L(" << i + 1 << ") : " << state.sourceLines[i] << " \n";
  }
  out << "\n Register File Loaded : \n\n";
  for (std::size_t i = 0; i < state.registers.size(); ++i) {
    out << " $" << i << " : " << state.registers[i] << " \n";
  }
  out << "\n Memory File Loaded : \n\n";
  for (std::size_t i = 0; i < state.memory.size(); ++i) {
    out << " " << Hex{i} << " : " << state.memory[i] << " \n";
  }
  out << "\n\n";
  return stream;
}

}  // namespace fivestage
