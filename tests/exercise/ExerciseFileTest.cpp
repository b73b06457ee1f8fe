// Reading an exercise file: a valid one is read whole, and each member wrong
// in turn is refused with a message that names it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "exercise/Exercise.h"

namespace fivestage::exercise {
namespace {

using Json = nlohmann::json;

Json validExercise() {
  return Json::parse(R"({
    "schema": 1,
    "title": "Sum",
    "statement": "Add $1 and $2 into $3.",
    "files": {"src.txt": "add $3, $1, $2\n", "EnergyConsumptionInput/Decode/add/energy.txt": "3\n"},
    "machine": {"forwarding": true, "predictor": "2-bit", "predictorEntries": 4},
    "maxCycles": 500,
    "data": [
      {"name": "seen", "reg.txt": "0\n1\n2\n0\n", "mem.txt": "0\n", "expect": {"registers": {"3": 3}}},
      {"name": "secret", "hidden": true, "reg.txt": "0\n5\n6\n0\n", "mem.txt": "0\n",
       "expect": {"registers": {"3": 11}, "memory": {"0": 0}}, "weight": 2.5}
    ],
    "limits": {"cycles": 20, "stalls": 0, "mispredictions": 2, "energy": 1000, "energyDelay": 30000,
               "wrongPathEnergy": 120, "instructions": 1},
    "asMeant": true,
    "editable": ["reg.txt", "EnergyConsumptionInput/Fetch/energy.txt"],
    "points": 10,
    "limitsWeight": 0,
    "hiddenDataSets": 2
  })");
}

TEST(ExerciseFile, ReadsEveryMember) {
  const Exercise exercise = parseExercise(validExercise().dump());
  EXPECT_EQ(exercise.title, "Sum");
  EXPECT_EQ(exercise.files.at("EnergyConsumptionInput/Decode/add/energy.txt"), "3\n");
  // A predictor other than not-taken turns flush on.
  EXPECT_EQ(exercise.machine, (MachineOptions{true, true, Predictor::TwoBit, 4}));
  EXPECT_EQ(exercise.maxCycles, 500);
  ASSERT_EQ(exercise.data.size(), 2u);
  EXPECT_FALSE(exercise.data[0].hidden);
  EXPECT_TRUE(exercise.data[1].hidden);
  EXPECT_EQ(exercise.data[1].registerText, "0\n5\n6\n0\n");
  EXPECT_EQ(exercise.data[1].expect.registers.at(3), 11);
  EXPECT_EQ(exercise.data[1].expect.memory.at(0), 0);
  EXPECT_EQ(exercise.limits.cycles, 20);
  EXPECT_EQ(exercise.limits.stalls, 0);
  EXPECT_EQ(exercise.limits.mispredictions, 2);
  EXPECT_EQ(exercise.limits.energy, 1000);
  EXPECT_EQ(exercise.limits.energyDelay, 30000);
  EXPECT_EQ(exercise.limits.wrongPathEnergy, 120);
  EXPECT_EQ(exercise.limits.instructions, 1);
  EXPECT_TRUE(exercise.asMeant);
  EXPECT_EQ(exercise.editable, (std::vector<std::string>{"reg.txt", "EnergyConsumptionInput/Fetch/energy.txt"}));
  EXPECT_EQ(exercise.data[0].weight, 1) << "a data set weighs 1 by default";
  EXPECT_EQ(exercise.data[1].weight, 2.5);
  EXPECT_EQ(exercise.points, 10);
  EXPECT_EQ(exercise.limitsWeight, 0);
  EXPECT_EQ(exercise.hiddenDataSets, 2);
}

TEST(ExerciseFile, LeavesOutOptionalMembersAtTheirDefaults) {
  Json json = validExercise();
  for (const char* member : {"machine", "maxCycles", "limits", "asMeant", "editable", "points", "limitsWeight",
                             "hiddenDataSets"}) {
    json.erase(member);
  }
  const Exercise exercise = parseExercise(json.dump());
  EXPECT_EQ(exercise.machine, MachineOptions{});
  EXPECT_EQ(exercise.maxCycles, Exercise::defaultMaxCycles);
  EXPECT_FALSE(exercise.limits.cycles || exercise.limits.stalls || exercise.limits.energy ||
               exercise.limits.instructions);
  EXPECT_FALSE(exercise.asMeant);
  EXPECT_TRUE(exercise.editable.empty()) << "only src.txt is editable";
  EXPECT_EQ(exercise.points, 1);
  EXPECT_EQ(exercise.limitsWeight, 1) << "the limits weigh as much as a data set";
  EXPECT_EQ(exercise.hiddenDataSets, 0) << "a full file leaves none out";
}

struct WrongMember {
  const char* name;
  const char* pointer;  // the member changed, as a JSON pointer
  Json value;           // its new value; null removes it
  const char* message;  // the whole refusal
};

TEST(ExerciseFile, RefusesEachWrongMemberByName) {
  const WrongMember cases[] = {
      {"schema missing", "/schema", nullptr, "schema: is missing"},
      {"another schema version", "/schema", 2, "schema: this fivestage reads version 1, not 2"},
      {"title not text", "/title", 5, "title: must be text"},
      {"statement missing", "/statement", nullptr, "statement: is missing"},
      {"files not an object", "/files", "src.txt", "files: must be an object of paths and texts"},
      {"a file outside the input folder", "/files/..~1..~1etc~1passwd", "x",
       "files: '../../etc/passwd' is not a starting file: src.txt or an energy file such as "
       "EnergyConsumptionInput/Fetch/energy.txt"},
      {"a file's text not text", "/files/src.txt", 3, "files.src.txt: must be text"},
      {"machine option not boolean", "/machine/flush", "yes", "machine.flush: must be true or false"},
      {"machine with an unknown option", "/machine/colour", true, "machine.colour: is not a member here"},
      {"machine with a predictor not offered", "/machine/predictor", "sometimes",
       "machine.predictor: must be one of not-taken, taken, backward-taken, 1-bit or 2-bit"},
      {"machine with a table not a power of two", "/machine/predictorEntries", 24,
       "machine.predictorEntries: must be a power of two from 1 to 1024"},
      {"maxCycles zero", "/maxCycles", 0, "maxCycles: must be from 1 to 10000000, not 0"},
      {"maxCycles too large", "/maxCycles", 10000001, "maxCycles: must be from 1 to 10000000, not 10000001"},
      {"maxCycles not whole", "/maxCycles", 1.5, "maxCycles: must be a whole number"},
      {"data empty", "/data", Json::array(), "data: must be a list of at least one data set"},
      {"data set without a name", "/data/0/name", nullptr, "data[0].name: is missing"},
      {"data set with an empty name", "/data/1/name", "", "data[1].name: must not be empty"},
      {"two data sets of one name", "/data/1/name", "seen", "data[1].name: 'seen' names another data set too"},
      {"reg.txt not text", "/data/0/reg.txt", Json::array(), "data[0].reg.txt: must be text"},
      {"mem.txt missing", "/data/1/mem.txt", nullptr, "data[1].mem.txt: is missing"},
      {"hidden not boolean", "/data/1/hidden", 1, "data[1].hidden: must be true or false"},
      {"expect missing", "/data/0/expect", nullptr, "data[0].expect: is missing"},
      {"register key not a number", "/data/1/expect/registers/x", 1,
       "data[1].expect.registers: keys are register numbers, not 'x'"},
      {"register key with a sign", "/data/0/expect/registers/-1", 1,
       "data[0].expect.registers: keys are register numbers, not '-1'"},
      {"register value beyond a word", "/data/0/expect/registers/3", 2147483648LL,
       "data[0].expect.registers.3: must be from -2147483648 to 2147483647, not 2147483648"},
      {"memory value as text", "/data/1/expect/memory/0", "0", "data[1].expect.memory.0: must be a whole number"},
      {"memory not an object", "/data/1/expect/memory", Json::array(),
       "data[1].expect.memory: must be an object of word numbers and values"},
      {"an unknown expectation", "/data/0/expect/cycles", 3, "data[0].expect.cycles: is not a member here"},
      {"a register beyond reg.txt", "/data/0/expect/registers/4", 1,
       "data[0].expect.registers: register 4 is beyond the data set's 4 registers"},
      {"a word beyond mem.txt", "/data/1/expect/memory/999", 1,
       "data[1].expect.memory: word 999 is beyond the data set's 1 word"},
      {"reg.txt cut short of an expected register", "/data/1/reg.txt", "0\n5\n6",
       "data[1].expect.registers: register 3 is beyond the data set's 3 registers"},
      {"mem.txt empty", "/data/1/mem.txt", "", "data[1].expect.memory: word 0 is beyond the data set's 0 words"},
      {"negative stall limit", "/limits/stalls", -1, "limits.stalls: must be from 0 to 9223372036854775807, not -1"},
      {"negative misprediction limit", "/limits/mispredictions", -1,
       "limits.mispredictions: must be from 0 to 9223372036854775807, not -1"},
      {"zero cycle limit", "/limits/cycles", 0, "limits.cycles: must be from 1 to 9223372036854775807, not 0"},
      {"energy limit as text", "/limits/energy", "1000", "limits.energy: must be a whole number"},
      {"negative energy-delay limit", "/limits/energyDelay", -1,
       "limits.energyDelay: must be from 0 to 9223372036854775807, not -1"},
      {"energy-delay limit with a fraction", "/limits/energyDelay", 2.5, "limits.energyDelay: must be a whole number"},
      {"wrong-path energy limit as text", "/limits/wrongPathEnergy", "0",
       "limits.wrongPathEnergy: must be a whole number"},
      {"an unknown limit", "/limits/time", 1, "limits.time: is not a member here"},
      {"asMeant not boolean", "/asMeant", "true", "asMeant: must be true or false"},
      {"an unknown member", "/author", "me", "author: is not a member here"},
      {"editable not a list", "/editable", "reg.txt", "editable: must be a list of paths"},
      {"editable path not text", "/editable/1", 1, "editable[1]: must be text"},
      {"src.txt listed as editable", "/editable/0", "src.txt", "editable[0]: src.txt is always editable"},
      {"editable path outside the inputs", "/editable/1", "../reg.txt",
       "editable[1]: '../reg.txt' is not an input file: reg.txt, mem.txt or an energy file"},
      {"editable path listed twice", "/editable/1", "reg.txt", "editable[1]: 'reg.txt' is listed twice"},
      {"points zero", "/points", 0, "points: must be more than 0"},
      {"points negative", "/points", -0.5, "points: must be from 0 to 1000000, not -0.5"},
      {"points as text", "/points", "10", "points: must be a number"},
      {"hiddenDataSets negative", "/hiddenDataSets", -1, "hiddenDataSets: must be from 0 to 1000000, not -1"},
      {"hiddenDataSets not whole", "/hiddenDataSets", 1.5, "hiddenDataSets: must be a whole number"},
      {"points beyond any scale", "/points", 1e7, "points: must be from 0 to 1000000, not 10000000.0"},
      {"a negative data set weight", "/data/1/weight", -1, "data[1].weight: must be from 0 to 1000000, not -1"},
      {"a data set weight as a flag", "/data/0/weight", true, "data[0].weight: must be a number"},
      {"a negative limits weight", "/limitsWeight", -2, "limitsWeight: must be from 0 to 1000000, not -2"},
  };
  for (const WrongMember& wrong : cases) {
    SCOPED_TRACE(wrong.name);
    Json json = validExercise();
    const Json::json_pointer pointer(wrong.pointer);
    if (wrong.value.is_null()) {
      json[pointer.parent_pointer()].erase(pointer.back());
    } else {
      json[pointer] = wrong.value;
    }
    try {
      parseExercise(json.dump());
      ADD_FAILURE() << "accepted";
    } catch (const ExerciseError& error) {
      EXPECT_EQ(std::string(error.what()), wrong.message);
    }
  }
}

// An expected location is within the data set when its file has that line,
// counted as the loader counts: a last line without a line feed is a line,
// a line feed at the end adds none, a carriage return changes nothing.
TEST(ExerciseFile, TakesAnExpectedLocationOnEveryLineOfItsFile) {
  const std::pair<const char*, const char*> cases[] = {
      {"0\n1\n2\n7", "last line without a line feed"},
      {"0\r\n1\r\n2\r\n7\r\n", "Windows line ends"},
      {"\n\n\n\n", "empty lines"},
  };
  for (const auto& [registers, name] : cases) {
    SCOPED_TRACE(name);
    Json json = validExercise();
    json["data"][0]["reg.txt"] = registers;
    json["data"][0]["mem.txt"] = "0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n";
    json["data"][0]["expect"]["memory"] = {{"9", 1}};
    EXPECT_NO_THROW(parseExercise(json.dump()));
  }
}

TEST(ExerciseFile, RefusesTextThatIsNotAnExerciseObject) {
  const std::pair<const char*, const char*> cases[] = {
      {"{\"schema\": 1,", "not JSON: "},
      {"[1, 2]", "an exercise file is a JSON object"},
      {"", "not JSON: "},
  };
  for (const auto& [text, start] : cases) {
    SCOPED_TRACE(text);
    try {
      parseExercise(text);
      ADD_FAILURE() << "accepted";
    } catch (const ExerciseError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(start, 0), 0u) << error.what();
    }
  }
}

}  // namespace
}  // namespace fivestage::exercise
