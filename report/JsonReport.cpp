#include "report/JsonReport.h"

#include "record/Figures.h"
#include "record/MachineJson.h"

namespace fivestage::report {
namespace {

using Json = nlohmann::ordered_json;

Json instructionJson(const MachineState& program, InstructionIndex index) {
  const std::size_t line = program.instructionLines.at(static_cast<std::size_t>(index));
  return {{"index", index}, {"line", line + 1}, {"text", sourceText(program, index)}};
}

Json optionalNumber(const std::optional<double>& value) { return value ? Json(*value) : Json(nullptr); }

Json optionalCycle(const std::optional<Cycle>& cycle) { return cycle ? Json(*cycle) : Json(nullptr); }

Json stallJson(const MachineState& program, MachineOptions machine, const StallRecord& stall) {
  return {{"cycle", stall.cycle},
          {"instruction", instructionJson(program, stall.waiting.index)},
          {"register", stall.blockedRegister ? Json(*stall.blockedRegister) : Json(nullptr)},
          {"waitsFor", stall.waitsFor ? instructionJson(program, stall.waitsFor->index) : Json(nullptr)},
          {"writtenBack", optionalCycle(stall.writtenBack)},
          {"released", optionalCycle(stall.released)},
          {"fetchHeld", stall.fetchHeld},
          {"endDelay", stall.endDelay},
          {"cyclesLost", stall.cyclesLost()},
          {"reason", stallReason(program, machine, stall)}};
}

Json optionalState(const std::optional<std::int32_t>& state) { return state ? Json(*state) : Json(nullptr); }

// Each branch's predictions over the whole run and the window's resolutions.
Json predictionJson(const MachineState& program, const RunRecord& record) {
  const PredictionFigures figures = predictionFigures(record);
  Json branches = Json::array();
  for (const PredictedBranch& branch : record.predictedBranches) {
    const Json where = instructionJson(program, branch.branch);
    branches.push_back({{"line", where["line"]},
                        {"text", where["text"]},
                        {"executions", branch.executions},
                        {"taken", branch.taken},
                        {"mispredicted", branch.mispredicted},
                        {"cyclesLost", branch.cyclesLost},
                        {"wrongPathEnergy", branch.wrongPathEnergy}});
  }
  Json history = Json::array();
  for (const PredictionStep& step : record.predictions) {
    history.push_back({{"cycle", step.cycle},
                       {"line", instructionJson(program, step.branch.index)["line"]},
                       {"entry", step.before ? Json(step.before->index) : Json(nullptr)},
                       {"before", optionalState(step.before ? std::optional(step.before->state) : std::nullopt)},
                       {"predictedTaken", step.predictedTaken},
                       {"taken", step.taken},
                       {"right", step.predictedTaken == step.taken},
                       {"after", optionalState(step.after)}});
  }
  return {{"mispredictions", figures.mispredictions},
          {"accuracy", optionalNumber(accuracyOf(figures.resolved, figures.mispredictions))},
          {"resolved", figures.resolved},
          {"cyclesLost", figures.cyclesLost},
          {"wrongPathEnergy", figures.wrongPathEnergy},
          {"branches", branches},
          {"history", history}};
}

Json breakdownJson(const RunRecord& record) {
  const std::optional<CycleBreakdown> breakdown = cycleBreakdown(record);
  if (!breakdown) return nullptr;
  return {{"instructions", breakdown->instructions},
          {"cancelled", breakdown->cancelled},
          {"fill", breakdown->fill},
          {"stalls", breakdown->stalls},
          {"nothingToFetch", breakdown->nothingToFetch}};
}

Json differencesJson(const std::vector<Difference>& differing, const char* location) {
  Json list = Json::array();
  for (const Difference& difference : differing) {
    list.push_back({{location, difference.location}, {"machine", difference.machine}, {"meant", difference.meant}});
  }
  return list;
}

Json meaningJson(const std::optional<Meaning>& meaning) {
  if (!meaning) return nullptr;
  return {{"matches", meaning->matches},
          {"causes", meaning->causes},
          {"registers", differencesJson(meaning->registers, "register")},
          {"memory", differencesJson(meaning->memory, "word")}};
}

// One part of the split: its total and its share of each stage.
Json splitPartJson(const StageEnergy& part) { return {{"total", sumOf(part)}, {"byStage", stageEnergyJson(part)}}; }

Json energySplitJson(const EnergySplit& split) {
  return {{"completed", splitPartJson(split.completed)},
          {"wrongPath", splitPartJson(split.wrongPath)},
          {"idle", splitPartJson(split.idle)},
          {"stalled", splitPartJson(split.stalled)}};
}

Json energyJson(const ReportData& data) {
  const RunRecord& record = data.record;
  Json byOpcode = Json::object();
  Json byLine = Json::array();
  if (data.program) {
    for (const OpcodeEnergy& opcode : energyByOpcode(*data.program, record)) byOpcode[opcode.opcode] = opcode.energy;
    for (const LineEnergy& line : energyByLine(*data.program, record)) {
      byLine.push_back({{"line", line.line}, {"text", line.text}, {"energy", line.energy}});
    }
  }
  return {{"total", record.energyTotal()},
          {"byStage", stageEnergyJson(record.energyByStage)},
          {"byOpcode", byOpcode},
          {"byLine", byLine},
          {"perCompletedInstruction", optionalNumber(energyPerCompletedInstruction(record))},
          {"delayProduct", energyDelayProduct(record)},
          {"delaySquaredProduct", energyDelaySquaredProduct(record)},
          {"split", energySplitJson(record.energySplit)}};
}

// The run's details, added to `report`: the lists of stalls and of the
// instructions behind taken branches, and the window's chart and energy.
// They are the bulk of a long report, so each list is moved in, not copied.
void addDetails(Json& report, const ReportData& data) {
  const RunRecord& record = data.record;
  const MachineState& program = *data.program;
  Json stalls = Json::array();
  for (const StallRecord& stall : record.stalls) stalls.push_back(stallJson(program, record.machine, stall));
  report["stalls"] = std::move(stalls);
  Json groups = Json::array();
  for (const StallGroup& group : record.stallGroups) {
    groups.push_back({{"count", group.count},
                      {"firstCycle", group.first.cycle},
                      {"lastCycle", group.lastCycle},
                      {"cyclesLost", group.cyclesLost},
                      {"first", stallJson(program, record.machine, group.first)}});
  }
  report["stallGroups"] = std::move(groups);
  Json behind = Json::array();
  for (const BehindTakenBranch& entry : record.behindTaken) {
    behind.push_back({{"cycle", entry.cycle},
                      {"branch", instructionJson(program, entry.branch.index)},
                      {"instruction", instructionJson(program, entry.behind.index)}});
  }
  report["behindTaken"] = std::move(behind);
  Json chart = Json::array();
  for (const ChartRow& row : record.chart) {
    chart.push_back({{"instruction", instructionJson(program, row.instruction.index)},
                     {"fetch", row.instruction.fetch},
                     {"firstCycle", row.firstCycle},
                     {"cells", row.cells},
                     {"notes", row.notes}});
  }
  report["chart"] = std::move(chart);
  Json perCycle = Json::array();
  for (std::size_t i = 0; i < record.energyPerCycle.size(); ++i) {
    Json cycle = {{"cycle", record.window.from + static_cast<Cycle>(i)}};
    cycle.update(stageEnergyJson(record.energyPerCycle[i]));
    perCycle.push_back(std::move(cycle));
  }
  report["energyPerCycle"] = std::move(perCycle);
}

}  // namespace

Json stageEnergyJson(const StageEnergy& energy) {
  Json byStage = Json::object();
  for (const Stage stage : allStages) byStage[std::string(stageName(stage))] = energy[static_cast<std::size_t>(stage)];
  return byStage;
}

Json changesJson(const std::vector<ValueChange>& changes, const char* location) {
  Json list = Json::array();
  for (const ValueChange& change : changes) {
    list.push_back({{location, change.location}, {"initial", change.initial}, {"final", change.final}});
  }
  return list;
}

Json warningsJson(const std::vector<Warning>& warnings) {
  Json list = Json::array();
  for (const Warning& warning : warnings) {
    list.push_back({{"line", warning.line ? Json(*warning.line) : Json(nullptr)},
                    {"kind", warning.kind},
                    {"message", warning.message}});
  }
  return list;
}

nlohmann::ordered_json jsonReport(const ReportData& data, Cycle maxCycles) {
  const RunRecord& record = data.record;
  Json report = {
      {"schema", jsonSchemaVersion},
      {"folder", data.folder.string()},
      {"machine", machineJson(record.machine)},
      {"status", statusText(record, maxCycles)},
      {"exitStatus", exitStatusOf(record)},
      {"cycles", record.cycles},
      {"fetched", record.fetched},
      {"completed", record.completed},
      {"cancelled", record.cancelled},
      {"cpi", optionalNumber(cyclesPerInstruction(record))},
      {"cycleBreakdown", breakdownJson(record)},
      {"stallCount", record.stallCount},
      {"cyclesLost", record.cyclesLost},
      {"nothingToFetch", record.nothingToFetch},
      {"branches", {{"taken", record.taken}, {"notTaken", record.notTaken}, {"behindTaken", record.behindTakenCount}}},
      {"energy", energyJson(data)},
      {"registers", changesJson(record.registerChanges, "register")},
      {"finalRegisters", record.finalRegisters},
      {"memory", changesJson(record.memoryChanges, "word")},
      {"meaning", meaningJson(data.meaning)},
      {"warnings", warningsJson(data.warnings)},
      {"window", {{"from", record.window.from}, {"to", record.window.to}}},
  };
  if (data.program && record.showsPrediction()) report["prediction"] = predictionJson(*data.program, record);
  if (data.program) {
    addDetails(report, data);
  } else {
    for (const char* empty : {"stalls", "stallGroups", "behindTaken", "chart", "energyPerCycle"})
      report[empty] = Json::array();
  }
  return report;
}

}  // namespace fivestage::report
