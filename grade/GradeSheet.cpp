#include "grade/GradeSheet.h"

#include <charconv>
#include <ostream>

#include "exercise/CheckReport.h"
#include "report/JsonReport.h"

namespace fivestage::grade {
namespace {

using Json = nlohmann::ordered_json;

std::vector<std::string> failedChecks(const Grade& grade) {
  std::vector<std::string> names;
  if (!grade.outcome) return names;
  for (const exercise::Check& check : grade.outcome->checks) {
    if (!check.passed) names.push_back(exercise::checkName(check));
  }
  return names;
}

// The program check's warnings, one a line.
std::string warningsText(const Grade& grade) {
  std::string lines;
  if (!grade.outcome) return lines;
  for (const report::Warning& warning : grade.outcome->warnings) {
    lines += (lines.empty() ? "" : "\n") + report::warningText(warning);
  }
  return lines;
}

template <typename Value>
std::string optionalText(const std::optional<Value>& value) {
  return value ? std::to_string(*value) : "";
}

template <typename Value>
Json optionalJson(const std::optional<Value>& value) {
  return value ? Json(*value) : Json();
}

}  // namespace

std::string numberText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string csvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void writeCsv(std::ostream& out, const std::vector<Grade>& grades) {
  out << "submission,passed,score,cycles,energy,failed,error,warnings\r\n";
  for (const Grade& grade : grades) {
    std::string failed;
    for (const std::string& name : failedChecks(grade)) failed += (failed.empty() ? "" : ";") + name;
    const bool passed = grade.outcome && grade.outcome->passed();
    const double score = grade.outcome ? grade.outcome->score() : 0.0;
    const std::optional<Cycle> cycles = grade.outcome ? grade.outcome->cycles : std::nullopt;
    const std::optional<std::int64_t> energy = grade.outcome ? grade.outcome->energy : std::nullopt;
    out << csvField(grade.submission) << ',' << (passed ? "true" : "false") << ',' << numberText(score) << ','
        << optionalText(cycles) << ',' << optionalText(energy) << ',' << csvField(failed) << ','
        << csvField(grade.error) << ',' << csvField(warningsText(grade)) << "\r\n";
  }
}

Json gradesJson(const exercise::Exercise& exercise, const std::vector<Grade>& grades) {
  Json json;
  json["schema"] = exercise::Exercise::schemaVersion;
  json["exercise"] = exercise.title;
  json["maxScore"] = exercise.points;
  json["submissions"] = Json::array();
  for (const Grade& grade : grades) {
    Json entry;
    entry["submission"] = grade.submission;
    entry["passed"] = grade.outcome && grade.outcome->passed();
    entry["score"] = grade.outcome ? grade.outcome->score() : 0.0;
    entry["cycles"] = grade.outcome ? optionalJson(grade.outcome->cycles) : Json();
    entry["energy"] = grade.outcome ? optionalJson(grade.outcome->energy) : Json();
    entry["failed"] = failedChecks(grade);
    entry["error"] = grade.outcome ? Json() : Json(grade.error);
    entry["checks"] = Json::array();
    if (grade.outcome) {
      for (const exercise::Check& check : grade.outcome->checks) {
        entry["checks"].push_back(exercise::checkJson(check, exercise::Audience::Teacher));
      }
    }
    entry["warnings"] = report::warningsJson(grade.outcome ? grade.outcome->warnings : std::vector<report::Warning>{});
    json["submissions"].push_back(std::move(entry));
  }
  return json;
}

std::string gradeLine(const Grade& grade) {
  const std::string name = escapedName(grade.submission);
  if (!grade.outcome) return name + ": not graded: " + grade.error;
  const std::size_t warnings = grade.outcome->warnings.size();
  return name + ": " + exercise::verdictText(*grade.outcome) +
         (warnings == 0 ? "" : " (program check: " + report::warningCount(warnings) + ")");
}

std::string escapedName(std::string_view name) {
  std::string escaped;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      constexpr char digits[] = "0123456789abcdef";
      escaped += std::string("\\x") + digits[byte >> 4] + digits[byte & 0xf];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace fivestage::grade
