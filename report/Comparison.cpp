#include "report/Comparison.h"

#include <algorithm>
#include <ostream>
#include <span>

#include "record/Figures.h"
#include "report/HtmlReport.h"
#include "report/JsonReport.h"

namespace fivestage::report {
namespace {

// What the table shows of one machine's run: its name, the figures of its
// columns, and its result.
struct MachineFigures {
  std::string machine;
  std::vector<std::string> cells;
  std::string status;
};

std::string orDash(const std::optional<double>& value) { return value ? twoDecimals(*value) : "-"; }

// The columns of the table, with their widths: the kind's own, then the
// energy columns every kind shares (the total, per instruction, the two
// delay products, then where the energy went).
struct Column {
  const char* heading;
  std::size_t width;
};
constexpr Column machineColumns[] = {{"cycles", 8}, {"CPI", 7}, {"stalls", 8}, {"lost", 6}, {"cancelled", 11}};
constexpr Column predictorColumns[] = {{"cycles", 8}, {"CPI", 7}, {"mispredicted", 14}, {"accuracy", 10}, {"lost", 6}};
constexpr Column energyColumns[] = {{"energy", 10},    {"per instr.", 12}, {"energy-delay", 14}, {"energy-delay^2", 16},
                                    {"completed", 11}, {"wrong path", 12}, {"idle", 8},          {"stalled", 9}};

std::vector<Column> columnsOf(ComparisonKind kind) {
  const std::span<const Column> own =
      kind == ComparisonKind::Predictors ? std::span<const Column>(predictorColumns) : machineColumns;
  std::vector<Column> columns(own.begin(), own.end());
  columns.insert(columns.end(), std::begin(energyColumns), std::end(energyColumns));
  return columns;
}

std::vector<std::string> energyCellsOf(const RunRecord& record) {
  const EnergySplit& split = record.energySplit;
  return {std::to_string(record.energyTotal()),
          orDash(energyPerCompletedInstruction(record)),
          energyDelayText(record),
          energyDelaySquaredText(record),
          std::to_string(sumOf(split.completed)),
          std::to_string(sumOf(split.wrongPath)),
          std::to_string(sumOf(split.idle)),
          std::to_string(sumOf(split.stalled))};
}

std::vector<std::string> cellsOf(const RunRecord& record, ComparisonKind kind) {
  const std::string cycles = std::to_string(record.cycles);
  const std::string cpi = orDash(cyclesPerInstruction(record));
  std::vector<std::string> cells;
  if (kind == ComparisonKind::Predictors) {
    const PredictionFigures prediction = predictionFigures(record);
    cells = {cycles, cpi, std::to_string(prediction.mispredictions),
             accuracyText(accuracyOf(prediction.resolved, prediction.mispredictions)),
             std::to_string(prediction.cyclesLost)};
  } else {
    cells = {cycles, cpi, std::to_string(record.stallCount), std::to_string(record.cyclesLost),
             std::to_string(record.cancelled)};
  }
  const std::vector<std::string> energy = energyCellsOf(record);
  cells.insert(cells.end(), energy.begin(), energy.end());
  return cells;
}

// A row's name: the machine, or among predictors the predictor alone.
std::string rowName(const RunRecord& record, ComparisonKind kind) {
  if (kind == ComparisonKind::Predictors) {
    return std::string(predictorNames[static_cast<std::size_t>(record.machine.predictor)]);
  }
  return machineName(record.machine);
}

MachineFigures figuresOf(const ReportData& run, ComparisonKind kind, Cycle maxCycles) {
  const RunRecord& record = run.record;
  return {rowName(record, kind), cellsOf(record, kind),
          record.end == RunEnd::Completed && run.meaning ? meaningText(*run.meaning) : statusText(record, maxCycles)};
}

// The cycles every chart shows, the same for every machine so that they line up.
std::pair<Cycle, Cycle> sharedCycles(const Comparison& comparison, bool windowChosen) {
  Cycle longest = 0;
  for (const ReportData& run : comparison.runs) longest = std::max(longest, run.record.cycles);
  const CycleWindow window = comparison.runs.front().record.window;
  const Cycle last = std::min(window.to, longest);
  return {window.from, windowChosen ? last : std::min(last, window.from + chartBandCycles - 1)};
}

Comparison compareOn(const InputFiles& inputs, const RunOptions& options, const std::vector<MachineOptions>& machines,
                     ComparisonKind kind) {
  Comparison comparison{{}, kind};
  for (const MachineOptions& machine : machines) {
    RunOptions run = options;
    run.machine = machine;
    // The program means the same on every machine: it is worked out once.
    comparison.runs.push_back(
        runReport(inputs, run, nullptr, nullptr, comparison.runs.empty() ? nullptr : comparison.runs.back().meant));
  }
  return comparison;
}

}  // namespace

Comparison compareMachines(const InputFiles& inputs, const RunOptions& options) {
  return compareOn(inputs, options, comparedMachines(), ComparisonKind::Machines);
}

Comparison comparePredictors(const InputFiles& inputs, const RunOptions& options) {
  // The machine given, each predictor in turn: every other option, today's
  // and any added later, stays as given. A predictor needs flush.
  std::vector<MachineOptions> machines;
  for (std::size_t predictor = 0; predictor < predictorNames.size(); ++predictor) {
    MachineOptions machine = options.machine;
    machine.flush = true;
    machine.predictor = static_cast<Predictor>(predictor);
    machines.push_back(machine);
  }
  return compareOn(inputs, options, machines, ComparisonKind::Predictors);
}

void writeComparisonText(std::ostream& out, const Comparison& comparison, const TextOptions& options) {
  const ReportData& first = comparison.runs.front();
  out << "fivestage comparison for " << first.folder.string() << "\n";
  if (!first.program) {
    out << "\nNot run: " << statusText(first.record, options.maxCycles) << "\n";
    return;
  }
  const std::vector<Column> columns = columnsOf(comparison.kind);
  out << "\n  " << std::string(22, ' ');
  for (const Column& column : columns) out << rightAligned(column.heading, column.width);
  out << "  result\n";
  for (const ReportData& run : comparison.runs) {
    const MachineFigures figures = figuresOf(run, comparison.kind, options.maxCycles);
    out << "  " << figures.machine << std::string(22 - figures.machine.size(), ' ');
    const std::vector<std::string>& cells = figures.cells;
    for (std::size_t i = 0; i < cells.size(); ++i) out << rightAligned(cells[i], columns[i].width);
    out << "  " << figures.status << "\n";
  }

  const auto [from, to] = sharedCycles(comparison, options.windowChosen);
  out << "\nPipeline charts, cycles " << from << " to " << to
      << " on one scale; F fetch, f waits to be fetched, w waits to be decoded, D decode, s stall, c cancelled,"
         " X execute, M memory, W write-back\n";
  for (const ReportData& run : comparison.runs) {
    out << "\n" << rowName(run.record, comparison.kind) << " (" << run.record.cycles << " cycles)\n";
    if (from <= to) writeChartBands(out, run, from, to);
  }
}

std::string machinesHtml(const Comparison& comparison, Cycle maxCycles, MachineRows rows) {
  const ReportData& first = comparison.runs.front();
  if (!first.program) return "<p>Not run: " + htmlEscaped(statusText(first.record, maxCycles)) + "</p>";
  // A page that picks a machine by its row tells the head from the body,
  // and names each row's machine in a button.
  const bool choosable = rows == MachineRows::Choosable;
  std::string head = "<tr><th>machine</th>";
  for (const Column& column : columnsOf(comparison.kind)) {
    head += "<th class=\"number\">" + std::string(column.heading) + "</th>";
  }
  head += "<th>result</th></tr>";
  std::string body;
  for (const ReportData& run : comparison.runs) {
    const MachineFigures figures = figuresOf(run, comparison.kind, maxCycles);
    const std::string name = htmlEscaped(figures.machine);
    body += choosable ? "<tr title=\"Show the run on " + name + "\"><th scope=\"row\"><button type=\"button\">" + name +
                            "</button></th>"
                      : "<tr><td>" + name + "</td>";
    for (const std::string& cell : figures.cells) body += "<td class=\"number\">" + cell + "</td>";
    body += "<td>" + htmlEscaped(figures.status) + "</td></tr>";
  }
  if (choosable) return "<table class=\"comparison\"><thead>" + head + "</thead><tbody>" + body + "</tbody></table>";
  return "<table class=\"comparison\">" + head + body + "</table>";
}

std::string comparisonHtml(const Comparison& comparison, Cycle maxCycles) {
  const ReportData& first = comparison.runs.front();
  const std::string folder = htmlEscaped(first.folder.string());
  std::string html = pageHead("fivestage comparison: " + folder);
  html += "<h1>fivestage comparison</h1><p class=\"status\">" + folder + ": the program on " +
          countWord(comparison.runs.size()) +
          (comparison.kind == ComparisonKind::Predictors ? " predictors" : " machines") + "</p>";
  if (!first.program) return html + machinesHtml(comparison, maxCycles) + "</main></body></html>\n";
  html += "<section><h2>Machines</h2>" + machinesHtml(comparison, maxCycles) + "</section>";

  // The same first and last cycle for every chart, so that their columns line up.
  const auto [from, to] = sharedCycles(comparison, true);
  html += "<section><h2>Pipeline charts</h2><p class=\"note\">Cycles " + std::to_string(from) + " to " +
          std::to_string(to) + ", the same scale for every machine.</p>";
  for (const ReportData& run : comparison.runs) {
    std::vector<const ChartRow*> rows;
    for (const ChartRow& row : run.record.chart) rows.push_back(&row);
    const std::string name = rowName(run.record, comparison.kind);
    html += "<h3>" + htmlEscaped(name) + " <span class=\"note\">(" + std::to_string(run.record.cycles) +
            " cycles)</span></h3><div class=\"chart-scroll\"" + scrollRegion("pipeline chart on " + name) + ">" +
            chartHtml(*run.program, rows, from, to) + "</div>";
  }
  return html + "</section></main></body></html>\n";
}

nlohmann::ordered_json comparisonJson(const Comparison& comparison, Cycle maxCycles) {
  nlohmann::ordered_json machines = nlohmann::ordered_json::array();
  for (const ReportData& run : comparison.runs) machines.push_back(jsonReport(run, maxCycles));
  return {{"schema", jsonSchemaVersion}, {"machines", machines}};
}

int exitStatusOf(const Comparison& comparison) {
  const bool allCompleted = std::all_of(comparison.runs.begin(), comparison.runs.end(),
                                        [](const ReportData& run) { return run.record.end == RunEnd::Completed; });
  return allCompleted ? 0 : 1;
}

}  // namespace fivestage::report
