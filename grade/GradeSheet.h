#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "grade/Grader.h"

namespace fivestage::grade {

// The shortest text that reads back as the same number: 1, 0.75, 0.3333333333333333.
std::string numberText(double value);

// A CSV field as RFC 4180 writes it: in double quotes, its quotes doubled,
// when it holds a comma, a quote or a line end; as it is otherwise.
std::string csvField(std::string_view text);

// The grade sheet: a header line and one row per submission, with the
// columns submission,passed,score,cycles,energy,failed,error,warnings.
// cycles and energy are the first data set's; failed lists the failed checks
// separated by ';'; warnings the program check's, one a line ("line 6: ...").
void writeCsv(std::ostream& out, const std::vector<Grade>& grades);

// {"schema": 1, "exercise": TITLE, "maxScore", "submissions": [{"submission", "passed",
// "score", "cycles", "energy", "failed", "error", "checks", "warnings"}]},
// with every value of every check: the grade sheet is the teacher's.
nlohmann::ordered_json gradesJson(const exercise::Exercise& exercise, const std::vector<Grade>& grades);

// "alice: passed", "bob: 2 of 9 checks failed (program check: 1 warning)"
// or "eve: not graded: why", the submission's name escaped for a terminal.
std::string gradeLine(const Grade& grade);

// A name as one line of a terminal shows it: a backslash doubled, a control
// character (bytes 0 to 31 and 127) escaped as \n, \r, \t or \xHH. A name
// without either stays as it is.
std::string escapedName(std::string_view name);

}  // namespace fivestage::grade
