#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "exercise/Checker.h"

namespace fivestage::grade {

// The grade of one submission folder.
struct Grade {
  std::string submission;                    // the folder as the teacher named it
  std::optional<exercise::Outcome> outcome;  // empty when it could not be graded
  std::string error;                         // why it could not, when it could not
};

// Grades one submission: reads its src.txt (its own regular file, never
// through a link) and checks it. Never throws: whatever goes wrong, running
// out of memory included, becomes the grade's error.
Grade gradeSubmission(const exercise::Checker& checker, const std::string& submission);

// The submission folders named, each once, in the order first named, and
// each later name of a folder already listed with the name it repeats.
struct Distinct {
  std::vector<std::string> submissions;
  std::vector<std::pair<std::string, std::string>> repeats;  // {repeated name, name kept}
};

// Two names are one folder when they are one path once made absolute, with
// ".", "..", doubled and trailing slashes taken out and the folders above
// the last part resolved through links: "a", "./a/" and "$PWD/a" are one.
// The last part is not resolved: a link named as a submission is not the
// folder it leads to (it is not graded, and gets a row of its own).
Distinct distinctSubmissions(const std::vector<std::string>& names);

// Called after each submission is graded, with how many are done of how many.
using Progress = std::function<void(std::size_t done, std::size_t total)>;

// Grades every submission with `jobs` threads sharing one checker, each
// taking the next submission from a shared counter: a submission that runs
// to the exercise's cycle cap holds up one thread only. The grades come in
// the order of the submissions. `progress` is called from the workers, one
// at a time.
std::vector<Grade> gradeAll(const exercise::Exercise& exercise, const std::vector<std::string>& submissions,
                            unsigned jobs, const Progress& progress);

}  // namespace fivestage::grade
