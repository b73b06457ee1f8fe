// The machine's description and what is made from it: a command line's
// machine, the JSON `machine` object both ways, the rules between options and
// the names of machines. Beside the machine's own two flags, a description of
// a test machine with a choice, a bounded number and an option that needs a
// flag shows that the next options fit without new code.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "record/MachineJson.h"
#include "vocabulary/MachineDescription.h"

namespace fivestage {
namespace {

using Json = nlohmann::ordered_json;

// A machine with options of every kind.
enum class Guess { Never, Always, Backward };

struct TestMachine {
  bool bypass = false;
  bool cancel = false;
  Guess guess = Guess::Never;
  int entries = 16;
  bool operator==(const TestMachine&) const = default;
};

constexpr std::array<std::string_view, 3> guessNames{"never", "always", "backward"};

constexpr std::array<OptionDescription<TestMachine>, 4> testOptions{{
    {.key = "bypass", .member = memberOf<&TestMachine::bypass>, .name = "bypass", .effect = "values bypass"},
    {.key = "cancel", .member = memberOf<&TestMachine::cancel>, .name = "cancel", .effect = "fetches cancelled"},
    {.key = "guess",
     .kind = OptionKind::Choice,
     .member = memberOf<&TestMachine::guess>,
     .name = "guess",
     .effect = "branches guessed",
     .choices = guessNames,
     .placeholder = "G",
     .needs = "cancel"},
    {.key = "entries",
     .kind = OptionKind::Number,
     .member = memberOf<&TestMachine::entries>,
     .name = "entries",
     .effect = "a table of entries",
     .lowest = 1,
     .highest = 1024,
     .powerOfTwo = true,
     .placeholder = "N"},
}};
constexpr MachineDescriptionOf<TestMachine> testDescription{testOptions};

TEST(MachineDescription, ReadsTheMachineAmongACommandLinesWords) {
  struct Line {
    const char* name;
    std::vector<std::string> words;
    TestMachine machine;
    std::vector<std::string> rest;
    std::string error;
  };
  const TestMachine plain;
  const Line lines[] = {
      {"no option", {"input"}, plain, {"input"}, ""},
      {"flags around a folder", {"--cancel", "input", "--bypass"}, {true, true}, {"input"}, ""},
      {"a choice takes the next word", {"--guess", "always", "input"}, {false, true, Guess::Always}, {"input"}, ""},
      {"a number", {"input", "--entries", "64"}, {.entries = 64}, {"input"}, ""},
      {"the lowest number", {"--entries", "1"}, {.entries = 1}, {}, ""},
      {"other options are left", {"--help", "--entries", "2"}, {.entries = 2}, {"--help"}, ""},
      {"a choice not offered",
       {"--guess", "sometimes"},
       plain,
       {},
       "--guess takes one of never, always or backward, not 'sometimes'"},
      {"a choice with nothing after it", {"input", "--guess"}, plain, {"input"},
       "--guess takes one of never, always or backward, and none was given"},
      {"a number not a power of two", {"--entries", "24"}, plain, {}, "--entries takes a power of two from 1 to 1024, not '24'"},
      {"a number beyond the range", {"--entries", "2048"}, plain, {}, "--entries takes a power of two from 1 to 1024, not '2048'"},
      {"a number with a sign", {"--entries", "+8"}, plain, {}, "--entries takes a power of two from 1 to 1024, not '+8'"},
      {"a number with a tail", {"--entries", "8k"}, plain, {}, "--entries takes a power of two from 1 to 1024, not '8k'"},
      {"zero", {"--entries", "0"}, plain, {}, "--entries takes a power of two from 1 to 1024, not '0'"},
  };
  for (const Line& line : lines) {
    std::vector<std::string> rest;
    const MachineWords<TestMachine> read = machineFromWords(testDescription, line.words, rest);
    EXPECT_EQ(read.error, line.error) << line.name;
    if (!line.error.empty()) continue;
    EXPECT_EQ(read.options, line.machine) << line.name;
    EXPECT_EQ(rest, line.rest) << line.name;
    EXPECT_EQ(read.given, line.words != line.rest) << line.name;
  }
}

// A choice other than its default needs the flag it names, and turns it on.
TEST(MachineDescription, AnOptionTurnsOnTheFlagItNeeds) {
  struct Case {
    TestMachine chosen;
    bool cancel;
  };
  const Case cases[] = {
      {{}, false},
      {{.guess = Guess::Backward}, true},
      {{.cancel = true}, true},
      {{.entries = 4}, false},  // a number that needs nothing
  };
  for (const Case& c : cases) {
    TestMachine machine = c.chosen;
    applyNeeds(testDescription, machine);
    EXPECT_EQ(machine.cancel, c.cancel);
    EXPECT_EQ(machine.guess, c.chosen.guess);
  }
}

TEST(MachineDescription, NamesAMachineByTheOptionsItHas) {
  struct Case {
    TestMachine machine;
    std::string name, text;
  };
  const Case cases[] = {
      {{}, "as specified", "as specified"},
      {{.bypass = true}, "bypass", "bypass: values bypass"},
      {{true, true}, "bypass and cancel", "bypass and cancel: values bypass; fetches cancelled"},
      {{false, true, Guess::Always, 32}, "cancel, guess always and entries 32",
       "cancel, guess always and entries 32: fetches cancelled; branches guessed; a table of entries"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(machineNameOf(testDescription, c.machine), c.name);
    EXPECT_EQ(machineTextOf(testDescription, c.machine), c.text);
  }
  // The machine's own names, as the report has always given them.
  EXPECT_EQ(machineName({}), "as specified");
  EXPECT_EQ(machineName({true, false}), "forwarding");
  EXPECT_EQ(machineName({false, true}), "flush");
  EXPECT_EQ(machineName({true, true}), "forwarding and flush");
}

// Every combination of the flags, the first changing fastest; the valued
// options stay at their default.
TEST(MachineDescription, ComparesEveryCombinationOfTheFlags) {
  const std::vector<TestMachine> expected{{}, {.bypass = true}, {.cancel = true}, {true, true}};
  EXPECT_EQ(comparedMachinesOf(testDescription), expected);
  const std::vector<MachineOptions> machines{{false, false}, {true, false}, {false, true}, {true, true}};
  EXPECT_EQ(comparedMachines(), machines);
}

TEST(MachineJson, WritesEveryOptionAndReadsItBack) {
  const TestMachine machines[] = {{}, {true, false}, {false, true, Guess::Backward, 1}, {true, true, Guess::Always, 1024}};
  for (const TestMachine& machine : machines) {
    const Json json = report::optionsJson(testDescription, machine);
    EXPECT_EQ(json.size(), testOptions.size());
    EXPECT_EQ(report::optionsFromJson(testDescription, json), machine) << json.dump();
  }
  EXPECT_EQ(report::optionsJson(testDescription, TestMachine{false, true, Guess::Always, 8}).dump(),
            R"({"bypass":false,"cancel":true,"guess":"always","entries":8})");
  // The machine's own object, as the report's JSON has always written it.
  // The machine's own object: every option, the predictor's at its default without it.
  EXPECT_EQ(report::machineJson({true, false}).dump(),
            R"({"forwarding":true,"flush":false,"predictor":"not-taken","predictorEntries":16})");
  std::vector<MachineOptions> ownMachines = comparedMachines();
  ownMachines.push_back({false, true, Predictor::TwoBit, 4});
  ownMachines.push_back({true, true, Predictor::BackwardTaken, 1024});
  for (const MachineOptions& machine : ownMachines) {
    EXPECT_EQ(report::machineFromJson(report::machineJson(machine)), machine);
  }
}

// The machine's predictor options on both sides: a command line and JSON.
// Giving a predictor on a command line chooses a machine with flush, even
// the default one: --predictor not-taken is --flush. A JSON object names
// every option, so there only a predictor other than not-taken turns flush on.
TEST(MachineDescription, AGivenPredictorTurnsFlushOn) {
  struct Line {
    std::vector<std::string> words;
    MachineOptions machine;
    std::string error;
  };
  const Line lines[] = {
      {{"--predictor", "not-taken"}, {false, true}, ""},
      {{"--flush"}, {false, true}, ""},
      {{"--predictor", "2-bit", "--forwarding"}, {true, true, Predictor::TwoBit}, ""},
      {{"--predictor", "1-bit", "--predictor-entries", "4"}, {false, true, Predictor::OneBit, 4}, ""},
      {{"--predictor", "backward-taken"}, {false, true, Predictor::BackwardTaken}, ""},
      {{"--predictor-entries", "32"}, {.predictorEntries = 32}, ""},  // a size alone needs nothing
      {{"--predictor", "3-bit"}, {}, "--predictor takes one of not-taken, taken, backward-taken, 1-bit or 2-bit, not '3-bit'"},
      {{"--predictor-entries", "12"}, {}, "--predictor-entries takes a power of two from 1 to 1024, not '12'"},
      {{"--predictorEntries", "4"}, {}, ""},  // the JSON key is no flag
  };
  for (const Line& line : lines) {
    std::vector<std::string> rest;
    const MachineWords<MachineOptions> read = machineFromWords(machineDescription, line.words, rest);
    EXPECT_EQ(read.error, line.error) << line.words.front();
    if (line.error.empty()) {
      EXPECT_EQ(read.options, line.machine) << line.words.front();
    }
  }
  EXPECT_EQ(report::machineFromJson(Json::parse(R"({"predictor": "not-taken"})")), MachineOptions{});
  EXPECT_EQ(report::machineFromJson(Json::parse(R"({"predictor": "taken", "flush": false})")),
            (MachineOptions{false, true, Predictor::Taken}));
  // Named as before without a predictor; with one, by it and its table's size when not the default.
  EXPECT_EQ(machineName({false, true, Predictor::NotTaken}), "flush");
  EXPECT_EQ(machineName({true, true, Predictor::TwoBit}), "forwarding, flush and predictor 2-bit");
  EXPECT_EQ(machineName({false, true, Predictor::OneBit, 4}), "flush, predictor 1-bit and predictor entries 4");
}

TEST(MachineJson, ReadsWhatIsLeftOutAsTheDefaultAndAppliesTheRules) {
  const struct {
    const char* json;
    TestMachine machine;
  } cases[] = {
      {"{}", {}},
      {R"({"bypass": true})", {.bypass = true}},
      {R"({"guess": "backward"})", {false, true, Guess::Backward}},
      {R"({"guess": "always", "cancel": false})", {false, true, Guess::Always}},
      {R"({"entries": 512})", {.entries = 512}},
  };
  for (const auto& c : cases) EXPECT_EQ(report::optionsFromJson(testDescription, Json::parse(c.json)), c.machine) << c.json;
}

TEST(MachineJson, RefusesAnObjectItCannotReadNamingTheMember) {
  const struct {
    const char* json;
    std::string member, problem;
  } cases[] = {
      {"[]", "", "must be an object"},
      {"true", "", "must be an object"},
      {R"({"colour": true})", "colour", "is not a member here"},
      {R"({"bypass": 1})", "bypass", "must be true or false"},
      {R"({"cancel": "yes"})", "cancel", "must be true or false"},
      {R"({"guess": "sometimes"})", "guess", "must be one of never, always or backward"},
      {R"({"guess": 1})", "guess", "must be one of never, always or backward"},
      {R"({"entries": 12})", "entries", "must be a power of two from 1 to 1024"},
      {R"({"entries": 0})", "entries", "must be a power of two from 1 to 1024"},
      {R"({"entries": -8})", "entries", "must be a power of two from 1 to 1024"},
      {R"({"entries": 8.5})", "entries", "must be a power of two from 1 to 1024"},
      {R"({"entries": "8"})", "entries", "must be a power of two from 1 to 1024"},
      {R"({"entries": 18446744073709551615})", "entries", "must be a power of two from 1 to 1024"},
  };
  for (const auto& c : cases) {
    try {
      report::optionsFromJson(testDescription, Json::parse(c.json));
      ADD_FAILURE() << c.json << " was read";
    } catch (const report::MachineJsonError& error) {
      EXPECT_EQ(error.member(), c.member) << c.json;
      EXPECT_EQ(error.problem(), c.problem) << c.json;
    }
  }
}

// What the page builds its controls from: every option, in order, with the
// values it takes.
TEST(MachineJson, ListsTheControlsOfEveryOption) {
  const Json controls = report::controlsJson(testDescription);
  ASSERT_EQ(controls.size(), testOptions.size());
  EXPECT_EQ(controls[0].dump(), R"({"key":"bypass","kind":"flag","name":"bypass","title":"","default":false})");
  EXPECT_EQ(controls[2]["kind"], "choice");
  EXPECT_EQ(controls[2]["default"], "never");
  EXPECT_EQ(controls[2]["choices"], Json::parse(R"(["never","always","backward"])"));
  EXPECT_EQ(controls[3]["default"], 16);
  EXPECT_EQ(controls[3]["lowest"], 1);
  EXPECT_EQ(controls[3]["highest"], 1024);
  EXPECT_EQ(controls[3]["powerOfTwo"], true);
  // The machine's own: a box for each flag, off by default, a menu of the
  // predictors and a field for the table's size.
  const Json machine = report::machineControlsJson();
  ASSERT_EQ(machine.size(), 4U);
  for (const Json& control : machine) EXPECT_FALSE(control["title"].get<std::string>().empty());
  EXPECT_EQ(machine[1]["default"], false);
  EXPECT_EQ(machine[2]["choices"], Json::parse(R"(["not-taken","taken","backward-taken","1-bit","2-bit"])"));
  EXPECT_EQ(machine[2]["default"], "not-taken");
  EXPECT_EQ(machine[3]["key"], "predictorEntries");
  EXPECT_EQ(machine[3]["default"], 16);
}

}  // namespace
}  // namespace fivestage
