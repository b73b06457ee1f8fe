#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "exercise/Exercise.h"
#include "loader/InputFiles.h"
#include "record/ReportRun.h"

namespace fivestage::exercise {

// What a check compares: a number, or a text such as how a run ended.
using CheckValue = std::variant<std::int64_t, std::string>;

// How the observed value must relate to the expected one.
enum class Bound { Equal, AtMost };

// What a check counts for in the score (exercise/Score.h).
enum class CheckKind {
  Completion,  // the run completes: no points of its own, but the results need it
  Result,      // an expected register or word: carries a part of its data set's points
  Kept,        // an expected value the data set starts with: no points, since doing nothing keeps it
  Limit,       // a limit or asMeant: carries the limits' points once every result is right
};

// One check of an answer, on one data set or on the program itself.
struct Check {
  std::string data;  // the data set's name; empty for a check of the program itself
  // "run completes", "$2", "word 8", "cycles", "stalls", "mispredictions",
  // "energy", "energy-delay", "wrong-path energy", "instructions", "as meant"
  std::string text;
  bool passed = false;
  bool hidden = false;  // on a hidden data set: its values are not for the student's eyes
  Bound bound = Bound::Equal;
  CheckValue expected;
  std::optional<CheckValue> observed;  // nothing when the run did not get that far
  CheckKind kind = CheckKind::Result;
  double maxPoints = 0;  // what the check can earn
  double points = 0;     // what it earned
};

// All the checks of one answer, and the figures a grade sheet lists.
struct Outcome {
  std::vector<Check> checks;
  // The program check on the first data set's files, as fivestage-report
  // shows it: what the program does that its author likely did not mean.
  std::vector<report::Warning> warnings;
  std::optional<Cycle> cycles;         // on the first data set, when its run completed
  std::optional<std::int64_t> energy;  // likewise

  double maxScore = 1;  // the exercise's points
  std::chrono::duration<double> time{};  // how long checking took

  std::size_t failedCount() const;
  bool passed() const { return failedCount() == 0; }
  // The points the checks earned, from 0 to maxScore (exercise/Score.h).
  double score() const;
};

// Every check an answer to `exercise` gets, in the order check() lists them,
// as before any run: none passed, nothing observed, each with the points it
// can earn.
std::vector<Check> checksOf(const Exercise& exercise);

// Runs answers to one exercise. Each data set's input files are held in
// memory, made once: its reg.txt and mem.txt and the exercise's energy figures
// (or the bundled ones). An answer's program joins them for each run, on the
// exercise's machine, up to its cycle cap. Checking changes nothing in the
// checker: threads may share one.
class Checker {
 public:
  explicit Checker(Exercise exercise);

  const Exercise& exercise() const { return exercise_; }
  // Checks the program `source` (the text of a src.txt) on every data set.
  Outcome check(std::string_view source) const;
  // Runs `source` on data set `index`, as check() does, for the whole record.
  report::ReportData run(std::size_t index, std::string_view source) const;

 private:
  Exercise exercise_;
  std::vector<InputTexts> dataSets_;  // each data set's input files, all but src.txt
};

// The final value of memory word `word` after `record`'s run of `program`,
// or nothing when the memory has no such word.
std::optional<Word> finalWord(const MachineState& program, const report::RunRecord& record, std::int64_t word);

// How a run that did not complete ended, in words: "not run: ..." when its
// files could not be loaded.
std::string runEnding(const report::ReportData& run, Cycle maxCycles);

// The energy-delay product (energy in all times the cycles) as a whole
// number, as the energyDelay limit compares it.
std::int64_t energyDelayOf(const report::RunRecord& record);

// The longest src.txt an answer may have: far beyond any exercise's program.
constexpr std::size_t largestSource = 1024 * 1024;

// The program of a submission folder: its own regular src.txt, read without
// following a link, at most largestSource bytes, and text. Throws ReadError
// saying why not.
std::string submittedSource(const std::filesystem::path& folder);

}  // namespace fivestage::exercise
