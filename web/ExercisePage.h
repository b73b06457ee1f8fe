#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/Machine.h"

namespace fivestage::web {

// The page's exercises. Each takes an exercise file as the page's script
// read it from JSON (or a draft of one, in the same layout) and returns a
// JSON text for the script: what it asked for, or {"error": MESSAGE} when
// the file is not a valid exercise or the work cannot be done, with the
// validator's message. The browser reads the JSON: the module need not.

// What the page shows of an exercise and fills its editors with: {"title",
// "statement", "machine", "inputs" (src.txt, the first data set's reg.txt
// and mem.txt, every energy file the checks use), "editable" (src.txt
// first), "checks" (the line of each check before any run, without the
// values of a hidden data set), "hiddenNote" (for a student copy, that its
// hidden data sets are checked at grading; empty otherwise)}.
std::string exerciseView(const nlohmann::ordered_json& exercise);

// The checks of the answer `source`, as the student sees them: {"verdict",
// "lines" (each check's line), "warnings" (the program check's, a line
// each), "outcome"}, in the words of fivestage-report --check, the outcome
// being what fivestage-report --check --json writes.
std::string checkAnswer(const nlohmann::ordered_json& exercise, const std::string& source);

// What `solution` does on the draft's first data set, for the teacher to
// choose checks from (see solutionChoices).
std::string answerChoices(const nlohmann::ordered_json& draft, const std::string& solution);

// The exercise made from the draft and the teacher's `solution`: {"text"
// (the file), "studentCopy" ({"text", "hiddenDataSets"} of the copy to hand
// out, or {"error"} when every data set is hidden), "verdict", "lines",
// "warnings", "outcome" (the solution checked against it, every value shown)}.
std::string authorExercise(const nlohmann::ordered_json& draft, const std::string& solution,
                           const std::vector<RegisterNumber>& registers, const std::vector<std::int64_t>& words,
                           bool fromMeaning);

}  // namespace fivestage::web
