#include "report/KanataLog.h"

#include <ostream>

namespace fivestage::report {
namespace {

constexpr const char* stageLabel(Stage stage) {
  switch (stage) {
    case Stage::Fetch: return "F";
    case Stage::Decode: return "D";
    case Stage::Execute: return "X";
    case Stage::Memory: return "M";
    case Stage::WriteBack: return "W";
  }
  return "?";
}

// The log's own instruction numbers count from 0 in order of appearance.
FetchNumber logId(FetchNumber fetch) { return fetch - 1; }

}  // namespace

KanataLog::KanataLog(std::ostream& out) : out_(out) { out_ << "Kanata\t0004\n"; }

void KanataLog::operator()(const CycleStarted& e) {
  if (started_) {
    out_ << "C\t1\n";
  } else {
    out_ << "C=\t" << e.cycle << "\n";
    started_ = true;
  }
  retireCompleted();
}

void KanataLog::operator()(const StageEntered& e) {
  current_ = e.instruction.fetch;
  const FetchNumber id = logId(current_);
  if (e.stage == Stage::Fetch) {
    out_ << "I\t" << id << "\t" << e.instruction.index << "\t0\n";
    out_ << "L\t" << id << "\t0\tE(" << e.instruction.index << ") " << e.text << "\n";
    inPipeline_.insert(current_);
  }
  if (e.stage == Stage::Execute && stalled_ == current_) {
    out_ << "E\t" << id << "\t1\tstall\n";
    stalled_.reset();
  }
  out_ << "S\t" << id << "\t0\t" << stageLabel(e.stage) << "\n";
}

void KanataLog::operator()(const StallTriggered& e) {
  const FetchNumber id = logId(e.instruction.fetch);
  out_ << "L\t" << id << "\t1\tstall: waits for $" << onBus(e.blockedRegister);
  if (e.waitsFor) out_ << " from E(" << e.waitsFor->index << ")";
  out_ << "\n";
  if (e.waitsFor && inPipeline_.contains(e.waitsFor->fetch)) {
    out_ << "W\t" << id << "\t" << logId(e.waitsFor->fetch) << "\t0\n";
  }
}

// Its wait shows on lane 1 from the first cycle it waits to its Execute.
void KanataLog::operator()(const InstructionStalled& e) {
  if (stalled_ == e.instruction.fetch) return;
  out_ << "S\t" << logId(e.instruction.fetch) << "\t1\tstall\n";
  stalled_ = e.instruction.fetch;
}

void KanataLog::operator()(const PcMuxSelected& e) {
  if (!e.pcsel) return;
  out_ << "L\t" << logId(current_) << "\t1\t";
  if (e.newPc) {
    out_ << "taken: next fetch E(" << *e.newPc << ")\n";
  } else {
    out_ << "not taken\n";
  }
}

// A cancelled instruction leaves the log at once, as flushed.
void KanataLog::operator()(const InstructionCancelled& e) {
  const FetchNumber id = logId(e.instruction.fetch);
  out_ << "L\t" << id << "\t1\tcancelled: fetched behind the " << (e.byTaken ? "taken" : "not taken") << " E("
       << e.by.index << ")\n";
  out_ << "R\t" << id << "\t" << id << "\t1\n";
  inPipeline_.erase(e.instruction.fetch);
}

// It leaves the log at the start of the next cycle, after its W.
void KanataLog::operator()(const InstructionRetired& e) { completed_.push_back(e.instruction.fetch); }

void KanataLog::retireCompleted() {
  for (const FetchNumber fetch : completed_) {
    out_ << "R\t" << logId(fetch) << "\t" << retired_++ << "\t0\n";
    inPipeline_.erase(fetch);
  }
  completed_.clear();
}

void KanataLog::finish() {
  if (!started_) return;
  out_ << "C\t1\n";
  retireCompleted();
  if (stalled_) out_ << "E\t" << logId(*stalled_) << "\t1\tstall\n";
  for (const FetchNumber fetch : inPipeline_) out_ << "R\t" << logId(fetch) << "\t" << logId(fetch) << "\t1\n";
  inPipeline_.clear();
  out_.flush();
}

}  // namespace fivestage::report
