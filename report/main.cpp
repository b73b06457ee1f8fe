// fivestage-report: runs the program of an input folder to its end, as
// fivestage does with choice 1 and one Enter per cycle, and reports the run
// as a whole.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "report/Figures.h"
#include "report/HtmlReport.h"
#include "report/JsonReport.h"
#include "report/KanataLog.h"
#include "report/OutputFile.h"
#include "report/ReportRun.h"
#include "report/TextReport.h"

namespace {

using namespace fivestage;
using namespace fivestage::report;

constexpr int usageError = 2;
constexpr const char* program = "fivestage-report";
const std::string largestCycle = std::to_string(std::numeric_limits<Cycle>::max());

// What each option takes, as the messages say it.
const std::string maxCyclesTakes = "a whole number from 1 to " + largestCycle;
const std::string cyclesTakes = "FROM:TO, two cycle numbers from 1 to " + largestCycle + " with FROM <= TO";
const std::string outputTakes = "a file name, or - for standard output";

struct UsageError {
  std::string message;
};

[[noreturn]] void refuseValue(const std::string& option, const std::string& takes, const std::string& value) {
  throw UsageError{option + " takes " + takes + ", not '" + value + "'"};
}

// A whole number from 1 to the largest cycle number, digits only.
std::optional<Cycle> positiveNumber(std::string_view text) {
  Cycle value = 0;
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

// FROM:TO, two cycle numbers from 1 with FROM <= TO, at most the window's
// greatest length apart.
CycleWindow windowOf(const std::string& text) {
  const std::size_t colon = text.find(':');
  const std::optional<Cycle> from = positiveNumber(std::string_view(text).substr(0, colon));
  const std::optional<Cycle> to =
      colon == std::string::npos ? std::nullopt : positiveNumber(std::string_view(text).substr(colon + 1));
  if (!from || !to || *from > *to) refuseValue("--cycles", cyclesTakes, text);
  if (*to - *from + 1 > CycleWindow::maximumLength) {
    throw UsageError{"--cycles shows at most " + std::to_string(CycleWindow::maximumLength) +
                     " cycles at a time, not " + std::to_string(*to - *from + 1)};
  }
  return {*from, *to};
}

// The command line, as given.
struct Arguments {
  std::vector<std::string> folders;
  std::string maxCycles, cycles;
  struct Output {
    const char* option;
    std::string name;  // empty when not asked for
  };
  Output html{"--html", {}}, json{"--json", {}}, kanata{"--kanata", {}}, trace{"--trace", {}};
};

// "a", "a and b", "a, b and c".
std::string listed(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " and " : ", ";
    text += items[i];
  }
  return text;
}

// An output must not replace one of the files the run reads.
void refuseInputFile(const std::filesystem::path& folder, const OutputPlace& output) {
  if (output.kind() == OutputPlace::Kind::Descriptor) return;
  std::error_code error;
  for (const char* input : {"src.txt", "reg.txt", "mem.txt"}) {
    if (std::filesystem::equivalent(folder / input, output.path(), error)) {
      throw UsageError{"will not write " + output.name() + ": it is the input file " + input};
    }
  }
  const auto energy = std::filesystem::weakly_canonical(folder / "EnergyConsumptionInput", error);
  const auto target = std::filesystem::weakly_canonical(output.path(), error);
  if (!error && std::mismatch(energy.begin(), energy.end(), target.begin(), target.end()).first == energy.end()) {
    throw UsageError{"will not write " + output.name() + ": it is inside the energy figures"};
  }
}

// One line on standard error when the run did not complete and the text
// report, which would say so, is left out.
std::string runEnding(const ReportData& data, Cycle maxCycles) {
  const std::string status = statusText(data.record, maxCycles);
  if (!data.program) return "not run: " + status;
  if (data.record.end == RunEnd::Failed) return "ended in cycle " + std::to_string(data.record.cycles) + ": " + status;
  return status;
}

int writeReports(const Arguments& arguments) {
  const std::filesystem::path folder = arguments.folders.empty() ? "." : arguments.folders.front();
  if (!std::filesystem::is_directory(folder)) throw UsageError{"no such folder: " + folder.string()};
  RunOptions options;
  if (!arguments.maxCycles.empty()) {
    const std::optional<Cycle> limit = positiveNumber(arguments.maxCycles);
    if (!limit) refuseValue("--max-cycles", maxCyclesTakes, arguments.maxCycles);
    options.maxCycles = *limit;
  }
  if (!arguments.cycles.empty()) options.window = windowOf(arguments.cycles);
  options.keepCycleTexts = !arguments.html.name.empty();

  // Where every output goes is settled, and every conflict found, before
  // anything is created.
  const Arguments::Output* const asked[] = {&arguments.html, &arguments.json, &arguments.kanata, &arguments.trace};
  std::vector<std::pair<const Arguments::Output*, OutputPlace>> places;
  for (const Arguments::Output* output : asked) {
    if (output->name.empty()) continue;
    try {
      places.emplace_back(output, OutputPlace(output->name));
    } catch (const std::runtime_error& error) {
      throw UsageError{error.what()};
    }
    refuseInputFile(folder, places.back().second);
  }
  for (std::size_t i = 0; i < places.size(); ++i) {
    for (std::size_t j = i + 1; j < places.size(); ++j) {
      const auto& [first, firstPlace] = places[i];
      const auto& [second, secondPlace] = places[j];
      if (!firstPlace.sameAs(secondPlace)) continue;
      const std::string both =
          std::string(first->option) + " " + first->name + " and " + second->option + " " + second->name;
      throw UsageError{firstPlace.isStandardOutput() ? "only one output can go to standard output, not both " + both
                                                     : both + " are the same file: give each output a file of its own"};
    }
  }
  const bool standardOutputTaken =
      std::any_of(places.begin(), places.end(), [](const auto& place) { return place.second.isStandardOutput(); });

  // Every output is opened before the run, so that a place that cannot be
  // written is known at once: first the files written under a temporary name,
  // then the devices and pipes, as opening a pipe waits for its reader.
  std::unique_ptr<OutputFile> html, json, kanata, trace;
  const auto fileOf = [&](const Arguments::Output* output) -> std::unique_ptr<OutputFile>& {
    return output == &arguments.html     ? html
           : output == &arguments.json   ? json
           : output == &arguments.kanata ? kanata
                                         : trace;
  };
  for (const bool replaced : {true, false}) {
    for (const auto& [output, place] : places) {
      if ((place.kind() == OutputPlace::Kind::Replace) != replaced) continue;
      try {
        fileOf(output) = std::make_unique<OutputFile>(place);
      } catch (const std::runtime_error& error) {
        throw UsageError{error.what()};
      }
    }
  }

  std::optional<KanataLog> kanataLog;
  if (kanata) kanataLog.emplace(kanata->stream());
  const ReportData data =
      runReport(folder, options, trace ? &trace->stream() : nullptr, kanataLog ? &*kanataLog : nullptr);
  if (kanataLog) kanataLog->finish();
  if (json)
    json->stream() << jsonReport(data, options.maxCycles).dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                   << "\n";
  if (html) html->stream() << htmlReport(data, options.maxCycles);

  // Nothing is put in place unless every output was written whole.
  try {
    for (OutputFile* output : {html.get(), json.get(), kanata.get(), trace.get()}) {
      if (output != nullptr) output->finish();
    }
    for (OutputFile* output : {html.get(), json.get(), kanata.get(), trace.get()}) {
      if (output != nullptr) output->publish();
    }
  } catch (const std::runtime_error& error) {
    throw UsageError{error.what()};
  }

  // Standard output carries one thing: the text report, or the output named -.
  const int status = exitStatusOf(data.record);
  if (!standardOutputTaken) {
    writeTextReport(std::cout, data, {options.maxCycles, !arguments.cycles.empty()});
  } else if (status != 0) {
    std::cerr << program << ": " << runEnding(data, options.maxCycles) << "\n";
  }
  return status;
}

// The option that a command line ending in it gives no value, if any.
std::optional<std::string> optionWithoutValue(int argc, char** argv, const std::vector<const char*>& options) {
  if (argc < 2) return std::nullopt;
  const std::string last = argv[argc - 1];
  for (const char* option : options) {
    if (last == option || last == std::string(option) + "=") return option;
  }
  return std::nullopt;
}

// Checks what CLI11 leaves to the program: unknown options, options given
// twice, more than one folder, and each value.
void checkArguments(const CLI::App& app, const Arguments& arguments) {
  for (const std::string& extra : app.remaining()) {
    if (extra == "--") continue;
    throw UsageError{"no option " + extra.substr(0, extra.find('=')) + " (see fivestage-report --help)"};
  }
  for (const CLI::Option* option : app.get_options()) {
    if (option->count() > 1 && !option->get_positional()) {
      throw UsageError{option->get_name() + " is given " + std::to_string(option->count()) + " times: give it once"};
    }
  }
  if (arguments.folders.size() > 1) throw UsageError{"one input folder at a time: got " + listed(arguments.folders)};
  for (const Arguments::Output* output : {&arguments.html, &arguments.json, &arguments.kanata, &arguments.trace}) {
    if (app.count(output->option) == 0) continue;
    // A forgotten file name: CLI11 takes the next word, even an option.
    if (output->name.empty() || (output->name.front() == '-' && output->name != "-")) {
      throw UsageError{std::string(output->option) + " takes " + outputTakes + ", not '" + output->name + "'" +
                       (output->name.empty() ? "" : " (./" + output->name + " for a file so named)")};
    }
  }
  if (app.count("--max-cycles") > 0 && arguments.maxCycles.empty()) refuseValue("--max-cycles", maxCyclesTakes, "");
  if (app.count("--cycles") > 0 && arguments.cycles.empty()) refuseValue("--cycles", cyclesTakes, "");
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  CLI::App app{
      "Runs the program in an input folder (src.txt, reg.txt, mem.txt, EnergyConsumptionInput/) to its end, exactly\n"
      "as fivestage runs it with choice 1 and one Enter per cycle, and reports the whole run: a program check,\n"
      "the summary (cycles, CPI, stalls, branches, energy by stage, opcode and line), the final state and the\n"
      "pipeline chart. An output FILE may be - for standard output (one output at most; the text report is then\n"
      "left out), a file (replaced whole once written; a symbolic link is followed), a character device or a\n"
      "named pipe (written in place). Exit status: 0 when the run completed, 1 when loading failed, the run\n"
      "ended on an error or was stopped, 2 for a usage error.",
      program};
  app.allow_extras();  // unknown options are reported below, in plain words
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);  // and options given twice
  app.add_option("folder", arguments.folders, "The input folder (default: the working directory)")->type_name("FOLDER");
  app.add_option("--html", arguments.html.name, "Also write the report as one self-contained web page (- for stdout)")
      ->type_name("FILE");
  app.add_option("--json", arguments.json.name,
                 "Also write the report as JSON (report/report.schema.json; - for stdout)")
      ->type_name("FILE");
  app.add_option("--kanata", arguments.kanata.name,
                 "Also write the run as a Kanata log, for the Konata viewer (- for stdout)")
      ->type_name("FILE");
  app.add_option("--trace", arguments.trace.name, "Also write the full console trace of the run (- for stdout)")
      ->type_name("FILE");
  app.add_option("--max-cycles", arguments.maxCycles,
                 "Stop a run still going after N cycles, 1 to " + largestCycle + " (default 100000)")
      ->type_name("N");
  app.add_option("--cycles", arguments.cycles,
                 "The cycles the chart and the details show (default: the first that fit; at most 2000)")
      ->type_name("FROM:TO");
  app.set_version_flag("--version", "fivestage-report 1.0");
  try {
    try {
      app.parse(argc, argv);
    } catch (const CLI::Success& success) {
      return app.exit(success);  // --help or --version
    } catch (const CLI::ParseError& error) {
      // An option at the end without its value; anything else in CLI11's words.
      const std::optional<std::string> option =
          optionWithoutValue(argc, argv, {"--html", "--json", "--kanata", "--trace", "--max-cycles", "--cycles"});
      if (option && dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        const std::string& takes = *option == "--max-cycles" ? maxCyclesTakes
                                   : *option == "--cycles"   ? cyclesTakes
                                                             : outputTakes;
        throw UsageError{*option + " takes " + takes + ", and none was given"};
      }
      std::string message = error.what();
      message = message.substr(0, message.find('\n'));
      throw UsageError{message + " (see fivestage-report --help)"};
    }
    checkArguments(app, arguments);
    return writeReports(arguments);
  } catch (const UsageError& error) {
    std::cerr << program << ": " << error.message << "\n";
    return usageError;
  }
}
