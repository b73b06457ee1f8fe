#include "grade/PlatformResults.h"

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <vector>

#include "exercise/CheckReport.h"
#include "exercise/Score.h"
#include "grade/GradeSheet.h"
#include "grade/JUnitReport.h"
#include "report/JsonReport.h"

namespace fivestage::grade {
namespace {

using Json = nlohmann::ordered_json;
using exercise::Audience;
using exercise::Check;

// One check as the platforms show it to the student.
struct Test {
  std::string name;     // "four words: word 8"
  std::string listing;  // what is checked: "four words: word 8: 10"
  std::string result;   // what was found: "10 (expected 10)", or why nothing was
  bool passed;
  bool hidden;
  double points;
  double maxPoints;
};

std::string notGraded(const Grade& grade) { return "not graded: " + grade.error; }

// What a check found, and why a limit kept earns nothing yet: a platform
// shows it passed with no points, which would otherwise puzzle the student.
std::string resultOf(const Check& check) {
  std::string result = exercise::checkDetail(check, Audience::Student);
  if (check.passed && check.points < check.maxPoints) {
    result += "; its points count once every data set's results are right";
  }
  return result;
}

// Every check of the grade, or of the exercise when there was no program to check.
std::vector<Test> testsOf(const exercise::Exercise& exercise, const Grade& grade) {
  const std::vector<Check> checks = grade.outcome ? grade.outcome->checks : exercise::checksOf(exercise);
  std::vector<Test> tests;
  for (const Check& check : checks) {
    tests.push_back({exercise::placeText(check), exercise::checkListing(check, Audience::Student),
                     grade.outcome ? resultOf(check) : notGraded(grade), check.passed,
                     check.hidden, check.points, check.maxPoints});
  }
  return tests;
}

double scoreOf(const Grade& grade) { return grade.outcome ? grade.outcome->score() : 0.0; }

// The score as a share of the exercise's points, from 0 to 1.
double fractionOf(const exercise::Exercise& exercise, const Grade& grade) { return scoreOf(grade) / exercise.points; }

std::string verdictOf(const Grade& grade) {
  return grade.outcome ? exercise::verdictText(*grade.outcome) : notGraded(grade);
}

// The checks as --check prints them for the student, or why there are none.
std::string outputOf(const exercise::Exercise& exercise, const Grade& grade) {
  if (!grade.outcome) return exercise.title + "\n" + notGraded(grade) + "\n";
  std::ostringstream text;
  exercise::writeCheckText(text, exercise, *grade.outcome, Audience::Student);
  return text.str();
}

// The title, and the program check's warnings or why nothing was checked, as HTML.
std::string prologueHtml(const exercise::Exercise& exercise, const Grade& grade) {
  std::string html = "<h4>" + xmlText(exercise.title) + "</h4>";
  if (!grade.outcome) return html + "<p>" + xmlText(notGraded(grade)) + "</p>";
  if (grade.outcome->warnings.empty()) return html;
  html += "<p>Program check:</p><ul>";
  for (const report::Warning& warning : grade.outcome->warnings) {
    html += "<li>" + xmlText(report::warningText(warning)) + "</li>";
  }
  return html + "</ul>";
}

}  // namespace

Json gradescopeResults(const exercise::Exercise& exercise, const Grade& grade) {
  Json tests = Json::array();
  for (const Test& test : testsOf(exercise, grade)) {
    tests.push_back({{"name", test.name},
                     {"score", test.points},
                     {"max_score", test.maxPoints},
                     {"status", test.passed ? "passed" : "failed"},
                     {"output", test.result},
                     {"visibility", test.hidden ? "after_published" : "visible"}});
  }
  // Only a right answer races: an empty program is the quickest of all.
  Json leaderboard = Json::array();
  const bool races = grade.outcome && exercise::resultsRight(grade.outcome->checks);
  if (races && grade.outcome->cycles) {
    leaderboard.push_back({{"name", "cycles"}, {"value", *grade.outcome->cycles}, {"order", "asc"}});
  }
  if (races && grade.outcome->energy) {
    leaderboard.push_back({{"name", "energy"}, {"value", *grade.outcome->energy}, {"order", "asc"}});
  }
  return {{"score", scoreOf(grade)},
          {"execution_time", grade.outcome ? grade.outcome->time.count() : 0.0},
          {"output", outputOf(exercise, grade)},
          {"tests", tests},
          {"leaderboard", leaderboard}};
}

Json prairieLearnResults(const exercise::Exercise& exercise, const Grade& grade) {
  Json tests = Json::array();
  for (const Test& test : testsOf(exercise, grade)) {
    tests.push_back({{"name", test.name},
                     {"description", test.listing},
                     {"points", test.points},
                     {"max_points", test.maxPoints},
                     {"message", test.passed ? "passed" : "failed"},
                     {"output", test.result}});
  }
  Json results = {{"gradable", grade.outcome.has_value()},
                  {"score", fractionOf(exercise, grade)},
                  {"message", verdictOf(grade)},
                  {"output", outputOf(exercise, grade)},
                  {"tests", tests}};
  if (!grade.outcome) results["format_errors"] = Json::array({grade.error});
  return results;
}

Json codeRunnerResults(const exercise::Exercise& exercise, const Grade& grade) {
  Json rows = Json::array({Json::array({"iscorrect", "Check", "Result", "Points", "Out of", "ishidden"})});
  for (const Test& test : testsOf(exercise, grade)) {
    rows.push_back(Json::array({test.passed, test.name, test.result, test.points, test.maxPoints, test.hidden}));
  }
  return {{"fraction", fractionOf(exercise, grade)},
          {"prologuehtml", prologueHtml(exercise, grade)},
          {"testresults", rows},
          {"epiloguehtml", "<p>" + xmlText(verdictOf(grade)) + ": score " + numberText(scoreOf(grade)) + " of " +
                               numberText(exercise.points) + "</p>"}};
}

std::string classroomResult(const exercise::Exercise& exercise, const Grade& grade) {
  const auto statusOf = [&](bool passed) { return !grade.outcome ? "error" : passed ? "pass" : "fail"; };
  Json tests = Json::array();
  for (const Test& test : testsOf(exercise, grade)) {
    tests.push_back(
        {{"name", test.name}, {"status", statusOf(test.passed)}, {"score", test.points}, {"message", test.result}});
  }
  const Json result = {{"version", 1},
                       {"status", statusOf(grade.outcome && grade.outcome->passed())},
                       {"max_score", exercise.points},
                       {"tests", tests}};
  return base64(result.dump(-1, ' ', false, Json::error_handler_t::replace));
}

std::string base64(std::string_view bytes) {
  constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    // Three bytes, the missing ones 0, as four digits of six bits; '=' for each digit made of missing bytes only.
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 3; ++j) {
      group = (group << 8) | (j < count ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    }
    for (std::size_t j = 0; j < 4; ++j) encoded += j <= count ? digits[(group >> (18 - 6 * j)) & 63] : '=';
  }
  return encoded;
}

}  // namespace fivestage::grade
