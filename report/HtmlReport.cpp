#include "report/HtmlReport.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "record/Figures.h"

namespace fivestage::report {
namespace {

constexpr int cellWidth = 18;

std::string stageTitle(char cell) {
  switch (cell) {
    case 'F': return "Fetch";
    case 'D': return "Decode";
    case 's': return "Stall";
    case 'f': return "Waits to be fetched";
    case 'c': return "Cancelled";
    case 'w': return "Waits to be decoded";
    case 'X': return "Execute";
    case 'M': return "Memory";
    case 'W': return "Write-back";
    default: return "";
  }
}

const char* stageColour(Stage stage) {
  switch (stage) {
    case Stage::Fetch: return "var(--fetch)";
    case Stage::Decode: return "var(--decode)";
    case Stage::Execute: return "var(--execute)";
    case Stage::Memory: return "var(--memory)";
    case Stage::WriteBack: return "var(--writeback)";
  }
  return "";
}

// Data for the page's script. "<" is escaped so that no text can end the
// script element; bytes that are not UTF-8 become U+FFFD.
std::string scriptJson(const nlohmann::ordered_json& value) {
  const std::string text = value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    if (c == '<') {
      escaped += "\\u003c";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string number(std::int64_t value) { return std::to_string(value); }

std::string figure(const std::string& name, const std::string& value) {
  return "<dt>" + htmlEscaped(name) + "</dt><dd>" + value + "</dd>";
}

std::string instruction(const ReportData& data, InstructionTag tag) {
  return "<code>" + htmlEscaped(instructionText(*data.program, tag.index)) + "</code>";
}

}  // namespace

std::string htmlEscaped(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string pageHead(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>" +
         title + "</title><style>" + std::string(reportCss) + "</style></head><body><main>";
}

std::string scrollRegion(const std::string& name) {
  return " tabindex=\"0\" role=\"region\" aria-label=\"" + htmlEscaped(name) + "\"";
}

ChartParts chartParts(const MachineState& program, const std::vector<const ChartRow*>& rows, Cycle first, Cycle last,
                      std::optional<Cycle> current) {
  ChartParts parts;
  const Cycle columns = std::max<Cycle>(0, last - first + 1);
  parts.opening =
      "<div class=\"chart\" data-first-cycle=\"" + number(first) + "\" style=\"--cycles: " + number(columns) + "\">";
  parts.head = "<div class=\"row head\"><div class=\"label\">instruction \\ cycle</div><div class=\"cycles\">";
  for (Cycle cycle = first; cycle <= last; ++cycle) {
    parts.head += "<div class=\"cycle" + std::string(cycle == current ? " current" : "") + "\" data-cycle=\"" +
                  number(cycle) + "\">" + number(cycle) + "</div>";
  }
  parts.head += "</div></div>";
  // A page that steps redraws the chart every cycle: it is built by appending
  // in place.
  for (const ChartRow* chartRow : rows) {
    const ChartRow& row = *chartRow;
    if (row.lastCycle() < first || row.firstCycle > last) continue;
    const std::string name = htmlEscaped(instructionText(program, row.instruction.index));
    const std::size_t line = program.instructionLines[static_cast<std::size_t>(row.instruction.index)] + 1;
    std::string html;
    html.append("<div class=\"row\" data-fetch=\"").append(number(row.instruction.fetch));
    html.append("\"><div class=\"label\" title=\"").append(name).append(" (source line ");
    html.append(number(static_cast<std::int64_t>(line))).append(")\"><span class=\"line\">L");
    html.append(number(static_cast<std::int64_t>(line))).append("</span>").append(name);
    html.append("</div><div class=\"cells\">");
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
      const Cycle cycle = row.firstCycle + static_cast<Cycle>(i);
      if (cycle < first || cycle > last) continue;
      const char cell = row.cells[i];
      // A cell's class is its letter, but c, which every cell has, is "cancelled".
      html.append("<span class=\"c ").append(cell == 'c' ? "cancelled" : std::string(1, cell));
      html.append("\" style=\"grid-column: ");
      html.append(number(cycle - first + 1)).append("\" data-cycle=\"").append(number(cycle));
      html.append("\" title=\"").append(name).append(" · cycle ").append(number(cycle)).append(" · ");
      html.append(stageTitle(cell));
      if (!row.notes[i].empty()) html.append(": ").append(htmlEscaped(row.notes[i]));
      html.append("\">").append(1, cell).append("</span>");
    }
    html.append("</div></div>");
    parts.rows.push_back({row.instruction.fetch, std::move(html)});
  }
  return parts;
}

std::string chartHtml(const MachineState& program, const std::vector<const ChartRow*>& rows, Cycle first, Cycle last,
                      std::optional<Cycle> current) {
  const ChartParts parts = chartParts(program, rows, first, last, current);
  std::string html = parts.opening + parts.head;
  for (const ChartParts::Row& row : parts.rows) html += row.html;
  return html.append(ChartParts::closing);
}

namespace {

// Where the energy went: a row per part, a column per stage and the part's
// total, so that both the rows and the columns add up to the energy in all.
std::string energySplitHtml(const EnergySplit& split) {
  std::string html = "<h3>Where the energy went</h3><table class=\"energy-split\"><tr><th>part</th>";
  for (const Stage stage : allStages) html += "<th class=\"number\">" + std::string(stageName(stage)) + "</th>";
  html += "<th class=\"number\">total</th></tr>";
  const std::pair<const char*, const StageEnergy*> parts[] = {{"completed", &split.completed},
                                                              {"wrong path", &split.wrongPath},
                                                              {"idle", &split.idle},
                                                              {"stalled", &split.stalled}};
  for (const auto& [name, part] : parts) {
    html += "<tr><th scope=\"row\">" + std::string(name) + "</th>";
    for (const std::int64_t energy : *part) html += "<td class=\"number\">" + number(energy) + "</td>";
    html += "<td class=\"number\">" + number(sumOf(*part)) + "</td></tr>";
  }
  return html + "</table>";
}

}  // namespace

std::string summaryHtml(const MachineState& program, const RunRecord& record, Cycle maxCycles) {
  std::string html = "<dl class=\"figures\">";
  if (record.machine != MachineOptions{}) html += figure("Machine", htmlEscaped(machineText(record.machine)));
  html += figure("Status", htmlEscaped(statusText(record, maxCycles)));
  if (const std::optional<CycleBreakdown> breakdown = cycleBreakdown(record)) {
    html += figure("Cycles", htmlEscaped(breakdownText(record.cycles, *breakdown)));
  } else {
    html += figure("Cycles", number(record.cycles));
  }
  html += figure("Fetched", number(record.fetched));
  html += figure("Completed (left Write-back)", number(record.completed));
  const std::optional<double> cpi = cyclesPerInstruction(record);
  html += figure("CPI", cpi ? twoDecimals(*cpi) : "none completed");
  html += figure("Stalls", number(record.stallCount) + ", " + number(record.cyclesLost) + " cycles lost");
  html += figure("Branches and jumps", number(record.taken) + " taken, " + number(record.notTaken) + " not taken");
  if (record.showsPrediction()) {
    html += figure("Cancelled on a mispredicted path", number(record.cancelled));
  } else if (record.machine.flush) {
    html += figure("Cancelled behind a taken branch", number(record.cancelled));
  } else {
    html +=
        figure("Ran behind a taken branch", number(record.behindTakenCount) + " (this machine does not cancel them)");
  }
  const std::optional<double> perInstruction = energyPerCompletedInstruction(record);
  html += figure("Energy", number(record.energyTotal()) +
                               (perInstruction ? ", " + twoDecimals(*perInstruction) + " per completed instruction"
                                               : std::string()));
  html += "</dl>";

  html += "<h3>Energy by stage</h3><table><tr>";
  for (const Stage stage : allStages) html += "<th class=\"number\">" + std::string(stageName(stage)) + "</th>";
  html += "</tr><tr>";
  for (const Stage stage : allStages) {
    html += "<td class=\"number\" data-stage=\"" + std::string(stageName(stage)) + "\">" +
            number(record.energyByStage[static_cast<std::size_t>(stage)]) + "</td>";
  }
  html += "</tr></table>" + energySplitHtml(record.energySplit) + "<h3>Energy by opcode</h3><table>";
  for (const OpcodeEnergy& opcode : energyByOpcode(program, record)) {
    html += "<tr><td><code>" + htmlEscaped(opcode.opcode) + "</code></td><td class=\"number\">" +
            number(opcode.energy) + "</td></tr>";
  }
  return html + "</table>";
}

// A list that may run long, folded away until it is opened.
std::string foldedSection(const std::string& title, std::size_t entries, const std::string& body) {
  return "<section><details" + std::string(entries <= 10 ? " open" : "") + "><summary><h2>" + htmlEscaped(title) +
         " <span class=\"note\">(" + number(static_cast<std::int64_t>(entries)) + ")</span></h2></summary>" + body +
         "</details></section>";
}

std::string stallsHtml(const ReportData& data) {
  const RunRecord& record = data.record;
  if (record.stallGroups.empty()) return foldedSection("Stalls", 0, "<p class=\"note\">No stall.</p>");
  std::string html =
      "<p class=\"note\">The same waiting instruction, register and producer is listed once.</p><table "
      "class=\"stalls\"><tr><th>cycles</th><th>waiting instruction</th>"
      "<th>register</th><th>waits for</th><th class=\"number\">cycles lost</th></tr>";
  for (const StallGroup& group : record.stallGroups) {
    const StallRecord& stall = group.first;
    html += "<tr><td>" + htmlEscaped(cyclesText(stall.cycle, group.lastCycle, group.count)) + "</td><td>" +
            instruction(data, stall.waiting) + "</td><td><code>$" + number(onBus(stall.blockedRegister)) +
            "</code></td><td>" + (stall.waitsFor ? instruction(data, *stall.waitsFor) : std::string()) +
            "</td><td class=\"number\">" + number(group.cyclesLost) +
            "</td></tr><tr class=\"reason\"><td></td><td colspan=\"4\">" +
            htmlEscaped(stallReason(*data.program, record.machine, stall)) + "</td></tr>";
  }
  return foldedSection("Stalls", record.stallGroups.size(), html + "</table>");
}

std::string behindTakenHtml(const ReportData& data) {
  const RunRecord& record = data.record;
  if (record.behindTakenGroups.empty()) {
    return foldedSection("Ran behind a taken branch", 0,
                         "<p class=\"note\">None: no instruction ran behind a taken branch.</p>");
  }
  std::string html = "<table><tr><th>cycles</th><th>branch</th><th>instruction behind it</th></tr>";
  for (const BehindTakenGroup& group : record.behindTakenGroups) {
    html += "<tr><td class=\"number\">" + htmlEscaped(cyclesText(group.first.cycle, group.lastCycle, group.count)) +
            "</td><td>" + instruction(data, group.first.branch) + "</td><td>" + instruction(data, group.first.behind) +
            "</td></tr>";
  }
  return foldedSection("Ran behind a taken branch", record.behindTakenGroups.size(), html + "</table>");
}

// A branch's line and text, as the prediction tables name it.
std::string branchCells(const ReportData& data, InstructionIndex branch) {
  const std::size_t line = data.program->instructionLines[static_cast<std::size_t>(branch)] + 1;
  return "<td class=\"number\">" + number(static_cast<std::int64_t>(line)) + "</td><td><code>" +
         htmlEscaped(sourceText(*data.program, branch)) + "</code></td>";
}

std::string takenWord(bool taken) { return taken ? "taken" : "not taken"; }

// A table's state with what it predicts, or nothing for a static predictor.
std::string stateCell(Predictor predictor, std::optional<std::int32_t> state) {
  if (!state) return "<td></td>";
  return "<td>" + number(*state) + " <span class=\"note\">" +
         htmlEscaped(std::string(tableStateMeaning(predictor, *state))) + "</span></td>";
}

// One branch's resolutions in the window, each marked right or wrong.
std::string predictionHistoryHtml(const ReportData& data, const PredictedBranch& branch) {
  const RunRecord& record = data.record;
  std::string rows;
  std::size_t count = 0;
  for (const PredictionStep& step : record.predictions) {
    if (step.branch.index != branch.branch) continue;
    ++count;
    const bool right = step.predictedTaken == step.taken;
    rows += "<tr class=\"" + std::string(right ? "right" : "wrong") + "\"><td class=\"number\">" +
            number(step.cycle) + "</td><td class=\"number\">" +
            (step.before ? number(step.before->index) : std::string()) + "</td>" +
            stateCell(record.machine.predictor,
                      step.before ? std::optional<std::int32_t>(step.before->state) : std::nullopt) +
            "<td>" + takenWord(step.predictedTaken) + "</td><td>" + takenWord(step.taken) +
            "</td><td class=\"verdict\">" + (right ? "right" : "wrong") + "</td>" +
            stateCell(record.machine.predictor, step.after) + "</tr>";
  }
  if (count == 0) return "";
  return "<details" + std::string(count <= 10 ? " open" : "") + "><summary><code>" +
         htmlEscaped(instructionText(*data.program, branch.branch)) + "</code> <span class=\"note\">(" +
         number(static_cast<std::int64_t>(count)) +
         ")</span></summary><table class=\"predictions\"><tr><th class=\"number\">cycle</th><th "
         "class=\"number\">entry</th><th>state before</th><th>predicted</th><th>outcome</th><th></th><th>state "
         "after</th></tr>" +
         rows + "</table></details>";
}

std::string predictionHtml(const ReportData& data) {
  const RunRecord& record = data.record;
  const PredictionFigures figures = predictionFigures(record);
  std::string html = "<dl class=\"figures\">" +
                     figure("Mispredicted", number(figures.mispredictions) + " of " + number(figures.resolved) +
                                                " branches resolved") +
                     figure("Accuracy", accuracyText(accuracyOf(figures.resolved, figures.mispredictions))) +
                     figure("Cycles lost", number(figures.cyclesLost)) +
                     figure("Wrong-path energy", number(figures.wrongPathEnergy)) +
                     "</dl><table><tr><th class=\"number\">line</th><th>branch</th><th "
                     "class=\"number\">executions</th><th class=\"number\">taken</th><th "
                     "class=\"number\">mispredicted</th><th class=\"number\">accuracy</th><th "
                     "class=\"number\">cycles lost</th><th class=\"number\">wrong-path energy</th></tr>";
  std::string history;
  for (const PredictedBranch& branch : record.predictedBranches) {
    html += "<tr>" + branchCells(data, branch.branch) + "<td class=\"number\">" + number(branch.executions) +
            "</td><td class=\"number\">" + number(branch.taken) + "</td><td class=\"number\">" +
            number(branch.mispredicted) + "</td><td class=\"number\">" +
            accuracyText(accuracyOf(branch.executions, branch.mispredicted)) + "</td><td class=\"number\">" +
            number(branch.cyclesLost) + "</td><td class=\"number\">" + number(branch.wrongPathEnergy) +
            "</td></tr>";
    history += predictionHistoryHtml(data, branch);
  }
  html += "<tr><td></td><td>in all</td><td class=\"number\">" + number(figures.resolved) +
          "</td><td></td><td class=\"number\">" + number(figures.mispredictions) + "</td><td class=\"number\">" +
          accuracyText(accuracyOf(figures.resolved, figures.mispredictions)) + "</td><td class=\"number\">" +
          number(figures.cyclesLost) + "</td><td class=\"number\">" + number(figures.wrongPathEnergy) +
          "</td></tr></table>";
  if (!history.empty()) {
    html += "<h3>The predictor's table over time</h3><p class=\"note\">Each resolution of a branch in cycles " +
            number(record.window.from) + " to " + number(std::min(record.window.to, record.cycles)) +
            ": the entry as Execute found it, the prediction Fetch made, the outcome, and the state written at the "
            "end of the cycle.</p>" +
            history;
  }
  return "<section><h2>Branch prediction <span class=\"note\">(" +
         htmlEscaped(std::string(predictorNames[static_cast<std::size_t>(record.machine.predictor)])) +
         ")</span></h2>" + html + "</section>";
}

std::string energyByLineHtml(const ReportData& data) {
  const std::vector<LineEnergy> lines = energyByLine(*data.program, data.record);
  std::string html = "<table><tr><th>line</th><th>instruction</th><th class=\"number\">energy</th></tr>";
  for (const LineEnergy& line : lines) {
    html += "<tr><td class=\"number\">" + number(static_cast<std::int64_t>(line.line)) + "</td><td><code>" +
            htmlEscaped(line.text) + "</code></td><td class=\"number\">" + number(line.energy) + "</td></tr>";
  }
  return foldedSection("Energy by source line, largest first", lines.size(), html + "</table>");
}

namespace {

// The first and last cycle of a bucket of the run's energy over time.
std::pair<Cycle, Cycle> bucketCycles(const RunRecord& record, std::size_t bucket) {
  const Cycle width = record.energyOverTime.width;
  const Cycle first = static_cast<Cycle>(bucket) * width + 1;
  return {first, std::min(first + width - 1, record.cycles)};
}

std::string cyclesText(std::pair<Cycle, Cycle> cycles) {
  return cycles.first == cycles.second ? "cycle " + number(cycles.first)
                                       : "cycles " + number(cycles.first) + " to " + number(cycles.second);
}

// What the picture shows, in words, for those who cannot see it.
std::string energyOverTimeText(const RunRecord& record, std::int64_t highest) {
  const EnergyTimeline& timeline = record.energyOverTime;
  return "Energy of cycles 1 to " + number(record.cycles) + " in " + number(std::ssize(timeline.buckets)) +
         (timeline.width == 1 ? " bars, one a cycle" : " bars of " + number(timeline.width) + " cycles each") +
         ", stacked by stage from Fetch at the bottom to WriteBack at the top; the highest bar is " + number(highest) +
         ". A triangle above a bar marks a stall that began in its cycles, a cross a cancelled instruction: " +
         number(record.stallCount) + " stalls and " + number(record.cancelled) + " cancelled in all.";
}

// The marks above a bar: a triangle for a stall, a cross for a cancellation.
std::string bucketMarks(const EnergyBucket& bucket, int x, int width, const std::string& when) {
  const int middle = x + width / 2;
  std::string marks;
  if (bucket.stalls > 0) {
    marks += "<path class=\"stall-mark\" data-stalls=\"" + number(bucket.stalls) + "\" d=\"M" +
             std::to_string(middle - 3) + " 2h6l-3 6z\"><title>" + when + ": " + number(bucket.stalls) +
             (bucket.stalls == 1 ? " stall began" : " stalls began") + "</title></path>";
  }
  if (bucket.cancelled > 0) {
    marks += "<path class=\"cancel-mark\" data-cancelled=\"" + number(bucket.cancelled) + "\" d=\"M" +
             std::to_string(middle - 3) + " 11l6 6m0 -6l-6 6\"><title>" + when + ": " + number(bucket.cancelled) +
             " cancelled</title></path>";
  }
  return marks;
}

}  // namespace

EnergyOverTimeParts energyOverTimeParts(const RunRecord& record) {
  const std::vector<EnergyBucket>& buckets = record.energyOverTime.buckets;
  std::int64_t highest = 1;
  for (const EnergyBucket& bucket : buckets) highest = std::max(highest, sumOf(bucket.energy));
  constexpr int marksHeight = 20, height = 160;
  const int bars = std::max<int>(1, static_cast<int>(buckets.size()));
  const int barWidth = std::max(4, std::min(cellWidth, 900 / bars));
  const int labelEvery = std::max(1, 40 / barWidth);
  EnergyOverTimeParts picture;
  picture.opening = "<div class=\"energy-scroll\"" + scrollRegion("energy over time") +
                    "><svg class=\"energy-chart\" width=\"" + std::to_string(bars * barWidth) + "\" height=\"" +
                    std::to_string(marksHeight + height + 16) +
                    "\" role=\"img\" aria-labelledby=\"energy-time-title energy-time-text\">";
  picture.parts.push_back({"title", "<title id=\"energy-time-title\">Energy over time</title>"});
  picture.parts.push_back(
      {"desc", "<desc id=\"energy-time-text\">" + energyOverTimeText(record, highest) + "</desc>"});
  for (std::size_t i = 0; i < buckets.size(); ++i) {
    const std::pair<Cycle, Cycle> cycles = bucketCycles(record, i);
    const std::string when = cyclesText(cycles);
    const int x = static_cast<int>(i) * barWidth;
    std::string bar =
        "<g class=\"bar\" data-first=\"" + number(cycles.first) + "\" data-last=\"" + number(cycles.second) + "\">";
    double top = marksHeight + height;
    for (const Stage stage : allStages) {
      const std::int64_t energy = buckets[i].energy[static_cast<std::size_t>(stage)];
      if (energy <= 0) continue;
      const double barHeight = static_cast<double>(energy) * height / static_cast<double>(highest);
      top -= barHeight;
      bar += "<rect x=\"" + std::to_string(x + 1) + "\" y=\"" + twoDecimals(top) + "\" width=\"" +
             std::to_string(std::max(barWidth - 2, 2)) + "\" height=\"" + twoDecimals(barHeight) + "\" fill=\"" +
             stageColour(stage) + "\" data-stage=\"" + std::string(stageName(stage)) + "\" data-energy=\"" +
             number(energy) + "\"><title>" + when + " · " + std::string(stageName(stage)) + " " + number(energy) +
             "</title></rect>";
    }
    const std::string first = number(cycles.first);
    picture.parts.push_back({"bar " + first, bar + bucketMarks(buckets[i], x, barWidth, when) + "</g>"});
    if (i % static_cast<std::size_t>(labelEvery) == 0) {
      picture.parts.push_back({"label " + first, "<text x=\"" + std::to_string(x) + "\" y=\"" +
                                                      std::to_string(marksHeight + height + 13) +
                                                      "\" font-size=\"10\" fill=\"#6b6b70\">" + first + "</text>"});
    }
  }
  picture.legend = "<p class=\"legend\">";
  for (const Stage stage : allStages) {
    picture.legend += "<span><i style=\"background: " + std::string(stageColour(stage)) + "\"></i>" +
                      std::string(stageName(stage)) + "</span>";
  }
  picture.legend += "<span>▼ a stall began</span><span>✕ an instruction was cancelled</span><span class=\"note\">" +
                    (record.energyOverTime.width == 1 ? "one bar a cycle"
                                                      : "one bar per " + number(record.energyOverTime.width) + " cycles") +
                    "; highest bar: " + number(highest) + "</span></p>";
  return picture;
}

std::string energyOverTimeHtml(const RunRecord& record) {
  const EnergyOverTimeParts picture = energyOverTimeParts(record);
  std::string html = picture.opening;
  for (const EnergyOverTimeParts::Part& part : picture.parts) html += part.html;
  return html.append(EnergyOverTimeParts::closing) + picture.legend;
}

std::string meaningHtml(const Meaning& meaning) {
  std::string html = "<p class=\"result" + std::string(meaning.matches ? "" : " differs") +
                     "\"><strong>Result:</strong> " + htmlEscaped(meaningText(meaning)) + "</p>";
  if (meaning.registers.empty() && meaning.memory.empty()) return html;
  html += "<table><tr><th></th><th class=\"number\">machine</th><th class=\"number\">meant</th></tr>";
  const auto rows = [&html](const std::vector<Difference>& differing, const char* prefix) {
    for (const Difference& difference : differing) {
      html += "<tr><td><code>" + std::string(prefix) + number(difference.location) +
              "</code></td><td class=\"number\">" + number(difference.machine) + "</td><td class=\"number\">" +
              number(difference.meant) + "</td></tr>";
    }
  };
  rows(meaning.registers, "$");
  rows(meaning.memory, "word ");
  return html + "</table>";
}

std::string finalStateHtml(const std::vector<ValueChange>& registers, const std::vector<ValueChange>& memory) {
  if (registers.empty() && memory.empty()) return "<p class=\"note\">Nothing changed.</p>";
  std::string html = "<table><tr><th></th><th class=\"number\">initial</th><th class=\"number\">final</th></tr>";
  // Each row names what it shows, for a page that leads from a row to the value.
  const auto rows = [&html](const std::vector<ValueChange>& changes, const char* kind, const char* prefix) {
    for (const ValueChange& change : changes) {
      html += "<tr data-" + std::string(kind) + "=\"" + number(change.location) + "\"><td><code>" + prefix +
              number(change.location) + "</code></td><td class=\"number\">" + number(change.initial) +
              "</td><td class=\"number\">" + number(change.final) + "</td></tr>";
    }
  };
  rows(registers, "register", "$");
  rows(memory, "word", "word ");
  return html + "</table>";
}

std::string warningsHtml(const std::vector<Warning>& warnings) {
  if (warnings.empty()) return "<p class=\"note\">Nothing to warn about.</p>";
  std::string html = "<ul class=\"warnings\">";
  for (const Warning& warning : warnings) {
    html += "<li><strong>" + (warning.line ? "line " + number(static_cast<std::int64_t>(*warning.line)) : "energy") +
            "</strong>: " + htmlEscaped(warning.message) + "</li>";
  }
  return html + "</ul>";
}

std::string htmlReport(const ReportData& data, Cycle maxCycles) {
  const RunRecord& record = data.record;
  const std::string folder = htmlEscaped(data.folder.string());
  std::string html = pageHead("fivestage report: " + folder);
  html += "<h1>fivestage report</h1><p class=\"status" + std::string(record.end == RunEnd::Completed ? "" : " failed") +
          "\">" + folder + ": " + htmlEscaped(statusText(record, maxCycles)) + "</p>";
  if (!data.program) return html + "</main></body></html>\n";

  html += "<section><h2>Summary</h2>" + summaryHtml(*data.program, record, maxCycles) + "</section>";
  if (record.showsPrediction()) html += predictionHtml(data);
  html += "<section><h2>Final state</h2>" + finalStateHtml(record.registerChanges, record.memoryChanges) +
          meaningHtml(*data.meaning) + "</section>";
  html += "<section><h2>Program check</h2>" + warningsHtml(data.warnings) + "</section>";
  const Cycle last = std::min(record.window.to, record.cycles);
  std::vector<const ChartRow*> rows;
  for (const ChartRow& row : record.chart) rows.push_back(&row);
  html += "<section><h2>Pipeline chart</h2><p class=\"note\">Cycles " + number(record.window.from) + " to " +
          number(last) + " of " + number(record.cycles) +
          ". Hover over a cell to see what its stage did; click a cycle to see its console trace.</p>"
          "<p class=\"legend\"><span><i style=\"background: var(--fetch)\"></i>F fetch</span>"
          "<span><i class=\"held\"></i>f waits to be fetched</span>"
          "<span><i style=\"background: var(--decode)\"></i>D decode</span>"
          "<span><i style=\"background: var(--stall)\"></i>s stall</span>"
          "<span><i style=\"background: var(--execute)\"></i>X execute</span>"
          "<span><i style=\"background: var(--memory)\"></i>M memory</span>"
          "<span><i style=\"background: var(--writeback)\"></i>W write-back</span>" +
          std::string(record.machine.forwarding ? "<span><i class=\"held\"></i>w waits to be decoded</span>" : "") +
          std::string(record.machine.flush ? "<span><i class=\"cancelled\"></i>c cancelled</span>" : "") +
          "</p>"
          "<div class=\"chart-scroll\"" + scrollRegion("pipeline chart") + ">" +
          chartHtml(*data.program, rows, record.window.from, last) + "</div></section>";
  html +=
      "<section><h2 id=\"cycle-trace-title\">Cycle trace</h2><pre class=\"trace\" id=\"cycle-trace\" tabindex=\"0\" "
      "aria-labelledby=\"cycle-trace-title\">"
      "Click a cycle in the chart.</pre></section>";
  html += "<section><h2>Energy over time</h2>" + energyOverTimeHtml(record) + "</section>";
  html += stallsHtml(data) + behindTakenHtml(data) + energyByLineHtml(data);
  html += "<script type=\"application/json\" id=\"cycle-texts\">" + scriptJson(data.cycleTexts) + "</script>";
  html += "<script>" + std::string(reportJs) + "</script></main></body></html>\n";
  return html;
}

}  // namespace fivestage::report
