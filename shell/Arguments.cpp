#include "shell/Arguments.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "vocabulary/MachineDescription.h"

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

// The usage's table: each word of the command line, padded to the column
// where what it does begins, which goes on over lines indented as far.
struct UsageRow {
  std::string words;
  std::vector<std::string> lines;
};

constexpr std::size_t usageWidth = 78;

// `text` in lines of at most `width` characters, broken between words.
std::vector<std::string> wrapped(std::string_view text, std::size_t width) {
  std::vector<std::string> lines{""};
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find(' ', start), text.size());
    const std::string_view word = text.substr(start, end - start);
    if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width) lines.emplace_back();
    lines.back() += (lines.back().empty() ? "" : " ") + std::string(word);
    start = end + 1;
  }
  return lines;
}

std::string usageTable(const std::vector<UsageRow>& rows, std::size_t column) {
  std::string table;
  for (const UsageRow& row : rows) {
    table += "  " + row.words + std::string(column - row.words.size(), ' ') + row.lines.front() + "\n";
    for (std::size_t i = 1; i < row.lines.size(); ++i) table += std::string(2 + column, ' ') + row.lines[i] + "\n";
  }
  return table;
}

// A machine option as the usage writes it: --flag, or --flag VALUE.
std::string optionWords(const OptionDescription<MachineOptions>& option) {
  return option.flag() + (option.takesValue() ? " " + std::string(option.placeholder) : "");
}

// The rows of the machine options, their help wrapped to the usage's width
// beside `column`.
std::vector<UsageRow> machineRows(std::size_t column) {
  std::vector<UsageRow> rows;
  for (const auto& option : machineDescription) {
    rows.push_back({optionWords(option), wrapped(option.consoleHelp, usageWidth - 2 - column)});
  }
  return rows;
}

// The synopsis's first line, its words broken over lines indented under the first.
std::string synopsisLine() {
  const std::string start = "Usage: fivestage";
  std::vector<std::string> words;
  for (const auto& option : machineDescription) words.push_back("[" + optionWords(option) + "]");
  words.emplace_back("[FOLDER]");
  std::string text = start;
  std::size_t lineLength = text.size();
  for (const std::string& word : words) {
    if (lineLength + 1 + word.size() > usageWidth) {
      text += "\n" + std::string(start.size(), ' ');
      lineLength = start.size();
    }
    text += " " + word;
    lineLength += 1 + word.size();
  }
  return text + "\n";
}

}  // namespace

std::string usageText() {
  // The column is one space past the longest words.
  std::size_t column = 0;
  for (const auto& option : machineDescription) column = std::max(column, optionWords(option).size() + 1);
  column = std::max(column, std::string_view("--version").size() + 1);
  const std::size_t textWidth = usageWidth - 2 - column;
  std::vector<UsageRow> rows = {{"FOLDER", {"the input folder to simulate"}},
                                {"--init DIR",
                                 wrapped("make DIR, a new or empty folder, a ready input folder: a short example "
                                         "program with comments, registers, memory, energy figures",
                                         textWidth)},
                                {"--help", {"show this text"}},
                                {"--version", {"show the version"}}};
  const std::vector<UsageRow> options = machineRows(column);
  rows.insert(rows.begin() + 1, options.begin(), options.end());
  return synopsisLine() +
         "       fivestage --init DIR\n"
         "       fivestage --help | --version\n"
         "\n"
         "Simulates, one clock cycle at a time, a five-stage pipelined processor (Fetch,\n"
         "Decode, Execute, Memory, Write-back) running a small MIPS-like program, and\n"
         "prints what every stage does in every cycle. The program and the machine come\n"
         "from src.txt, reg.txt, mem.txt and EnergyConsumptionInput/ in FOLDER, by\n"
         "default the working directory; nothing there is ever written.\n"
         "\n" +
         usageTable(rows, column) +
         "\n"
         "At the first prompt, 1 and Enter starts the simulation, 2 and Enter lists the\n"
         "loaded program, registers and memory. Then, step by step:\n"
         "Enter runs one cycle, Ctrl-D runs the rest without waiting, Ctrl-C quits.\n"
         "\n"
         "Exit status: 0 after the listing or a completed run; 1 when the run cannot go\n"
         "on (a file that cannot be loaded, a register, memory word or instruction that\n"
         "does not exist); 2 for a usage error or a folder --init will not write into.\n";
}

Arguments parseArguments(std::span<const std::string> words) {
  std::vector<std::string> rest;
  const MachineWords<MachineOptions> machine = machineFromWords(machineDescription, words, rest);
  if (!machine.error.empty()) return refusal(machine.error);
  Arguments arguments = parseCommand(rest);
  if (machine.given &&
      (arguments.action == Action::Help || arguments.action == Action::Version || arguments.action == Action::Init)) {
    return refusal(flagsListed(machineDescription, "and") +
                   " choose the machine to simulate: give them with a folder or alone");
  }
  if (arguments.action == Action::Simulate) arguments.machine = machine.options;
  return arguments;
}

}  // namespace fivestage
