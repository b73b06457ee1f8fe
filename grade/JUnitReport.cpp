#include "grade/JUnitReport.h"

#include <cstdio>
#include <ostream>
#include <string>

#include "exercise/CheckReport.h"
#include "grade/GradeSheet.h"
#include "report/HtmlReport.h"

namespace fivestage::grade {
namespace {

using exercise::Check;

std::string attribute(const char* name, std::string_view value) {
  return std::string(" ") + name + "=\"" + xmlText(value) + "\"";
}

std::string attribute(const char* name, std::size_t value) { return attribute(name, std::to_string(value)); }

// Seconds to the millisecond, as JUnit reports write a time: "0.012".
std::string secondsText(std::chrono::duration<double> time) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f", time.count());
  return buffer;
}

// What a suite counts, for its own attributes and the whole report's.
struct Counts {
  std::size_t tests = 0, failures = 0, errors = 0;
  std::chrono::duration<double> time{};

  void add(const Counts& other) {
    tests += other.tests;
    failures += other.failures;
    errors += other.errors;
    time += other.time;
  }
  std::string attributes() const {
    return attribute("tests", tests) + attribute("failures", failures) + attribute("errors", errors) +
           attribute("skipped", std::size_t{0}) + attribute("time", secondsText(time));
  }
};

// A submission not graded has every check of the exercise, each an error.
Counts countsOf(const exercise::Exercise& exercise, const Grade& grade) {
  if (!grade.outcome) {
    const std::size_t checks = exercise::checksOf(exercise).size();
    return {checks, 0, checks, {}};
  }
  return {grade.outcome->checks.size(), grade.outcome->failedCount(), 0, grade.outcome->time};
}

void writeProperty(std::ostream& out, const char* indent, const char* name, double value) {
  out << indent << "  <property" << attribute("name", name) << attribute("value", numberText(value)) << "/>\n";
}

// One check; `error` says why the submission was not graded, when it was not.
void writeCase(std::ostream& out, const std::string& exerciseTitle, const Check& check, const std::string& error) {
  out << "    <testcase" << attribute("name", exercise::placeText(check)) << attribute("classname", exerciseTitle)
      << ">\n      <properties>\n";
  writeProperty(out, "      ", "points", check.points);
  writeProperty(out, "      ", "maxPoints", check.maxPoints);
  out << "      </properties>\n";
  if (!error.empty()) {
    out << "      <error" << attribute("message", "not graded: " + error) << attribute("type", "not graded") << "/>\n";
  } else if (!check.passed) {
    out << "      <failure" << attribute("message", exercise::checkDetail(check, exercise::Audience::Student))
        << attribute("type", "check failed") << "/>\n";
  }
  out << "    </testcase>\n";
}

void writeSuite(std::ostream& out, const exercise::Exercise& exercise, const Grade& grade) {
  out << "  <testsuite" << attribute("name", grade.submission) << countsOf(exercise, grade).attributes()
      << ">\n    <properties>\n";
  writeProperty(out, "    ", "score", grade.outcome ? grade.outcome->score() : 0.0);
  writeProperty(out, "    ", "maxScore", exercise.points);
  out << "    </properties>\n";
  if (grade.outcome) {
    for (const Check& check : grade.outcome->checks) writeCase(out, exercise.title, check, "");
  } else {
    for (const Check& check : exercise::checksOf(exercise)) writeCase(out, exercise.title, check, grade.error);
  }
  out << "  </testsuite>\n";
}

}  // namespace

std::string xmlText(std::string_view text) {
  std::string escaped;
  for (const char c : report::htmlEscaped(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t' || c == '\n' || c == '\r') {
      // As references, so that an attribute keeps them rather than a reader turning them into blanks.
      escaped += "&#" + std::to_string(byte) + ";";
    } else if (byte < 0x20) {
      escaped += escapedName(std::string_view(&c, 1));  // a character XML 1.0 cannot hold
    } else {
      escaped += c;
    }
  }
  return escaped;
}

void writeJUnit(std::ostream& out, const exercise::Exercise& exercise, const std::vector<Grade>& grades) {
  Counts total;
  for (const Grade& grade : grades) total.add(countsOf(exercise, grade));
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" << attribute("name", exercise.title)
      << total.attributes() << ">\n";
  for (const Grade& grade : grades) writeSuite(out, exercise, grade);
  out << "</testsuites>\n";
}

}  // namespace fivestage::grade
