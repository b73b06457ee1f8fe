#pragma once

#include <iosfwd>

#include "record/ReportRun.h"

namespace fivestage::report {

struct TextOptions {
  Cycle maxCycles = 100000;
  // Whether the user chose the window: then the chart shows all of it, in
  // bands; otherwise only the first cycles that fit.
  bool windowChosen = false;
};

// The report for a terminal, at most 100 columns wide: the program check,
// the summary, the final state and the pipeline chart.
void writeTextReport(std::ostream& out, const ReportData& data, const TextOptions& options);

// How many cycles one band of the text chart shows.
inline constexpr Cycle chartBandCycles = 60;

// The pipeline chart of cycles `first` to `last`, in bands of
// chartBandCycles; the run's rows must cover them.
void writeChartBands(std::ostream& out, const ReportData& data, Cycle first, Cycle last);

}  // namespace fivestage::report
