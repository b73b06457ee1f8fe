#include "exercise/Checker.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "exercise/BundledEnergy.h"
#include "exercise/FileRead.h"
#include "record/Figures.h"
#include "record/ReportRun.h"

namespace fivestage::exercise {
namespace {

namespace fs = std::filesystem;

// Written as FileRead reads: with the system's calls, which cost the page's
// module far less than a file stream.
void writeFile(const fs::path& path, std::string_view text) {
  fs::create_directories(path.parent_path());
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  bool written = file >= 0;
  for (std::size_t done = 0; written && done < text.size();) {
    const ssize_t wrote = write(file, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    written = wrote > 0;
    if (written) done += static_cast<std::size_t>(wrote);
  }
  if (file >= 0 && close(file) != 0) written = false;
  if (!written) throw std::runtime_error("cannot write " + path.string());
}

// A new folder only this process uses, under the system's temporary folder.
fs::path makePrivateFolder() {
  std::string name = (fs::temp_directory_path() / "fivestage-exercise-XXXXXX").string();
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder in " + name);
  return name;
}

// The folder of data set `index` in the workspace: named by number, as a
// data set's name may hold any character.
fs::path dataFolder(const fs::path& workspace, std::size_t index) { return workspace / std::to_string(index); }

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

Checker::Checker(Exercise exercise) : exercise_(std::move(exercise)), workspace_(makePrivateFolder()) {
  try {
    for (std::size_t i = 0; i < exercise_.data.size(); ++i) {
      const fs::path folder = dataFolder(workspace_, i);
      writeFile(folder / "reg.txt", exercise_.data[i].registerText);
      writeFile(folder / "mem.txt", exercise_.data[i].memoryText);
      // Each energy file the exercise gives replaces the bundled one.
      for (const auto& [path, text] : bundledEnergyFiles) {
        if (exercise_.files.count(std::string(path)) == 0) writeFile(folder / path, text);
      }
      for (const auto& [path, text] : exercise_.files) {
        if (path != "src.txt") writeFile(folder / path, text);
      }
    }
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(workspace_, ignored);
    throw;
  }
}

Checker::~Checker() {
  std::error_code ignored;
  fs::remove_all(workspace_, ignored);
}

report::ReportData Checker::run(std::size_t index, std::string_view source) const {
  report::RunOptions options;
  options.machine = exercise_.machine;
  options.maxCycles = exercise_.maxCycles;
  options.window = {1, 1};  // the checks need the run's totals, not its details
  const fs::path folder = dataFolder(workspace_, index);
  writeFile(folder / "src.txt", source);
  return report::runReport(folder, options, nullptr, nullptr);
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

std::string submittedSource(const fs::path& folder) {
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
