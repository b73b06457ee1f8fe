#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "grade/Grader.h"

namespace fivestage::grade {

// One answer's checks in the result formats of the platforms where teachers
// grade, each made of the fields the platform documents. Each check is one
// test, named as the text of the checks names it ("four words: word 8"),
// with the points the score gives it. All are for the student's eyes: a
// hidden data set's expected and observed values appear in no field. A grade
// without an outcome (a folder without a src.txt to check) still gets a
// result, of score 0, saying why, so that a platform always has one.

// Gradescope's results.json: {"score", "execution_time", "output", "tests":
// [{"name", "score", "max_score", "status", "output", "visibility"}],
// "leaderboard": [{"name", "value", "order"}]}, a hidden data set's tests
// "after_published", the leaderboard the cycles and energy on the first data
// set, the fewer the better, for an answer whose results are all right.
nlohmann::ordered_json gradescopeResults(const exercise::Exercise& exercise, const Grade& grade);

// PrairieLearn's external grader results.json: {"gradable", "score" from 0
// to 1, "message", "output", "tests": [{"name", "description", "points",
// "max_points", "message", "output"}]}; a grade without an outcome is not
// gradable, with "format_errors" saying why.
nlohmann::ordered_json prairieLearnResults(const exercise::Exercise& exercise, const Grade& grade);

// What a CodeRunner combinator template grader prints: {"fraction",
// "prologuehtml", "testresults", "epiloguehtml"}, the test results a header
// row (["iscorrect", "Check", "Result", "Points", "Out of", "ishidden"]) and a row per
// check, a hidden data set's rows hidden.
nlohmann::ordered_json codeRunnerResults(const exercise::Exercise& exercise, const Grade& grade);

// What a GitHub Classroom test step gives its reporter: the base64 of
// {"version": 1, "status", "max_score", "tests": [{"name", "status",
// "score", "message"}]}, each status "pass", "fail" or "error".
std::string classroomResult(const exercise::Exercise& exercise, const Grade& grade);

// `bytes` in base64 (RFC 4648), padded with '='.
std::string base64(std::string_view bytes);

}  // namespace fivestage::grade
