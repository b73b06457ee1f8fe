#include "exercise/Checker.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>

#include "common/NumberText.h"
#include "exercise/BundledEnergy.h"
#include "exercise/FileRead.h"
#include "exercise/Score.h"
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

// The values of a reg.txt or mem.txt as the loader reads them: one a line,
// by atoi's rules, a last line without a line feed included.
std::vector<Word> lineValues(std::string_view text) {
  std::vector<Word> values;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    values.push_back(atoiSaturated(text.substr(0, end)));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return values;
}

// A register or word a data set expects, and whether it counts as a result.
struct ExpectedValue {
  bool isRegister;
  std::int64_t location;
  Word value;
  CheckKind kind;  // Kept when the data set starts with that value

  std::string text() const { return (isRegister ? "$" : "word ") + std::to_string(location); }
};

std::vector<ExpectedValue> expectedValues(const DataSet& data) {
  const std::vector<Word> registers = lineValues(data.registerText);
  const std::vector<Word> memory = lineValues(data.memoryText);
  std::vector<ExpectedValue> values;
  const auto add = [&](bool isRegister, std::int64_t location, Word value) {
    const std::vector<Word>& start = isRegister ? registers : memory;
    const bool kept = location < static_cast<std::int64_t>(start.size()) &&
                      start[static_cast<std::size_t>(location)] == value;
    values.push_back({isRegister, location, value, kept ? CheckKind::Kept : CheckKind::Result});
  };
  for (const auto& [number, value] : data.expect.registers) add(true, number, value);
  for (const auto& [word, value] : data.expect.memory) add(false, word, value);
  return values;
}

// The value a completed run left where `expected` looks, if there is one.
std::optional<std::int64_t> observedValue(const ExpectedValue& expected, const report::ReportData& run) {
  const report::RunRecord& record = run.record;
  if (expected.isRegister) {
    const auto index = static_cast<std::size_t>(expected.location);
    return index < record.finalRegisters.size() ? std::optional<std::int64_t>(record.finalRegisters[index])
                                                 : std::nullopt;
  }
  const std::optional<Word> word = finalWord(*run.program, record, expected.location);
  return word ? std::optional<std::int64_t>(*word) : std::nullopt;
}

// The checks of one data set, in the order they are listed.
class DataSetChecks {
 public:
  DataSetChecks(const DataSet& data, std::vector<Check>& checks) : data_(data), checks_(checks) {}

  // A check the run did not get far enough to make: it fails.
  void unreached(const std::string& text, CheckKind kind, Bound bound, CheckValue expected) {
    add(text, kind, false, bound, std::move(expected), std::nullopt);
  }
  void result(const ExpectedValue& expected, std::optional<std::int64_t> observed) {
    if (observed) {
      add(expected.text(), expected.kind, *observed == expected.value, Bound::Equal, expected.value, *observed);
    } else {
      add(expected.text(), expected.kind, false, Bound::Equal, expected.value,
          expected.isRegister ? "no such register" : "no such word");
    }
  }
  void atMost(const std::string& text, std::optional<std::int64_t> limit, std::int64_t observed) {
    if (limit) add(text, CheckKind::Limit, observed <= *limit, Bound::AtMost, *limit, observed);
  }
  void add(const std::string& text, CheckKind kind, bool passed, Bound bound, CheckValue expected,
           std::optional<CheckValue> observed) {
    checks_.push_back({data_.name, text, passed, data_.hidden, bound, std::move(expected), std::move(observed), kind});
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
  for (const ExpectedValue& expected : expectedValues(data)) {
    checks.unreached(expected.text(), expected.kind, Bound::Equal, expected.value);
  }
  const Limits& limits = exercise.limits;
  const auto limit = [&](const char* text, const std::optional<std::int64_t>& value) {
    if (value) checks.unreached(text, CheckKind::Limit, Bound::AtMost, *value);
  };
  limit("cycles", limits.cycles);
  limit("stalls", limits.stalls);
  limit("mispredictions", limits.mispredictions);
  limit("energy", limits.energy);
  limit("energy-delay", limits.energyDelay);
  limit("wrong-path energy", limits.wrongPathEnergy);
  if (exercise.asMeant) checks.unreached(asMeantText, CheckKind::Limit, Bound::Equal, meant);
}

void checkDataSet(const Exercise& exercise, const DataSet& data, const report::ReportData& run,
                  std::vector<Check>& list) {
  DataSetChecks checks(data, list);
  const report::RunRecord& record = run.record;
  if (record.end != RunEnd::Completed || !run.program) {
    checks.add(completes, CheckKind::Completion, false, Bound::Equal, "completed", runEnding(run, exercise.maxCycles));
    failAfterIncompleteRun(exercise, data, checks);
    return;
  }
  checks.add(completes, CheckKind::Completion, true, Bound::Equal, "completed", "completed");
  for (const ExpectedValue& expected : expectedValues(data)) checks.result(expected, observedValue(expected, run));
  const Limits& limits = exercise.limits;
  checks.atMost("cycles", limits.cycles, record.cycles);
  checks.atMost("stalls", limits.stalls, record.stallCount);
  checks.atMost("mispredictions", limits.mispredictions, record.mispredictions);
  checks.atMost("energy", limits.energy, record.energyTotal());
  checks.atMost("energy-delay", limits.energyDelay, energyDelayOf(record));
  checks.atMost("wrong-path energy", limits.wrongPathEnergy, sumOf(record.energySplit.wrongPath));
  if (exercise.asMeant && run.meaning) {
    checks.add(asMeantText, CheckKind::Limit, run.meaning->matches, Bound::Equal, meant,
               report::meaningText(*run.meaning));
  }
}

// The program's own limit, checked once: the instructions it holds.
void checkProgram(const Exercise& exercise, const report::ReportData& firstRun, std::vector<Check>& list) {
  if (!exercise.limits.instructions) return;
  const std::int64_t limit = *exercise.limits.instructions;
  if (!firstRun.program) {
    list.push_back({"", "instructions", false, false, Bound::AtMost, limit, std::nullopt, CheckKind::Limit});
    return;
  }
  const auto count = static_cast<std::int64_t>(firstRun.program->instructions.size());
  list.push_back({"", "instructions", count <= limit, false, Bound::AtMost, limit, count, CheckKind::Limit});
}

}  // namespace

std::vector<Check> checksOf(const Exercise& exercise) {
  std::vector<Check> list;
  if (exercise.limits.instructions) {
    list.push_back({"", "instructions", false, false, Bound::AtMost, *exercise.limits.instructions, std::nullopt,
                    CheckKind::Limit});
  }
  for (const DataSet& data : exercise.data) {
    DataSetChecks checks(data, list);
    checks.unreached(completes, CheckKind::Completion, Bound::Equal, "completed");
    failAfterIncompleteRun(exercise, data, checks);
  }
  sharePoints(exercise, list);
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

// A product too large to hold is the largest number, above any limit but that.
std::int64_t energyDelayOf(const report::RunRecord& record) {
  std::int64_t product = 0;
  if (__builtin_mul_overflow(record.energyTotal(), record.cycles, &product)) {
    return std::numeric_limits<std::int64_t>::max();
  }
  return product;
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
  const auto start = std::chrono::steady_clock::now();
  Outcome outcome;
  outcome.maxScore = exercise_.points;
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
  sharePoints(exercise_, outcome.checks);
  awardPoints(outcome.checks);
  outcome.time = std::chrono::steady_clock::now() - start;
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
