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
  record_.byInstruction.resize(program.instructions.size());
}

void RunRecorder::observe(const Event& event) { std::visit(*this, event); }

// The events it counts, and in the window's cycles those it notes in the
// chart; the rest of a cycle's events, which the console renders, are not
// made for a run that only the report watches.
EventKinds RunRecorder::interests() const {
  constexpr EventKinds counted =
      eventKinds<CycleStarted, FetchIdle, StageEntered, EnergyCharged, StallTriggered, StallReleased, PcMuxSelected,
                 InstructionCancelled, InstructionRetired, RunEnded>();
  constexpr EventKinds noted = eventKinds<HazardChecked, LoadUseChecked, RegistersRead, AluComputed, MemoryAccessChosen,
                                          MemoryRead, MemoryWritten, RegisterWriteDecided, RegisterWritten>();
  return record_.window.contains(cycle_) ? counted | noted : counted;
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
  takenBranch_.reset();
  if (record_.window.contains(cycle_)) record_.energyPerCycle.emplace_back();
}

void RunRecorder::operator()(const FetchIdle& e) {
  // In the cycle a stall is found at the program's end Fetch would have had
  // nothing to fetch anyway: only a branch still to execute can lead it back.
  const bool heldByStall = e.frozen && !(e.atProgramEnd && stall_ && stall_->stall.cycle == cycle_);
  ++(heldByStall ? heldSinceFetch_ : idleSinceFetch_);
}

void RunRecorder::operator()(const StageEntered& e) {
  current_ = e.instruction;
  const auto index = static_cast<std::size_t>(e.instruction.index);
  if (e.stage == Stage::Fetch) {
    ++record_.fetched;
    ++record_.byInstruction[index].fetched;
    // The cycles a stall held Fetch beyond the waiting instruction's own
    // wait show as f cells before this instruction's F.
    Cycle waitedToBeFetched = 0;
    std::optional<InstructionTag> holder;  // the waiting instruction of the stall that held Fetch
    if (stall_) {
      const Cycle ownWait = stall_->stall.released ? *stall_->stall.released - stall_->stall.cycle - 1 : 0;
      waitedToBeFetched = std::max<Cycle>(0, heldSinceFetch_ - ownWait);
      holder = stall_->stall.waiting;
    }
    openFetch(e.instruction);
    if (cycle_ <= record_.window.to) {
      ChartRow row{e.instruction,
                   cycle_ - waitedToBeFetched,
                   std::string(static_cast<std::size_t>(waitedToBeFetched), heldLetter),
                   {}};
      for (Cycle cycle = row.firstCycle; cycle < cycle_; ++cycle) {
        row.notes.push_back(record_.window.contains(cycle)
                                ? "waits to be fetched: the stall of " + instructionName(*holder) + " holds Fetch"
                                : "");
      }
      inFlight_[e.instruction.fetch] = std::move(row);
    }
  }
  if (e.stage == Stage::WriteBack && stall_ && stall_->stall.waitsFor &&
      stall_->stall.waitsFor->fetch == e.instruction.fetch) {
    stall_->stall.writtenBack = cycle_;
  }
  if (e.stage == Stage::Decode && takenBranch_) {
    addBehindTaken({cycle_, *takenBranch_, e.instruction});
  }
  const auto row = inFlight_.find(e.instruction.fetch);
  if (row == inFlight_.end()) return;
  // With forwarding, the instruction fetched in the cycle a stall begins
  // waits in Decode's slot until the release.
  ChartRow& chart = row->second;
  while (chart.lastCycle() < cycle_ - 1) {
    chart.cells += decodeWaitLetter;
    chart.notes.push_back(record_.window.contains(chart.lastCycle()) ? "waits to be decoded: a stall holds Decode"
                                                                     : "");
  }
  chart.cells += cellLetter(e.stage);
  chart.notes.emplace_back();
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
  const auto stage = static_cast<std::size_t>(e.file.stage);
  record_.energyByStage[stage] += e.added;
  record_.byInstruction[static_cast<std::size_t>(current_.index)].energy += e.added;
  if (record_.window.contains(cycle_)) record_.energyPerCycle.back()[stage] += e.added;
  note([&] { return "energy " + std::to_string(e.added); });
}

void RunRecorder::operator()(const StallTriggered& e) {
  ++record_.stallCount;
  const StallRecord stall{cycle_, e.instruction, e.blockedRegister, e.waitsFor, {}, {}, 0, 0};
  stall_ = PendingStall{stall, std::nullopt, groupOf(stall)};
  if (record_.window.contains(cycle_)) {
    stall_->recordIndex = record_.stalls.size();
    record_.stalls.push_back(stall);
  }
  note([&] { return "stall"; });
}

std::size_t RunRecorder::groupOf(const StallRecord& stall) {
  const auto key = std::make_tuple(stall.waiting.index, static_cast<std::int64_t>(onBus(stall.blockedRegister)),
                                   stall.waitsFor ? static_cast<std::int64_t>(stall.waitsFor->index) : -1);
  const auto [found, added] = groups_.try_emplace(key, record_.stallGroups.size());
  if (added) record_.stallGroups.push_back({stall, 0, stall.cycle, 0});
  StallGroup& group = record_.stallGroups[found->second];
  ++group.count;
  group.lastCycle = stall.cycle;
  return found->second;
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

void RunRecorder::closeStall(Cycle releasedAt) {
  if (!stall_ || !stall_->open) return;
  stall_->open = false;
  // The cycles the instruction waited between Decode and the release are
  // its stall cells.
  if (const auto row = inFlight_.find(stall_->stall.waiting.fetch); row != inFlight_.end()) {
    ChartRow& chart = row->second;
    while (chart.lastCycle() < releasedAt - 1) {
      chart.cells += stallLetter;
      chart.notes.emplace_back();
    }
  }
  explainStall(stall_->stall);
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

void RunRecorder::operator()(const StallReleased&) {
  if (stall_) stall_->stall.released = cycle_;
  closeStall(cycle_);
}

void RunRecorder::openFetch(InstructionTag instruction) {
  settleFetch();
  fetch_ = PendingFetch{instruction, cycle_, heldSinceFetch_, idleSinceFetch_, std::nullopt, false};
  // A released stall's cost is the cycles it held Fetch before this fetch.
  if (stall_ && !stall_->open) fetch_->stall = std::exchange(stall_, std::nullopt);
  heldSinceFetch_ = 0;
  idleSinceFetch_ = 0;
}

void RunRecorder::settleFetch() {
  if (!fetch_) return;
  if (fetch_->stall) settleStall(*fetch_->stall, fetch_->held, 0);
  record_.nothingToFetch += fetch_->idle;
  if (fetch_->cancelled) {
    ++record_.cancelledCycles;
  } else {
    lastRun_ = fetch_->instruction;
    lastRunCycle_ = fetch_->cycle;
  }
  fetch_.reset();
}

void RunRecorder::settleStall(PendingStall& pending, Cycle fetchHeld, Cycle endDelay) {
  StallRecord& stall = pending.stall;
  stall.fetchHeld = fetchHeld;
  stall.endDelay = endDelay;
  record_.cyclesLost += stall.cyclesLost();
  explainStall(stall);
  if (pending.recordIndex) record_.stalls[*pending.recordIndex] = stall;
  StallGroup& group = record_.stallGroups[pending.group];
  if (group.first.cycle == stall.cycle) group.first = stall;
  group.cyclesLost += stall.cyclesLost();
}

void RunRecorder::settleRunEnd() {
  // A fetch cancelled last lies in the drain of the last instruction that
  // ran; a stall released before it held that instruction back.
  Cycle heldInDrain = 0;
  if (fetch_ && fetch_->cancelled) {
    if (fetch_->stall) settleStall(*fetch_->stall, fetch_->held, 0);
    heldInDrain = fetch_->held;
    record_.nothingToFetch += fetch_->idle;
    fetch_.reset();
  }
  settleFetch();
  // The last instruction that ran needs four cycles after its fetch to
  // leave Write-back; any more were stalls holding it.
  const Cycle beyondDrain = lastRun_ ? record_.cycles - lastRunCycle_ - 4 - heldInDrain : 0;
  if (stall_) {
    settleStall(*stall_, 0, beyondDrain);
    stall_.reset();
  } else {
    record_.nothingToFetch += beyondDrain;
  }
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
    ++record_.taken;
    takenBranch_ = current_;
    note([&] { return "taken: next fetch E(" + std::to_string(*e.newPc) + ")"; });
  } else {
    ++record_.notTaken;
    note([&] { return "not taken"; });
  }
}

void RunRecorder::operator()(const InstructionCancelled& e) {
  ++record_.cancelled;
  if (fetch_ && fetch_->instruction.fetch == e.instruction.fetch) fetch_->cancelled = true;
  // It leaves from Decode's slot, a bubble behind the branch.
  if (const auto row = inFlight_.find(e.instruction.fetch); row != inFlight_.end()) {
    row->second.cells += cancelledLetter;
    row->second.notes.push_back(
        record_.window.contains(cycle_) ? "cancelled: fetched behind the taken " + instructionName(e.by) : "");
    retire(row);
  }
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

void RunRecorder::operator()(const InstructionRetired& e) {
  ++record_.completed;
  if (const auto row = inFlight_.find(e.instruction.fetch); row != inFlight_.end()) retire(row);
}

void RunRecorder::operator()(const RunEnded& e) {
  record_.end = e.completed ? RunEnd::Completed : RunEnd::Failed;
  record_.message = std::string(e.message);
  record_.exitStatus = e.exitStatus;
}

void RunRecorder::stop() { record_.end = RunEnd::Stopped; }

std::vector<const ChartRow*> RunRecorder::rowsInPipeline() const {
  std::vector<const ChartRow*> rows;
  for (const auto& [fetch, row] : inFlight_) rows.push_back(&row);
  return rows;
}

void RunRecorder::retire(std::map<FetchNumber, ChartRow>::iterator row) {
  if (row->second.lastCycle() >= record_.window.from) record_.chart.push_back(std::move(row->second));
  inFlight_.erase(row);
}

RunRecord RunRecorder::finish(const MachineState& initial, const MachineState& final) {
  // A stall still open at the end lasted to the last cycle; its instruction
  // waited in every cycle since.
  closeStall(record_.cycles + 1);
  if (record_.end == RunEnd::Completed) {
    settleRunEnd();
  } else {
    // A run cut short: what Fetch stood still for so far.
    settleFetch();
    if (stall_) settleStall(*stall_, heldSinceFetch_, 0);
    record_.nothingToFetch += idleSinceFetch_;
  }
  while (!inFlight_.empty()) retire(inFlight_.begin());
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
