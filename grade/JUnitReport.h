#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "grade/Grader.h"

namespace fivestage::grade {

// The checks as JUnit XML, which continuous integration servers and
// graders read as test results: <testsuites> holding one <testsuite> per
// submission, named by the submission, and in it one <testcase> per check,
// named as the text of the checks names it ("four words: word 8"), with its
// points and maxPoints as properties, and a <failure> whose message says
// what was observed and expected when it failed. A submission that could
// not be graded gets every check of the exercise with an <error> saying why.
// Written for the student's eyes: a hidden data set's values never appear.
void writeJUnit(std::ostream& out, const exercise::Exercise& exercise, const std::vector<Grade>& grades);

// A text as XML (or HTML) character data or an attribute's value: & < > " '
// as the HTML report escapes them, tab and line ends as character
// references, and a control character XML cannot hold written \xHH.
std::string xmlText(std::string_view text);

}  // namespace fivestage::grade
