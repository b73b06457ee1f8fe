// fivestage-report --check and fivestage-grade end to end: the real
// executables, their outputs and their exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::RunResult;
using testing::TempDir;

const fs::path source = FIVESTAGE_SOURCE_DIR;
const std::string sumArray = (source / "examples/exercises/sum-array.json").string();
const std::string modelAnswer = (source / "tests/exercise/solutions/sum-array").string();

RunResult report(const fs::path& workdir, const std::vector<std::string>& arguments) {
  return testing::runProgram(FIVESTAGE_REPORT, arguments, workdir);
}

RunResult grade(const fs::path& workdir, const std::vector<std::string>& arguments) {
  return testing::runProgram(FIVESTAGE_GRADE, arguments, workdir);
}

std::string lastLine(const std::string& text) {
  const std::size_t end = text.find_last_not_of('\n');
  return text.substr(text.rfind('\n', end) + 1, end - text.rfind('\n', end));
}

TEST(CheckCli, PassesARightAnswerWithStatusZero) {
  const TempDir dir;
  const RunResult result = report(dir.path(), {"--check", sumArray, modelAnswer});
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_NE(result.output.find("✓ four words: word 8: 10 (expected 10)\n"), std::string::npos) << result.output;
  EXPECT_EQ(lastLine(result.output), "passed");
  EXPECT_EQ(result.output.find("Program check"), std::string::npos) << "nothing to warn about, nothing said";
}

TEST(CheckCli, FailsAWrongAnswerWithStatusOneAndHidesTheHiddenValues) {
  const TempDir dir;
  dir.write("src.txt", "addi $1, $0, 10\nlw $1, 8($0)\n");  // right for the data set in sight only
  const RunResult result = report(dir.path(), {"--check", sumArray});
  EXPECT_EQ(result.status, 1) << result.errors;
  EXPECT_NE(result.output.find("✗ six words: word 8 (hidden data set: values not shown)\n"), std::string::npos)
      << result.output;
  EXPECT_EQ(result.output.find("22"), std::string::npos) << "a hidden expected value shows: " << result.output;
  EXPECT_EQ(lastLine(result.output), "2 of 7 checks failed");
}

TEST(CheckCli, WritesTheChecksAsJson) {
  const TempDir dir;
  dir.write("src.txt", "addi $1, $0, 10\nlw $1, 8($0)\n");
  const RunResult result = report(dir.path(), {"--check", sumArray, "--json", "checks.json"});
  EXPECT_EQ(result.status, 1) << result.errors;
  const auto json = nlohmann::json::parse(readFile(dir.path() / "checks.json"));
  EXPECT_EQ(json["schema"], 1);
  EXPECT_EQ(json["exercise"], "Sum an array into a word");
  EXPECT_EQ(json["passed"], false);
  // Three data sets and the limit, a quarter each: the data set in sight only is right, and the
  // limit, which holds, earns nothing while a result is wrong.
  EXPECT_DOUBLE_EQ(json["score"].get<double>(), 0.25);
  EXPECT_EQ(json["maxScore"], 1);
  ASSERT_EQ(json["checks"].size(), 7u);
  EXPECT_EQ(json["checks"][0], nlohmann::json::parse(R"({"data": null, "check": "instructions", "passed": true,
    "bound": "at most", "expected": 12, "observed": 2, "points": 0, "maxPoints": 0.25})"));
  EXPECT_EQ(json["checks"][1]["maxPoints"], 0) << "run completes carries no points";
  EXPECT_EQ(json["checks"][2]["points"], 0.25);
  EXPECT_EQ(json["checks"][2]["observed"], 10);
  EXPECT_EQ(json["checks"][4]["data"], "six words");
  EXPECT_TRUE(json["checks"][4]["expected"].is_null());
  EXPECT_TRUE(json["checks"][4]["observed"].is_null());
}

// The sum-array loop with its label written as a name: the report's program
// check says at once what --check alone would leave to the wrong sums.
const std::string namedLabel =
    "addi $1, $0, 0\naddi $2, $0, 0\nsw $4, 0($1)\naddi $1, $1, 1\nadd $2, $2, $4\n"
    "bne $1, $3, loop\naddi $7, $7, 0\nlw $2, 8($0)\n";

TEST(CheckCli, ShowsTheProgramChecksWarningsInTextAndJsonAsTheReportDoes) {
  const TempDir dir;
  dir.write("src.txt", namedLabel);
  dir.write("reg.txt", "0\n0\n0\n4\n0\n0\n0\n0\n");
  dir.write("mem.txt", "1\n2\n3\n4\n0\n0\n0\n0\n0\n0\n");
  dir.addEnergyTree();
  const nlohmann::json reported = nlohmann::json::parse(report(dir.path(), {"--json", "-"}).output)["warnings"];
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0]["kind"], "label-never-taken");
  EXPECT_EQ(reported[0]["line"], 6);

  const RunResult text = report(dir.path(), {"--check", sumArray});
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(text.output.rfind("Sum an array into a word\nProgram check: 1 warning\n  line 6: " +
                                  reported[0]["message"].get<std::string>() + "\n✓ program: instructions",
                              0),
            0u)
      << "the warning under the title, in the report's words: " << text.output;
  const RunResult json = report(dir.path(), {"--check", sumArray, "--json", "-"});
  EXPECT_EQ(nlohmann::json::parse(json.output)["warnings"], reported) << json.output;
  const RunResult right = report(dir.path(), {"--check", sumArray, modelAnswer, "--json", "-"});
  EXPECT_EQ(nlohmann::json::parse(right.output)["warnings"], nlohmann::json::array());
}

TEST(CheckCli, ShowsHiddenValuesOnlyWhenAskedTo) {
  const TempDir dir;
  dir.write("src.txt", "addi $1, $0, 10\nlw $1, 8($0)\n");  // right for the data set in sight only
  const RunResult text = report(dir.path(), {"--check", sumArray, "--show-hidden"});
  EXPECT_EQ(text.status, 1);
  EXPECT_NE(text.output.find("✗ six words: word 8: 10 (expected 22)\n"), std::string::npos) << text.output;
  EXPECT_NE(text.output.find("✓ one word: run completes: completed (expected completed)\n"), std::string::npos);
  EXPECT_EQ(text.output.find("values not shown"), std::string::npos) << text.output;
  EXPECT_EQ(lastLine(text.output), "2 of 7 checks failed");
  const auto json = nlohmann::json::parse(report(dir.path(), {"--check", sumArray, "--json", "-", "--show-hidden"}).output);
  EXPECT_EQ(json["checks"][4]["expected"], 22);
  EXPECT_EQ(json["checks"][4]["observed"], 10);
}

struct Refusal {
  const char* name;
  std::vector<std::string> arguments;
  std::string message;  // the start of standard error's line after the program's name
};

using Tool = RunResult (*)(const fs::path&, const std::vector<std::string>&);

// Runs each case with `tool`, named `program`: it must exit with status 2,
// write nothing on standard output and say why on standard error.
void expectRefusals(Tool tool, const std::string& program, const fs::path& workdir,
                    const std::vector<Refusal>& cases) {
  for (const Refusal& refusal : cases) {
    SCOPED_TRACE(refusal.name);
    const RunResult result = tool(workdir, refusal.arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors.rfind(program + ": " + refusal.message, 0), 0u) << result.errors;
    EXPECT_EQ(result.output, "");
  }
}

TEST(CheckCli, RefusesWhatItCannotCheckWithStatusTwo) {
  const TempDir dir;
  dir.write("answer/src.txt", "addi $1, $0, 1\n");
  dir.write("bad.json", R"({"schema": 1, "title": "t", "statement": "s", "files": {},
    "data": [{"name": "a", "reg.txt": "", "mem.txt": "", "expect": {"registers": {"x": 1}}}]})");
  dir.write("mine.json", readFile(sumArray));
  fs::create_directory(dir.path() / "empty");
  fs::create_symlink("/etc/shadow", dir.path() / "linked");
  fs::create_directory(dir.path() / "sneaky");
  fs::create_symlink("/etc/shadow", dir.path() / "sneaky/src.txt");
  const Refusal cases[] = {
      {"invalid exercise",
       {"--check", "bad.json", "answer"},
       "bad.json: data[0].expect.registers: keys are register numbers, not 'x'"},
      {"missing exercise", {"--check", "none.json", "answer"}, "none.json: there is no none.json"},
      {"exercise that is a folder", {"--check", "answer", "answer"}, "answer: answer is a folder, not a file"},
      {"folder without src.txt", {"--check", sumArray, "empty"}, "empty: there is no src.txt"},
      {"src.txt a link", {"--check", sumArray, "sneaky"}, "sneaky: src.txt is a symbolic link"},
      {"no such folder", {"--check", sumArray, "nowhere"}, "no such folder: nowhere"},
      {"another machine",
       {"--check", sumArray, "answer", "--forwarding"},
       "--check runs on the exercise's own machine and cycle cap: leave out --forwarding"},
      {"another output",
       {"--check", sumArray, "answer", "--html", "x.html"},
       "--check writes the checks, --json and the graders' formats only: leave out --html"},
      {"a grader's format without a check",
       {"answer", "--gradescope", "results.json"},
       "--gradescope writes the results of --check: give it with --check EXERCISE"},
      {"two formats on standard output",
       {"--check", sumArray, "answer", "--junit", "-", "--classroom", "-"},
       "only one output can go to standard output, not both --junit - and --classroom -"},
      {"a format and --json in one file",
       {"--check", sumArray, "answer", "--json", "out", "--prairielearn", "out"},
       "--json out and --prairielearn out are the same file"},
      {"a format over the exercise",
       {"--check", "mine.json", "answer", "--coderunner", "mine.json"},
       "will not write mine.json: it is the exercise file"},
      {"a format without its file", {"--check", sumArray, "answer", "--junit"},
       "--junit takes a file name, or - for standard output, and none was given"},
      {"no exercise", {"answer", "--check"}, "--check takes an exercise file, and none was given"},
      {"hidden values without a check",
       {"answer", "--show-hidden"},
       "--show-hidden shows the hidden data sets' values of --check: give it with --check EXERCISE"},
      {"json over the program",
       {"--check", sumArray, "answer", "--json", "answer/src.txt"},
       "will not write answer/src.txt: it is the input file src.txt"},
      {"json over the exercise",
       {"--check", "mine.json", "answer", "--json", "mine.json"},
       "will not write mine.json: it is the exercise file"},
  };
  expectRefusals(report, "fivestage-report", dir.path(), {std::begin(cases), std::end(cases)});
  EXPECT_EQ(readFile(dir.path() / "answer/src.txt"), "addi $1, $0, 1\n") << "an input was written";
}

// A class folder with a right answer, a wrong one and one without src.txt.
void writeClass(const TempDir& dir) {
  dir.write("class/ann/src.txt", readFile(fs::path(modelAnswer) / "src.txt"));
  dir.write("class/ben/src.txt", "addi $1, $0, 10\nlw $1, 8($0)\n");
  fs::create_directories(dir.path() / "class/cy");
}

TEST(GradeCli, WritesTheGradeSheetAndSaysHowEachSubmissionDid) {
  const TempDir dir;
  writeClass(dir);
  const RunResult result = grade(dir.path(), {sumArray, "class/ann", "class/ben", "class/cy", "--csv", "grades.csv",
                                              "--json", "grades.json", "--jobs", "2"});
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(result.output,
            "class/ann: passed\nclass/ben: 2 of 7 checks failed\nclass/cy: not graded: there is no src.txt\n"
            "3 submissions: 1 passed, 1 failed, 1 not graded\n");
  EXPECT_EQ(result.errors, "") << "no progress bar when standard error is not a terminal";
  std::istringstream csv(readFile(dir.path() / "grades.csv"));
  std::vector<std::string> rows;
  for (std::string row; std::getline(csv, row);) rows.push_back(row);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], "submission,passed,score,cycles,energy,failed,error,warnings\r");
  EXPECT_EQ(rows[1].rfind("class/ann,true,1,", 0), 0u) << rows[1];
  EXPECT_EQ(rows[2].substr(rows[2].find(",six")), ",six words: word 8;one word: word 8,,\r");
  EXPECT_EQ(rows[3], "class/cy,false,0,,,,there is no src.txt,\r");
  const auto json = nlohmann::json::parse(readFile(dir.path() / "grades.json"));
  ASSERT_EQ(json["submissions"].size(), 3u);
  EXPECT_EQ(json["submissions"][1]["checks"][4]["expected"], 22) << "the teacher's sheet shows hidden values";
}

TEST(GradeCli, GradesAFolderNamedTwiceOnce) {
  const TempDir dir;
  writeClass(dir);
  const RunResult result =
      grade(dir.path(), {sumArray, "class/ann", "class/ben", "./class/ann/", (dir.path() / "class/ben").string(),
                         "--csv", "grades.csv"});
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(result.output,
            "class/ann: passed\nclass/ben: 2 of 7 checks failed\n2 submissions: 1 passed, 1 failed, 0 not graded\n");
  EXPECT_EQ(result.errors, "fivestage-grade: ./class/ann/ is class/ann again: graded once\nfivestage-grade: " +
                               (dir.path() / "class/ben").string() + " is class/ben again: graded once\n");
  const std::string sheet = readFile(dir.path() / "grades.csv");
  EXPECT_EQ(std::count(sheet.begin(), sheet.end(), '\n'), 3) << "a header and two rows: " << sheet;
}

// A submission's name with a line feed and an escape sequence: one line on
// the terminal, the exact name in the sheets, which quote it.
TEST(GradeCli, ShowsControlCharactersInANameEscapedAndKeepsThemInTheSheets) {
  const TempDir dir;
  const std::string name = "class/eve\n\x1b[2Jann: passed";
  dir.write(name + "/src.txt", readFile(fs::path(modelAnswer) / "src.txt"));
  const RunResult text = grade(dir.path(), {sumArray, name});
  EXPECT_EQ(text.output, "class/eve\\n\\x1b[2Jann: passed: passed\n1 submissions: 1 passed, 0 failed, 0 not graded\n");
  const RunResult json = grade(dir.path(), {sumArray, name, "--json", "-"});
  EXPECT_EQ(nlohmann::json::parse(json.output)["submissions"][0]["submission"], name);
  const RunResult csv = grade(dir.path(), {sumArray, name, "--csv", "-"});
  const std::string row = csv.output.substr(csv.output.find("\r\n") + 2);
  EXPECT_EQ(row.rfind("\"" + name + "\",true,", 0), 0u) << row;
}

TEST(GradeCli, WritesOnlyTheOutputNamedDashOnStandardOutput) {
  const TempDir dir;
  writeClass(dir);
  const RunResult result = grade(dir.path(), {sumArray, "class/ann", "--json", "-"});
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(nlohmann::json::parse(result.output)["submissions"][0]["passed"], true);
}

TEST(GradeCli, RefusesBadUsageWithStatusTwo) {
  const TempDir dir;
  writeClass(dir);
  dir.write("bad.json", "{\"schema\": 2}");
  dir.write("mine.json", readFile(sumArray));
  const Refusal cases[] = {
      {"invalid exercise", {"bad.json", "class/ann"}, "bad.json: schema: this fivestage reads version 1, not 2"},
      {"no submissions", {sumArray}, "submissions is required"},
      {"jobs zero", {sumArray, "class/ann", "--jobs", "0"}, "--jobs takes a whole number from 1 to 256, not '0'"},
      {"jobs not a number", {sumArray, "class/ann", "--jobs", "many"}, "--jobs takes a whole number"},
      {"both outputs on stdout",
       {sumArray, "class/ann", "--csv", "-", "--json", "-"},
       "only one output can go to standard output"},
      {"one file for both",
       {sumArray, "class/ann", "--csv", "out", "--json", "out"},
       "--csv out and --json out are the same file"},
      {"JUnit and JSON on stdout",
       {sumArray, "class/ann", "--json", "-", "--junit", "-"},
       "only one output can go to standard output, not both --json - and --junit -"},
      {"JUnit over the grade sheet",
       {sumArray, "class/ann", "--csv", "out", "--junit", "out"},
       "--csv out and --junit out are the same file"},
      {"output over the exercise",
       {"mine.json", "class/ann", "--csv", "mine.json"},
       "will not write mine.json: it is the exercise file"},
      {"output in no folder",
       {sumArray, "class/ann", "--csv", "nowhere/grades.csv"},
       "cannot write nowhere/grades.csv"},
  };
  for (const Refusal& refusal : cases) {
    SCOPED_TRACE(refusal.name);
    const RunResult result = grade(dir.path(), refusal.arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.errors.find(refusal.message), std::string::npos) << result.errors;
    EXPECT_EQ(result.output, "");
  }
  EXPECT_FALSE(fs::exists(dir.path() / "out"));
  EXPECT_EQ(readFile(dir.path() / "mine.json"), readFile(sumArray)) << "the exercise file was written";
}

// The copy handed to students: made by fivestage-grade --student-copy,
// checked by --check, which says what it leaves out, and refused for grading.
TEST(StudentCopyCli, WritesACopyThatChecksSayArePartialAndThatGradingRefuses) {
  const TempDir dir;
  writeClass(dir);
  const RunResult made = grade(dir.path(), {"--student-copy", sumArray, "copy.json"});
  EXPECT_EQ(made.status, 0) << made.errors;
  EXPECT_EQ(made.output, "copy.json: the student copy of " + sumArray + ", 2 hidden data sets left out\n");
  const auto copy = nlohmann::json::parse(readFile(dir.path() / "copy.json"));
  EXPECT_EQ(copy["hiddenDataSets"], 2);
  ASSERT_EQ(copy["data"].size(), 1u);
  EXPECT_EQ(copy["data"][0], nlohmann::json::parse(readFile(sumArray))["data"][0]);
  EXPECT_EQ(grade(dir.path(), {"--student-copy", sumArray, "-"}).output, readFile(dir.path() / "copy.json"))
      << "- writes the same copy on standard output";

  const RunResult text = report(dir.path(), {"--check", "copy.json", "class/ann"});
  EXPECT_EQ(text.status, 0) << text.errors;
  EXPECT_EQ(text.output.substr(text.output.find("passed\n")),
            "passed\n2 hidden data sets are checked at grading: this copy leaves them out\n");
  const RunResult json = report(dir.path(), {"--check", "copy.json", "class/ann", "--json", "-"});
  EXPECT_EQ(nlohmann::json::parse(json.output)["hiddenDataSets"], 2) << json.output;
  const RunResult full = report(dir.path(), {"--check", sumArray, "class/ann", "--json", "-"});
  EXPECT_FALSE(nlohmann::json::parse(full.output).contains("hiddenDataSets")) << "the full file's JSON is as it was";

  const RunResult again = grade(dir.path(), {"--student-copy", "copy.json", "copy2.json"});
  EXPECT_EQ(again.status, 0) << again.errors;
  EXPECT_EQ(readFile(dir.path() / "copy2.json"), readFile(dir.path() / "copy.json")) << "a copy of a copy keeps the count";

  const std::string refusal = "copy.json is a student copy, without its 2 hidden data sets: grade with the full exercise file";
  const RunResult graded = grade(dir.path(), {"copy.json", "class/ann", "--csv", "grades.csv"});
  EXPECT_EQ(graded.status, 2);
  EXPECT_EQ(graded.errors, "fivestage-grade: " + refusal + "\n");
  EXPECT_FALSE(fs::exists(dir.path() / "grades.csv"));
  for (const char* format : {"--junit", "--gradescope", "--prairielearn", "--coderunner", "--classroom"}) {
    SCOPED_TRACE(format);
    const RunResult platform = report(dir.path(), {"--check", "copy.json", "class/ann", format, "results"});
    EXPECT_EQ(platform.status, 2);
    EXPECT_EQ(platform.errors, "fivestage-report: " + std::string(format) + " writes a grade: " + refusal + "\n");
    EXPECT_FALSE(fs::exists(dir.path() / "results"));
  }
}

TEST(StudentCopyCli, RefusesBadUsageWithStatusTwo) {
  const TempDir dir;
  writeClass(dir);
  dir.write("mine.json", readFile(sumArray));
  auto allHidden = nlohmann::json::parse(readFile(sumArray));
  allHidden["data"][0]["hidden"] = true;
  dir.write("all-hidden.json", allHidden.dump());
  fs::create_directory(dir.path() / "folder");
  const Refusal cases[] = {
      {"over the exercise", {"--student-copy", "mine.json", "mine.json"}, "will not write mine.json: it is the exercise file"},
      {"into a folder", {"--student-copy", sumArray, "folder"}, "cannot write folder"},
      {"an option for a name", {"--student-copy", sumArray, "--out"}, "--student-copy takes EXERCISE OUT"},
      {"no output", {"--student-copy", sumArray}, "--student-copy takes EXERCISE OUT"},
      {"an empty name", {"--student-copy", sumArray, ""}, "--student-copy takes EXERCISE OUT"},
      {"a dash name", {"--student-copy", sumArray, "-x"}, "--student-copy takes EXERCISE OUT"},
      {"with submissions", {"--student-copy", sumArray, "copy.json", "class/ann"},
       "--student-copy EXERCISE OUT grades nothing: give it without submissions, not 'class/ann'"},
      {"with a grade sheet", {"--student-copy", sumArray, "copy.json", "--csv", "grades.csv"},
       "--student-copy writes a copy of the exercise, no grades: leave out --csv"},
      {"every data set hidden", {"--student-copy", "all-hidden.json", "copy.json"},
       "all-hidden.json: every data set is hidden"},
      {"an invalid exercise", {"--student-copy", "none.json", "copy.json"}, "none.json: there is no none.json"},
  };
  expectRefusals(grade, "fivestage-grade", dir.path(), {std::begin(cases), std::end(cases)});
  EXPECT_FALSE(fs::exists(dir.path() / "copy.json"));
  EXPECT_EQ(readFile(dir.path() / "mine.json"), readFile(sumArray)) << "the exercise file was written";
}

}  // namespace
}  // namespace fivestage
