#include "web/ExercisePage.h"

#include "exercise/Authoring.h"
#include "exercise/BundledEnergy.h"
#include "exercise/CheckReport.h"
#include "exercise/Checker.h"
#include "record/ProgramCheck.h"
#include "record/MachineJson.h"

namespace fivestage::web {
namespace {

using Json = nlohmann::ordered_json;
using namespace fivestage::exercise;

std::string jsonText(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

// The answer to a request, or the reason it cannot be given.
template <typename Work>
std::string answer(Work work) {
  try {
    return jsonText(work());
  } catch (const std::exception& error) {
    return jsonText({{"error", error.what()}});
  }
}

// The files a student starts from: the exercise's own, the first data set's
// registers and memory, and the bundled figures the exercise does not replace.
Json inputsOf(const Exercise& exercise) {
  Json inputs = Json::object();
  inputs["src.txt"] = "";
  for (const auto& [path, text] : exercise.files) inputs[path] = text;
  inputs["reg.txt"] = exercise.data.front().registerText;
  inputs["mem.txt"] = exercise.data.front().memoryText;
  for (const auto& [path, text] : bundledEnergyFiles) {
    if (!inputs.contains(path)) inputs[std::string(path)] = text;
  }
  return inputs;
}

// The verdict, each check's line and the program check's warnings, in the
// words of fivestage-report --check, and the outcome as its JSON.
Json outcomeWithVerdict(const Exercise& exercise, const Outcome& outcome, Audience audience) {
  Json lines = Json::array();
  for (const Check& check : outcome.checks) lines.push_back(checkLine(check, audience));
  Json warnings = Json::array();
  for (const report::Warning& warning : outcome.warnings) warnings.push_back(report::warningText(warning));
  return {{"verdict", verdictText(outcome)},
          {"lines", lines},
          {"warnings", warnings},
          {"outcome", outcomeJson(exercise, outcome, audience)}};
}

// The copy to hand out to students, made as fivestage-grade --student-copy
// makes it: {"text", "hiddenDataSets"}, or {"error"} when there is none.
Json studentCopyJson(const Exercise& exercise) {
  try {
    const Exercise copy = studentCopy(exercise);
    return {{"text", exerciseText(copy)}, {"hiddenDataSets", copy.hiddenDataSets}};
  } catch (const ExerciseError& error) {
    return {{"error", error.what()}};
  }
}

}  // namespace

std::string exerciseView(const Json& file) {
  return answer([&] {
    const Exercise exercise = exerciseOf(file);
    Json editable = Json::array({"src.txt"});
    for (const std::string& path : exercise.editable) editable.push_back(path);
    Json checks = Json::array();
    for (const Check& check : checksOf(exercise)) checks.push_back(checkListing(check, Audience::Student));
    return Json{{"title", exercise.title},
                {"statement", exercise.statement},
                {"machine", report::machineJson(exercise.machine)},
                {"machineName", machineName(exercise.machine)},
                {"inputs", inputsOf(exercise)},
                {"editable", editable},
                {"checks", checks},
                {"hiddenNote", hiddenDataSetsNote(exercise)}};
  });
}

std::string checkAnswer(const Json& file, const std::string& source) {
  return answer([&] {
    const Checker checker(exerciseOf(file));
    return outcomeWithVerdict(checker.exercise(), checker.check(source), Audience::Student);
  });
}

std::string answerChoices(const Json& draft, const std::string& solution) {
  return answer([&] { return solutionChoices(exerciseOf(draft), solution); });
}

std::string authorExercise(const Json& draft, const std::string& solution, const std::vector<RegisterNumber>& registers,
                           const std::vector<std::int64_t>& words, bool fromMeaning) {
  return answer([&] {
    const Exercise made = exercise::authorExercise(
        exerciseOf(draft), solution, {registers, words, fromMeaning ? ExpectedFrom::Meaning : ExpectedFrom::Run});
    Json answered = outcomeWithVerdict(made, Checker(made).check(solution), Audience::Teacher);
    answered["text"] = exerciseText(made);
    answered["studentCopy"] = studentCopyJson(made);
    return answered;
  });
}

}  // namespace fivestage::web
