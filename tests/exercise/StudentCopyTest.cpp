// The student copy of an exercise: its hidden data sets are left out whole,
// inputs and expected values, the visible ones kept as they are, the count
// of those left out kept through copies, and what --check says of it.
#include <gtest/gtest.h>

#include <sstream>

#include "exercise/Authoring.h"
#include "exercise/CheckReport.h"
#include "exercise/Checker.h"

namespace fivestage::exercise {
namespace {

using Json = nlohmann::ordered_json;

// $3 = $1 + $2, stored in word 0 (lw stores).
constexpr const char* addition = "add $3, $1, $2\nlw $3, 0($0)\n";

DataSet dataSet(const std::string& name, bool hidden, Word first, Word second, double weight = 1) {
  DataSet data;
  data.name = name;
  data.hidden = hidden;
  data.registerText = "0\n" + std::to_string(first) + "\n" + std::to_string(second) + "\n0\n";
  data.memoryText = "0\n";
  data.expect.registers[3] = first + second;
  data.expect.memory[0] = first + second;
  data.weight = weight;
  return data;
}

// Two visible data sets and two hidden ones, whose inputs and sums are
// numbers found nowhere else in the file, so that a search finds them only
// if they leaked.
Exercise addTwo() {
  Exercise exercise;
  exercise.title = "Add two registers";
  exercise.statement = "Put $1 + $2 into $3 and word 0.";
  exercise.files["src.txt"] = "# yours\n";
  exercise.data = {dataSet("small", false, 4, 5), dataSet("secret one", true, 731909, 804417, 2),
                   dataSet("large", false, 100, 200), dataSet("secret two", true, -6150223, 2930, 3)};
  exercise.limits.instructions = 2;
  exercise.points = 12;
  return exercise;
}

bool sameDataSet(const DataSet& a, const DataSet& b) {
  return a.name == b.name && a.registerText == b.registerText && a.memoryText == b.memoryText &&
         a.hidden == b.hidden && a.expect.registers == b.expect.registers && a.expect.memory == b.expect.memory &&
         a.weight == b.weight;
}

TEST(StudentCopy, HoldsNoHiddenDataSetsInputOrExpectedValue) {
  const Exercise full = addTwo();
  const std::string text = exerciseText(studentCopy(full));
  for (const DataSet& data : full.data) {
    if (!data.hidden) continue;
    SCOPED_TRACE(data.name);
    const std::string leaks[] = {data.name,
                                 Json(data.registerText).dump(),  // as the file's JSON writes the text
                                 std::to_string(data.expect.registers.at(3)),
                                 std::to_string(data.expect.memory.at(0))};
    for (const std::string& leak : leaks) EXPECT_EQ(text.find(leak), std::string::npos) << leak << " in " << text;
    // Each input number alone, too: a reg.txt written another way would still show them.
    std::istringstream lines(data.registerText);
    for (std::string line; std::getline(lines, line);) {
      if (line.size() > 3) {
        EXPECT_EQ(text.find(line), std::string::npos) << line << " in " << text;
      }
    }
  }
}

TEST(StudentCopy, KeepsTheVisibleDataSetsAsTheyAreAndReadsBack) {
  const Exercise full = addTwo();
  const Exercise copy = parseExercise(exerciseText(studentCopy(full)));
  ASSERT_EQ(copy.data.size(), 2u);
  EXPECT_TRUE(sameDataSet(copy.data[0], full.data[0]));
  EXPECT_TRUE(sameDataSet(copy.data[1], full.data[2]));
  EXPECT_EQ(copy.hiddenDataSets, 2);
  EXPECT_EQ(copy.title, full.title);
  EXPECT_EQ(copy.limits.instructions, full.limits.instructions);
  EXPECT_EQ(copy.points, full.points);
  EXPECT_EQ(exerciseText(copy), exerciseText(studentCopy(full))) << "the copy's file reads back as itself";
}

TEST(StudentCopy, CountsTheHiddenDataSetsLeftOutThroughEveryCopy) {
  const struct {
    const char* name;
    std::vector<bool> hidden;
    std::int64_t before, after;
  } cases[] = {
      {"none hidden", {false, false}, 0, 0},
      {"one hidden", {false, true}, 0, 1},
      {"the first hidden", {true, false, false}, 0, 1},
      {"a copy of a copy", {false}, 2, 2},
      {"a copy with one more hidden", {false, true}, 3, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Exercise exercise = addTwo();
    exercise.data.clear();
    for (std::size_t i = 0; i < c.hidden.size(); ++i) {
      exercise.data.push_back(dataSet("set " + std::to_string(i), c.hidden[i], 1, static_cast<Word>(i)));
    }
    exercise.hiddenDataSets = c.before;
    const Exercise copy = parseExercise(exerciseText(studentCopy(exercise)));
    EXPECT_EQ(copy.hiddenDataSets, c.after);
    EXPECT_EQ(copy.data.size(), static_cast<std::size_t>(std::count(c.hidden.begin(), c.hidden.end(), false)));
    EXPECT_EQ(Json::parse(exerciseText(copy)).contains("hiddenDataSets"), c.after > 0) << "0 is left out";
  }
}

TEST(StudentCopy, RefusesAnExerciseWhoseEveryDataSetIsHidden) {
  Exercise exercise = addTwo();
  exercise.data = {dataSet("a", true, 1, 2), dataSet("b", true, 3, 4)};
  try {
    studentCopy(exercise);
    FAIL() << "a copy with no data set was made";
  } catch (const ExerciseError& error) {
    EXPECT_NE(std::string(error.what()).find("every data set is hidden"), std::string::npos) << error.what();
  }
}

// The copy scores its visible data sets and the limits, their weights
// against each other's: an answer right on all it can check gets the full
// points there, while the full file's grade counts the hidden ones too.
TEST(StudentCopy, ScoresTheVisibleDataSetsOutOfTheFullPoints) {
  const Exercise full = addTwo();
  const Exercise copy = studentCopy(full);
  const struct {
    const char* name;
    const char* source;
    double copyScore, fullScore;
  } cases[] = {
      {"a right answer", addition, 12, 12},
      // Right where $1 + $2 = 9 only: a visible data set weighing 1 of the copy's 3 (two data sets
      // and the limits), of 1 + 2 + 1 + 3 + 1 in the full file; the limits earn nothing while a
      // result is wrong.
      {"right on the first data set only", "addi $3, $0, 9\nlw $3, 0($0)\n", 4, 1.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(Checker(copy).check(c.source).score(), c.copyScore, 1e-9);
    EXPECT_NEAR(Checker(full).check(c.source).score(), c.fullScore, 1e-9);
  }
}

// A student copy's checks say how many data sets are checked at grading, in
// the text and the JSON; the full file's say nothing new.
TEST(StudentCopy, ChecksSayHowManyHiddenDataSetsAreCheckedAtGrading) {
  const struct {
    const char* name;
    std::int64_t count;
    const char* line;
  } cases[] = {
      {"full file", 0, ""},
      {"one left out", 1, "1 hidden data set is checked at grading: this copy leaves it out"},
      {"two left out", 2, "2 hidden data sets are checked at grading: this copy leaves them out"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Exercise exercise = studentCopy(addTwo());
    exercise.hiddenDataSets = c.count;
    const Outcome outcome = Checker(exercise).check(addition);
    std::ostringstream text;
    writeCheckText(text, exercise, outcome, Audience::Student);
    const std::string verdictLine = verdictText(outcome) + "\n";
    const std::string expectedEnd = c.count == 0 ? verdictLine : verdictLine + c.line + "\n";
    ASSERT_GE(text.str().size(), expectedEnd.size());
    EXPECT_EQ(text.str().substr(text.str().size() - expectedEnd.size()), expectedEnd) << text.str();
    EXPECT_EQ(hiddenDataSetsNote(exercise), c.line);
    const Json json = outcomeJson(exercise, outcome, Audience::Student);
    EXPECT_EQ(json.contains("hiddenDataSets"), c.count > 0);
    if (c.count > 0) {
      EXPECT_EQ(json["hiddenDataSets"], c.count);
    }
  }
}

}  // namespace
}  // namespace fivestage::exercise
