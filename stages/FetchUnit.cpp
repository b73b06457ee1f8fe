#include "stages/FetchUnit.h"

namespace fivestage {

void FetchUnit::fetch(Datapath& datapath, InstructionIndex& pc) const {
  const InstructionTag tag{pc, ++datapath.fetches};
  datapath.enterStage(Stage::Fetch, tag);
  datapath.FetchLatch.Pc = pc;
  datapath.FetchLatch.fetch = tag.fetch;
  chargeEnergy(datapath);
  pc = predictNext(datapath, tag);
}

void FetchUnit::chargeEnergy(Datapath& datapath) const { datapath.chargeEnergy({Stage::Fetch, {}}); }

// The not-taken predictor is no hardware at all: Fetch goes on in order. The
// others send a jump to its label and a branch where they predict it goes.
// Fetch can only follow a label that names an instruction or the program's
// end: a branch or jump to L0 or beyond the program is fetched past, and
// Execute resolves it as on the machine without a predictor.
InstructionIndex FetchUnit::predictNext(Datapath& datapath, InstructionTag fetched) const {
  const InstructionIndex inOrder = fetched.index + 1;
  BranchPredictor& predictor = datapath.predictor;
  if (predictor.kind() == Predictor::NotTaken) return inOrder;
  const Instruction& instruction = datapath.state.instructions[static_cast<std::size_t>(fetched.index)];
  const std::optional<Opcode> opcode = instruction.decoded();
  const bool jump = opcode == Opcode::J;
  if (!jump && opcode != Opcode::Beq && opcode != Opcode::Bne) return inOrder;
  const std::optional<InstructionIndex> label = instruction.getLabel();
  const auto end = static_cast<InstructionIndex>(datapath.state.instructions.size());
  if (!label || *label < 0 || *label > end) return inOrder;

  const BranchPredictor::Prediction prediction =
      jump ? BranchPredictor::Prediction{true, std::nullopt} : predictor.predict(fetched.index, *label);
  const InstructionIndex next = prediction.taken ? *label : inOrder;
  predictor.remember(fetched.fetch, prediction.taken);
  datapath.report(BranchPredicted{fetched, predictor.kind(), jump, prediction.entry, prediction.taken, next});
  return next;
}

}  // namespace fivestage
