#include "stages/BranchPredictor.h"

#include <algorithm>

namespace fivestage {
namespace {

// Where the tables start: the 1-bit one at not taken, the 2-bit one at
// weakly not taken.
constexpr std::int32_t initialState(Predictor kind) { return kind == Predictor::TwoBit ? 1 : 0; }

}  // namespace

BranchPredictor::BranchPredictor(Predictor kind, int entries)
    : kind_(kind), table_(isDynamic() ? static_cast<std::size_t>(std::max(entries, 1)) : 0, initialState(kind)) {}

std::int32_t BranchPredictor::entryOf(InstructionIndex branch) const {
  return branch % static_cast<std::int32_t>(table_.size());
}

bool BranchPredictor::predictsTaken(std::int32_t state) const { return kind_ == Predictor::TwoBit ? state >= 2 : state == 1; }

std::optional<BranchPredictor::Prediction> BranchPredictor::predictAt(const MachineState& program,
                                                                      InstructionIndex index) const {
  if (kind_ == Predictor::NotTaken) return std::nullopt;
  const Instruction& instruction = program.instructions[static_cast<std::size_t>(index)];
  const std::optional<Opcode> opcode = instruction.decoded();
  const bool jump = opcode == Opcode::J;
  if (!jump && !isConditionalBranch(opcode)) return std::nullopt;
  const std::optional<InstructionIndex> label = instruction.getLabel();
  const auto end = static_cast<InstructionIndex>(program.instructions.size());
  if (!label || *label < 0 || *label > end) return std::nullopt;
  const auto [taken, entry] = jump ? std::pair(true, std::optional<TableEntry>()) : guess(index, *label);
  return Prediction{jump, taken, entry, taken ? *label : index + 1};
}

std::pair<bool, std::optional<TableEntry>> BranchPredictor::guess(InstructionIndex branch,
                                                                  InstructionIndex label) const {
  switch (kind_) {
    case Predictor::NotTaken: return {false, std::nullopt};
    case Predictor::Taken: return {true, std::nullopt};
    case Predictor::BackwardTaken: return {label <= branch, std::nullopt};
    case Predictor::OneBit:
    case Predictor::TwoBit: break;
  }
  const std::int32_t entry = entryOf(branch);
  const std::int32_t state = table_[static_cast<std::size_t>(entry)];
  return {predictsTaken(state), TableEntry{entry, state}};
}

std::optional<BranchPredictor::Update> BranchPredictor::resolve(InstructionIndex branch, bool taken) {
  if (!isDynamic()) return std::nullopt;
  const std::int32_t entry = entryOf(branch);
  const std::int32_t state = table_[static_cast<std::size_t>(entry)];
  std::int32_t after = taken ? 1 : 0;
  if (kind_ == Predictor::TwoBit) after = std::clamp(state + (taken ? 1 : -1), 0, 3);
  pending_ = TableEntry{entry, after};
  return Update{{entry, state}, after};
}

void BranchPredictor::endCycle() {
  if (!pending_) return;
  table_[static_cast<std::size_t>(pending_->index)] = pending_->state;
  pending_.reset();
}

bool BranchPredictor::recall(FetchNumber fetch) {
  const auto found =
      std::find_if(inFlight_.begin(), inFlight_.end(), [fetch](const InFlight& known) { return known.fetch == fetch; });
  if (found == inFlight_.end()) return false;
  const bool taken = found->taken;
  inFlight_.erase(found);
  return taken;
}

}  // namespace fivestage
