// Checking an answer: each kind of check passes at its boundary and fails one
// beyond it, hidden data sets catch a hard-coded answer, and the worked
// examples pass with their model answers and fail from their starting programs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <limits>
#include <sstream>

#include "exercise/BundledEnergy.h"
#include "exercise/CheckReport.h"
#include "exercise/Checker.h"
#include "exercise/FileRead.h"
#include "report/JsonReport.h"
#include "tests/support/TempDir.h"

namespace fivestage::exercise {
namespace {

namespace fs = std::filesystem;

// $1 = 5, then $2 = $1 + $1, which waits for $1: one stall on the machine without options.
constexpr const char* doubling = "addi $1, $0, 5\nadd $2, $1, $1\n";

Exercise exerciseWith(std::function<void(Exercise&)> change = nullptr) {
  Exercise exercise;
  exercise.title = "Doubling";
  DataSet data;
  data.name = "seen";
  data.registerText = "0\n0\n0\n0\n";
  data.memoryText = "0\n0\n";
  exercise.data.push_back(data);
  if (change) change(exercise);
  return exercise;
}

Outcome check(const Exercise& exercise, std::string_view source = doubling) { return Checker(exercise).check(source); }

const Check& checkNamed(const Outcome& outcome, const std::string& text) {
  const auto found = std::find_if(outcome.checks.begin(), outcome.checks.end(),
                                  [&](const Check& check) { return check.text == text; });
  if (found == outcome.checks.end()) throw std::runtime_error("no check " + text);
  return *found;
}

std::vector<std::string> failedNames(const Outcome& outcome) {
  std::vector<std::string> names;
  for (const Check& check : outcome.checks) {
    if (!check.passed) names.push_back(checkName(check));
  }
  return names;
}

std::int64_t numberOf(const std::optional<CheckValue>& value) { return std::get<std::int64_t>(value.value()); }

struct LimitCase {
  const char* check;
  std::function<void(Limits&, std::int64_t)> set;
};

TEST(Checker, EachLimitPassesAtItsValueAndFailsOneBelow) {
  const LimitCase cases[] = {
      {"cycles", [](Limits& limits, std::int64_t value) { limits.cycles = value; }},
      {"stalls", [](Limits& limits, std::int64_t value) { limits.stalls = value; }},
      {"energy", [](Limits& limits, std::int64_t value) { limits.energy = value; }},
      {"energy-delay", [](Limits& limits, std::int64_t value) { limits.energyDelay = value; }},
      {"instructions", [](Limits& limits, std::int64_t value) { limits.instructions = value; }},
  };
  for (const LimitCase& limit : cases) {
    SCOPED_TRACE(limit.check);
    const auto limited = [&](std::int64_t value) {
      return check(exerciseWith([&](Exercise& exercise) { limit.set(exercise.limits, value); }));
    };
    const std::int64_t observed = numberOf(checkNamed(limited(1'000'000), limit.check).observed);
    ASSERT_GT(observed, 0) << "the program must have some of it, so that one less is a limit";
    const Check atLimit = checkNamed(limited(observed), limit.check);
    EXPECT_TRUE(atLimit.passed);
    EXPECT_EQ(atLimit.bound, Bound::AtMost);
    const Check beyond = checkNamed(limited(observed - 1), limit.check);
    EXPECT_FALSE(beyond.passed);
    EXPECT_EQ(numberOf(beyond.observed), observed);
  }
}

// A loop of three turns ($1 counts to 3): on the exercise's machine its
// branch is mispredicted as that machine's predictor does, and the limit
// holds at that count, not one below.
TEST(Checker, TheMispredictionsLimitCountsTheExercisesPredictor) {
  constexpr const char* loop = "addi $1, $0, 3\naddi $2, $0, 0\naddi $2, $2, 1\nbne $2, $1, L3\naddi $3, $0, 1\n";
  const struct {
    MachineOptions machine;
    std::int64_t mispredictions;
  } cases[] = {
      {{false, true}, 2},                           // flush: each taken turn
      {{true, true, Predictor::Taken}, 1},          // only the exit
      {{true, true, Predictor::OneBit}, 2},         // entering and leaving
      {{false, false}, 0},                          // no flush: nothing is predicted
  };
  for (const auto& c : cases) {
    const auto limited = [&](std::int64_t value) {
      return checkNamed(check(exerciseWith([&](Exercise& exercise) {
                          exercise.machine = c.machine;
                          exercise.limits.mispredictions = value;
                        }),
                              loop),
                        "mispredictions");
    };
    const Check atLimit = limited(c.mispredictions);
    EXPECT_TRUE(atLimit.passed) << c.mispredictions;
    EXPECT_EQ(numberOf(atLimit.observed), c.mispredictions);
    if (c.mispredictions > 0) {
      EXPECT_FALSE(limited(c.mispredictions - 1).passed) << c.mispredictions;
    }
  }
}

// The same loop: with forwarding each misprediction fetches one
// instruction on the wrong path, which Fetch charges 120 for in the bundled
// figures. Without forwarding the bne waits for $2 in a stall that holds
// Fetch, so nothing behind it is fetched to be cancelled; without flush
// nothing is cancelled at all. The limit holds at that energy, not one below.
TEST(Checker, TheWrongPathEnergyLimitCountsTheCancelledFetches) {
  constexpr const char* loop = "addi $1, $0, 3\naddi $2, $0, 0\naddi $2, $2, 1\nbne $2, $1, L3\naddi $3, $0, 1\n";
  const struct {
    MachineOptions machine;
    std::int64_t wrongPathEnergy;
  } cases[] = {
      {{true, true}, 240},                     // flush: each taken turn
      {{false, true}, 0},                      // flush, but Fetch is held until the bne resolves
      {{true, true, Predictor::Taken}, 120},   // only the exit
      {{true, true, Predictor::OneBit}, 240},  // entering and leaving
      {{false, false}, 0},                     // no flush: the fetch behind the branch runs
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wrongPathEnergy);
    const auto limited = [&](std::int64_t value) {
      return check(exerciseWith([&](Exercise& exercise) {
                     exercise.machine = c.machine;
                     exercise.limits.wrongPathEnergy = value;
                     exercise.limits.energyDelay = 1'000'000'000;
                   }),
                   loop);
    };
    const Outcome atLimit = limited(c.wrongPathEnergy);
    const Check& wrongPath = checkNamed(atLimit, "wrong-path energy");
    EXPECT_TRUE(wrongPath.passed);
    EXPECT_EQ(wrongPath.bound, Bound::AtMost);
    EXPECT_EQ(numberOf(wrongPath.observed), c.wrongPathEnergy);
    // The energy-delay product is the run's energy times its cycles.
    EXPECT_EQ(numberOf(checkNamed(atLimit, "energy-delay").observed), *atLimit.energy * *atLimit.cycles);
    if (c.wrongPathEnergy > 0) {
      EXPECT_FALSE(checkNamed(limited(c.wrongPathEnergy - 1), "wrong-path energy").passed);
    }
  }
}

// A product beyond the largest whole number stays above every limit but
// that number, instead of wrapping round to a small one that would pass.
TEST(Checker, AnEnergyDelayTooLargeToHoldIsTheLargestNumber) {
  report::RunRecord record;
  record.cycles = 3;
  record.energyByStage[0] = std::numeric_limits<std::int64_t>::max() / 2;
  EXPECT_EQ(energyDelayOf(record), std::numeric_limits<std::int64_t>::max());
  record.cycles = 2;
  EXPECT_EQ(energyDelayOf(record), std::numeric_limits<std::int64_t>::max() - 1);
}

TEST(Checker, CountsTheProgramsFiguresAsTheReportDoes) {
  const Outcome outcome = check(exerciseWith([](Exercise& exercise) {
    exercise.limits.stalls = 100;
    exercise.limits.instructions = 100;
  }));
  EXPECT_EQ(numberOf(checkNamed(outcome, "stalls").observed), 1);
  EXPECT_EQ(numberOf(checkNamed(outcome, "instructions").observed), 2);
  EXPECT_EQ(checkNamed(outcome, "instructions").data, "") << "a check of the program, not of a data set";
}

struct ValueCase {
  const char* name;
  std::function<void(Expectation&)> expect;
  const char* check;
  bool passed;
  std::optional<CheckValue> observed;
};

TEST(Checker, ComparesExpectedRegistersAndWords) {
  // The program stores $2 into word 1 (this machine's lw stores).
  const std::string storing = std::string(doubling) + "lw $2, 1($0)\n";
  const ValueCase cases[] = {
      {"register right", [](Expectation& e) { e.registers[2] = 10; }, "$2", true, CheckValue(std::int64_t{10})},
      {"register one off", [](Expectation& e) { e.registers[2] = 11; }, "$2", false, CheckValue(std::int64_t{10})},
      {"register beyond the file", [](Expectation& e) { e.registers[4] = 0; }, "$4", false,
       CheckValue(std::string("no such register"))},
      {"word right", [](Expectation& e) { e.memory[1] = 10; }, "word 1", true, CheckValue(std::int64_t{10})},
      {"word one off", [](Expectation& e) { e.memory[1] = 9; }, "word 1", false, CheckValue(std::int64_t{10})},
      {"word left alone", [](Expectation& e) { e.memory[0] = 0; }, "word 0", true, CheckValue(std::int64_t{0})},
      {"word beyond memory", [](Expectation& e) { e.memory[2] = 0; }, "word 2", false,
       CheckValue(std::string("no such word"))},
  };
  for (const ValueCase& value : cases) {
    SCOPED_TRACE(value.name);
    const Outcome outcome = check(exerciseWith([&](Exercise& e) { value.expect(e.data[0].expect); }), storing);
    const Check& result = checkNamed(outcome, value.check);
    EXPECT_EQ(result.passed, value.passed);
    EXPECT_EQ(result.observed, value.observed);
  }
}

TEST(Checker, ARunStillGoingAtTheCapFailsItsDataSetWithTheReason) {
  const auto capped = [](Cycle maxCycles) {
    return check(exerciseWith([&](Exercise& exercise) {
      exercise.maxCycles = maxCycles;
      exercise.data[0].expect.registers[2] = 10;
      exercise.limits.cycles = 1000;
      exercise.limits.energyDelay = 1'000'000;
      exercise.limits.wrongPathEnergy = 0;
    }));
  };
  const Cycle cycles = *capped(1000).cycles;
  EXPECT_TRUE(capped(cycles).passed()) << "a run that ends in the last cycle allowed completes";

  const Outcome stopped = capped(cycles - 1);
  EXPECT_EQ(failedNames(stopped), (std::vector<std::string>{"seen: run completes", "seen: $2", "seen: cycles",
                                                             "seen: energy-delay", "seen: wrong-path energy"}));
  EXPECT_EQ(checkNamed(stopped, "run completes").observed,
            CheckValue("still running after " + std::to_string(cycles - 1) + " cycles (the exercise's maxCycles)"));
  EXPECT_FALSE(checkNamed(stopped, "$2").observed) << "a value the run did not get to is not shown as observed";
  EXPECT_FALSE(stopped.cycles) << "no figures from a run that did not complete";
}

TEST(Checker, ARunEndingInAnErrorFailsWithTheConsolesMessage) {
  const Outcome outcome = check(exerciseWith(), "addi $1, $0, 1\nxor $1, $1, $1\n");
  const Check& completes = checkNamed(outcome, "run completes");
  EXPECT_FALSE(completes.passed);
  const std::string reason = std::get<std::string>(completes.observed.value());
  EXPECT_EQ(reason.rfind("ended in cycle ", 0), 0u) << reason;
}

TEST(Checker, AsMeantFailsWhenTheInstructionBehindATakenBranchRunsUnlessTheMachineFlushes) {
  // The addi behind the taken beq runs on the machine without options only.
  const char* program = "beq $0, $0, L3\naddi $1, $0, 7\nadd $2, $0, $0\n";
  for (const bool flush : {false, true}) {
    SCOPED_TRACE(flush ? "flush" : "no flush");
    const Outcome outcome = check(exerciseWith([&](Exercise& exercise) {
                                    exercise.asMeant = true;
                                    exercise.machine.flush = flush;
                                  }),
                                  program);
    EXPECT_EQ(checkNamed(outcome, "as meant").passed, flush);
  }
}

TEST(Checker, TheExercisesEnergyFiguresReplaceTheBundledOnesFileByFile) {
  const auto energy = [](std::optional<std::string> fetch) {
    return check(exerciseWith([&](Exercise& exercise) {
             exercise.limits.energy = 1'000'000;
             if (fetch) exercise.files["EnergyConsumptionInput/Fetch/energy.txt"] = *fetch;
           }))
        .energy.value();
  };
  const std::int64_t bundled = energy(std::nullopt);
  // Two fetches: each costs 1000 more than it did, and nothing else changes.
  EXPECT_EQ(energy("1000\n") - energy("0\n"), 2000);
  EXPECT_GT(bundled, energy("0\n"));
}

// An exercise may model clock gating: its idle figures count as a folder's do.
TEST(Checker, TheExercisesIdleFiguresChargeEveryCycleAStageDoesNoWork) {
  const auto outcomeWith = [](std::optional<std::string> idle) {
    return check(exerciseWith([&](Exercise& exercise) {
      exercise.limits.energy = 1'000'000;
      if (idle) exercise.files["EnergyConsumptionInput/Fetch/idle.txt"] = *idle;
    }));
  };
  const Outcome gated = outcomeWith(std::nullopt);
  const Outcome leaky = outcomeWith("1000\n");
  // Fetch works in the cycles of its two fetches and idles in every other.
  EXPECT_EQ(leaky.cycles, gated.cycles);
  EXPECT_EQ(leaky.energy.value() - gated.energy.value(), 1000 * (gated.cycles.value() - 2));
  EXPECT_EQ(outcomeWith("0\n").energy, gated.energy);
}

TEST(Checker, AHiddenDataSetCatchesAHardCodedAnswer) {
  // $2 must be twice $1: the hard-coded answer knows only the data set it sees.
  const Exercise exercise = exerciseWith([](Exercise& e) {
    e.data[0].registerText = "0\n4\n0\n";
    e.data[0].expect.registers[2] = 8;
    DataSet hidden{"secret", "0\n21\n0\n", "0\n", true, {}};
    hidden.expect.registers[2] = 42;
    e.data.push_back(hidden);
  });
  EXPECT_TRUE(check(exercise, "add $2, $1, $1\n").passed());
  const Outcome hardCoded = check(exercise, "addi $2, $0, 8\n");
  EXPECT_EQ(failedNames(hardCoded), std::vector<std::string>{"secret: $2"});

  // The student sees which check failed, not the values; the teacher sees them.
  const Check& failed = hardCoded.checks.back();
  ASSERT_EQ(checkName(failed), "secret: $2");
  EXPECT_TRUE(failed.hidden);
  EXPECT_TRUE(checkJson(failed, Audience::Student)["expected"].is_null());
  EXPECT_TRUE(checkJson(failed, Audience::Student)["observed"].is_null());
  EXPECT_EQ(checkJson(failed, Audience::Teacher)["expected"], 42);
  EXPECT_EQ(checkJson(failed, Audience::Teacher)["observed"], 8);
  std::ostringstream text;
  writeCheckText(text, exercise, hardCoded, Audience::Student);
  EXPECT_EQ(text.str().find("42"), std::string::npos) << text.str();

  // The lines the page shows, after a run and before one.
  const struct {
    std::string line;
    std::string expected;
  } lines[] = {
      {checkLine(failed, Audience::Student), "✗ secret: $2 (hidden data set: values not shown)"},
      {checkLine(failed, Audience::Teacher), "✗ secret: $2: 8 (expected 42)"},
      {checkListing(failed, Audience::Student), "secret: $2 (hidden data set: values not shown)"},
      {checkListing(failed, Audience::Teacher), "secret: $2: 42"},
  };
  for (const auto& [line, expected] : lines) EXPECT_EQ(line, expected);
}

TEST(Checker, SaysHowManyChecksFailed) {
  const Outcome outcome = check(exerciseWith([](Exercise& e) {
    e.data[0].expect.registers = {{1, 5}, {2, 0}, {3, 0}};  // $2 is 10
  }));
  EXPECT_EQ(verdictText(outcome), "1 of 4 checks failed");
  EXPECT_EQ(verdictText(check(exerciseWith())), "passed");
}

// $2 = 2 x $1 and $3 = 3 x $1 on a data set in sight ($1 = 4) and a hidden
// one ($1 = 21), in one instruction at most: the answers below are right,
// half right, hard-coded for the data set in sight, too long, or no answer.
Exercise tripling(std::function<void(Exercise&)> change = nullptr) {
  return exerciseWith([&](Exercise& e) {
    e.data[0].registerText = "0\n4\n0\n0\n";
    e.data[0].expect.registers = {{2, 8}, {3, 12}};
    DataSet hidden{"secret", "0\n21\n0\n0\n", "0\n", true, {}};
    hidden.expect.registers = {{2, 42}, {3, 63}};
    e.data.push_back(hidden);
    e.limits.instructions = 3;
    e.maxCycles = 1000;
    if (change) change(e);
  });
}

constexpr const char* rightAnswer = "add $2, $1, $1\nadd $3, $2, $1\n";
constexpr const char* doublesOnly = "add $2, $1, $1\n";
constexpr const char* hardCoded = "addi $2, $0, 8\naddi $3, $0, 12\n";
constexpr const char* tooLong = "add $2, $1, $1\nadd $3, $2, $1\nadd $3, $2, $1\nadd $3, $2, $1\n";
constexpr const char* endless = "j L1\n";

struct ScoreCase {
  const char* name;
  std::function<void(Exercise&)> change;
  const char* answer;
  double score;
};

TEST(Checker, ScoresRightResultsAndTheLimitsOnlyOnceEveryResultIsRight) {
  const auto weighted = [](double points, double seen, double secret, double limits) {
    return [=](Exercise& e) {
      e.points = points;
      e.data[0].weight = seen;
      e.data[1].weight = secret;
      e.limitsWeight = limits;
    };
  };
  const ScoreCase cases[] = {
      // By default the two data sets and the limits weigh a third each.
      {"right", nullptr, rightAnswer, 1},
      {"no answer", nullptr, "", 0},
      {"a comment only", nullptr, "# to do\n", 0},
      {"a run that never ends", nullptr, endless, 0},
      {"one value right on each data set: the limit holds, but earns nothing yet", nullptr, doublesOnly, 1.0 / 3},
      {"hard-coded: the data set in sight only", nullptr, hardCoded, 1.0 / 3},
      {"right but beyond the limit", nullptr, tooLong, 2.0 / 3},
      // Points and weights as the exercise gives them.
      {"right, out of 10", weighted(10, 1, 1, 1), rightAnswer, 10},
      {"hard-coded, the data set in sight weighing 3", weighted(10, 3, 1, 0), hardCoded, 7.5},
      {"beyond a limit that weighs nothing", weighted(10, 1, 1, 0), tooLong, 10},
      {"beyond a limit that weighs as much as both data sets", weighted(4, 1, 1, 2), tooLong, 2},
      {"hard-coded, on a data set that weighs nothing", weighted(6, 0, 1, 1), hardCoded, 0},
      // A value the data set starts with is kept by doing nothing: it earns no points.
      {"no answer, $1 expected as it starts",
       [](Exercise& e) { e.data[0].expect.registers[1] = 4; }, "", 0},
      {"right, $1 expected as it starts", [](Exercise& e) { e.data[0].expect.registers[1] = 4; }, rightAnswer, 1},
      // Nothing carries points: every check passed, or nothing.
      {"nothing expected, no limits, a run that completes",
       [](Exercise& e) {
         for (DataSet& data : e.data) data.expect = {};
         e.limits = {};
       },
       doublesOnly, 1},
      {"nothing expected, no limits, a run that never ends",
       [](Exercise& e) {
         for (DataSet& data : e.data) data.expect = {};
         e.limits = {};
       },
       endless, 0},
  };
  for (const ScoreCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Exercise exercise = tripling(c.change);
    const Outcome outcome = check(exercise, c.answer);
    EXPECT_NEAR(outcome.score(), c.score, 1e-9);
    EXPECT_EQ(outcome.maxScore, exercise.points);
    // The checks' shares add up to the exercise's points, when any carries points.
    double shares = 0;
    for (const Check& check : outcome.checks) shares += check.maxPoints;
    if (shares > 0) {
      EXPECT_NEAR(shares, exercise.points, 1e-9);
    }
    // The points listed before any run are those a run shares out.
    const std::vector<Check> listed = checksOf(exercise);
    ASSERT_EQ(listed.size(), outcome.checks.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
      EXPECT_EQ(listed[i].maxPoints, outcome.checks[i].maxPoints) << checkName(listed[i]);
      EXPECT_EQ(listed[i].points, 0) << checkName(listed[i]);
    }
  }
}

TEST(Checker, GivesEachCheckItsShareAndWhatItEarned) {
  const Outcome outcome = check(tripling(), doublesOnly);
  const struct {
    const char* check;
    bool passed;
    double maxPoints;
    double points;
  } expected[] = {
      {"instructions", true, 1.0 / 3, 0},         // the limits' third, not earned while a result is wrong
      {"seen: run completes", true, 0, 0},        // no points of its own
      {"seen: $2", true, 1.0 / 6, 1.0 / 6},       // half the data set's third
      {"seen: $3", false, 1.0 / 6, 0},
      {"secret: run completes", true, 0, 0},
      {"secret: $2", true, 1.0 / 6, 1.0 / 6},
      {"secret: $3", false, 1.0 / 6, 0},
  };
  ASSERT_EQ(outcome.checks.size(), std::size(expected));
  for (std::size_t i = 0; i < outcome.checks.size(); ++i) {
    const Check& check = outcome.checks[i];
    SCOPED_TRACE(expected[i].check);
    EXPECT_EQ(checkName(check), expected[i].check);
    EXPECT_EQ(check.passed, expected[i].passed);
    EXPECT_NEAR(check.maxPoints, expected[i].maxPoints, 1e-12);
    EXPECT_NEAR(check.points, expected[i].points, 1e-12);
    EXPECT_EQ(checkJson(check, Audience::Student)["points"], check.points);
    EXPECT_EQ(checkJson(check, Audience::Student)["maxPoints"], check.maxPoints);
  }
  const nlohmann::ordered_json json = outcomeJson(tripling(), outcome, Audience::Student);
  EXPECT_NEAR(json["score"].get<double>(), 1.0 / 3, 1e-9);
  EXPECT_EQ(json["maxScore"], 1);
}

// The bundled exercises: no answer scores nothing, the starting program only
// what it gets right, the model answer everything.
TEST(Checker, ScoresTheWorkedExamplesFromRightResultsOnly) {
  const struct {
    const char* name;
    double empty, start, model;
  } cases[] = {
      {"sum-array", 0, 0, 1},
      // Its registers right and its instructions within the limit: all but the
      // stalls' quarter, the limits' half shared between the two limits.
      {"reorder-stalls", 0, 0.75, 1},
      {"behind-branch", 0, 0, 1},
  };
  const fs::path source = FIVESTAGE_SOURCE_DIR;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Checker checker(loadExercise((source / "examples/exercises" / (std::string(c.name) + ".json")).string()));
    EXPECT_EQ(checker.check("").score(), c.empty);
    EXPECT_EQ(checker.check(checker.exercise().files.at("src.txt")).score(), c.start);
    EXPECT_EQ(checker.check(submittedSource(source / "tests/exercise/solutions" / c.name)).score(), c.model);
  }
}

// The worked examples: the model answer passes, the starting program fails
// exactly where the exercise means it to.
struct Example {
  const char* name;
  std::vector<std::string> startFails;
};

TEST(Checker, WorkedExamplesPassWithTheirModelAnswersAndFailFromTheStart) {
  const Example examples[] = {
      {"sum-array", {"four words: word 8", "six words: word 8", "one word: word 8"}},
      {"reorder-stalls", {"registers cleared: stalls"}},
      {"behind-branch", {"1 to 4: word 8", "1 to 4: as meant", "other words: word 8", "other words: as meant"}},
  };
  const fs::path source = FIVESTAGE_SOURCE_DIR;
  for (const Example& example : examples) {
    SCOPED_TRACE(example.name);
    const Checker checker(
        loadExercise((source / "examples/exercises" / (std::string(example.name) + ".json")).string()));
    const Outcome model = checker.check(submittedSource(source / "tests/exercise/solutions" / example.name));
    EXPECT_EQ(failedNames(model), std::vector<std::string>{});
    EXPECT_EQ(failedNames(checker.check(checker.exercise().files.at("src.txt"))), example.startFails);
    // The checks listed before any run are those a run makes, with the same expected values.
    const std::vector<Check> listed = checksOf(checker.exercise());
    ASSERT_EQ(listed.size(), model.checks.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
      EXPECT_EQ(checkName(listed[i]), checkName(model.checks[i]));
      EXPECT_EQ(listed[i].expected, model.checks[i].expected) << checkName(listed[i]);
      EXPECT_EQ(listed[i].hidden, model.checks[i].hidden) << checkName(listed[i]);
    }
  }
}

// A data set's folder as a checker once laid it out: the answer, the data
// set's registers and memory, and the bundled energy figures with each file
// the exercise gives in its place.
void layOutDataSet(const testing::TempDir& dir, const Exercise& exercise, const DataSet& data,
                   const std::string& source) {
  dir.write("src.txt", source);
  dir.write("reg.txt", data.registerText);
  dir.write("mem.txt", data.memoryText);
  for (const auto& [path, text] : bundledEnergyFiles) dir.write(std::string(path), std::string(text));
  for (const auto& [path, text] : exercise.files) {
    if (path != "src.txt") dir.write(path, text);
  }
}

// The checker runs each data set from memory: every figure of each run, and
// so every verdict, is what a run of the same files in a folder gives.
TEST(Checker, RunsEachDataSetFromMemoryAsFromAFolderOfItsFiles) {
  const fs::path sources = FIVESTAGE_SOURCE_DIR;
  std::vector<std::pair<Exercise, std::vector<std::string>>> exercises;
  for (const char* name : {"sum-array", "reorder-stalls", "behind-branch"}) {
    Exercise exercise = loadExercise((sources / "examples/exercises" / (std::string(name) + ".json")).string());
    const std::string start = exercise.files.at("src.txt");
    exercises.push_back({std::move(exercise), {start, submittedSource(sources / "tests/exercise/solutions" / name)}});
  }
  exercises.push_back(
      {exerciseWith([](Exercise& e) {
         e.files["EnergyConsumptionInput/Fetch/energy.txt"] = "1000\n-1\n";
         e.machine.forwarding = true;
         e.maxCycles = 50;
       }),
       {doubling, "xor $1, $1, $1\n", "addi $1, $1, 1\nj L1\n", "", "L1: lw $1, 0($0)\nsw $9, 0($0)\n"}});
  for (const auto& [exercise, answers] : exercises) {
    SCOPED_TRACE(exercise.title);
    const Checker checker(exercise);
    for (const std::string& answer : answers) {
      for (std::size_t i = 0; i < exercise.data.size(); ++i) {
        SCOPED_TRACE(answer + " on " + exercise.data[i].name);
        const testing::TempDir dir;
        layOutDataSet(dir, exercise, exercise.data[i], answer);
        report::RunOptions options;
        options.machine = exercise.machine;
        options.maxCycles = exercise.maxCycles;
        options.window = {1, 1};
        nlohmann::ordered_json fromFolder = report::jsonReport(
            report::runReport(InputFolder(dir.path()), options, nullptr, nullptr), options.maxCycles);
        nlohmann::ordered_json fromMemory = report::jsonReport(checker.run(i, answer), options.maxCycles);
        fromFolder.erase("folder");
        fromMemory.erase("folder");
        EXPECT_EQ(fromMemory, fromFolder);
      }
    }
  }
}

struct Hostile {
  const char* name;
  std::function<void(const testing::TempDir&)> make;
  const char* reason;
};

TEST(SubmittedSource, RefusesWhatIsNotTheFoldersOwnTextFile) {
  const Hostile cases[] = {
      {"no src.txt", [](const testing::TempDir&) {}, "there is no src.txt"},
      {"a link out of the folder",
       [](const testing::TempDir& dir) {
         dir.write("outside/secret", "addi $1, $0, 1\n");
         fs::create_directory(dir.path() / "folder");
         fs::create_symlink(dir.path() / "outside/secret", dir.path() / "folder/src.txt");
       },
       "src.txt is a symbolic link: only a file of the folder's own is read"},
      {"a folder", [](const testing::TempDir& dir) { fs::create_directories(dir.path() / "folder/src.txt"); },
       "src.txt is a folder, not a file"},
      {"a named pipe",
       [](const testing::TempDir& dir) {
         fs::create_directory(dir.path() / "folder");
         ASSERT_EQ(mkfifo((dir.path() / "folder/src.txt").c_str(), 0600), 0);
       },
       "src.txt is not a regular file"},
      {"over the size",
       [](const testing::TempDir& dir) { dir.write("folder/src.txt", std::string(largestSource + 1, 'a')); },
       "src.txt is too large: 1048577 bytes, at most 1048576"},
      {"binary", [](const testing::TempDir& dir) { dir.write("folder/src.txt", std::string("add\0\x01", 5)); },
       "src.txt is not text: byte 0x00 at offset 3"},
  };
  for (const Hostile& hostile : cases) {
    SCOPED_TRACE(hostile.name);
    const testing::TempDir dir;
    fs::create_directory(dir.path() / "folder");
    hostile.make(dir);
    try {
      submittedSource(dir.path() / "folder");
      ADD_FAILURE() << "read";
    } catch (const ReadError& error) {
      EXPECT_EQ(std::string(error.what()), hostile.reason);
    }
  }
}

TEST(SubmittedSource, ReadsTextAtTheSizeLimit) {
  const testing::TempDir dir;
  const std::string text = std::string(largestSource - 1, ' ') + "\n";
  dir.write("src.txt", text);
  EXPECT_EQ(submittedSource(dir.path()), text);
}

}  // namespace
}  // namespace fivestage::exercise
