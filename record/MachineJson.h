#pragma once

// The JSON `machine` object, written and read here alone: by the report, the
// comparison, exercise files and the page. Each option of the machine's
// description is a member under its key: a flag true or false, a choice its
// name, a number itself.

#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "vocabulary/MachineDescription.h"

namespace fivestage::report {

// A machine object that cannot be read: the member at fault (empty for the
// object as a whole) and what is wrong with it.
class MachineJsonError : public std::runtime_error {
 public:
  MachineJsonError(std::string member, std::string problem)
      : std::runtime_error(member.empty() ? problem : member + ": " + problem),
        member_(std::move(member)),
        problem_(std::move(problem)) {}
  const std::string& member() const { return member_; }
  const std::string& problem() const { return problem_; }

 private:
  std::string member_;
  std::string problem_;
};

template <typename Options>
nlohmann::ordered_json optionValueJson(const OptionDescription<Options>& option, OptionValue value) {
  if (option.kind == OptionKind::Flag) return value != 0;
  if (option.kind == OptionKind::Choice) return valueText(option, value);
  return value;
}

// The value a member gives an option; refuses one the option does not take.
template <typename Options>
OptionValue optionValueOf(const OptionDescription<Options>& option, const nlohmann::ordered_json& json) {
  const std::string key(option.key);
  if (option.kind == OptionKind::Flag) {
    if (!json.is_boolean()) throw MachineJsonError(key, "must be true or false");
    return json.get<bool>() ? 1 : 0;
  }
  std::optional<OptionValue> value;
  if (option.kind == OptionKind::Choice && json.is_string()) value = valueNamed(option, json.get<std::string>());
  if (option.kind == OptionKind::Number && json.is_number_integer()) {
    // A number too large for a signed integer would wrap: it is beyond the range anyway.
    const bool beyond = json.is_number_unsigned() &&
                        json.get<std::uint64_t>() > static_cast<std::uint64_t>(option.highest);
    if (!beyond && isAllowedNumber(option, json.get<OptionValue>())) value = json.get<OptionValue>();
  }
  if (!value) throw MachineJsonError(key, "must be " + takenBy(option));
  return *value;
}

// Every option under its key, in the description's order.
template <typename Options>
nlohmann::ordered_json optionsJson(MachineDescriptionOf<Options> description, const Options& options) {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  for (const OptionDescription<Options>& option : description) {
    json[std::string(option.key)] = optionValueJson(option, option.member.get(options));
  }
  return json;
}

// The options a machine object chooses: a member left out is at its default,
// and the flags the options chosen need are turned on. Throws
// MachineJsonError for anything else than an object of the options' members.
template <typename Options>
Options optionsFromJson(MachineDescriptionOf<Options> description, const nlohmann::ordered_json& json) {
  if (!json.is_object()) throw MachineJsonError("", "must be an object");
  Options options{};
  for (const auto& [key, value] : json.items()) {
    const OptionDescription<Options>* option = optionWithKey(description, key);
    if (option == nullptr) throw MachineJsonError(key, "is not a member here");
    option->member.set(options, optionValueOf(*option, value));
  }
  applyNeeds(description, options);
  return options;
}

// The options as the page builds its controls from them: each one's key,
// kind, name, tooltip, default, the flag it needs, and the values a valued
// one takes.
template <typename Options>
nlohmann::ordered_json controlsJson(MachineDescriptionOf<Options> description) {
  static constexpr const char* kinds[] = {"flag", "choice", "number"};
  nlohmann::ordered_json controls = nlohmann::ordered_json::array();
  for (const OptionDescription<Options>& option : description) {
    nlohmann::ordered_json control = {{"key", option.key},
                                      {"kind", kinds[static_cast<int>(option.kind)]},
                                      {"name", option.name},
                                      {"title", option.title},
                                      {"default", optionValueJson(option, option.defaultValue())}};
    if (!option.needs.empty()) control["needs"] = option.needs;
    if (option.kind == OptionKind::Choice) control["choices"] = option.choices;
    if (option.kind == OptionKind::Number) {
      control["lowest"] = option.lowest;
      control["highest"] = option.highest;
      control["powerOfTwo"] = option.powerOfTwo;
    }
    controls.push_back(control);
  }
  return controls;
}

inline nlohmann::ordered_json machineJson(const MachineOptions& machine) {
  return optionsJson(machineDescription, machine);
}
inline MachineOptions machineFromJson(const nlohmann::ordered_json& json) {
  return optionsFromJson(machineDescription, json);
}
inline nlohmann::ordered_json machineControlsJson() { return controlsJson(machineDescription); }

}  // namespace fivestage::report
