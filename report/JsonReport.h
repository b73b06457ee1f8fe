#pragma once

#include <nlohmann/json.hpp>

#include "record/ReportRun.h"

namespace fivestage::report {

// The version of the report's JSON layout (report/report.schema.json).
inline constexpr int jsonSchemaVersion = 5;

// Everything the report shows, for scripts: totals over the whole run,
// details (chart, stalls, energy per cycle) for the window.
nlohmann::ordered_json jsonReport(const ReportData& data, Cycle maxCycles);

// The parts of the report other views show in the same words: energy by
// stage, the registers or words a run changed ("register" or "word" names
// the location), and the program check's warnings.
nlohmann::ordered_json stageEnergyJson(const StageEnergy& energy);
nlohmann::ordered_json changesJson(const std::vector<ValueChange>& changes, const char* location);
nlohmann::ordered_json warningsJson(const std::vector<Warning>& warnings);

}  // namespace fivestage::report
