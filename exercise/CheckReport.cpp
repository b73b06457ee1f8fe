#include "exercise/CheckReport.h"

#include <ostream>

#include "report/JsonReport.h"

namespace fivestage::exercise {
namespace {

using Json = nlohmann::ordered_json;

bool valuesShown(const Check& check, Audience audience) { return !check.hidden || audience == Audience::Teacher; }

std::string valueText(const CheckValue& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  return std::get<std::string>(value);
}

Json valueJson(const CheckValue& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
  return std::get<std::string>(value);
}

std::string expectedText(const Check& check) {
  return (check.bound == Bound::AtMost ? "at most " : "") + valueText(check.expected);
}

constexpr std::string_view valuesHidden = "hidden data set: values not shown";

}  // namespace

std::string placeText(const Check& check) { return (check.data.empty() ? "program" : check.data) + ": " + check.text; }

std::string checkDetail(const Check& check, Audience audience) {
  if (!valuesShown(check, audience)) return std::string(valuesHidden);
  return (check.observed ? valueText(*check.observed) : "not reached") + " (expected " + expectedText(check) + ")";
}

std::string checkName(const Check& check) { return check.data.empty() ? check.text : check.data + ": " + check.text; }

std::string verdictText(const Outcome& outcome) {
  const std::size_t failed = outcome.failedCount();
  if (failed == 0) return "passed";
  return std::to_string(failed) + " of " + std::to_string(outcome.checks.size()) + " checks failed";
}

std::string checkLine(const Check& check, Audience audience) {
  const std::string line = (check.passed ? "✓ " : "✗ ") + placeText(check);
  const std::string detail = checkDetail(check, audience);
  return valuesShown(check, audience) ? line + ": " + detail : line + " (" + detail + ")";
}

std::string checkListing(const Check& check, Audience audience) {
  if (!valuesShown(check, audience)) return placeText(check) + " (" + std::string(valuesHidden) + ")";
  return placeText(check) + ": " + expectedText(check);
}

std::string hiddenDataSetsNote(const Exercise& exercise) {
  const std::int64_t count = exercise.hiddenDataSets;
  if (count == 0) return "";
  const bool one = count == 1;
  return std::to_string(count) + (one ? " hidden data set is" : " hidden data sets are") +
         " checked at grading: this copy leaves " + (one ? "it" : "them") + " out";
}

std::string copyCannotGrade(const std::string& path, const Exercise& exercise) {
  const std::int64_t count = exercise.hiddenDataSets;
  return path + " is a student copy, without its " + std::to_string(count) + " hidden data set" +
         (count == 1 ? "" : "s") + ": grade with the full exercise file";
}

void writeCheckText(std::ostream& out, const Exercise& exercise, const Outcome& outcome, Audience audience) {
  out << exercise.title << "\n";
  if (!outcome.warnings.empty()) report::writeWarnings(out, outcome.warnings);
  for (const Check& check : outcome.checks) out << checkLine(check, audience) << "\n";
  out << verdictText(outcome) << "\n";
  if (const std::string note = hiddenDataSetsNote(exercise); !note.empty()) out << note << "\n";
}

Json checkJson(const Check& check, Audience audience) {
  const bool shown = valuesShown(check, audience);
  Json json;
  json["data"] = check.data.empty() ? Json() : Json(check.data);
  json["check"] = check.text;
  json["passed"] = check.passed;
  json["bound"] = check.bound == Bound::AtMost ? "at most" : "equal";
  json["expected"] = shown ? valueJson(check.expected) : Json();
  json["observed"] = shown && check.observed ? valueJson(*check.observed) : Json();
  json["points"] = check.points;
  json["maxPoints"] = check.maxPoints;
  return json;
}

Json outcomeJson(const Exercise& exercise, const Outcome& outcome, Audience audience) {
  Json json;
  json["schema"] = Exercise::schemaVersion;
  json["exercise"] = exercise.title;
  json["passed"] = outcome.passed();
  json["score"] = outcome.score();
  json["maxScore"] = outcome.maxScore;
  if (exercise.hiddenDataSets > 0) json["hiddenDataSets"] = exercise.hiddenDataSets;
  json["checks"] = Json::array();
  for (const Check& check : outcome.checks) json["checks"].push_back(checkJson(check, audience));
  json["warnings"] = report::warningsJson(outcome.warnings);
  return json;
}

}  // namespace fivestage::exercise
