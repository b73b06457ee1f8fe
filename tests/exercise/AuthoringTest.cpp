// Making an exercise from a teacher's program: the expected values are the
// run's or the meaning's as asked, energy files that change nothing are left
// out, a program that cannot give the values is refused by data set, and the
// file written reads back as the same exercise.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "exercise/Authoring.h"
#include "exercise/BundledEnergy.h"

namespace fivestage::exercise {
namespace {

using Json = nlohmann::ordered_json;

// On the machine without flush, the instruction behind the taken branch runs:
// the run leaves $1 = 7, the program means $1 = 0. $2 = 1 either way.
constexpr const char* behindBranch = "beq $0, $0, L3\naddi $1, $0, 7\naddi $2, $0, 1\n";

Exercise draft(std::vector<std::pair<std::string, std::string>> dataSets = {{"zeros", "0\n0\n0\n0\n"}}) {
  Exercise exercise;
  exercise.title = "Draft";
  exercise.files["src.txt"] = "# yours\n";
  for (const auto& [name, registers] : dataSets) {
    DataSet data;
    data.name = name;
    data.registerText = registers;
    data.memoryText = "0\n0\n";
    exercise.data.push_back(data);
  }
  return exercise;
}

TEST(Authoring, TakesTheExpectedValuesFromTheRunOrFromTheMeaning) {
  const struct {
    const char* name;
    ExpectedFrom from;
    Word first;
  } cases[] = {{"the run", ExpectedFrom::Run, 7}, {"the meaning", ExpectedFrom::Meaning, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Exercise made = authorExercise(draft(), behindBranch, {{1, 2}, {0}, c.from});
    const Expectation& expect = made.data[0].expect;
    EXPECT_EQ(expect.registers, (std::map<RegisterNumber, Word>{{1, c.first}, {2, 1}}));
    EXPECT_EQ(expect.memory, (std::map<std::int64_t, Word>{{0, 0}}));
    EXPECT_EQ(made.files.at("src.txt"), "# yours\n") << "the starting program, never the solution";
  }
}

TEST(Authoring, EachDataSetExpectsWhatTheProgramLeavesOnIt) {
  const Exercise made =
      authorExercise(draft({{"five", "0\n5\n0\n"}, {"nine", "0\n9\n0\n"}}), "add $2, $1, $1\n", {{2}, {}, ExpectedFrom::Run});
  EXPECT_EQ(made.data[0].expect.registers.at(2), 10);
  EXPECT_EQ(made.data[1].expect.registers.at(2), 18);
}

TEST(Authoring, LeavesOutTheEnergyFilesThatRepeatTheBundledFigures) {
  Exercise exercise = draft();
  for (const auto& [path, text] : bundledEnergyFiles) exercise.files[std::string(path)] = std::string(text);
  exercise.files["EnergyConsumptionInput/Fetch/energy.txt"] = "999\n";
  const Exercise made = authorExercise(exercise, behindBranch, {});
  EXPECT_EQ(made.files, (std::map<std::string, std::string>{{"src.txt", "# yours\n"},
                                                            {"EnergyConsumptionInput/Fetch/energy.txt", "999\n"}}));
}

TEST(Authoring, RefusesAProgramThatCannotGiveTheValuesNamingTheDataSet) {
  const struct {
    const char* name;
    std::string source;
    Expected expected;
    const char* message;
  } cases[] = {
      {"never ends", "j L1\n", {{1}, {}, ExpectedFrom::Run},
       "data set 'zeros': the program in src.txt does not complete: still running after 100000 cycles"},
      {"no such register", behindBranch, {{40}, {}, ExpectedFrom::Run}, "data set 'zeros' has no register 40"},
      {"no such word", behindBranch, {{}, {2}, ExpectedFrom::Meaning}, "data set 'zeros' has no word 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      authorExercise(draft(), c.source, c.expected);
      ADD_FAILURE() << "accepted";
    } catch (const ExerciseError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
    }
  }
}

TEST(Authoring, OffersWhatTheRunAndTheMeaningChangeWithTheRunsFigures) {
  const Json choices = solutionChoices(draft(), behindBranch);
  EXPECT_EQ(choices["registers"], Json::parse(R"([{"register": 1, "initial": 0, "final": 7, "meant": 0},
                                                  {"register": 2, "initial": 0, "final": 1, "meant": 1}])"));
  EXPECT_EQ(choices["memory"], Json::array());
  EXPECT_FALSE(choices["asMeant"]);
  EXPECT_EQ(choices["figures"]["instructions"], 3);
  EXPECT_GT(choices["figures"]["cycles"].get<int>(), 5);
  EXPECT_GT(choices["figures"]["energy"].get<int>(), 0);
  EXPECT_EQ(choices["figures"]["energyDelay"],
            choices["figures"]["energy"].get<std::int64_t>() * choices["figures"]["cycles"].get<std::int64_t>());

  const Json meantOnly = solutionChoices(draft(), "beq $0, $0, L3\naddi $1, $0, 0\naddi $3, $0, 2\n");
  EXPECT_EQ(meantOnly["registers"], Json::parse(R"([{"register": 3, "initial": 0, "final": 2, "meant": 2}])"));
  EXPECT_TRUE(meantOnly["asMeant"]);

  // A mispredictions limit is offered only where Fetch predicts: on the
  // taken machine the beq, taken, is followed in Fetch; on the backward-taken
  // one, a forward branch, it is not.
  EXPECT_FALSE(meantOnly["figures"].contains("mispredictions"));
  Exercise predicting = draft();
  predicting.machine = {.flush = true, .predictor = Predictor::Taken};
  EXPECT_EQ(solutionChoices(predicting, "beq $0, $0, L3\naddi $1, $0, 0\naddi $3, $0, 2\n")["figures"]["mispredictions"], 0);
  predicting.machine.predictor = Predictor::BackwardTaken;
  EXPECT_EQ(solutionChoices(predicting, "beq $0, $0, L3\naddi $1, $0, 0\naddi $3, $0, 2\n")["figures"]["mispredictions"], 1);

  // A wrong-path energy limit is offered only with flush, where something
  // is cancelled: here the addi fetched behind the beq, 120 in Fetch.
  EXPECT_FALSE(meantOnly["figures"].contains("wrongPathEnergy"));
  EXPECT_EQ(solutionChoices(predicting, "beq $0, $0, L3\naddi $1, $0, 0\naddi $3, $0, 2\n")["figures"]["wrongPathEnergy"],
            120);
}

TEST(Authoring, WritesAFileThatReadsBackAsTheSameExercise) {
  const Json file = Json::parse(R"({
    "schema": 1,
    "title": "Sum",
    "statement": "Add $1 and $2 into $3.",
    "files": {"EnergyConsumptionInput/Decode/add/energy.txt": "3\n", "src.txt": "add $3, $1, $2\n"},
    "machine": {"forwarding": true, "flush": true, "predictor": "2-bit", "predictorEntries": 8},
    "maxCycles": 500,
    "data": [
      {"name": "seen", "reg.txt": "0\n1\n2\n0\n", "mem.txt": "0\n", "expect": {"registers": {"3": 3}}},
      {"name": "secret", "hidden": true, "reg.txt": "0\n5\n6\n0\n", "mem.txt": "0\n",
       "expect": {"registers": {"3": 11}, "memory": {"0": 0}}, "weight": 0.5}
    ],
    "hiddenDataSets": 3,
    "limits": {"cycles": 20, "stalls": 0, "mispredictions": 3, "energy": 1000, "energyDelay": 20000,
               "wrongPathEnergy": 0, "instructions": 1},
    "asMeant": true,
    "editable": ["reg.txt"],
    "points": 20,
    "limitsWeight": 2
  })");
  EXPECT_EQ(Json::parse(exerciseText(parseExercise(file.dump()))), file);

  const Json fewest = Json::parse(R"({"schema": 1, "title": "T", "statement": "", "files": {},
    "data": [{"name": "d", "reg.txt": "", "mem.txt": "", "expect": {}}]})");
  EXPECT_EQ(Json::parse(exerciseText(parseExercise(fewest.dump()))), fewest) << "defaults are left out";
}

}  // namespace
}  // namespace fivestage::exercise
