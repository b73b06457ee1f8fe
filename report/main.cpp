// fivestage-report: runs the program of an input folder to its end, as
// fivestage does with choice 1 and one Enter per cycle, and reports the run
// as a whole.
#include <CLI/CLI.hpp>
#include <charconv>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

struct Arguments {
  std::string folder = ".";
  std::string html, json, kanata, trace, cycles;
  Cycle maxCycles = 100000;
};

struct UsageError {
  std::string message;
};

std::optional<Cycle> positiveNumber(std::string_view text) {
  Cycle value = 0;
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
  if (!from || !to || *from > *to) {
    throw UsageError{"--cycles wants FROM:TO, two cycle numbers from 1 with FROM <= TO, not '" + text + "'"};
  }
  if (*to - *from + 1 > CycleWindow::maximumLength) {
    throw UsageError{"--cycles shows at most " + std::to_string(CycleWindow::maximumLength) +
                     " cycles at a time, not " + std::to_string(*to - *from + 1)};
  }
  return {*from, *to};
}

// An output must not replace one of the files the run reads.
void refuseInputFile(const std::filesystem::path& folder, const std::string& output) {
  std::error_code error;
  for (const char* input : {"src.txt", "reg.txt", "mem.txt"}) {
    if (std::filesystem::equivalent(folder / input, output, error)) {
      throw UsageError{"will not write " + output + ": it is the input file " + input};
    }
  }
  const auto energy = std::filesystem::weakly_canonical(folder / "EnergyConsumptionInput", error);
  const auto target = std::filesystem::weakly_canonical(output, error);
  if (!error && std::mismatch(energy.begin(), energy.end(), target.begin(), target.end()).first == energy.end()) {
    throw UsageError{"will not write " + output + ": it is inside the energy figures"};
  }
}

int writeReports(const Arguments& arguments, const CLI::App& app) {
  const std::filesystem::path folder = arguments.folder;
  if (!std::filesystem::is_directory(folder)) throw UsageError{"no such folder: " + arguments.folder};
  RunOptions options;
  if (!arguments.cycles.empty()) options.window = windowOf(arguments.cycles);
  options.maxCycles = arguments.maxCycles;
  options.keepCycleTexts = !arguments.html.empty();

  // Every output is created before the run, so that a place that cannot be
  // written is known at once.
  const auto open = [&](const std::string& path) -> std::unique_ptr<OutputFile> {
    if (path.empty()) return nullptr;
    refuseInputFile(folder, path);
    try {
      return std::make_unique<OutputFile>(path);
    } catch (const std::runtime_error& error) {
      throw UsageError{error.what()};
    }
  };
  const std::unique_ptr<OutputFile> html = open(arguments.html);
  const std::unique_ptr<OutputFile> json = open(arguments.json);
  const std::unique_ptr<OutputFile> kanata = open(arguments.kanata);
  const std::unique_ptr<OutputFile> trace = open(arguments.trace);

  std::optional<KanataLog> kanataLog;
  if (kanata) kanataLog.emplace(kanata->stream());
  const ReportData data =
      runReport(folder, options, trace ? &trace->stream() : nullptr, kanataLog ? &*kanataLog : nullptr);
  if (kanataLog) kanataLog->finish();

  writeTextReport(std::cout, data, {options.maxCycles, app.count("--cycles") > 0});
  if (json)
    json->stream() << jsonReport(data, options.maxCycles).dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                   << "\n";
  if (html) html->stream() << htmlReport(data, options.maxCycles);
  for (OutputFile* output : {html.get(), json.get(), kanata.get(), trace.get()}) {
    if (output == nullptr) continue;
    try {
      output->commit();
    } catch (const std::runtime_error& error) {
      throw UsageError{error.what()};
    }
  }
  return exitStatusOf(data.record);
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  CLI::App app{
      "Runs the program in an input folder (src.txt, reg.txt, mem.txt, EnergyConsumptionInput/) to its end, exactly\n"
      "as fivestage runs it with choice 1 and one Enter per cycle, and reports the whole run: a program check,\n"
      "the summary (cycles, CPI, stalls, branches, energy by stage, opcode and line), the final state and the\n"
      "pipeline chart. Exit status: 0 when the run completed, 1 when loading failed, the run ended on an error or\n"
      "was stopped, 2 for a usage error.",
      "fivestage-report"};
  app.add_option("folder", arguments.folder, "The input folder (default: the working directory)");
  app.add_option("--html", arguments.html, "Also write the report as one self-contained web page")->type_name("FILE");
  app.add_option("--json", arguments.json, "Also write the report as JSON (report/report.schema.json)")
      ->type_name("FILE");
  app.add_option("--kanata", arguments.kanata, "Also write the run as a Kanata log, for the Konata viewer")
      ->type_name("FILE");
  app.add_option("--trace", arguments.trace, "Also write the full console trace of the run")->type_name("FILE");
  app.add_option("--max-cycles", arguments.maxCycles, "Stop a run still going after N cycles (default 100000)")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  app.add_option("--cycles", arguments.cycles,
                 "The cycles the chart and the details show (default: the first that fit; at most 2000)")
      ->type_name("FROM:TO");
  app.set_version_flag("--version", "fivestage-report 1.0");
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& success) {
    return app.exit(success);  // --help or --version
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return usageError;
  }
  try {
    return writeReports(arguments, app);
  } catch (const UsageError& error) {
    std::cerr << "fivestage-report: " << error.message << "\n";
    return usageError;
  }
}
