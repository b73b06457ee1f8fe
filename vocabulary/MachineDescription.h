#pragma once

// The machine options as everything outside the core sees them: both command
// lines (their parsing and help), the reports' names for a machine, the JSON
// `machine` object and the page's controls. Each of those is made from the
// list below; an option added to it appears in all of them at once.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "common/NumberText.h"
#include "vocabulary/MachineOptions.h"

namespace fivestage {

// What values a machine option takes.
enum class OptionKind {
  Flag,    // off or on: --key alone on a command line, false or true in JSON
  Choice,  // one of a list of names: --key NAME, a text in JSON
  Number,  // a whole number in a range: --key N, a number in JSON
};

// An option's value, whatever its kind: a flag's 0 or 1, the index of a
// choice among its names, a number itself.
using OptionValue = std::int64_t;

// How an option's value is read from and written into the typed options the
// core reads: one member of `Options`.
template <typename Options>
struct OptionMember {
  OptionValue (*get)(const Options&);
  void (*set)(Options&, OptionValue);
};

template <auto member>
struct MemberAccess;
template <typename Options, typename Value, Value Options::*member>
struct MemberAccess<member> {
  static OptionValue get(const Options& options) { return static_cast<OptionValue>(options.*member); }
  static void set(Options& options, OptionValue value) { options.*member = static_cast<Value>(value); }
  static constexpr OptionMember<Options> access{&get, &set};
};

// The access to a member of the options, as `memberOf<&MachineOptions::flush>`.
template <auto member>
inline constexpr auto memberOf = MemberAccess<member>::access;

// One machine option. Its default is the value its member has in `Options{}`.
template <typename Options>
struct OptionDescription {
  std::string_view key = {};  // the JSON member and the page's control; the flag on both command lines is --key
  std::string_view flagName = {};  // the flag's word after --, when it is not the key ("predictor-entries")
  OptionKind kind = OptionKind::Flag;
  OptionMember<Options> member = {};
  // fivestage --help, one sentence (wrapped there to the usage's width), and fivestage-report --help.
  std::string_view consoleHelp = {};
  std::string_view reportHelp = {};
  // How reports and the page name a machine with the option on ("forwarding");
  // a valued option's name is followed by its value there.
  std::string_view name = {};
  std::string_view effect = {};  // what the option makes the machine do, for the report's Machine line
  std::string_view title = {};  // the page control's tooltip
  std::span<const std::string_view> choices = {};  // Choice: its names, in the order offered
  OptionValue lowest = 0;                           // Number: the range,
  OptionValue highest = 1;
  bool powerOfTwo = false;                          // and whether only its powers of two
  std::string_view placeholder = {};  // a valued option: the word after the flag in the usage ("P")
  // The key of a flag this option needs, which it turns on: given on a
  // command line, whatever its value; in a JSON machine object, which names
  // every option, with any value but its default.
  std::string_view needs = {};

  OptionValue defaultValue() const { return member.get(Options{}); }
  bool takesValue() const { return kind != OptionKind::Flag; }
  std::string flag() const { return "--" + std::string(flagName.empty() ? key : flagName); }
};

template <typename Options>
using MachineDescriptionOf = std::span<const OptionDescription<Options>>;

// ---- the machine's options ---------------------------------------------------

// The predictors' names, in the order of the Predictor enumeration.
inline constexpr std::array<std::string_view, 5> predictorNames{"not-taken", "taken", "backward-taken", "1-bit",
                                                                "2-bit"};

inline constexpr std::array<OptionDescription<MachineOptions>, 4> machineOptionList{{
    {.key = "forwarding",
     .kind = OptionKind::Flag,
     .member = memberOf<&MachineOptions::forwarding>,
     .consoleHelp = "add a forwarding unit: results reach Execute without waiting for Write-back; only an "
                    "instruction that uses the word the instruction right ahead of it loads waits, for one cycle",
     .reportHelp = "Run on a machine with a forwarding unit: only a use of the word just loaded waits, one cycle",
     .name = "forwarding",
     .effect = "results reach Execute without waiting for Write-back, a load's word a cycle later",
     .title = "A forwarding unit hands Execute the newest value of each register"},
    {.key = "flush",
     .kind = OptionKind::Flag,
     .member = memberOf<&MachineOptions::flush>,
     .consoleHelp = "cancel the instruction fetched behind a taken branch or jump",
     .reportHelp = "Run on a machine that cancels the instruction fetched behind a taken branch or jump",
     .name = "flush",
     .effect = "a taken branch or jump cancels the instruction fetched behind it",
     .title = "A taken branch or jump cancels the instruction fetched behind it"},
    {.key = "predictor",
     .kind = OptionKind::Choice,
     .member = memberOf<&MachineOptions::predictor>,
     .consoleHelp = "predict branches in Fetch (turns flush on): not-taken (flush alone), taken, backward-taken, "
                    "1-bit or 2-bit (a table of the last outcomes or of 2-bit counters); a wrong guess cancels what "
                    "was fetched after the branch",
     .reportHelp = "Predict branches in Fetch with P, one of not-taken, taken, backward-taken, 1-bit or 2-bit "
                   "(turns --flush on)",
     .name = "predictor",
     .effect = "Fetch predicts each branch, and a wrong prediction cancels what it fetched after the branch",
     .title = "How Fetch predicts a branch before Execute resolves it",
     .choices = predictorNames,
     .placeholder = "P",
     .needs = "flush"},
    {.key = "predictorEntries",
     .flagName = "predictor-entries",
     .kind = OptionKind::Number,
     .member = memberOf<&MachineOptions::predictorEntries>,
     .consoleHelp = "the entries of the 1-bit and 2-bit tables, a power of two from 1 to 1024 (16 by default)",
     .reportHelp = "The entries of the 1-bit and 2-bit predictors' tables, a power of two from 1 to 1024",
     .name = "predictor entries",
     .effect = "the predictor's table has that many entries",
     .title = "The entries of the 1-bit and 2-bit predictors' tables",
     .lowest = 1,
     .highest = 1024,
     .powerOfTwo = true,
     .placeholder = "N"},
}};

static_assert(machineOptionList.size() < 64, "one bit each among the options given");

// The machine's options, in the order every command line, report and page lists them.
inline constexpr MachineDescriptionOf<MachineOptions> machineDescription{machineOptionList};

// The name of the machine without options, the one the console has always shown.
inline constexpr std::string_view plainMachineName = "as specified";

// ---- reading and writing one value ------------------------------------------

// "a", "a and b", "a, b and c"; `conjunction` may be "or".
inline std::string listed(const std::vector<std::string>& items, std::string_view conjunction = "and") {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " " + std::string(conjunction) + " " : ", ";
    text += items[i];
  }
  return text;
}

// A count as a word, as the messages say how many machines are compared.
inline std::string countWord(std::size_t count) {
  static constexpr std::array<std::string_view, 13> words{
      "no", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten", "eleven", "twelve"};
  return count < words.size() ? std::string(words[count]) : std::to_string(count);
}

// What a valued option takes, as the messages say it: "one of taken or not-taken".
template <typename Options>
std::string takenBy(const OptionDescription<Options>& option) {
  if (option.kind == OptionKind::Choice) {
    return "one of " + listed(std::vector<std::string>(option.choices.begin(), option.choices.end()), "or");
  }
  return std::string(option.powerOfTwo ? "a power of two" : "a whole number") + " from " +
         std::to_string(option.lowest) + " to " + std::to_string(option.highest);
}

// A number the option takes: in its range, and a power of two where it must be.
template <typename Options>
bool isAllowedNumber(const OptionDescription<Options>& option, OptionValue value) {
  const bool power = value > 0 && (value & (value - 1)) == 0;
  return value >= option.lowest && value <= option.highest && (!option.powerOfTwo || power);
}

// The value a valued option's text names: a choice by its name, a number in
// decimal digits; nothing when the option does not take the text.
template <typename Options>
std::optional<OptionValue> valueNamed(const OptionDescription<Options>& option, std::string_view text) {
  if (option.kind == OptionKind::Choice) {
    for (std::size_t i = 0; i < option.choices.size(); ++i) {
      if (option.choices[i] == text) return static_cast<OptionValue>(i);
    }
    return std::nullopt;
  }
  if (option.kind == OptionKind::Flag) return std::nullopt;
  const std::optional<OptionValue> value = decimalNumber(text);
  return value && isAllowedNumber(option, *value) ? value : std::nullopt;
}

// A valued option's value as the command line and JSON write it: a choice's
// name, a number's digits.
template <typename Options>
std::string valueText(const OptionDescription<Options>& option, OptionValue value) {
  if (option.kind == OptionKind::Choice) return std::string(option.choices[static_cast<std::size_t>(value)]);
  return std::to_string(value);
}

// Sets the option to the value `text` names; says what is wrong when it names none.
template <typename Options>
std::optional<std::string> setFromText(const OptionDescription<Options>& option, Options& options,
                                       std::string_view text) {
  const std::optional<OptionValue> value = valueNamed(option, text);
  if (!value) return option.flag() + " takes " + takenBy(option) + ", not '" + std::string(text) + "'";
  option.member.set(options, *value);
  return std::nullopt;
}

// ---- the rules between options, and the names of machines ---------------------

template <typename Options>
const OptionDescription<Options>* optionWithKey(MachineDescriptionOf<Options> description, std::string_view key) {
  for (const OptionDescription<Options>& option : description) {
    if (option.key == key) return &option;
  }
  return nullptr;
}

// The option a command line's word names: "--flush".
template <typename Options>
const OptionDescription<Options>* optionWithFlag(MachineDescriptionOf<Options> description, std::string_view word) {
  for (const OptionDescription<Options>& option : description) {
    if (option.flag() == word) return &option;
  }
  return nullptr;
}

// The options a command line gave, one bit each by their place in the description.
using GivenOptions = std::uint64_t;

// Turns on the flags that the options chosen need: those given on a command
// line (so that naming the default predictor still chooses its machine), and
// any at a value other than its default.
template <typename Options>
void applyNeeds(MachineDescriptionOf<Options> description, Options& options, GivenOptions given = 0) {
  for (std::size_t i = 0; i < description.size(); ++i) {
    const OptionDescription<Options>& option = description[i];
    const bool chosen = (given >> i & 1) != 0 || option.member.get(options) != option.defaultValue();
    if (option.needs.empty() || !chosen) continue;
    if (const auto* needed = optionWithKey(description, option.needs)) needed->member.set(options, 1);
  }
}

// The options not at their default, in the description's order.
template <typename Options>
std::vector<const OptionDescription<Options>*> optionsOn(MachineDescriptionOf<Options> description,
                                                         const Options& options) {
  std::vector<const OptionDescription<Options>*> on;
  for (const OptionDescription<Options>& option : description) {
    if (option.member.get(options) != option.defaultValue()) on.push_back(&option);
  }
  return on;
}

// "forwarding and flush", or the plain machine's name for the machine without
// options; a valued option is named with its value, "entries 32".
template <typename Options>
std::string machineNameOf(MachineDescriptionOf<Options> description, const Options& options) {
  std::vector<std::string> names;
  for (const OptionDescription<Options>* option : optionsOn(description, options)) {
    names.push_back(std::string(option->name) +
                    (option->takesValue() ? " " + valueText(*option, option->member.get(options)) : ""));
  }
  return names.empty() ? std::string(plainMachineName) : listed(names);
}

// The machine's name and what its options do, in a sentence.
template <typename Options>
std::string machineTextOf(MachineDescriptionOf<Options> description, const Options& options) {
  std::string text = machineNameOf(description, options);
  const char* separator = ": ";
  for (const OptionDescription<Options>* option : optionsOn(description, options)) {
    text += separator + std::string(option->effect);
    separator = "; ";
  }
  return text;
}

// The machines a comparison runs: every combination of the flags, the other
// options at their default; the first flag changes fastest, so the machine
// without options comes first and the one with every flag last.
template <typename Options>
std::vector<Options> comparedMachinesOf(MachineDescriptionOf<Options> description) {
  std::vector<Options> machines{Options{}};
  for (const OptionDescription<Options>& option : description) {
    if (option.kind != OptionKind::Flag) continue;
    const std::size_t without = machines.size();
    for (std::size_t i = 0; i < without; ++i) {
      machines.push_back(machines[i]);
      option.member.set(machines.back(), 1);
    }
  }
  return machines;
}

// The options that are flags, "--forwarding and --flush" or with "or".
template <typename Options>
std::string flagsListed(MachineDescriptionOf<Options> description, std::string_view conjunction) {
  std::vector<std::string> flags;
  for (const OptionDescription<Options>& option : description) {
    if (option.kind == OptionKind::Flag) flags.push_back(option.flag());
  }
  return listed(flags, conjunction);
}

// The machine a command line's words choose: its options may stand anywhere
// among the other words, which are left in `rest` in their order; a valued
// option takes the word after it. `error` says what is wrong, if anything.
template <typename Options>
struct MachineWords {
  Options options{};
  bool given = false;  // any option was given
  std::string error;
};

template <typename Options>
MachineWords<Options> machineFromWords(MachineDescriptionOf<Options> description, std::span<const std::string> words,
                                       std::vector<std::string>& rest) {
  MachineWords<Options> machine;
  GivenOptions given = 0;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const OptionDescription<Options>* option = optionWithFlag(description, words[i]);
    if (option == nullptr) {
      rest.push_back(words[i]);
      continue;
    }
    machine.given = true;
    given |= GivenOptions{1} << (option - description.data());
    if (!option->takesValue()) {
      option->member.set(machine.options, 1);
    } else if (i + 1 == words.size()) {
      machine.error = option->flag() + " takes " + takenBy(*option) + ", and none was given";
    } else if (auto error = setFromText(*option, machine.options, words[++i])) {
      machine.error = *error;
    }
    if (!machine.error.empty()) return machine;
  }
  applyNeeds(description, machine.options, given);
  return machine;
}

inline std::string machineName(const MachineOptions& machine) { return machineNameOf(machineDescription, machine); }
inline std::string machineText(const MachineOptions& machine) { return machineTextOf(machineDescription, machine); }
inline std::vector<MachineOptions> comparedMachines() { return comparedMachinesOf(machineDescription); }

}  // namespace fivestage
