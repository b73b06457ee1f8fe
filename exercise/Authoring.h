#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "exercise/Exercise.h"

namespace fivestage::exercise {

// Making an exercise from a teacher's own program, its solution: the
// values each data set expects are those the solution leaves, either on the
// exercise's machine or as the program means them. An exercise made from
// the meaning of a program the machine gets wrong (one to be fixed) is not
// passed by that program: the caller checks it and says so.

// Where the expected values come from: the run on the exercise's machine,
// or the program's meaning (the program run one instruction at a time).
enum class ExpectedFrom { Run, Meaning };

// The registers and memory words every data set is to check.
struct Expected {
  std::vector<RegisterNumber> registers;
  std::vector<std::int64_t> words;
  ExpectedFrom from = ExpectedFrom::Run;
};

// `draft` with each data set's expectations set to what `solution` leaves in
// the chosen registers and words, and without the energy files that repeat
// the bundled figures (they change nothing and lengthen a link). The
// solution itself is never put in the exercise. Throws ExerciseError when the
// solution does not complete on a data set, has no meaning to its end when
// the values come from it, or a data set lacks a register or word chosen.
Exercise authorExercise(Exercise draft, std::string_view solution, const Expected& expected);

// What the solution does on the draft's first data set, for the teacher to
// choose from: {"figures": {"cycles", "stalls", "energy", "instructions"},
// "asMeant", "registers": [{"register", "initial", "final", "meant"}],
// "memory": [{"word", ...}]}, listing the locations the run or the meaning
// changes ("meant" null when the program has no meaning to its end). Throws
// ExerciseError when the run does not complete.
nlohmann::ordered_json solutionChoices(const Exercise& draft, std::string_view solution);

// The exercise to hand out to students: without its hidden data sets, whose
// inputs and expected values are left out entirely, and with their number
// added to `hiddenDataSets`, so that a copy of a copy keeps the count. The
// visible data sets keep their weights: the copy's points are shared among
// them and the limits alone, so an answer right on all it can check scores
// full there, and the grade with the full file counts the hidden ones too.
// Throws ExerciseError when every data set is hidden: a copy needs one.
Exercise studentCopy(const Exercise& exercise);

// The exercise as the text of its file, which parseExercise reads back.
std::string exerciseText(const Exercise& exercise);

}  // namespace fivestage::exercise
