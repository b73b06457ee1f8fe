#pragma once

#include <filesystem>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "record/ReportRun.h"
#include "report/TextReport.h"

namespace fivestage::report {

// The same program run on each machine a course compares: every
// combination of the flags of the machine's description.
struct Comparison {
  std::vector<ReportData> runs;  // in the order of comparedMachines()
};

// Runs the folder's program on every machine, with the options' window and
// cycle limit.
Comparison compareMachines(const std::filesystem::path& folder, const RunOptions& options);

// One row per machine (cycles, CPI, stalls and the cycles they cost,
// cancelled instructions, energy, energy per completed instruction, the
// energy-delay product), then the charts on one cycle scale.
void writeComparisonText(std::ostream& out, const Comparison& comparison, const TextOptions& options);

// The table and the charts aligned, as one self-contained page.
std::string comparisonHtml(const Comparison& comparison, Cycle maxCycles);

// {"schema": ..., "machines": [...]}: each machine's report as the single
// run's JSON gives it.
nlohmann::ordered_json comparisonJson(const Comparison& comparison, Cycle maxCycles);

// 0 when the run completed on every machine, 1 otherwise.
int exitStatusOf(const Comparison& comparison);

}  // namespace fivestage::report
