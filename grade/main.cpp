// fivestage-grade: grades a class's submissions to one exercise, each a
// folder with the student's src.txt, into a grade sheet.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "exercise/Authoring.h"
#include "exercise/CheckReport.h"
#include "exercise/Exercise.h"
#include "grade/GradeSheet.h"
#include "grade/Grader.h"
#include "grade/JUnitReport.h"
#include "report/OutputFile.h"

namespace {

using namespace fivestage;

constexpr int usageError = 2;
constexpr const char* program = "fivestage-grade";
constexpr unsigned mostJobs = 256;

struct UsageError {
  std::string message;
};

const std::string studentCopyTakes =
    "--student-copy takes EXERCISE OUT: the exercise file, then the copy's file or - for standard output";

struct Arguments {
  std::string exercise;
  std::vector<std::string> submissions;
  std::string csv, json, junit, jobs;
  std::vector<std::string> studentCopy;  // EXERCISE OUT
};

unsigned jobsOf(const CLI::App& app, const Arguments& arguments) {
  if (app.count("--jobs") == 0) return std::max(1u, std::thread::hardware_concurrency());
  unsigned jobs = 0;
  const std::string& text = arguments.jobs;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
  if (error != std::errc() || end != text.data() + text.size() || jobs < 1 || jobs > mostJobs) {
    throw UsageError{"--jobs takes a whole number from 1 to " + std::to_string(mostJobs) + ", not '" + text + "'"};
  }
  return jobs;
}

// Where an output goes, refused when it would overwrite the exercise file.
std::optional<report::OutputPlace> placeOf(const char* option, const std::string& name, const std::string& exercise) {
  if (name.empty()) return std::nullopt;
  if (name.front() == '-' && name != "-") {
    throw UsageError{std::string(option) + " takes a file name, or - for standard output, not '" + name + "'"};
  }
  report::OutputPlace place(name);
  std::error_code error;
  if (std::filesystem::equivalent(exercise, place.path(), error)) {
    throw UsageError{"will not write " + name + ": it is the exercise file"};
  }
  return place;
}

// A bar on standard error, redrawn in place, when standard error is a terminal.
grade::Progress progressBar() {
  if (isatty(STDERR_FILENO) == 0) return nullptr;
  return [](std::size_t done, std::size_t total) {
    constexpr std::size_t width = 40;
    const std::size_t filled = total == 0 ? width : done * width / total;
    std::cerr << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] " << done << "/" << total
              << (done == total ? "\n" : "") << std::flush;
  };
}

// The exercise file at `path`, or a usage error saying why it cannot be used.
exercise::Exercise exerciseAt(const std::string& path) {
  try {
    return exercise::loadExercise(path);
  } catch (const exercise::ExerciseError& error) {
    throw UsageError{path + ": " + error.what()};
  }
}

// --student-copy EXERCISE OUT: the exercise to hand out, its hidden data sets
// left out (exercise/Authoring.h), written to OUT or standard output.
int writeStudentCopy(const CLI::App& app, const Arguments& arguments) {
  for (const char* option : {"--csv", "--json", "--junit", "--jobs"}) {
    if (app.count(option) > 0) {
      throw UsageError{std::string("--student-copy writes a copy of the exercise, no grades: leave out ") + option};
    }
  }
  if (!arguments.exercise.empty()) {
    throw UsageError{"--student-copy EXERCISE OUT grades nothing: give it without submissions, not '" +
                     arguments.exercise + "'"};
  }
  const std::string& path = arguments.studentCopy[0];
  const std::string& out = arguments.studentCopy[1];
  if (out.empty()) throw UsageError{studentCopyTakes};
  exercise::Exercise copy;
  try {
    copy = exercise::studentCopy(exerciseAt(path));
  } catch (const exercise::ExerciseError& error) {
    throw UsageError{path + ": " + error.what()};
  }
  const report::OutputPlace place = *placeOf("--student-copy", out, path);
  std::vector<std::unique_ptr<report::OutputFile>> files;
  files.push_back(std::make_unique<report::OutputFile>(place));
  files.front()->stream() << exercise::exerciseText(copy);
  report::publishAll(files);
  if (!place.isStandardOutput()) {
    std::cout << out << ": the student copy of " << path << ", " << copy.hiddenDataSets << " hidden data set"
              << (copy.hiddenDataSets == 1 ? "" : "s") << " left out\n";
  }
  return 0;
}

int gradeClass(const CLI::App& app, const Arguments& arguments) {
  // Grading needs both positionals, --student-copy neither: checked here, in CLI11's words.
  if (arguments.exercise.empty()) throw UsageError{"exercise is required (see fivestage-grade --help)"};
  if (arguments.submissions.empty()) throw UsageError{"submissions is required (see fivestage-grade --help)"};
  const unsigned jobs = jobsOf(app, arguments);
  const exercise::Exercise exercise = exerciseAt(arguments.exercise);
  if (exercise.hiddenDataSets > 0) throw UsageError{exercise::copyCannotGrade(arguments.exercise, exercise)};
  // The outputs by option, in the order they are written.
  const std::pair<const char*, const std::string*> outputs[] = {
      {"--csv", &arguments.csv}, {"--json", &arguments.json}, {"--junit", &arguments.junit}};
  std::vector<std::optional<report::OutputPlace>> places;
  for (const auto& [option, name] : outputs) places.push_back(placeOf(option, *name, arguments.exercise));
  for (std::size_t i = 0; i < places.size(); ++i) {
    for (std::size_t j = i + 1; j < places.size(); ++j) {
      if (!places[i] || !places[j]) continue;
      const std::string both = std::string(outputs[i].first) + " " + *outputs[i].second + " and " +
                               outputs[j].first + " " + *outputs[j].second;
      if (places[i]->isStandardOutput() && places[j]->isStandardOutput()) {
        throw UsageError{"only one output can go to standard output, not both " + both};
      }
      if (places[i]->sameAs(*places[j])) throw UsageError{both + " are the same file: give each output a file of its own"};
    }
  }
  // Opened before grading, so that an output that cannot be written is known at once.
  std::vector<std::unique_ptr<report::OutputFile>> files;
  for (const auto& place : places) files.push_back(place ? std::make_unique<report::OutputFile>(*place) : nullptr);
  report::OutputFile* const csv = files[0].get();
  report::OutputFile* const json = files[1].get();
  report::OutputFile* const junit = files[2].get();

  const grade::Distinct distinct = grade::distinctSubmissions(arguments.submissions);
  for (const auto& [repeated, kept] : distinct.repeats) {
    std::cerr << program << ": " << grade::escapedName(repeated) << " is " << grade::escapedName(kept)
              << " again: graded once\n";
  }
  const std::vector<grade::Grade> grades = grade::gradeAll(exercise, distinct.submissions, jobs, progressBar());
  if (csv) grade::writeCsv(csv->stream(), grades);
  if (json)
    json->stream() << grade::gradesJson(exercise, grades).dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                   << "\n";
  if (junit) grade::writeJUnit(junit->stream(), exercise, grades);
  report::publishAll(files);

  const bool standardOutputTaken = std::any_of(places.begin(), places.end(), [](const auto& place) {
    return place && place->isStandardOutput();
  });
  if (!standardOutputTaken) {
    std::size_t passed = 0, notGraded = 0;
    for (const grade::Grade& grade : grades) {
      std::cout << grade::gradeLine(grade) << "\n";
      if (!grade.outcome) {
        ++notGraded;
      } else if (grade.outcome->passed()) {
        ++passed;
      }
    }
    std::cout << grades.size() << " submissions: " << passed << " passed, " << grades.size() - passed - notGraded
              << " failed, " << notGraded << " not graded\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  CLI::App app{
      "Grades every submission folder against the exercise: runs each folder's src.txt on every data set, on the\n"
      "exercise's machine, up to its cycle cap, with the data sets' registers and memory and the exercise's energy\n"
      "figures (a submission's own reg.txt, mem.txt and energy files are ignored). A submission that cannot be\n"
      "graded (no src.txt, a link, not text, too large) gets a row that says why. A folder named twice, however\n"
      "spelled (a and ./a/), is graded once. EXERCISE is the full file: a student copy, without its hidden\n"
      "data sets, is refused. Exit status: 0 when every submission has its row, 2 for a usage error, an\n"
      "exercise file that cannot be read or is not valid, or an output that cannot be written.",
      program};
  app.add_option("exercise", arguments.exercise, "The exercise file (required)")->type_name("EXERCISE");
  app.add_option("submissions", arguments.submissions, "The submission folders, each with a src.txt (required)")
      ->type_name("SUBMISSION_FOLDER...");
  app.add_option("--csv", arguments.csv,
                 "Write the grade sheet as CSV: submission,passed,score,cycles,energy,failed,error,warnings\n"
                 "(- for stdout)")
      ->type_name("FILE");
  app.add_option("--json", arguments.json, "Write every submission's checks as JSON (- for stdout)")->type_name("FILE");
  app.add_option("--junit", arguments.junit,
                 "Write the checks as JUnit XML, a test suite per submission and a test per check with its points,\n"
                 "a hidden data set's values left out (- for stdout)")
      ->type_name("FILE");
  app.add_option("--jobs", arguments.jobs, "Grade N submissions at a time (default: the number of cores)")
      ->type_name("N");
  app.add_option("--student-copy", arguments.studentCopy,
                 "Grade nothing: write the exercise to hand out to students to OUT (- for stdout), without its\n"
                 "hidden data sets, their inputs and expected values; it says how many it left out, and this\n"
                 "command refuses to grade with it")
      ->expected(2)
      ->allow_extra_args(false)  // words after the two are submissions, to refuse
      ->type_name("EXERCISE OUT");
  app.set_version_flag("--version", "fivestage-grade 1.0");
  try {
    try {
      app.parse(argc, argv);
    } catch (const CLI::Success& success) {
      return app.exit(success);
    } catch (const CLI::ParseError& error) {
      const std::string message = error.what();
      if (message.rfind("--student-copy", 0) == 0) throw UsageError{studentCopyTakes};  // not two words after it
      throw UsageError{message.substr(0, message.find('\n')) + " (see fivestage-grade --help)"};
    }
    if (!arguments.studentCopy.empty()) return writeStudentCopy(app, arguments);
    return gradeClass(app, arguments);
  } catch (const UsageError& error) {
    std::cerr << program << ": " << error.message << "\n";
    return usageError;
  } catch (const report::OutputError& error) {
    std::cerr << program << ": " << error.what() << "\n";
    return usageError;
  }
}
