#include "shell/Arguments.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace fivestage {
namespace {

bool isOption(const std::string& word) { return word.starts_with('-'); }

Arguments refusal(std::string error) { return {Action::Refuse, {}, std::move(error), {}}; }

// The folder is checked here so that the message names it: loading would
// only say that src.txt could not be loaded.
Arguments simulateIn(const std::string& folder) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(folder, error);
  if (status.type() == std::filesystem::file_type::not_found) return refusal("no such folder: " + folder);
  if (error) return refusal("cannot reach " + folder + ": " + error.message());
  if (!std::filesystem::is_directory(status)) return refusal("not a folder: " + folder);
  return {Action::Simulate, folder, {}, {}};
}

// --init comes first, with the one folder to make after it.
Arguments initOf(std::span<const std::string> words) {
  if (words.size() != 2 || words[0] != "--init" || words[1].empty() || isOption(words[1])) {
    return refusal("--init wants one folder after it: fivestage --init DIR");
  }
  return {Action::Init, words[1], {}, {}};
}

// The words that name no machine option, in their order.
Arguments parseCommand(std::span<const std::string> words) {
  if (words.empty()) return {};
  const auto option = std::find_if(words.begin(), words.end(), isOption);
  if (option != words.end()) {
    if (*option == "--init") return initOf(words);
    if (*option != "--help" && *option != "--version") return refusal("unknown option: " + *option);
    if (words.size() > 1) return refusal(*option + " stands alone");
    return {*option == "--help" ? Action::Help : Action::Version, {}, {}, {}};
  }
  if (words.size() > 1) return refusal("one folder at most, not " + std::to_string(words.size()));
  return simulateIn(words.front());
}

}  // namespace

// The machine options may stand anywhere among the other words.
Arguments parseArguments(std::span<const std::string> words) {
  MachineOptions machine;
  std::vector<std::string> rest;
  for (const std::string& word : words) {
    if (word == "--forwarding") {
      machine.forwarding = true;
    } else if (word == "--flush") {
      machine.flush = true;
    } else {
      rest.push_back(word);
    }
  }
  Arguments arguments = parseCommand(rest);
  if (machine != MachineOptions{} &&
      (arguments.action == Action::Help || arguments.action == Action::Version || arguments.action == Action::Init)) {
    return refusal("--forwarding and --flush choose the machine to simulate: give them with a folder or alone");
  }
  if (arguments.action == Action::Simulate) arguments.machine = machine;
  return arguments;
}

}  // namespace fivestage
