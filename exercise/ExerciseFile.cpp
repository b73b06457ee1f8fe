// Reading an exercise file: every member is checked for presence, type and
// range, and a refusal names the member as a path into the file.
#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

#include "energy/EnergySource.h"
#include "exercise/Exercise.h"
#include "exercise/FileRead.h"
#include "record/MachineJson.h"

namespace fivestage::exercise {
namespace {

using Json = nlohmann::ordered_json;

// The largest cycle cap an exercise may set: a run of that many cycles takes
// a second or two, so a class of submissions stays quick to grade.
constexpr Cycle largestMaxCycles = 10'000'000;
constexpr std::size_t largestExerciseFile = 4 * 1024 * 1024;
// More data sets than a file of that size could hold.
constexpr std::int64_t largestDataSetCount = 1'000'000;

[[noreturn]] void refuse(const std::string& member, const std::string& problem) {
  throw ExerciseError(member + ": " + problem);
}

// A member's value with its path in the file, so that every refusal can name it.
struct Member {
  const Json& value;
  std::string path;

  Member operator[](const std::string& key) const { return {value.at(key), path + "." + key}; }
  Member operator[](std::size_t index) const { return {value.at(index), path + "[" + std::to_string(index) + "]"}; }
  bool has(const std::string& key) const { return value.contains(key); }
};

void requireObject(const Member& member, const std::set<std::string>& allowed, const std::set<std::string>& required) {
  if (!member.value.is_object()) refuse(member.path, "must be an object");
  for (const auto& [key, value] : member.value.items()) {
    if (allowed.count(key) == 0) refuse(member.path.empty() ? key : member.path + "." + key, "is not a member here");
  }
  for (const std::string& key : required) {
    if (!member.has(key)) refuse(member.path.empty() ? key : member.path + "." + key, "is missing");
  }
}

std::string textOf(const Member& member) {
  if (!member.value.is_string()) refuse(member.path, "must be text");
  return member.value.get<std::string>();
}

bool booleanOf(const Member& member) {
  if (!member.value.is_boolean()) refuse(member.path, "must be true or false");
  return member.value.get<bool>();
}

// A whole number from `lowest` to `highest`: a JSON integer, not 1.5 or "3".
std::int64_t integerOf(const Member& member, std::int64_t lowest, std::int64_t highest) {
  if (!member.value.is_number_integer()) refuse(member.path, "must be a whole number");
  if (member.value.is_number_unsigned() &&
      member.value.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    refuse(member.path, "must be at most " + std::to_string(highest));
  }
  const auto value = member.value.get<std::int64_t>();
  if (value < lowest || value > highest) {
    refuse(member.path, "must be from " + std::to_string(lowest) + " to " + std::to_string(highest) + ", not " +
                            std::to_string(value));
  }
  return value;
}

// The largest score or weight an exercise may give: far beyond any grade scale.
constexpr std::int64_t largestPoints = 1'000'000;

// A weight: a number, whole or not, from 0 to largestPoints.
double weightOf(const Member& member) {
  if (!member.value.is_number()) refuse(member.path, "must be a number");
  const auto value = member.value.get<double>();
  if (!(value >= 0 && value <= static_cast<double>(largestPoints))) {
    refuse(member.path, "must be from 0 to " + std::to_string(largestPoints) + ", not " + member.value.dump());
  }
  return value;
}

// The points of an answer that passes: a weight, but not 0.
double pointsOf(const Member& member) {
  const double points = weightOf(member);
  if (points == 0) refuse(member.path, "must be more than 0");
  return points;
}

// A register or word number written as a JSON key: decimal digits only.
std::int64_t locationOf(const Member& map, const std::string& key, const char* what, std::int64_t highest) {
  const bool digits = !key.empty() && key.size() <= 9 &&
                      std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits) refuse(map.path, std::string("keys are ") + what + " numbers, not '" + key + "'");
  const std::int64_t location = std::stoll(key);
  if (location > highest) refuse(map.path, std::string(what) + " number " + key + " is out of range");
  return location;
}

template <typename Location>
std::map<Location, Word> valuesOf(const Member& map, const char* what, std::int64_t highest) {
  if (!map.value.is_object()) refuse(map.path, std::string("must be an object of ") + what + " numbers and values");
  std::map<Location, Word> values;
  for (const auto& [key, value] : map.value.items()) {
    const auto location = static_cast<Location>(locationOf(map, key, what, highest));
    values[location] =
        static_cast<Word>(integerOf(map[key], std::numeric_limits<Word>::min(), std::numeric_limits<Word>::max()));
  }
  return values;
}

std::map<std::string, std::string> filesOf(const Member& files) {
  if (!files.value.is_object()) refuse(files.path, "must be an object of paths and texts");
  std::vector<std::string> energyPaths = energyFilePaths();
  const std::vector<std::string> idlePaths = idleFilePaths();
  energyPaths.insert(energyPaths.end(), idlePaths.begin(), idlePaths.end());
  std::map<std::string, std::string> texts;
  for (const auto& [path, value] : files.value.items()) {
    const bool known =
        path == "src.txt" || std::find(energyPaths.begin(), energyPaths.end(), path) != energyPaths.end();
    if (!known) {
      refuse(files.path,
             "'" + path + "' is not a starting file: src.txt or an energy file such as " + energyPaths.front());
    }
    texts[path] = textOf(files[path]);
  }
  return texts;
}

// The files a student may edit besides src.txt: each an input file but src.txt, once.
std::vector<std::string> editableOf(const Member& editable) {
  if (!editable.value.is_array()) refuse(editable.path, "must be a list of paths");
  const std::vector<std::string> energyPaths = energyFilePaths();
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < editable.value.size(); ++i) {
    const std::string path = textOf(editable[i]);
    const bool known = path == "reg.txt" || path == "mem.txt" ||
                       std::find(energyPaths.begin(), energyPaths.end(), path) != energyPaths.end();
    if (path == "src.txt") refuse(editable[i].path, "src.txt is always editable");
    if (!known) refuse(editable[i].path, "'" + path + "' is not an input file: reg.txt, mem.txt or an energy file");
    if (std::find(paths.begin(), paths.end(), path) != paths.end()) refuse(editable[i].path, "'" + path + "' is listed twice");
    paths.push_back(path);
  }
  return paths;
}

// The machine as the report's JSON writes it, read by the same codec.
MachineOptions machineOf(const Member& machine) {
  try {
    return report::machineFromJson(machine.value);
  } catch (const report::MachineJsonError& error) {
    refuse(error.member().empty() ? machine.path : machine.path + "." + error.member(), error.problem());
  }
}

Expectation expectationOf(const Member& expect) {
  requireObject(expect, {"registers", "memory"}, {});
  Expectation expectation;
  constexpr std::int64_t largestNumber = 999'999'999;
  if (expect.has("registers")) {
    expectation.registers = valuesOf<RegisterNumber>(expect["registers"], "register", largestNumber);
  }
  if (expect.has("memory")) expectation.memory = valuesOf<std::int64_t>(expect["memory"], "word", largestNumber);
  return expectation;
}

// How many registers or words a data set's reg.txt or mem.txt defines: one
// per line, as the loader reads it, a last line without a line feed included.
std::size_t lineCount(std::string_view text) {
  const auto feeds = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  return feeds + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

// Refuses an expected register or word the data set does not have: no answer
// could ever leave a value there.
template <typename Location>
void requireWithin(const Member& map, const std::map<Location, Word>& values, std::size_t count, const char* what) {
  if (values.empty()) return;
  const auto last = static_cast<std::size_t>(values.rbegin()->first);
  if (last < count) return;
  refuse(map.path, std::string(what) + " " + std::to_string(last) + " is beyond the data set's " +
                       std::to_string(count) + " " + what + (count == 1 ? "" : "s"));
}

DataSet dataSetOf(const Member& member) {
  requireObject(member, {"name", "reg.txt", "mem.txt", "hidden", "expect", "weight"},
                {"name", "reg.txt", "mem.txt", "expect"});
  DataSet data;
  data.name = textOf(member["name"]);
  if (data.name.empty()) refuse(member.path + ".name", "must not be empty");
  data.registerText = textOf(member["reg.txt"]);
  data.memoryText = textOf(member["mem.txt"]);
  if (member.has("hidden")) data.hidden = booleanOf(member["hidden"]);
  if (member.has("weight")) data.weight = weightOf(member["weight"]);
  data.expect = expectationOf(member["expect"]);
  const Member expect = member["expect"];
  if (expect.has("registers")) {
    requireWithin(expect["registers"], data.expect.registers, lineCount(data.registerText), "register");
  }
  if (expect.has("memory")) requireWithin(expect["memory"], data.expect.memory, lineCount(data.memoryText), "word");
  return data;
}

std::vector<DataSet> dataSetsOf(const Member& data) {
  if (!data.value.is_array() || data.value.empty()) refuse(data.path, "must be a list of at least one data set");
  std::vector<DataSet> sets;
  std::set<std::string> names;
  for (std::size_t i = 0; i < data.value.size(); ++i) {
    sets.push_back(dataSetOf(data[i]));
    if (!names.insert(sets.back().name).second) {
      refuse(data[i].path + ".name", "'" + sets.back().name + "' names another data set too");
    }
  }
  return sets;
}

Limits limitsOf(const Member& member) {
  requireObject(member,
                {"cycles", "stalls", "mispredictions", "energy", "energyDelay", "wrongPathEnergy", "instructions"}, {});
  constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
  Limits limits;
  if (member.has("cycles")) limits.cycles = integerOf(member["cycles"], 1, most);
  if (member.has("stalls")) limits.stalls = integerOf(member["stalls"], 0, most);
  if (member.has("mispredictions")) limits.mispredictions = integerOf(member["mispredictions"], 0, most);
  if (member.has("energy")) limits.energy = integerOf(member["energy"], 0, most);
  if (member.has("energyDelay")) limits.energyDelay = integerOf(member["energyDelay"], 0, most);
  if (member.has("wrongPathEnergy")) limits.wrongPathEnergy = integerOf(member["wrongPathEnergy"], 0, most);
  if (member.has("instructions")) limits.instructions = integerOf(member["instructions"], 0, most);
  return limits;
}

}  // namespace

Exercise parseExercise(std::string_view text) {
  Json json;
  try {
    json = Json::parse(text);
  } catch (const Json::parse_error& error) {
    throw ExerciseError(std::string("not JSON: ") + error.what());
  }
  return exerciseOf(json);
}

Exercise exerciseOf(const nlohmann::ordered_json& json) {
  const Member root{json, ""};
  if (!json.is_object()) throw ExerciseError("an exercise file is a JSON object");
  // The version first: another version may have other members.
  if (!json.contains("schema")) refuse("schema", "is missing");
  const Member schema{json.at("schema"), "schema"};
  if (!schema.value.is_number_integer() || schema.value.get<std::int64_t>() != Exercise::schemaVersion) {
    refuse("schema",
           "this fivestage reads version " + std::to_string(Exercise::schemaVersion) + ", not " + schema.value.dump());
  }
  requireObject(
      root, {"$schema", "schema", "title", "statement", "files", "machine", "maxCycles", "data", "limits", "asMeant",
              "editable", "points", "limitsWeight", "hiddenDataSets"},
      {"title", "statement", "files", "data"});
  // The members at the top have no path before them.
  const auto top = [&](const char* key) { return Member{json.at(key), key}; };
  Exercise exercise;
  exercise.title = textOf(top("title"));
  exercise.statement = textOf(top("statement"));
  exercise.files = filesOf(top("files"));
  if (json.contains("machine")) exercise.machine = machineOf(top("machine"));
  if (json.contains("maxCycles")) exercise.maxCycles = integerOf(top("maxCycles"), 1, largestMaxCycles);
  exercise.data = dataSetsOf(top("data"));
  if (json.contains("limits")) exercise.limits = limitsOf(top("limits"));
  if (json.contains("asMeant")) exercise.asMeant = booleanOf(top("asMeant"));
  if (json.contains("editable")) exercise.editable = editableOf(top("editable"));
  if (json.contains("points")) exercise.points = pointsOf(top("points"));
  if (json.contains("limitsWeight")) exercise.limitsWeight = weightOf(top("limitsWeight"));
  if (json.contains("hiddenDataSets")) exercise.hiddenDataSets = integerOf(top("hiddenDataSets"), 0, largestDataSetCount);
  return exercise;
}

Exercise loadExercise(const std::string& path) {
  std::string text;
  try {
    text = readRegularFile(path, path, largestExerciseFile, Links::Follow);
  } catch (const ReadError& error) {
    throw ExerciseError(error.what());
  }
  return parseExercise(text);
}

}  // namespace fivestage::exercise
