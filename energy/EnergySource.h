#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/LineFile.h"
#include "common/Machine.h"
#include "isa/InstructionSet.h"
#include "loader/InputFiles.h"

namespace fivestage {

// One energy file of the tree: a stage's, or for Decode the opcode's; or a
// stage's idle figures, which it charges in a cycle it does no work.
struct EnergyFile {
  Stage stage;
  std::optional<Opcode> opcode;  // Decode's working figures only; empty for a text outside the instruction set
  bool idle = false;

  bool operator==(const EnergyFile&) const = default;
};

// The file's path inside the inputs ("EnergyConsumptionInput/Fetch/energy.txt",
// "EnergyConsumptionInput/Fetch/idle.txt"), or nothing for Decode of an opcode
// without energy figures.
std::optional<std::string> energyFilePath(const EnergyFile& file);

// Every energy file of an input folder, by its path inside the folder: the
// stages' in pipeline order, Decode's by opcode folder in alphabetical order
// in Decode's place. Pages that edit the files list them from here.
std::vector<std::string> energyFilePaths();

// The optional idle files, one a stage, in pipeline order. Apart from the
// working files, since a missing one means "no idle charge" where a missing
// working file ends the run.
std::vector<std::string> idleFilePaths();

// When the figures are read. The console reads a file afresh at every use,
// so that a figure edited while it waits for a key counts from then on; a run
// with no one at the keyboard (the report, the comparison, the page) reads
// each file once, at its first use.
enum class EnergyReading { EveryUse, OncePerRun };

// The energy figures of a run's inputs: EnergyConsumptionInput/<stage>/energy.txt,
// and for Decode EnergyConsumptionInput/Decode/<opcode>/energy.txt; and, for
// any stage, the optional idle figures EnergyConsumptionInput/<stage>/idle.txt.
// Each file is found once, here; texts in memory must outlive the source.
class EnergySource {
 public:
  explicit EnergySource(const InputFiles& inputs, EnergyReading reading = EnergyReading::EveryUse);

  // Whether the stage has idle figures. Decided as the run starts: a stage
  // without them charges nothing in a cycle it does no work.
  bool hasIdleFigures(Stage stage) const { return hasIdle_[static_cast<std::size_t>(stage)]; }

  // Adds the value of every line (atoi rules) to `total`, one line at a
  // time in double arithmetic as the running total is kept, and returns the
  // exact sum of the file. Throws FatalError when the file cannot be opened;
  // an opcode without energy figures counts as such.
  std::int64_t addTo(const EnergyFile& file, double& total) {
    // A file read before is added in one step when that gives the same
    // total. Figures read afresh at every use are never kept, and never
    // add in one step.
    if (const KeptFigures& kept = kept_[slotOf(file)]; kept.addsExactly(total)) {
      total += static_cast<double>(kept.sum);
      return kept.sum;
    }
    return addLineByLine(file, total);
  }

 private:
  // With OncePerRun, a file's line values, in order, once read.
  struct KeptFigures {
    std::vector<std::int32_t> values;
    std::int64_t sum = 0;
    // Adding the values one at a time is exact while no partial total leaves
    // the 53 bits of a double: the same, then, as adding their sum at once.
    // That holds while the total lies within this bound: 2^53 less the sum
    // of the values' sizes, since no partial total moves further than that.
    // (The total is a whole number, a sum of them: beyond 2^53 every double
    // is one.) Below zero until the file is read, so that no total is within.
    double exactUpTo = -1.0;
    bool read = false;

    bool addsExactly(double total) const { return std::fabs(total) <= exactUpTo; }
  };

  // Out of line: a headless run reads each file once, and the charges of
  // its every cycle, which add kept figures, stay short without it.
  [[gnu::noinline]] std::int64_t addLineByLine(const EnergyFile& file, double& total);
  const InputFile& found(const EnergyFile& file) const;
  // Where a file's figures are kept once read: the stages' working files,
  // Decode's by opcode, the idle files, and last one that is never read,
  // Decode's for a text outside the instruction set.
  static constexpr std::size_t decodeSlots = stageCount;
  static constexpr std::size_t idleSlots = decodeSlots + opcodeCount;
  static constexpr std::size_t noFileSlot = idleSlots + stageCount;
  static constexpr std::size_t slotOf(const EnergyFile& file) {
    if (file.idle) return idleSlots + static_cast<std::size_t>(file.stage);
    if (file.stage != Stage::Decode) return static_cast<std::size_t>(file.stage);
    return file.opcode ? decodeSlots + static_cast<std::size_t>(*file.opcode) : noFileSlot;
  }

  std::array<InputFile, stageCount> stageFiles_;    // by Stage; Decode's entry unused
  std::array<InputFile, opcodeCount> decodeFiles_;  // by Opcode; missing without energy figures
  std::array<InputFile, stageCount> idleFiles_;     // by Stage
  std::array<bool, stageCount> hasIdle_{};          // by Stage: its idle file is there
  InputFile missing_;                               // Decode of a text outside the instruction set
  // One reader for the run: readings come several per cycle. It holds
  // nothing from one reading to the next, so a copy of the source, which
  // goes on from the same figures, makes one of its own.
  struct Reader {
    Reader() = default;
    Reader(const Reader&) {}
    Reader& operator=(const Reader&) = delete;
    LineFile file;
  };
  Reader reader_;
  EnergyReading reading_;
  // With OncePerRun, each file's figures once read, by slotOf: the total is
  // kept as if they were added one at a time, as a reading does.
  std::array<KeptFigures, noFileSlot + 1> kept_;
};

}  // namespace fivestage
