#include "web/CycleDiagram.h"

#include <initializer_list>
#include <type_traits>

#include "record/MachineJson.h"

namespace fivestage::web {
namespace {

using Json = nlohmann::ordered_json;

// An absent value, or an indifferent signal, is null; a signal is the number
// the console trace prints for it.
template <typename Value>
Json orNull(const std::optional<Value>& value) {
  if (!value) return nullptr;
  if constexpr (std::is_enum_v<Value>) {
    return static_cast<int>(*value);
  } else {
    return *value;
  }
}

Json indexOrNull(const std::optional<InstructionTag>& tag) { return tag ? Json(tag->index) : Json(nullptr); }

Json instructionJson(InstructionTag instruction, std::string_view text) {
  return {{"index", instruction.index}, {"text", text}};
}

const char* accessName(MemoryAccess access) {
  switch (access) {
    case MemoryAccess::Load: return "load";
    case MemoryAccess::Store: return "store";
    case MemoryAccess::None: return "none";
  }
  return "";
}

Json forwardedJson(const std::optional<Forwarded>& operand) {
  if (!operand) return nullptr;
  return {{"number", operand->number},
          {"value", operand->value},
          {"from", operand->from.index},
          {"stage", stageName(operand->stage)}};
}

// The forwarding unit's path from the stage a value was forwarded from.
const char* forwardPath(const Forwarded& operand) {
  return operand.stage == Stage::Memory ? "forward-mem" : "forward-wb";
}

// Folds one cycle's events into the diagram. A stage's events follow its
// StageEntered, but for four that tell of another stage: the instruction a
// stall holds in Decode, Fetch standing idle, a stall's release (the
// instruction Execute runs next) and a cancellation (the instruction Decode
// would have taken up). Each event also lights the paths its values took,
// as its control signals chose them.
class Builder {
 public:
  explicit Builder(Json& diagram) : diagram_(diagram) {
    for (const Stage stage : allStages) diagram_["stages"][std::string(stageName(stage))] = {{"state", "bubble"}};
    diagram_["active"] = Json::array();
  }

  void operator()(const CycleStarted& e) { diagram_["cycle"] = e.cycle; }

  // Decode still holds the instruction a stall found in an earlier cycle.
  void operator()(const InstructionStalled& e) {
    stage(Stage::Decode) = {{"state", "stall"},
                            {"instruction", instructionJson(e.instruction, e.text)},
                            {"blockedRegister", orNull(e.blockedRegister)},
                            {"waitsFor", indexOrNull(e.waitsFor)}};
    activate({"stall"});
  }

  void operator()(const StageEntered& e) {
    current_ = &stage(e.stage);
    (*current_)["state"] = "instruction";
    (*current_)["instruction"] = instructionJson(e.instruction, e.text);
    if (e.stage != Stage::Fetch) return;
    (*current_)["Pc"] = e.instruction.index;
    (*current_)["nextPc"] = e.instruction.index + 1;
    activate({"fetch"});
    // A taken branch chose the address fetched; otherwise the one after the last.
    if (!taken_) activate({"pc-plus-one"});
  }

  void operator()(const FetchIdle& e) {
    Json& fetch = stage(Stage::Fetch);
    fetch["state"] = e.frozen ? "stall" : "bubble";
    fetch["atProgramEnd"] = e.atProgramEnd;
  }

  void operator()(const HazardChecked& e) {
    (*current_)["hazard"] = {{"rs", orNull(e.rs)},
                             {"rt", orNull(e.rt)},
                             {"execute", {{"rg", orNull(e.execute.rg)}, {"regWrite", e.execute.regWrite}}},
                             {"memory", {{"rg", orNull(e.memory.rg)}, {"regWrite", e.memory.regWrite}}},
                             {"stall", e.stall}};
    checked(e.stall);
  }

  void operator()(const LoadUseChecked& e) {
    Json ahead = nullptr;
    if (e.execute) ahead = {{"rg", orNull(e.execute->rg)}, {"memRead", e.execute->memRead}};
    (*current_)["hazard"] = {{"rs", orNull(e.rs)}, {"rt", orNull(e.rt)}, {"execute", ahead}, {"stall", e.stall}};
    checked(e.stall);
  }

  void operator()(const RegistersRead& e) {
    Json& decode = *current_;
    decode["Pc"] = e.Pc;
    decode["rs"] = orNull(e.rs);
    decode["a"] = orNull(e.a);
    decode["rt"] = orNull(e.rt);
    decode["b"] = orNull(e.b);
    decode["imm"] = orNull(e.imm);
    decode["Label"] = orNull(e.Label);
    activate({"pc"});
    if (e.rs) activate({"read-rs"});
    if (e.rt) activate({"read-rt"});
    if (e.imm) activate({"immediate"});
    if (e.Label) activate({"label"});
  }

  void operator()(const ControlSignalsProduced& e) {
    const ControlSignals& s = e.signals;
    (*current_)["signals"] = {{"pcsel", s.pcsel},
                              {"pcsrc", s.pcsrc},
                              {"branch", orNull(s.branch)},
                              {"alusrc", orNull(s.alusrc)},
                              {"aluop", static_cast<int>(s.aluop)},
                              {"memread", s.memread},
                              {"memwrite", s.memwrite},
                              {"memtoreg", orNull(s.memtoreg)},
                              {"regwrite", s.regwrite}};
    (*current_)["Rg"] = orNull(e.Rg);
    activate({"control"});
    if (e.Rg) activate({"destination"});
  }

  void operator()(const StallTriggered& e) {
    (*current_)["state"] = "stall";
    (*current_)["blockedRegister"] = orNull(e.blockedRegister);
    (*current_)["waitsFor"] = indexOrNull(e.waitsFor);
  }

  void operator()(const StallReleased& e) {
    stage(Stage::Execute)["released"] = {
        {"rs", orNull(e.rs)}, {"a", orNull(e.a)}, {"rt", orNull(e.rt)}, {"b", orNull(e.b)}};
  }

  void operator()(const ExecuteSignalsPassed& e) {
    (*current_)["signals"] = {{"memRead", e.memRead},
                              {"memWrite", e.memWrite},
                              {"memToreg", orNull(e.memToreg)},
                              {"regWrite", e.regWrite},
                              {"rg", orNull(e.rg)}};
    stores_ = e.memWrite;
    activate({"execute-signals"});
  }

  void operator()(const OperandsForwarded& e) {
    (*current_)["forwarded"] = {{"a", forwardedJson(e.a)}, {"b", forwardedJson(e.b)}};
    forwardedA_ = e.a;
    forwardedB_ = e.b;
  }

  void operator()(const AluInputSelected& e) {
    (*current_)["aluInput"] = {{"alusrc", orNull(e.select)}, {"b", e.b}, {"imm", e.imm}, {"chosen", e.chosen}};
    const bool takesB = e.select == AluSource::RegisterB;
    activate({takesB ? "alusrc-register" : "alusrc-immediate"});
    // Operand b goes on to the ALU, or to memory as the word a store writes.
    if (takesB || stores_) operand(forwardedB_, "forward-b", "operand-b");
  }

  void operator()(const AluComputed& e) {
    (*current_)["alu"] = {{"operation", aluOperationName(e.operation)},
                          {"input1", e.input1},
                          {"input2", e.input2},
                          {"result", e.result},
                          {"zero", e.zero}};
    operand(forwardedA_, "forward-a", "operand-a");
    activate({"alu"});
  }

  void operator()(const ExecuteResultLatched& e) {
    (*current_)["AluOut"] = e.AluOut;
    (*current_)["A2"] = orNull(e.A2);
    if (stores_) activate({"store-data"});
  }

  void operator()(const GateEvaluated& e) {
    (*current_)["gate"] = {{"pcsrc", e.pcsrc}, {"zero", e.zero}, {"branch", orNull(e.branch)}, {"passed", e.passed}};
    if (e.branch) activate({"branch"});
  }

  void operator()(const Mux3Selected& e) {
    (*current_)["mux3"] = {
        {"gate", e.gate}, {"pc", e.pc}, {"label", orNull(e.label)}, {"selected", orNull(e.selected)}};
  }

  void operator()(const PcMuxSelected& e) {
    (*current_)["pcMux"] = {
        {"pcsel", e.pcsel}, {"pc", e.pc}, {"selected", orNull(e.selected)}, {"newPc", orNull(e.newPc)}};
    taken_ = e.newPc.has_value();
    if (taken_) activate({"new-pc"});
  }

  // Fetch's guess: the entry it read, what it predicts, and the instruction
  // it fetches next, its label's when it predicts taken.
  void operator()(const BranchPredicted& e) {
    Json& fetch = stage(Stage::Fetch);
    fetch["prediction"] = {{"jump", e.jump},
                           {"entry", e.entry ? Json(e.entry->index) : Json(nullptr)},
                           {"state", e.entry ? Json(e.entry->state) : Json(nullptr)},
                           {"meaning", e.entry ? Json(tableStateMeaning(e.predictor, e.entry->state)) : Json(nullptr)},
                           {"taken", e.taken},
                           {"next", e.next}};
    activate({"predict"});
  }

  // Execute checks Fetch's guess against the outcome.
  void operator()(const BranchResolved& e) {
    if (e.predictor == Predictor::NotTaken) return;  // nothing was guessed: Fetch went on in order
    stage(Stage::Execute)["resolution"] = {{"predictedTaken", e.predictedTaken},
                                           {"taken", e.taken},
                                           {"right", e.right()},
                                           {"entry", e.before ? Json(e.before->index) : Json(nullptr)},
                                           {"before", e.before ? Json(e.before->state) : Json(nullptr)},
                                           {"after", e.after ? Json(*e.after) : Json(nullptr)}};
  }

  void operator()(const InstructionCancelled& e) {
    stage(Stage::Decode) = {
        {"state", "cancelled"}, {"instruction", instructionJson(e.instruction, e.text)}, {"by", e.by.index}};
  }

  void operator()(const MemorySignalsPassed& e) {
    (*current_)["signals"] = {{"memToreg", orNull(e.memToreg)}, {"regWrite", e.regWrite}, {"rg", orNull(e.rg)}};
    (*current_)["AluOut"] = e.AluOut;
    activate({"memory-signals", "alu-out"});
  }

  void operator()(const MemoryAccessChosen& e) {
    (*current_)["access"] = accessName(e.access);
    if (e.access != MemoryAccess::None) activate({"memory-address"});
  }

  void operator()(const MemoryRead& e) {
    (*current_)["read"] = {{"address", e.address}, {"data", e.data}};
    activate({"memory-read"});
  }

  void operator()(const MemoryWritten& e) {
    (*current_)["written"] = {{"address", e.address}, {"data", e.data}};
    activate({"memory-write"});
  }

  void operator()(const MemToRegSelected& e) {
    (*current_)["memToReg"] = {
        {"select", orNull(e.select)}, {"aluResult", e.aluResult}, {"loadedWord", e.loadedWord}, {"value", e.value}};
    activate({e.select == WriteBackSource::AluResult ? "writeback-alu" : "writeback-loaded"});
  }

  void operator()(const RegisterWriteDecided& e) {
    (*current_)["regWrite"] = {{"regWrite", e.regWrite}, {"value", e.value}, {"rg", orNull(e.rg)}};
    if (e.regWrite) activate({"register-write"});
  }

  // What the diagram has no wire for, and what the core accounts.
  using Ignored = EventList<RegisterReadStarted, EnergyCharged, RegisterWritten, InstructionRetired, RunEnded,
                            InstructionFetched, DecodeWaited, RanBehindTakenBranch, StallEnded, StallSettled,
                            FetchCyclesSettled, CycleEnded>;

 private:
  Json& stage(Stage stage) { return diagram_["stages"][std::string(stageName(stage))]; }

  void activate(std::initializer_list<const char*> paths) {
    for (const char* path : paths) diagram_["active"].push_back(path);
  }

  void checked(bool stall) {
    activate({"hazard"});
    if (stall) activate({"stall"});
  }

  // An operand reaches the ALU from the Decode pipeline register, or from
  // the forwarding unit when it handed Execute a newer value.
  void operand(const std::optional<Forwarded>& forwarded, const char* forwardedPath, const char* readPath) {
    if (forwarded) {
      activate({forwardedPath, forwardPath(*forwarded)});
    } else {
      activate({readPath});
    }
  }

  Json& diagram_;
  Json* current_ = nullptr;  // the stage whose events come now
  bool taken_ = false;       // Execute took a branch or jump in this cycle
  bool stores_ = false;      // Execute holds a store
  std::optional<Forwarded> forwardedA_, forwardedB_;
};
static_assert(checkEveryEvent<Builder>());

}  // namespace

Json CycleDiagram::json(std::span<const Event> cycle) const {
  // Whether Fetch guesses where branches lead, so that the drawing has a predictor.
  const bool predicting = machine_.predictor != Predictor::NotTaken;
  Json diagram = {{"cycle", 0}, {"machine", report::machineJson(machine_)}, {"predicting", predicting}};
  Builder builder(diagram);
  for (const Event& event : cycle) handOn(builder, event);
  return diagram;
}

}  // namespace fivestage::web
