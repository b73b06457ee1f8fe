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
// What a comparison sets side by side: every combination of the flags, or
// the predictors, each row named by its predictor, with their
// mispredictions in the table instead of the stalls.
enum class ComparisonKind { Machines, Predictors };

struct Comparison {
  std::vector<ReportData> runs;  // in the order of comparedMachines(), or of the predictors
  ComparisonKind kind = ComparisonKind::Machines;
};

// Runs the program of `inputs` on every machine, with the options' window
// and cycle limit.
Comparison compareMachines(const InputFiles& inputs, const RunOptions& options);
// Runs it under each predictor, with the forwarding and the table size of
// the options' machine.
Comparison comparePredictors(const InputFiles& inputs, const RunOptions& options);

// One row per machine (cycles, CPI, stalls and the cycles they cost,
// cancelled instructions, energy, energy per completed instruction, the
// energy-delay and energy-delay-squared products, and the energy that went
// to completed work, wrong-path work, idle and stalled stages), then the
// charts on one cycle scale.
void writeComparisonText(std::ostream& out, const Comparison& comparison, const TextOptions& options);

// The figures of the machines, a row each, as the comparison page shows
// them; or why the program ran on none. The page's Compare panel shows the
// same table with rows to choose a machine by.
enum class MachineRows { Plain, Choosable };
std::string machinesHtml(const Comparison& comparison, Cycle maxCycles, MachineRows rows = MachineRows::Plain);

// The table and the charts aligned, as one self-contained page.
std::string comparisonHtml(const Comparison& comparison, Cycle maxCycles);

// {"schema": ..., "machines": [...]}: each machine's report as the single
// run's JSON gives it.
nlohmann::ordered_json comparisonJson(const Comparison& comparison, Cycle maxCycles);

// 0 when the run completed on every machine, 1 otherwise.
int exitStatusOf(const Comparison& comparison);

}  // namespace fivestage::report
