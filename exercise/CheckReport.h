#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>

#include "exercise/Checker.h"

namespace fivestage::exercise {

// Who reads the checks. A student is not shown the values of a hidden data
// set, only which of its checks failed; the teacher who grades sees them all.
enum class Audience { Student, Teacher };

// "sum: $2", or "instructions" for a check of the program itself: how a
// grade sheet names a check.
std::string checkName(const Check& check);

// Where a check looks and what it checks, as the text of the checks names
// it: "four words: word 8", or "program: instructions".
std::string placeText(const Check& check);

// What was observed and what was expected, "10 (expected 10)", or for a
// hidden data set's check the student reads "hidden data set: values not
// shown".
std::string checkDetail(const Check& check, Audience audience);

// "passed", or "2 of 9 checks failed".
std::string verdictText(const Outcome& outcome);

// "✓ four words: word 8: 10 (expected 10)", or for a hidden data set's check
// the student reads "✗ six words: word 8 (hidden data set: values not shown)".
std::string checkLine(const Check& check, Audience audience);

// A check before any run, as the page lists an exercise's checks: "four
// words: word 8: 10", "program: instructions: at most 12", or "six words:
// word 8 (hidden data set: values not shown)".
std::string checkListing(const Check& check, Audience audience);

// What a student copy's checks leave out: "2 hidden data sets are checked
// at grading: this copy leaves them out"; empty for a file with them all.
std::string hiddenDataSetsNote(const Exercise& exercise);

// Why a student copy cannot grade: "copy.json is a student copy, without its
// 2 hidden data sets: grade with the full exercise file". A grade from it
// would leave those data sets out.
std::string copyCannotGrade(const std::string& path, const Exercise& exercise);

// The title, the program check's warnings if there are any, every check on
// a line of its own with ✓ or ✗, what was observed and what was expected,
// then the verdict, and for a student copy the hidden data sets' note.
void writeCheckText(std::ostream& out, const Exercise& exercise, const Outcome& outcome, Audience audience);

// One check as JSON: {"data", "check", "passed", "bound", "expected",
// "observed", "points", "maxPoints"}; the data set is null for a check of the
// program itself, and a value not shown or not observed is null.
nlohmann::ordered_json checkJson(const Check& check, Audience audience);

// {"schema": 1, "exercise": TITLE, "passed", "score", "maxScore", "checks": [...],
// "warnings": [{"line", "kind", "message"}]}, the warnings as the report's;
// for a student copy "hiddenDataSets" too, the number left out, after "maxScore".
nlohmann::ordered_json outcomeJson(const Exercise& exercise, const Outcome& outcome, Audience audience);

}  // namespace fivestage::exercise
