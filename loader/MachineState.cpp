#include "loader/MachineState.h"

#include <ostream>

#include "common/FatalError.h"
#include "common/LineFile.h"
#include "common/NumberText.h"
#include "common/TraceWriter.h"

namespace fivestage {
namespace {

[[noreturn]] void cannotLoad(const std::string& name) { throw FatalError(" File " + name + " could not be loaded \n"); }

// The message names the bare file name, never the folder.
void openOrFail(LineFile& file, const std::filesystem::path& folder, const std::string& name) {
  if (!file.open((folder / name).c_str())) cannotLoad(name);
}

// One integer per line, by the atoi rules; every line counts, an empty one as 0.
void readNumbers(LineFile& file, const std::filesystem::path& folder, const std::string& name,
                 std::vector<Word>& values) {
  openOrFail(file, folder, name);
  std::string_view line;
  while (file.nextLine(line)) values.push_back(atoiSaturated(line));
}

}  // namespace

MachineState::MachineState(std::ostream& log, const std::filesystem::path& folder) {
  load(log, folder, sourceFileName, registerFileName, memoryFileName);
}

void MachineState::load(std::ostream& log, const std::filesystem::path& folder, const std::string& sourceName,
                        const std::string& registerName, const std::string& memoryName) {
  LineFile file;
  openOrFail(file, folder, sourceName);
  std::string_view line;
  while (file.nextLine(line)) sourceLines.emplace_back(line);

  parseSource(log);

  readNumbers(file, folder, registerName, registers);
  readNumbers(file, folder, memoryName, memory);

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
