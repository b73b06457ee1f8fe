#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/LineFile.h"
#include "common/Machine.h"
#include "isa/InstructionSet.h"

namespace fivestage {

// One energy file of the tree: a stage's, or for Decode the opcode's.
struct EnergyFile {
  Stage stage;
  std::optional<Opcode> opcode;  // Decode only; empty for a text outside the instruction set

  bool operator==(const EnergyFile&) const = default;
};

// The energy figures of an input folder: EnergyConsumptionInput/<stage>/energy.txt,
// and for Decode EnergyConsumptionInput/Decode/<opcode>/energy.txt. Every
// reading opens the file afresh, so a figure edited during a run counts from
// the next reading on.
class EnergySource {
 public:
  explicit EnergySource(const std::filesystem::path& folder);

  // The file's path, or nothing for Decode of an opcode without energy figures.
  std::optional<std::filesystem::path> pathOf(const EnergyFile& file) const;

  // Adds the value of every line (atoi rules) to `total`, one line at a
  // time in double arithmetic as the running total is kept, and returns the
  // exact sum of the file. Throws FatalError when the file cannot be opened;
  // an opcode without energy figures counts as such.
  std::int64_t addTo(const EnergyFile& file, double& total);

 private:
  const std::string* pathString(const EnergyFile& file) const;

  std::array<std::string, 5> stagePaths_;    // by Stage; Decode's entry unused
  std::array<std::string, 12> decodePaths_;  // by Opcode; empty without energy figures
  LineFile reader_;                          // one reader for the run: readings come several per cycle
};

}  // namespace fivestage
