// fivestage-report: runs the program of an input folder to its end, as
// fivestage does with choice 1 and one Enter per cycle, and reports the run
// as a whole.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/NumberText.h"
#include "exercise/CheckReport.h"
#include "exercise/FileRead.h"
#include "grade/Grader.h"
#include "grade/JUnitReport.h"
#include "grade/PlatformResults.h"
#include "report/Comparison.h"
#include "record/Figures.h"
#include "report/HtmlReport.h"
#include "report/JsonReport.h"
#include "report/KanataLog.h"
#include "report/OutputFile.h"
#include "record/ReportRun.h"
#include "report/TextReport.h"
#include "vocabulary/MachineDescription.h"

namespace {

using namespace fivestage;
using namespace fivestage::report;

constexpr int usageError = 2;
constexpr const char* program = "fivestage-report";
const std::string largestCycle = std::to_string(std::numeric_limits<Cycle>::max());

// What each option takes, as the messages say it.
const std::string maxCyclesTakes = "a whole number from 1 to " + largestCycle;
const std::string cyclesTakes = "FROM:TO, two cycle numbers from 1 to " + largestCycle + " with FROM <= TO";
const std::string outputTakes = "a file name, or - for standard output";
const std::string exerciseTakes = "an exercise file";

struct UsageError {
  std::string message;
};

[[noreturn]] void refuseValue(const std::string& option, const std::string& takes, const std::string& value) {
  throw UsageError{option + " takes " + takes + ", not '" + value + "'"};
}

// A whole number from 1 to the largest cycle number, digits only.
std::optional<Cycle> positiveNumber(std::string_view text) {
  const std::optional<Cycle> value = decimalNumber(text);
  return value && *value >= 1 ? value : std::nullopt;
}

// FROM:TO, two cycle numbers from 1 with FROM <= TO, at most the window's
// greatest length apart.
CycleWindow windowOf(const std::string& text) {
  const std::size_t colon = text.find(':');
  const std::optional<Cycle> from = positiveNumber(std::string_view(text).substr(0, colon));
  const std::optional<Cycle> to =
      colon == std::string::npos ? std::nullopt : positiveNumber(std::string_view(text).substr(colon + 1));
  if (!from || !to || *from > *to) refuseValue("--cycles", cyclesTakes, text);
  if (*to - *from + 1 > CycleWindow::maximumLength) {
    throw UsageError{"--cycles shows at most " + std::to_string(CycleWindow::maximumLength) +
                     " cycles at a time, not " + std::to_string(*to - *from + 1)};
  }
  return {*from, *to};
}

// The command line, as given.
struct Arguments {
  std::string folder = ".";
  std::string maxCycles, cycles;
  std::string exercise;  // --check: the exercise file the folder's program answers
  bool showHidden = false;  // --check --show-hidden: the teacher's view, every value shown
  // The machine options' values as given, by their place in the description; a flag's is not used.
  std::array<std::string, machineOptionList.size()> machineTexts;
  bool compare = false;  // run on every machine compared, side by side
  bool comparePredictors = false;  // run under every predictor, side by side
  struct Output {
    const char* option;
    std::string name;  // empty when not asked for
  };
  // In the order they are checked, written and put in place.
  std::array<Output, 4> outputs{{{"--html", {}}, {"--json", {}}, {"--kanata", {}}, {"--trace", {}}}};
  enum { html, json, kanata, trace };
  // --check's results in the formats graders' platforms read, each written whatever the answer.
  std::array<Output, 5> gradingOutputs{
      {{"--junit", {}}, {"--gradescope", {}}, {"--prairielearn", {}}, {"--coderunner", {}}, {"--classroom", {}}}};
  enum { junit, gradescope, prairielearn, coderunner, classroom };
};

// What an option that takes a value takes, as the messages say it.
std::string takenBy(std::string_view option) {
  for (const auto& machineOption : machineDescription) {
    if (machineOption.flag() == option) return takenBy(machineOption);
  }
  if (option == "--check") return exerciseTakes;
  return option == "--max-cycles" ? maxCyclesTakes : option == "--cycles" ? cyclesTakes : outputTakes;
}

bool machineGiven(const CLI::App& app) {
  return std::any_of(machineDescription.begin(), machineDescription.end(),
                     [&](const auto& option) { return app.count(option.flag()) > 0; });
}

// The machine the options given choose, with the flags they need.
MachineOptions machineOf(const CLI::App& app, const Arguments& arguments) {
  MachineOptions machine;
  GivenOptions given = 0;
  for (std::size_t i = 0; i < machineDescription.size(); ++i) {
    const OptionDescription<MachineOptions>& option = machineDescription[i];
    if (app.count(option.flag()) == 0) continue;
    given |= GivenOptions{1} << i;
    if (!option.takesValue()) {
      option.member.set(machine, 1);
    } else if (const auto error = setFromText(option, machine, arguments.machineTexts[i])) {
      throw UsageError{*error};
    }
  }
  applyNeeds(machineDescription, machine, given);
  return machine;
}

// How many machines --compare runs, as a word.
std::string comparedCount() { return countWord(comparedMachines().size()); }

// Checks what CLI11 leaves to the program: unknown options and words beyond
// the folder, options given twice, output names.
void checkArguments(const CLI::App& app, const Arguments& arguments) {
  std::vector<std::string> folders{arguments.folder};
  for (const std::string& extra : app.remaining()) {
    if (extra == "--") continue;
    if (extra.size() > 1 && extra.front() == '-') {
      throw UsageError{"no option " + extra.substr(0, extra.find('=')) + " (see fivestage-report --help)"};
    }
    folders.push_back(extra);
  }
  if (folders.size() > 1) throw UsageError{"one input folder at a time: got " + listed(folders)};
  for (const CLI::Option* option : app.get_options()) {
    if (option->count() > 1) {
      throw UsageError{option->get_name() + " is given " + std::to_string(option->count()) + " times: give it once"};
    }
  }
  for (const auto& option : machineDescription) {
    if (!option.takesValue() || app.count(option.flag()) == 0) continue;
    if (arguments.compare) {
      throw UsageError{"--compare runs the program on all " + comparedCount() + " machines: give it without " +
                       option.flag() + " (--compare-predictors compares the predictors)"};
    }
    if (arguments.comparePredictors && option.kind == OptionKind::Choice) {
      throw UsageError{"--compare-predictors runs the program under every predictor: give it without " +
                       option.flag()};
    }
  }
  if (arguments.compare && machineGiven(app)) {
    throw UsageError{"--compare runs the program on all " + comparedCount() +
                     " machines: give it without " + flagsListed(machineDescription, "or")};
  }
  if (arguments.compare && arguments.comparePredictors) {
    throw UsageError{"--compare and --compare-predictors are two comparisons: give one"};
  }
  for (const char* comparing : {"--compare", "--compare-predictors"}) {
    if (app.count(comparing) > 0 && (app.count("--kanata") > 0 || app.count("--trace") > 0)) {
      throw UsageError{std::string(comparing) + " writes no --kanata or --trace: each follows one run (leave out " +
                       comparing + ")"};
    }
  }
  if (app.count("--check") > 0 && arguments.exercise.empty()) refuseValue("--check", exerciseTakes, "");
  if (arguments.showHidden && app.count("--check") == 0) {
    throw UsageError{"--show-hidden shows the hidden data sets' values of --check: give it with --check EXERCISE"};
  }
  for (const Arguments::Output& output : arguments.gradingOutputs) {
    if (app.count(output.option) > 0 && app.count("--check") == 0) {
      throw UsageError{std::string(output.option) + " writes the results of --check: give it with --check EXERCISE"};
    }
  }
  if (!arguments.exercise.empty()) {
    for (const char* option : {"--html", "--kanata", "--trace", "--compare", "--compare-predictors"}) {
      if (app.count(option) > 0)
        throw UsageError{"--check writes the checks, --json and the graders' formats only: leave out " +
                         std::string(option)};
    }
    std::vector<std::string> runOptions;
    for (const auto& option : machineDescription) runOptions.push_back(option.flag());
    runOptions.insert(runOptions.end(), {"--max-cycles", "--cycles"});
    for (const std::string& option : runOptions) {
      if (app.count(option) > 0) {
        throw UsageError{"--check runs on the exercise's own machine and cycle cap: leave out " + option};
      }
    }
  }
  std::vector<Arguments::Output> outputs(arguments.outputs.begin(), arguments.outputs.end());
  outputs.insert(outputs.end(), arguments.gradingOutputs.begin(), arguments.gradingOutputs.end());
  for (const Arguments::Output& output : outputs) {
    if (app.count(output.option) == 0) continue;
    // A forgotten file name: CLI11 takes the next word, even an option.
    if (output.name.empty() || (output.name.front() == '-' && output.name != "-")) {
      throw UsageError{std::string(output.option) + " takes " + outputTakes + ", not '" + output.name + "'" +
                       (output.name.empty() ? "" : " (./" + output.name + " for a file so named)")};
    }
  }
}

RunOptions runOptionsOf(const CLI::App& app, const Arguments& arguments) {
  RunOptions options;
  if (app.count("--max-cycles") > 0) {
    const std::optional<Cycle> limit = positiveNumber(arguments.maxCycles);
    if (!limit) refuseValue("--max-cycles", maxCyclesTakes, arguments.maxCycles);
    options.maxCycles = *limit;
  }
  if (app.count("--cycles") > 0) options.window = windowOf(arguments.cycles);
  options.keepCycleTexts = !arguments.outputs[Arguments::html].name.empty();
  options.machine = machineOf(app, arguments);
  return options;
}

// An output must not replace one of the files the run reads.
void refuseInputFile(const std::filesystem::path& folder, const OutputPlace& output) {
  if (output.kind() == OutputPlace::Kind::Descriptor) return;
  std::error_code error;
  for (const char* input : {"src.txt", "reg.txt", "mem.txt"}) {
    if (std::filesystem::equivalent(folder / input, output.path(), error)) {
      throw UsageError{"will not write " + output.name() + ": it is the input file " + input};
    }
  }
  const auto energy = std::filesystem::weakly_canonical(folder / "EnergyConsumptionInput", error);
  const auto target = std::filesystem::weakly_canonical(output.path(), error);
  if (!error && std::mismatch(energy.begin(), energy.end(), target.begin(), target.end()).first == energy.end()) {
    throw UsageError{"will not write " + output.name() + ": it is inside the energy figures"};
  }
}

using Places = std::vector<std::optional<OutputPlace>>;

// Where every output goes, settled before anything is created: two outputs
// on one file, or on standard output, would overwrite each other.
Places placesOf(const std::vector<Arguments::Output>& outputs, const std::filesystem::path& folder) {
  Places places(outputs.size());
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (outputs[i].name.empty()) continue;
    refuseInputFile(folder, places[i].emplace(outputs[i].name));
  }
  for (std::size_t i = 0; i < places.size(); ++i) {
    for (std::size_t j = i + 1; j < places.size(); ++j) {
      if (!places[i] || !places[j] || !places[i]->sameAs(*places[j])) continue;
      const Arguments::Output& first = outputs[i];
      const Arguments::Output& second = outputs[j];
      const std::string both =
          std::string(first.option) + " " + first.name + " and " + second.option + " " + second.name;
      throw UsageError{places[i]->isStandardOutput() ? "only one output can go to standard output, not both " + both
                                                     : both + " are the same file: give each output a file of its own"};
    }
  }
  return places;
}

bool takesStandardOutput(const Places& places) {
  return std::any_of(places.begin(), places.end(), [](const auto& place) { return place && place->isStandardOutput(); });
}

using Files = std::vector<std::unique_ptr<OutputFile>>;

// Every output is opened before the run, so that a place that cannot be
// written is known at once: first the files written under a temporary name,
// then the devices and pipes, as opening a pipe waits for its reader.
Files openAll(const Places& places) {
  Files files(places.size());
  for (const bool replaced : {true, false}) {
    for (std::size_t i = 0; i < places.size(); ++i) {
      if (places[i] && (places[i]->kind() == OutputPlace::Kind::Replace) == replaced) {
        files[i] = std::make_unique<OutputFile>(*places[i]);
      }
    }
  }
  return files;
}

// One line on standard error when the run did not complete and the text
// report, which would say so, is left out.
std::string runEnding(const ReportData& data, Cycle maxCycles) {
  const std::string status = statusText(data.record, maxCycles);
  if (!data.program) return "not run: " + status;
  if (data.record.end == RunEnd::Failed) return "ended in cycle " + std::to_string(data.record.cycles) + ": " + status;
  return status;
}

int writeReports(const Arguments& arguments, const RunOptions& options) {
  const std::filesystem::path folder = arguments.folder;
  if (!std::filesystem::is_directory(folder)) throw UsageError{"no such folder: " + folder.string()};
  const Places places = placesOf({arguments.outputs.begin(), arguments.outputs.end()}, folder);

  const Files files = openAll(places);
  OutputFile* const html = files[Arguments::html].get();
  OutputFile* const json = files[Arguments::json].get();
  OutputFile* const kanata = files[Arguments::kanata].get();
  OutputFile* const trace = files[Arguments::trace].get();

  // The run or the comparison writes its outputs, and says how it ended and
  // how to print its text report.
  int status = 0;
  std::function<void(std::ostream&)> textReport;
  std::string ending;
  const TextOptions textOptions{options.maxCycles, !arguments.cycles.empty()};
  const auto dumped = [](const nlohmann::ordered_json& value) {
    return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  };
  std::optional<Comparison> comparison;
  std::optional<ReportData> data;
  if (arguments.compare || arguments.comparePredictors) {
    comparison = arguments.compare ? compareMachines(InputFolder(folder), options)
                                   : comparePredictors(InputFolder(folder), options);
    if (json) json->stream() << dumped(comparisonJson(*comparison, options.maxCycles));
    if (html) html->stream() << comparisonHtml(*comparison, options.maxCycles);
    status = exitStatusOf(*comparison);
    textReport = [&](std::ostream& out) { writeComparisonText(out, *comparison, textOptions); };
    ending = "the run did not complete on every machine";
  } else {
    std::optional<KanataLog> kanataLog;
    if (kanata) kanataLog.emplace(kanata->stream());
    data =
        runReport(InputFolder(folder), options, trace ? &trace->stream() : nullptr, kanataLog ? &*kanataLog : nullptr);
    if (kanataLog) kanataLog->finish();
    if (json) json->stream() << dumped(jsonReport(*data, options.maxCycles));
    if (html) html->stream() << htmlReport(*data, options.maxCycles);
    status = exitStatusOf(data->record);
    textReport = [&](std::ostream& out) { writeTextReport(out, *data, textOptions); };
    ending = runEnding(*data, options.maxCycles);
  }

  publishAll(files);

  // Standard output carries one thing: the text report, or the output named -.
  if (!takesStandardOutput(places)) {
    textReport(std::cout);
  } else if (status != 0) {
    std::cerr << program << ": " << ending << "\n";
  }
  return status;
}

// --check's results in the format of Arguments::gradingOutputs[format].
void writeGradingFormat(std::size_t format, std::ostream& out, const exercise::Exercise& exercise,
                        const grade::Grade& result) {
  const auto json = [&](const nlohmann::ordered_json& value) {
    out << value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  };
  switch (format) {
    case Arguments::junit: grade::writeJUnit(out, exercise, {result}); break;
    case Arguments::gradescope: json(grade::gradescopeResults(exercise, result)); break;
    case Arguments::prairielearn: json(grade::prairieLearnResults(exercise, result)); break;
    case Arguments::coderunner: json(grade::codeRunnerResults(exercise, result)); break;
    case Arguments::classroom: out << grade::classroomResult(exercise, result) << "\n"; break;
  }
}

// The folder's program, or why it cannot be checked: {source, problem}.
std::pair<std::string, std::string> answerIn(const std::filesystem::path& folder) {
  if (!std::filesystem::is_directory(folder)) return {"", "no such folder"};
  try {
    return {exercise::submittedSource(folder), ""};
  } catch (const exercise::ReadError& error) {
    return {"", error.what()};
  }
}

// A grader's format records a grade, which a student copy would give without
// its hidden data sets: only the full file may write one.
void refuseGradingFromCopy(const Arguments& arguments, const exercise::Exercise& exercise) {
  if (exercise.hiddenDataSets == 0) return;
  for (const Arguments::Output& output : arguments.gradingOutputs) {
    if (!output.name.empty()) {
      throw UsageError{std::string(output.option) + " writes a grade: " +
                       exercise::copyCannotGrade(arguments.exercise, exercise)};
    }
  }
}

// --check: runs the folder's program on every data set of the exercise and
// prints each check. The student's view, where a hidden data set's values are
// not shown, unless --show-hidden asks for the teacher's. The graders'
// formats are written even when the folder has no program to check, so that
// a platform always gets a result; they show the student's view always.
int checkAnswer(const Arguments& arguments) {
  const auto audience = arguments.showHidden ? exercise::Audience::Teacher : exercise::Audience::Student;
  const std::filesystem::path folder = arguments.folder;
  exercise::Exercise exercise;
  try {
    exercise = exercise::loadExercise(arguments.exercise);
  } catch (const exercise::ExerciseError& error) {
    throw UsageError{arguments.exercise + ": " + error.what()};
  }
  refuseGradingFromCopy(arguments, exercise);

  // --json first, then the graders' formats: each opened before the run.
  std::vector<Arguments::Output> outputs{arguments.outputs[Arguments::json]};
  outputs.insert(outputs.end(), arguments.gradingOutputs.begin(), arguments.gradingOutputs.end());
  const Places places = placesOf(outputs, folder);
  for (const std::optional<OutputPlace>& place : places) {
    std::error_code error;
    if (place && std::filesystem::equivalent(arguments.exercise, place->path(), error)) {
      throw UsageError{"will not write " + place->name() + ": it is the exercise file"};
    }
  }
  Files files = openAll(places);

  const auto [source, problem] = answerIn(folder);
  const exercise::Checker checker(std::move(exercise));
  grade::Grade result{checker.exercise().title, std::nullopt, problem};
  if (problem.empty()) result.outcome = checker.check(source);
  // --json has nothing to say of a folder without a program: it is left unwritten.
  if (!result.outcome) files[0].reset();
  if (OutputFile* const json = files[0].get()) {
    json->stream() << exercise::outcomeJson(checker.exercise(), *result.outcome, audience)
                          .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                   << "\n";
  }
  for (std::size_t i = 0; i < arguments.gradingOutputs.size(); ++i) {
    if (OutputFile* const file = files[1 + i].get()) writeGradingFormat(i, file->stream(), checker.exercise(), result);
  }
  publishAll(files);

  if (!result.outcome) {
    throw UsageError{std::filesystem::is_directory(folder) ? folder.string() + ": " + problem
                                                           : "no such folder: " + folder.string()};
  }
  if (!takesStandardOutput(places)) exercise::writeCheckText(std::cout, checker.exercise(), *result.outcome, audience);
  return result.outcome->passed() ? 0 : 1;
}

// The option taking a value that ends the command line without one, if any.
std::optional<std::string> optionWithoutValue(int argc, char** argv) {
  const std::string last = argc > 1 ? argv[argc - 1] : "";
  std::vector<std::string> valued{"--html", "--json", "--kanata", "--trace", "--max-cycles", "--cycles", "--check"};
  for (const auto& output : Arguments{}.gradingOutputs) valued.emplace_back(output.option);
  for (const auto& option : machineDescription) {
    if (option.takesValue()) valued.push_back(option.flag());
  }
  for (const std::string& option : valued) {
    if (last == option || last == option + "=") return option;
  }
  return std::nullopt;
}

// CLI11's refusal as one plain line.
UsageError usageErrorOf(const CLI::ParseError& error, int argc, char** argv) {
  const std::optional<std::string> option = optionWithoutValue(argc, argv);
  if (option && dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    return {*option + " takes " + takenBy(*option) + ", and none was given"};
  }
  const std::string message = error.what();
  return {message.substr(0, message.find('\n')) + " (see fivestage-report --help)"};
}

// The machine options, from their description: a flag alone, a valued
// option with the word it takes.
void addMachineOptions(CLI::App& app, Arguments& arguments) {
  for (std::size_t i = 0; i < machineDescription.size(); ++i) {
    const OptionDescription<MachineOptions>& option = machineDescription[i];
    const std::string help(option.reportHelp);
    if (option.takesValue()) {
      app.add_option(option.flag(), arguments.machineTexts[i], help)->type_name(std::string(option.placeholder));
    } else {
      app.add_flag(option.flag(), help);
    }
  }
}

// --check's outputs for graders' platforms: each written for the student's
// eyes, a hidden data set's values left out, and even when the folder has no
// src.txt to check, so that a platform always gets a result.
void addGradingOutputs(CLI::App& app, Arguments& arguments) {
  const char* const formats[] = {
      "the checks as JUnit XML, a test per check with its points",
      "Gradescope's results.json, a test per check with its points and a leaderboard",
      "PrairieLearn's external grader results.json",
      "the JSON a CodeRunner combinator template grader prints",
      "the base64 result of a GitHub Classroom test step, for its reporter",
  };
  for (std::size_t i = 0; i < arguments.gradingOutputs.size(); ++i) {
    app.add_option(arguments.gradingOutputs[i].option, arguments.gradingOutputs[i].name,
                   std::string("With --check: also write ") + formats[i] + "; written even without a src.txt (- for stdout)")
        ->type_name("FILE");
  }
}

// The names of the flags --compare turns on and off: "forwarding and flush".
std::string comparedNames() {
  std::vector<std::string> names;
  for (const auto& option : machineDescription) {
    if (!option.takesValue()) names.emplace_back(option.name);
  }
  return listed(names);
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  CLI::App app{
      "Runs the program in an input folder (src.txt, reg.txt, mem.txt, EnergyConsumptionInput/) to its end, exactly\n"
      "as fivestage runs it with choice 1 and one Enter per cycle, and reports the whole run: a program check,\n"
      "the summary (cycles, CPI, stalls, branches, energy by stage, opcode and line), the final state and the\n"
      "pipeline chart. An output FILE may be - for standard output (one output at most; the text report is then\n"
      "left out), a file (replaced whole once written; a symbolic link is followed), a character device or a\n"
      "named pipe (written in place). Exit status: 0 when the run completed, 1 when loading failed, the run\n"
      "ended on an error or was stopped, 2 for a usage error.",
      program};
  app.allow_extras();  // unknown options and a second folder are reported below, in plain words
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);  // and options given twice
  app.add_option("folder", arguments.folder, "The input folder (default: the working directory)")->type_name("FOLDER");
  app.add_option("--html", arguments.outputs[Arguments::html].name,
                 "Also write the report as one self-contained web page (- for stdout)")
      ->type_name("FILE");
  app.add_option("--json", arguments.outputs[Arguments::json].name,
                 "Also write the report as JSON (report/report.schema.json; - for stdout)")
      ->type_name("FILE");
  app.add_option("--kanata", arguments.outputs[Arguments::kanata].name,
                 "Also write the run as a Kanata log, for the Konata viewer (- for stdout)")
      ->type_name("FILE");
  app.add_option("--trace", arguments.outputs[Arguments::trace].name,
                 "Also write the full console trace of the run (- for stdout)")
      ->type_name("FILE");
  app.add_option("--max-cycles", arguments.maxCycles,
                 "Stop a run still going after N cycles, 1 to " + largestCycle + " (default 100000)")
      ->type_name("N");
  app.add_option("--cycles", arguments.cycles,
                 "The cycles the chart and the details show (default: the first that fit; at most 2000)")
      ->type_name("FROM:TO");
  app.add_option(
         "--check", arguments.exercise,
         "Check the folder's program as an answer to EXERCISE, an exercise file: run it on every data set, print\n"
         "the program check's warnings and each check with its observed and expected values (a hidden data set's\n"
         "are not shown, unless --show-hidden). Exit status:\n"
         "0 when every check passes, 1 when one fails, 2 for a usage error, an exercise file that cannot be\n"
         "read or is not valid, or a folder without a readable src.txt. Takes --json FILE, --show-hidden and the\n"
         "graders' formats (--junit, --gradescope, --prairielearn, --coderunner, --classroom) only")
      ->type_name("EXERCISE");
  addGradingOutputs(app, arguments);
  app.add_flag("--show-hidden", arguments.showHidden,
               "With --check: show the hidden data sets' expected and observed values too, to check a solution\n"
               "of your own against your exercise");
  addMachineOptions(app, arguments);
  app.add_flag("--compare", arguments.compare, "Run the program on all " + comparedCount() + " machines (with and without " +
                                                   comparedNames() + ") and compare them");
  app.add_flag("--compare-predictors", arguments.comparePredictors,
               "Run the program under every predictor, with forwarding if it is given, and compare them");
  app.set_version_flag("--version", "fivestage-report 1.0");
  try {
    try {
      app.parse(argc, argv);
    } catch (const CLI::Success& success) {
      return app.exit(success);  // --help or --version
    } catch (const CLI::ParseError& error) {
      throw usageErrorOf(error, argc, argv);
    }
    checkArguments(app, arguments);
    if (!arguments.exercise.empty()) return checkAnswer(arguments);
    return writeReports(arguments, runOptionsOf(app, arguments));
  } catch (const UsageError& error) {
    std::cerr << program << ": " << error.message << "\n";
    return usageError;
  } catch (const OutputError& error) {
    std::cerr << program << ": " << error.what() << "\n";
    return usageError;
  }
}
