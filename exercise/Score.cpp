#include "exercise/Score.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <optional>
#include <string>

namespace fivestage::exercise {
namespace {

bool carriesPoints(const Check& check) { return check.kind == CheckKind::Result || check.kind == CheckKind::Limit; }

// Where a check's points come from: its data set, or the limits (nothing).
std::optional<std::string> groupOf(const Check& check) {
  return check.kind == CheckKind::Limit ? std::nullopt : std::optional<std::string>(check.data);
}

double weightOf(const Exercise& exercise, const std::optional<std::string>& group) {
  if (!group) return exercise.limitsWeight;
  const auto data = std::find_if(exercise.data.begin(), exercise.data.end(),
                                 [&](const DataSet& candidate) { return candidate.name == *group; });
  return data == exercise.data.end() ? 0 : data->weight;
}

// A score without the last bits of the sums of its parts: 0.3 + 0.3 + 0.3
// shows as 0.9, not 0.8999999999999999.
double rounded(double score) { return std::round(score * 1e9) / 1e9; }

}  // namespace

void sharePoints(const Exercise& exercise, std::vector<Check>& checks) {
  std::map<std::optional<std::string>, std::size_t> carriers;  // checks carrying points, by group
  for (const Check& check : checks) {
    if (carriesPoints(check)) ++carriers[groupOf(check)];
  }
  double totalWeight = 0;
  for (const auto& [group, count] : carriers) totalWeight += weightOf(exercise, group);
  for (Check& check : checks) {
    check.maxPoints = 0;
    if (!carriesPoints(check) || totalWeight <= 0) continue;
    const std::optional<std::string> group = groupOf(check);
    check.maxPoints = exercise.points * weightOf(exercise, group) / totalWeight /
                      static_cast<double>(carriers.at(group));
  }
}

bool resultsRight(const std::vector<Check>& checks) {
  return std::all_of(checks.begin(), checks.end(),
                     [](const Check& check) { return check.kind == CheckKind::Limit || check.passed; });
}

void awardPoints(std::vector<Check>& checks) {
  const bool right = resultsRight(checks);
  for (Check& check : checks) {
    const bool earned = check.passed && (check.kind != CheckKind::Limit || right);
    check.points = earned ? check.maxPoints : 0;
  }
}

double Outcome::score() const {
  const bool anyPoints = std::any_of(checks.begin(), checks.end(), [](const Check& check) { return check.maxPoints > 0; });
  if (!anyPoints) return passed() ? maxScore : 0;
  const bool allEarned =
      std::all_of(checks.begin(), checks.end(), [](const Check& check) { return check.points == check.maxPoints; });
  if (allEarned) return maxScore;  // exactly, whatever the rounding of the parts
  return rounded(std::accumulate(checks.begin(), checks.end(), 0.0,
                                 [](double sum, const Check& check) { return sum + check.points; }));
}

}  // namespace fivestage::exercise
