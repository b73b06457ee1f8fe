#pragma once

#include <nlohmann/json.hpp>

#include "report/ReportRun.h"

namespace fivestage::report {

// The version of the report's JSON layout (report/report.schema.json).
inline constexpr int jsonSchemaVersion = 3;

// Everything the report shows, for scripts: totals over the whole run,
// details (chart, stalls, energy per cycle) for the window.
nlohmann::ordered_json jsonReport(const ReportData& data, Cycle maxCycles);

}  // namespace fivestage::report
