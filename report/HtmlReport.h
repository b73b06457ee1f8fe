#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "record/ReportRun.h"

namespace fivestage::report {

// The report as one self-contained page: no network access, it opens from
// disk. Its pieces are fragments of HTML that other pages (the browser
// edition) embed as well.
std::string htmlReport(const ReportData& data, Cycle maxCycles);

// The pipeline chart of cycles `first` to `last`: a sticky instruction column
// and cycle header, a row per fetch, a cell per stage and cycle whose tooltip
// tells what the stage did. `current` marks a cycle (the one a stepping page
// shows).
std::string chartHtml(const MachineState& program, const std::vector<const ChartRow*>& rows, Cycle first, Cycle last,
                      std::optional<Cycle> current = std::nullopt);
// The same chart in its parts, for a page that redraws it every cycle and
// puts in only the rows that changed: the chart's opening tag (it holds the
// window of cycles), the head, and each row with the fetch it follows.
struct ChartParts {
  static constexpr std::string_view closing = "</div>";
  struct Row {
    FetchNumber fetch;
    std::string html;
  };
  std::string opening;
  std::string head;
  std::vector<Row> rows;
};
ChartParts chartParts(const MachineState& program, const std::vector<const ChartRow*>& rows, Cycle first, Cycle last,
                      std::optional<Cycle> current = std::nullopt);
// The summary figures, energy tables and stall table.
std::string summaryHtml(const MachineState& program, const RunRecord& record, Cycle maxCycles);
// "Energy over time": the energy of every cycle of the run, stacked by
// stage, in at most a couple of hundred bars (a long run's bars each sum a
// bucket of cycles), marked where stalls began and instructions were
// cancelled. An SVG picture with its legend; each rect carries its stage and
// energy as data-stage and data-energy, each bar its cycles.
std::string energyOverTimeHtml(const RunRecord& record);
// The same picture in parts, as the page redraws it at every Step: the
// opening of its scroll region and SVG, which holds the picture's size, the
// SVG's elements, each keyed (its title, its description, a group per bar,
// the cycle labels), and the legend below it. A Step changes the last bar
// and the description; the other bars keep their markup until the scale or
// the bars' width changes.
struct EnergyOverTimeParts {
  static constexpr std::string_view closing = "</svg></div>";
  struct Part {
    std::string key;
    std::string html;
  };
  std::string opening;
  std::vector<Part> parts;
  std::string legend;
};
EnergyOverTimeParts energyOverTimeParts(const RunRecord& record);
// Registers and memory words the run changed.
std::string finalStateHtml(const std::vector<ValueChange>& registers, const std::vector<ValueChange>& memory);
// The program check's warnings.
std::string warningsHtml(const std::vector<Warning>& warnings);

std::string htmlEscaped(std::string_view text);

// The start of a self-contained page, its style included, up to <main>.
std::string pageHead(const std::string& title);

// The attributes of a box whose content scrolls: the keyboard reaches it, to
// scroll it too, and it is named for those who cannot see it.
std::string scrollRegion(const std::string& name);

// The page's style sheet and script, shared with the browser edition.
extern const std::string_view reportCss;
extern const std::string_view reportJs;

}  // namespace fivestage::report
