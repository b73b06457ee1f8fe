#include "record/RunRecorder.h"

#include <algorithm>
#include <string>
#include <utility>

#include "record/Figures.h"

namespace fivestage::report {
namespace {

constexpr char cellLetter(Stage stage) {
  switch (stage) {
    case Stage::Fetch: return 'F';
    case Stage::Decode: return 'D';
    case Stage::Execute: return 'X';
    case Stage::Memory: return 'M';
    case Stage::WriteBack: return 'W';
  }
  return '?';
}

constexpr char stallLetter = 's';
constexpr char heldLetter = 'f';
constexpr char cancelledLetter = 'c';
constexpr char decodeWaitLetter = 'w';

std::string instructionName(InstructionTag tag) { return "E(" + std::to_string(tag.index) + ")"; }

std::string registerName(std::optional<RegisterNumber> number) { return "$" + std::to_string(onBus(number)); }

std::string aluSymbol(AluOperation operation) {
  switch (operation) {
    case AluOperation::Add: return " + ";
    case AluOperation::Sub: return " - ";
    case AluOperation::And: return " and ";
    case AluOperation::Or: return " or ";
  }
  return " ? ";
}

}  // namespace

RunRecorder::RunRecorder(const MachineState& program, CycleWindow window, MachineOptions machine)
    : program_(program) {
  record_.machine = machine;
  record_.window = window;
}

RunRecorder::RunRecorder(const RunRecorder& other) = default;
RunRecorder::~RunRecorder() = default;

EventKinds RunRecorder::interests() const {
  constexpr EventKinds handled = handledKinds<RunRecorder>();
  static_assert(((NotedInWindow::kinds | Charted::kinds) & ~handled) == 0, "it notes and charts only what it handles");
  if (record_.window.contains(cycle_)) return handled;
  const bool charting = beginsRows() || !inFlight_.empty();
  return handled & ~NotedInWindow::kinds & ~(charting ? 0 : Charted::kinds);
}

ChartRow* RunRecorder::currentRow() {
  // Outside the window, which is most of a long run, no row is looked up.
  if (!record_.window.contains(cycle_)) return nullptr;
  const auto row = inFlight_.find(current_.fetch);
  return row == inFlight_.end() ? nullptr : &row->second;
}

void RunRecorder::operator()(const CycleStarted& e) {
  cycle_ = e.cycle;
  record_.cycles = e.cycle;
  if (record_.window.contains(cycle_)) record_.energyPerCycle.emplace_back();
}

// What the stages were charged in a cycle of the window. The core counts
// the whole run's figures itself.
void RunRecorder::operator()(const CycleEnded& e) {
  for (std::size_t stage = 0; stage < stageCount; ++stage) {
    if (e.stages[stage].charged) record_.energyPerCycle.back()[stage] += e.stages[stage].energy;
  }
}

bool RunRecorder::moveWindow(CycleWindow window) {
  if (!canMoveWindow(window.from)) return false;
  record_.window = window;
  return true;
}

bool RunRecorder::beginsRows() const {
  return cycle_ + longestLife >= record_.window.from && cycle_ <= record_.window.to;
}

void RunRecorder::operator()(const InstructionFetched& e) {
  if (!beginsRows()) return;
  // Its row begins with the cycles it waited to be fetched, its f cells.
  ChartRow row{e.instruction, cycle_ - e.heldCycles, std::string(static_cast<std::size_t>(e.heldCycles), heldLetter),
               {}};
  for (Cycle cycle = row.firstCycle; cycle < cycle_; ++cycle) {
    row.notes.push_back(record_.window.contains(cycle) ? "waits to be fetched: the stall of " +
                                                             instructionName(*e.heldBy) + " holds Fetch"
                                                       : "");
  }
  inFlight_[e.instruction.fetch] = std::move(row);
}

void RunRecorder::operator()(const StageEntered& e) {
  current_ = e.instruction;
  addCell(e.instruction, cellLetter(e.stage), {});
}

void RunRecorder::operator()(const DecodeWaited& e) {
  addCell(e.instruction, decodeWaitLetter,
          record_.window.contains(cycle_) ? "waits to be decoded: a stall holds Decode" : "");
}

// Its note, why it waits, comes when the stall ends.
void RunRecorder::operator()(const InstructionStalled& e) { addCell(e.instruction, stallLetter, {}); }

void RunRecorder::addCell(InstructionTag instruction, char cell, std::string note) {
  const auto row = inFlight_.find(instruction.fetch);
  if (row == inFlight_.end()) return;
  row->second.cells += cell;
  row->second.notes.push_back(std::move(note));
}

void RunRecorder::operator()(const HazardChecked& e) { noteVerdict(e.stall, e.blockedRegister, e.waitsFor); }

void RunRecorder::operator()(const LoadUseChecked& e) { noteVerdict(e.stall, e.blockedRegister, e.waitsFor); }

void RunRecorder::noteVerdict(bool stall, std::optional<RegisterNumber> blockedRegister,
                              const std::optional<InstructionTag>& waitsFor) {
  if (stall) {
    note([&] {
      return "hazard: " + registerName(blockedRegister) + " is still to be written" +
             (waitsFor ? " by " + instructionName(*waitsFor) : "");
    });
  } else {
    note([&] { return "no hazard"; });
  }
}

void RunRecorder::operator()(const RegistersRead& e) {
  note([&] {
    std::string read;
    if (e.a) read += registerName(e.rs) + " = " + std::to_string(*e.a);
    if (e.b) read += (read.empty() ? "" : ", ") + registerName(e.rt) + " = " + std::to_string(*e.b);
    return read.empty() ? "reads no register" : "reads " + read;
  });
}

void RunRecorder::operator()(const EnergyCharged& e) {
  if (e.use == EnergyUse::Work) note([&] { return "energy " + std::to_string(e.added); });
}

void RunRecorder::operator()(const StallTriggered& e) {
  ++record_.stallCount;
  // Its record is made only where it is kept: most stalls of a long run
  // are only counted in their group.
  const auto record = [&] { return StallRecord{cycle_, e.instruction, e.blockedRegister, e.waitsFor, {}, {}, 0, 0}; };
  const auto [found, added] =
      groups_.try_emplace(groupKey(e.instruction, e.blockedRegister, e.waitsFor), record_.stallGroups.size());
  if (added) record_.stallGroups.push_back({record(), 0, cycle_, 0});
  StallGroup& group = record_.stallGroups[found->second];
  ++group.count;
  group.lastCycle = cycle_;
  if (record_.window.contains(cycle_)) record_.stalls.push_back(record());
  note([&] { return "stall"; });
}

void RunRecorder::operator()(const StallEnded& e) { explainStall(e.stall); }

void RunRecorder::operator()(const StallSettled& e) {
  const StallRecord& stall = e.stall;
  record_.cyclesLost += stall.cyclesLost();
  explainStall(stall);
  // Its record, when it shows: one of the latest.
  const auto shown = std::find_if(record_.stalls.rbegin(), record_.stalls.rend(),
                                  [&](const StallRecord& other) { return other.cycle <= stall.cycle; });
  if (shown != record_.stalls.rend() && shown->cycle == stall.cycle) *shown = stall;
  const auto found = groups_.find(groupKey(stall));
  if (found == groups_.end()) return;  // triggered before the recorder joined the run
  StallGroup& group = record_.stallGroups[found->second];
  if (group.first.cycle == stall.cycle) group.first = stall;
  group.cyclesLost += stall.cyclesLost();
}

void RunRecorder::operator()(const FetchCyclesSettled& e) {
  record_.nothingToFetch += e.nothingToFetch;
  record_.cancelledCycles += e.cancelled;
  if (e.cancelled == 0) return;
  if (lossToSettle_) predictedBranch(*lossToSettle_).cyclesLost += e.cancelled;
  lossToSettle_.reset();
}

RunRecorder::StallGroupKey RunRecorder::groupKey(InstructionTag waiting, std::optional<RegisterNumber> blockedRegister,
                                                 const std::optional<InstructionTag>& waitsFor) {
  return {waiting.index, static_cast<std::int64_t>(onBus(blockedRegister)),
          waitsFor ? static_cast<std::int64_t>(waitsFor->index) : -1};
}

void RunRecorder::addBehindTaken(const BehindTakenBranch& behind) {
  ++record_.behindTakenCount;
  if (record_.window.contains(cycle_)) record_.behindTaken.push_back(behind);
  const auto [found, added] =
      behindGroups_.try_emplace({behind.branch.index, behind.behind.index}, record_.behindTakenGroups.size());
  if (added) record_.behindTakenGroups.push_back({behind, 0, behind.cycle});
  BehindTakenGroup& group = record_.behindTakenGroups[found->second];
  ++group.count;
  group.lastCycle = behind.cycle;
}

void RunRecorder::explainStall(const StallRecord& stall) {
  // Its cells lie between the cycle Decode found the hazard and the release.
  const Cycle released = stall.released.value_or(record_.cycles + 1);
  if (stall.cycle >= record_.window.to || released <= record_.window.from) return;
  ChartRow* row = rowOf(stall.waiting.fetch);
  if (row == nullptr) return;
  const std::string reason = stallReason(program_, record_.machine, stall);
  for (std::size_t i = 0; i < row->cells.size(); ++i) {
    if (row->cells[i] == stallLetter && record_.window.contains(row->firstCycle + static_cast<Cycle>(i))) {
      row->notes[i] = reason;
    }
  }
}

ChartRow* RunRecorder::rowOf(FetchNumber fetch) {
  if (const auto row = inFlight_.find(fetch); row != inFlight_.end()) return &row->second;
  // A retired row is among the latest: the chart grows in retiring order.
  const auto row = std::find_if(record_.chart.rbegin(), record_.chart.rend(),
                                [fetch](const ChartRow& retired) { return retired.instruction.fetch == fetch; });
  return row == record_.chart.rend() ? nullptr : &*row;
}

void RunRecorder::operator()(const AluComputed& e) {
  note([&] {
    return "ALU " + std::to_string(e.input1) + aluSymbol(e.operation) + std::to_string(e.input2) + " = " +
           std::to_string(e.result);
  });
}

void RunRecorder::operator()(const PcMuxSelected& e) {
  if (!e.pcsel) return;
  if (e.newPc) {
    note([&] { return "taken: next fetch E(" + std::to_string(*e.newPc) + ")"; });
  } else {
    note([&] { return "not taken"; });
  }
}

void RunRecorder::operator()(const RanBehindTakenBranch& e) { addBehindTaken({cycle_, e.branch, e.behind}); }

// It leaves from Decode's slot, a bubble behind the branch: Fetch's was all
// the work it did, which the core counts on the wrong path. Its energy goes
// to the branch whose misprediction cancelled it, and so does its cycle,
// once settled as lost.
void RunRecorder::operator()(const InstructionCancelled& e) {
  ++record_.cancelled;
  addCell(e.instruction, cancelledLetter,
          record_.window.contains(cycle_) ? std::string("cancelled: fetched behind the ") +
                                                (e.byTaken ? "taken " : "not taken ") + instructionName(e.by)
                                          : "");
  lossToSettle_.reset();  // a jump's cancellation is no misprediction's loss
  if (mispredicted_ == e.by.fetch) {
    predictedBranch(e.by.index).wrongPathEnergy += e.fetchWork;
    lossToSettle_ = e.by.index;
  }
  retire(e.instruction.fetch);
}

void RunRecorder::operator()(const BranchResolved& e) {
  PredictedBranch& branch = predictedBranch(e.branch.index);
  ++branch.executions;
  branch.taken += e.taken ? 1 : 0;
  mispredicted_.reset();
  if (!e.right()) {
    ++branch.mispredicted;
    ++record_.mispredictions;
    mispredicted_ = e.branch.fetch;
  }
  if (record_.window.contains(cycle_)) {
    record_.predictions.push_back({cycle_, e.branch, e.predictedTaken, e.taken, e.before, e.after});
  }
  if (!record_.showsPrediction()) return;
  note([&] {
    return std::string("predicted ") + (e.predictedTaken ? "taken" : "not taken") + ": " +
           (e.right() ? "right" : "wrong");
  });
}

PredictedBranch& RunRecorder::predictedBranch(InstructionIndex branch) {
  const auto [found, added] = predictedBranches_.try_emplace(branch, record_.predictedBranches.size());
  if (added) record_.predictedBranches.push_back({.branch = branch});
  return record_.predictedBranches[found->second];
}

void RunRecorder::operator()(const MemoryAccessChosen& e) {
  if (e.access == MemoryAccess::None) note([&] { return "no memory access"; });
}

void RunRecorder::operator()(const MemoryRead& e) {
  note([&] { return "loads word " + std::to_string(e.address) + " = " + std::to_string(e.data); });
}

void RunRecorder::operator()(const MemoryWritten& e) {
  note([&] { return "stores " + std::to_string(e.data) + " at word " + std::to_string(e.address); });
}

void RunRecorder::operator()(const RegisterWriteDecided& e) {
  if (!e.regWrite) note([&] { return "writes no register"; });
}

void RunRecorder::operator()(const RegisterWritten& e) {
  note([&] { return "$" + std::to_string(e.number) + " = " + std::to_string(e.value); });
}

void RunRecorder::operator()(const InstructionRetired& e) { retire(e.instruction.fetch); }

void RunRecorder::operator()(const RunEnded& e) {
  record_.end = e.end;
  record_.message = std::string(e.message);
  record_.exitStatus = e.exitStatus;
}

std::vector<const ChartRow*> RunRecorder::rowsInPipeline() const {
  std::vector<const ChartRow*> rows;
  for (const auto& [fetch, row] : inFlight_) rows.push_back(&row);
  return rows;
}

void RunRecorder::retire(FetchNumber fetch) {
  const auto row = inFlight_.find(fetch);
  if (row == inFlight_.end()) return;
  if (row->second.lastCycle() >= record_.window.from) record_.chart.push_back(std::move(row->second));
  inFlight_.erase(row);
}

const RunRecord& RunRecorder::live(const RunCounts& counts) {
  static_cast<RunCounts&>(record_) = counts;
  return record_;
}

RunRecord RunRecorder::finish(const MachineState& initial, const MachineState& final, const RunCounts& counts) {
  static_cast<RunCounts&>(record_) = counts;
  while (!inFlight_.empty()) retire(inFlight_.begin()->first);
  std::sort(record_.chart.begin(), record_.chart.end(),
            [](const ChartRow& a, const ChartRow& b) { return a.instruction.fetch < b.instruction.fetch; });

  record_.registerChanges = valueChanges(initial.registers, final.registers);
  record_.memoryChanges = valueChanges(initial.memory, final.memory);
  record_.finalRegisters = final.registers;
  return std::move(record_);
}

std::vector<ValueChange> valueChanges(const std::vector<Word>& before, const std::vector<Word>& after) {
  std::vector<ValueChange> changed;
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
    if (before[i] != after[i]) changed.push_back({static_cast<std::int64_t>(i), before[i], after[i]});
  }
  return changed;
}

}  // namespace fivestage::report
