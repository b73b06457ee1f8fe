#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/Machine.h"
#include "vocabulary/MachineOptions.h"

namespace fivestage::exercise {

// An exercise file that cannot be used, with a message naming the member at
// fault: "data[1].expect.registers: keys are register numbers, not 'x'".
struct ExerciseError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The final values a data set requires, by register number and by word number.
struct Expectation {
  std::map<RegisterNumber, Word> registers;
  std::map<std::int64_t, Word> memory;
};

// One set of initial registers and memory the program must work on.
struct DataSet {
  std::string name;
  std::string registerText;  // reg.txt
  std::string memoryText;    // mem.txt
  bool hidden = false;       // its expected and observed values are not shown to the student
  Expectation expect;
  double weight = 1;  // its share of the points, against the other data sets' and the limits'
};

// Upper bounds a run must keep to on every data set; absent ones are not checked.
struct Limits {
  std::optional<Cycle> cycles;
  std::optional<std::int64_t> stalls;
  std::optional<std::int64_t> mispredictions;  // branches Fetch did not follow right
  std::optional<std::int64_t> energy;
  std::optional<std::int64_t> energyDelay;      // energy in all times the cycles
  std::optional<std::int64_t> wrongPathEnergy;  // energy spent on instructions cancelled on a wrong path
  std::optional<std::int64_t> instructions;  // instructions in the program, not instructions run
};

// An assignment: a statement, starting files, and what an answer must do.
// exercise/exercise.schema.json describes the file.
struct Exercise {
  static constexpr int schemaVersion = 1;
  static constexpr Cycle defaultMaxCycles = 100000;

  std::string title;
  std::string statement;
  // The starting files by path: src.txt and energy files under EnergyConsumptionInput/.
  std::map<std::string, std::string> files;
  MachineOptions machine;
  Cycle maxCycles = defaultMaxCycles;
  std::vector<DataSet> data;  // at least one; the first is the one the student sees
  Limits limits;
  bool asMeant = false;  // the final state must be the program's meaning
  double points = 1;        // the score of an answer that passes every check
  double limitsWeight = 1;  // the share of the limits and asMeant together, as a data set's weight
  // The input files the student may edit besides src.txt (reg.txt, mem.txt,
  // energy files): in the page, to try the program on data of their own.
  // The checks always use the data sets and the exercise's energy figures.
  std::vector<std::string> editable;
  // How many hidden data sets a student copy left out (exercise/Authoring.h):
  // checked only at grading, with the full file. 0 in the full file.
  std::int64_t hiddenDataSets = 0;
};

// Reads an exercise file's text. Throws ExerciseError naming the first member
// that is missing, of the wrong type or out of range.
Exercise parseExercise(std::string_view text);

// Reads an exercise file already read as JSON (by the page's script, whose
// browser has a JSON reader of its own), as parseExercise does.
Exercise exerciseOf(const nlohmann::ordered_json& json);

// Reads the exercise file at `path`. Throws ExerciseError when it cannot be
// read or is not a valid exercise.
Exercise loadExercise(const std::string& path);

}  // namespace fivestage::exercise
