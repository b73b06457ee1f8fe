#include "exercise/Authoring.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "core/Reference.h"
#include "exercise/BundledEnergy.h"
#include "exercise/Checker.h"
#include "record/Figures.h"
#include "record/MachineJson.h"

namespace fivestage::exercise {
namespace {

using Json = nlohmann::ordered_json;

// One data set's run, its final memory, and the state the program means.
struct Solved {
  report::ReportData run;
  std::vector<Word> memory;
  std::optional<ReferenceRun> meant;  // empty when the program has no meaning to its end
  std::string meantFailure;           // why not
};

// Runs the solution on data set `index`; throws when the run does not complete.
Solved solve(const Checker& checker, std::size_t index, std::string_view solution) {
  const Exercise& exercise = checker.exercise();
  report::ReportData run = checker.run(index, solution);
  if (run.record.end != RunEnd::Completed || !run.program) {
    throw ExerciseError("data set '" + exercise.data[index].name + "': the program in src.txt does not complete: " +
                        runEnding(run, exercise.maxCycles));
  }
  std::vector<Word> memory = run.program->memory;
  Solved solved{std::move(run), std::move(memory), {}, {}};
  for (const report::ValueChange& change : solved.run.record.memoryChanges) {
    solved.memory[static_cast<std::size_t>(change.location)] = change.final;
  }
  ReferenceRun meant = runReference(*solved.run.program);
  if (meant.end == RunEnd::Completed) {
    solved.meant = std::move(meant);
  } else {
    solved.meantFailure = meant.end == RunEnd::Failed
                              ? "cannot run to its end: " + report::trimmed(meant.message)
                              : "does not end within " + std::to_string(ReferenceLimits{}.maxExecuted) + " instructions";
  }
  return solved;
}

// The value of `location` in `values`, which must hold it.
Word valueAt(const std::vector<Word>& values, std::int64_t location, const std::string& name, const char* what) {
  if (location < 0 || location >= static_cast<std::int64_t>(values.size())) {
    throw ExerciseError("data set '" + name + "' has no " + what + " " + std::to_string(location));
  }
  return values[static_cast<std::size_t>(location)];
}

Expectation expectationOf(const Solved& solved, const Expected& expected, const std::string& name) {
  const bool meaning = expected.from == ExpectedFrom::Meaning;
  if (meaning && !solved.meant) {
    throw ExerciseError("data set '" + name + "': the program in src.txt " + solved.meantFailure +
                        ", so it has no meaning to expect");
  }
  const std::vector<Word>& registers = meaning ? solved.meant->registers : solved.run.record.finalRegisters;
  const std::vector<Word>& memory = meaning ? solved.meant->memory : solved.memory;
  Expectation expectation;
  for (const RegisterNumber number : expected.registers) {
    expectation.registers[number] = valueAt(registers, number, name, "register");
  }
  for (const std::int64_t word : expected.words) expectation.memory[word] = valueAt(memory, word, name, "word");
  return expectation;
}

void dropBundledEnergy(std::map<std::string, std::string>& files) {
  for (const auto& [path, text] : bundledEnergyFiles) {
    const auto given = files.find(std::string(path));
    if (given != files.end() && given->second == text) files.erase(given);
  }
}

// The locations the run or the meaning changes, each with its three values.
Json choicesJson(const std::vector<Word>& initial, const std::vector<Word>& final, const std::vector<Word>* meant,
                 const char* name) {
  Json list = Json::array();
  for (std::size_t i = 0; i < initial.size() && i < final.size(); ++i) {
    const bool meantChanges = meant != nullptr && i < meant->size() && (*meant)[i] != initial[i];
    if (final[i] == initial[i] && !meantChanges) continue;
    list.push_back({{name, i},
                    {"initial", initial[i]},
                    {"final", final[i]},
                    {"meant", meant != nullptr && i < meant->size() ? Json((*meant)[i]) : Json()}});
  }
  return list;
}

template <typename Location>
Json valuesJson(const std::map<Location, Word>& values) {
  Json json = Json::object();
  for (const auto& [location, value] : values) json[std::to_string(location)] = value;
  return json;
}

// A points figure as a teacher writes it: 10, not 10.0.
Json pointsJson(double value) {
  return value == std::floor(value) ? Json(static_cast<std::int64_t>(value)) : Json(value);
}

Json limitsJson(const Limits& limits) {
  Json json = Json::object();
  if (limits.cycles) json["cycles"] = *limits.cycles;
  if (limits.stalls) json["stalls"] = *limits.stalls;
  if (limits.mispredictions) json["mispredictions"] = *limits.mispredictions;
  if (limits.energy) json["energy"] = *limits.energy;
  if (limits.energyDelay) json["energyDelay"] = *limits.energyDelay;
  if (limits.wrongPathEnergy) json["wrongPathEnergy"] = *limits.wrongPathEnergy;
  if (limits.instructions) json["instructions"] = *limits.instructions;
  return json;
}

Json dataSetJson(const DataSet& data) {
  Json json = {{"name", data.name}};
  if (data.hidden) json["hidden"] = true;
  json["reg.txt"] = data.registerText;
  json["mem.txt"] = data.memoryText;
  json["expect"] = Json::object();
  if (!data.expect.registers.empty()) json["expect"]["registers"] = valuesJson(data.expect.registers);
  if (!data.expect.memory.empty()) json["expect"]["memory"] = valuesJson(data.expect.memory);
  if (data.weight != DataSet{}.weight) json["weight"] = pointsJson(data.weight);
  return json;
}

}  // namespace

Exercise authorExercise(Exercise draft, std::string_view solution, const Expected& expected) {
  dropBundledEnergy(draft.files);
  const Checker checker(draft);
  for (std::size_t i = 0; i < draft.data.size(); ++i) {
    draft.data[i].expect = expectationOf(solve(checker, i, solution), expected, draft.data[i].name);
  }
  return draft;
}

Exercise studentCopy(const Exercise& exercise) {
  Exercise copy = exercise;
  copy.data.clear();
  for (const DataSet& data : exercise.data) {
    if (!data.hidden) copy.data.push_back(data);
  }
  if (copy.data.empty()) {
    throw ExerciseError("every data set is hidden: a student copy needs one that is not, to show the student");
  }
  copy.hiddenDataSets += static_cast<std::int64_t>(exercise.data.size() - copy.data.size());
  return copy;
}

Json solutionChoices(const Exercise& draft, std::string_view solution) {
  const Solved solved = solve(Checker(draft), 0, solution);
  const report::RunRecord& record = solved.run.record;
  const MachineState& program = *solved.run.program;
  const std::vector<Word>* meantRegisters = solved.meant ? &solved.meant->registers : nullptr;
  const std::vector<Word>* meantMemory = solved.meant ? &solved.meant->memory : nullptr;
  Json figures = {{"cycles", record.cycles},
                  {"stalls", record.stallCount},
                  {"energy", record.energyTotal()},
                  {"energyDelay", energyDelayOf(record)},
                  {"instructions", program.instructions.size()}};
  // A limit on mispredictions means something only where Fetch predicts,
  // one on wrong-path energy only where something is cancelled: with flush.
  if (draft.machine.predictor != Predictor::NotTaken) figures["mispredictions"] = record.mispredictions;
  if (draft.machine.flush) figures["wrongPathEnergy"] = sumOf(record.energySplit.wrongPath);
  return {{"figures", figures},
          {"asMeant", solved.run.meaning && solved.run.meaning->matches},
          {"registers", choicesJson(program.registers, record.finalRegisters, meantRegisters, "register")},
          {"memory", choicesJson(program.memory, solved.memory, meantMemory, "word")}};
}

std::string exerciseText(const Exercise& exercise) {
  Json json = {{"schema", Exercise::schemaVersion},
               {"title", exercise.title},
               {"statement", exercise.statement},
               {"files", exercise.files}};
  if (exercise.machine != MachineOptions{}) {
    json["machine"] = report::machineJson(exercise.machine);
  }
  if (exercise.maxCycles != Exercise::defaultMaxCycles) json["maxCycles"] = exercise.maxCycles;
  json["data"] = Json::array();
  for (const DataSet& data : exercise.data) json["data"].push_back(dataSetJson(data));
  if (exercise.hiddenDataSets > 0) json["hiddenDataSets"] = exercise.hiddenDataSets;
  if (const Json limits = limitsJson(exercise.limits); !limits.empty()) json["limits"] = limits;
  if (exercise.asMeant) json["asMeant"] = true;
  if (!exercise.editable.empty()) json["editable"] = exercise.editable;
  if (exercise.points != Exercise{}.points) json["points"] = pointsJson(exercise.points);
  if (exercise.limitsWeight != Exercise{}.limitsWeight) json["limitsWeight"] = pointsJson(exercise.limitsWeight);
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace fivestage::exercise
