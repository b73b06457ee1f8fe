#include "exercise/Checker.h"

#include <algorithm>
#include <cstdio>

#include "exercise/BundledEnergy.h"
#include "exercise/FileRead.h"
#include "record/Figures.h"
#include "record/ReportRun.h"

namespace fivestage::exercise {
namespace {

// The input files of one data set, all but the program: its registers and
// memory, and the energy figures, each file the exercise gives in place of
// the bundled one.
InputTexts dataSetInputs(const Exercise& exercise, const DataSet& data) {
  InputTexts inputs(data.name);
  inputs.put("reg.txt", data.registerText);
  inputs.put("mem.txt", data.memoryText);
  for (const auto& [path, text] : bundledEnergyFiles) inputs.put(std::string(path), std::string(text));
  for (const auto& [path, text] : exercise.files) {
    if (path != "src.txt") inputs.put(path, text);
  }
  return inputs;
}

// A data set's files with an answer as its src.txt: the data set's texts are
// read in place, not copied for every answer checked.
class AnswerInputs final : public InputFiles {
 public:
  AnswerInputs(const InputTexts& dataSet, std::string_view source) : dataSet_(dataSet), source_(source) {}

  InputFile find(std::string_view path) const override {
    return path == "src.txt" ? InputFile::inMemory(source_) : dataSet_.find(path);
  }
  std::filesystem::path name() const override { return dataSet_.name(); }

 private:
  const InputTexts& dataSet_;
  std::string_view source_;
};

// The checks of one data set, in the order they are listed.
class DataSetChecks {
 public:
  DataSetChecks(const DataSet& data, std::vector<Check>& checks) : data_(data), checks_(checks) {}

  // A check the run did not get far enough to make: it fails.
  void unreached(const std::string& text, Bound bound, CheckValue expected) {
    add(text, false, bound, std::move(expected), std::nullopt);
  }
  void equal(const std::string& text, std::int64_t expected, std::optional<std::int64_t> observed,
             const std::string& missing) {
    if (observed) {
      add(text, *observed == expected, Bound::Equal, expected, *observed);
    } else {
      add(text, false, Bound::Equal, expected, missing);
    }
  }
  void atMost(const std::string& text, std::optional<std::int64_t> limit, std::int64_t observed) {
    if (limit) add(text, observed <= *limit, Bound::AtMost, *limit, observed);
  }
  void add(const std::string& text, bool passed, Bound bound, CheckValue expected, std::optional<CheckValue> observed) {
    checks_.push_back({data_.name, text, passed, data_.hidden, bound, std::move(expected), std::move(observed)});
  }

 private:
  const DataSet& data_;
  std::vector<Check>& checks_;
};

constexpr const char* completes = "run completes";
constexpr const char* asMeantText = "as meant";
constexpr const char* meant = "what the program means";

// Every check of a data set that needs a completed run, failed.
void failAfterIncompleteRun(const Exercise& exercise, const DataSet& data, DataSetChecks& checks) {
  for (const auto& [number, value] : data.expect.registers) {
    checks.unreached("$" + std::to_string(number), Bound::Equal, value);
  }
  for (const auto& [word, value] : data.expect.memory) {
    checks.unreached("word " + std::to_string(word), Bound::Equal, value);
  }
  const Limits& limits = exercise.limits;
  if (limits.cycles) checks.unreached("cycles", Bound::AtMost, *limits.cycles);
  if (limits.stalls) checks.unreached("stalls", Bound::AtMost, *limits.stalls);
  if (limits.mispredictions) checks.unreached("mispredictions", Bound::AtMost, *limits.mispredictions);
  if (limits.energy) checks.unreached("energy", Bound::AtMost, *limits.energy);
  if (exercise.asMeant) checks.unreached(asMeantText, Bound::Equal, meant);
}

void checkDataSet(const Exercise& exercise, const DataSet& data, const report::ReportData& run,
                  std::vector<Check>& list) {
  DataSetChecks checks(data, list);
  const report::RunRecord& record = run.record;
  if (record.end != RunEnd::Completed || !run.program) {
    checks.add(completes, false, Bound::Equal, "completed", runEnding(run, exercise.maxCycles));
    failAfterIncompleteRun(exercise, data, checks);
    return;
  }
  checks.add(completes, true, Bound::Equal, "completed", "completed");
  for (const auto& [number, value] : data.expect.registers) {
    const auto index = static_cast<std::size_t>(number);
    const std::optional<std::int64_t> observed =
        index < record.finalRegisters.size() ? std::optional<std::int64_t>(record.finalRegisters[index]) : std::nullopt;
    checks.equal("$" + std::to_string(number), value, observed, "no such register");
  }
  for (const auto& [word, value] : data.expect.memory) {
    const std::optional<Word> observed = finalWord(*run.program, record, word);
    checks.equal("word " + std::to_string(word), value,
                 observed ? std::optional<std::int64_t>(*observed) : std::nullopt, "no such word");
  }
  const Limits& limits = exercise.limits;
  checks.atMost("cycles", limits.cycles, record.cycles);
  checks.atMost("stalls", limits.stalls, record.stallCount);
  checks.atMost("mispredictions", limits.mispredictions, record.mispredictions);
  checks.atMost("energy", limits.energy, record.energyTotal());
  if (exercise.asMeant && run.meaning) {
    checks.add(asMeantText, run.meaning->matches, Bound::Equal, meant, report::meaningText(*run.meaning));
  }
}

// The program's own limit, checked once: the instructions it holds.
void checkProgram(const Exercise& exercise, const report::ReportData& firstRun, std::vector<Check>& list) {
  if (!exercise.limits.instructions) return;
  const std::int64_t limit = *exercise.limits.instructions;
  if (!firstRun.program) {
    list.push_back({"", "instructions", false, false, Bound::AtMost, limit, std::nullopt});
    return;
  }
  const auto count = static_cast<std::int64_t>(firstRun.program->instructions.size());
  list.push_back({"", "instructions", count <= limit, false, Bound::AtMost, limit, count});
}

}  // namespace

std::vector<Check> checksOf(const Exercise& exercise) {
  std::vector<Check> list;
  if (exercise.limits.instructions) {
    list.push_back({"", "instructions", false, false, Bound::AtMost, *exercise.limits.instructions, std::nullopt});
  }
  for (const DataSet& data : exercise.data) {
    DataSetChecks checks(data, list);
    checks.unreached(completes, Bound::Equal, "completed");
    failAfterIncompleteRun(exercise, data, checks);
  }
  return list;
}

namespace {

// A byte no text file holds: a control character other than the blanks and line ends.
bool isBinary(unsigned char byte) {
  return byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f' && byte != '\v';
}

}  // namespace

// A word's initial value unless the run changed it.
std::optional<Word> finalWord(const MachineState& program, const report::RunRecord& record, std::int64_t word) {
  if (word >= static_cast<std::int64_t>(program.memory.size())) return std::nullopt;
  const auto changed = std::find_if(record.memoryChanges.begin(), record.memoryChanges.end(),
                                    [&](const report::ValueChange& change) { return change.location == word; });
  return changed != record.memoryChanges.end() ? changed->final : program.memory[static_cast<std::size_t>(word)];
}

std::string runEnding(const report::ReportData& run, Cycle maxCycles) {
  if (!run.program) return "not run: " + report::trimmed(run.record.message);
  if (run.record.end == RunEnd::Stopped) {
    return "still running after " + std::to_string(maxCycles) + " cycles (the exercise's maxCycles)";
  }
  return "ended in cycle " + std::to_string(run.record.cycles) + ": " + report::statusText(run.record, maxCycles);
}

std::size_t Outcome::failedCount() const {
  return static_cast<std::size_t>(
      std::count_if(checks.begin(), checks.end(), [](const Check& check) { return !check.passed; }));
}

double Outcome::score() const {
  if (checks.empty()) return 1.0;
  return static_cast<double>(checks.size() - failedCount()) / static_cast<double>(checks.size());
}

Checker::Checker(Exercise exercise) : exercise_(std::move(exercise)) {
  for (const DataSet& data : exercise_.data) dataSets_.push_back(dataSetInputs(exercise_, data));
}

report::ReportData Checker::run(std::size_t index, std::string_view source) const {
  report::RunOptions options;
  options.machine = exercise_.machine;
  options.maxCycles = exercise_.maxCycles;
  options.window = {1, 1};  // the checks need the run's totals, not its details
  return report::runReport(AnswerInputs(dataSets_.at(index), source), options, nullptr, nullptr);
}

Outcome Checker::check(std::string_view source) const {
  Outcome outcome;
  for (std::size_t i = 0; i < exercise_.data.size(); ++i) {
    const report::ReportData run = this->run(i, source);
    if (i == 0) {
      checkProgram(exercise_, run, outcome.checks);
      outcome.warnings = run.warnings;
      if (run.record.end == RunEnd::Completed) {
        outcome.cycles = run.record.cycles;
        outcome.energy = run.record.energyTotal();
      }
    }
    checkDataSet(exercise_, exercise_.data[i], run, outcome.checks);
  }
  return outcome;
}

std::string submittedSource(const std::filesystem::path& folder) {
  std::string source = readRegularFile(folder / "src.txt", "src.txt", largestSource, Links::Refuse);
  const auto binary =
      std::find_if(source.begin(), source.end(), [](char c) { return isBinary(static_cast<unsigned char>(c)); });
  if (binary != source.end()) {
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02x", static_cast<unsigned>(static_cast<unsigned char>(*binary)));
    throw ReadError("src.txt is not text: byte " + std::string(byte) + " at offset " +
                    std::to_string(binary - source.begin()));
  }
  return source;
}

}  // namespace fivestage::exercise
