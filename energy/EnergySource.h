#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/LineFile.h"
#include "common/Machine.h"
#include "isa/InstructionSet.h"
#include "loader/InputFiles.h"

namespace fivestage {

// One energy file of the tree: a stage's, or for Decode the opcode's.
struct EnergyFile {
  Stage stage;
  std::optional<Opcode> opcode;  // Decode only; empty for a text outside the instruction set

  bool operator==(const EnergyFile&) const = default;
};

// The file's path inside the inputs ("EnergyConsumptionInput/Fetch/energy.txt"),
// or nothing for Decode of an opcode without energy figures.
std::optional<std::string> energyFilePath(const EnergyFile& file);

// Every energy file of an input folder, by its path inside the folder: the
// stages' in pipeline order, Decode's by opcode folder in alphabetical order
// in Decode's place. Pages that edit the files list them from here.
std::vector<std::string> energyFilePaths();

// When the figures are read. The console reads a file afresh at every use,
// so that a figure edited while it waits for a key counts from then on; a run
// with no one at the keyboard (the report, the comparison, the page) reads
// each file once, at its first use.
enum class EnergyReading { EveryUse, OncePerRun };

// The energy figures of a run's inputs: EnergyConsumptionInput/<stage>/energy.txt,
// and for Decode EnergyConsumptionInput/Decode/<opcode>/energy.txt. Each file
// is found once, here; texts in memory must outlive the source.
class EnergySource {
 public:
  explicit EnergySource(const InputFiles& inputs, EnergyReading reading = EnergyReading::EveryUse);

  // Adds the value of every line (atoi rules) to `total`, one line at a
  // time in double arithmetic as the running total is kept, and returns the
  // exact sum of the file. Throws FatalError when the file cannot be opened;
  // an opcode without energy figures counts as such.
  std::int64_t addTo(const EnergyFile& file, double& total);

 private:
  const InputFile& found(const EnergyFile& file) const;
  // Where a file's figures are kept once read; nothing when read afresh.
  std::optional<std::vector<std::int32_t>>* keptFigures(const EnergyFile& file);

  std::array<InputFile, stageCount> stageFiles_;    // by Stage; Decode's entry unused
  std::array<InputFile, opcodeCount> decodeFiles_;  // by Opcode; missing without energy figures
  InputFile missing_;                               // Decode of a text outside the instruction set
  LineFile reader_;                                 // one reader for the run: readings come several per cycle
  EnergyReading reading_;
  // With OncePerRun, each file's line values, in order, once read: the
  // total is kept adding them one at a time, as a reading does.
  std::array<std::optional<std::vector<std::int32_t>>, stageCount> stageFigures_;
  std::array<std::optional<std::vector<std::int32_t>>, opcodeCount> decodeFigures_;
};

}  // namespace fivestage
