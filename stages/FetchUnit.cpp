#include "stages/FetchUnit.h"

namespace fivestage {

void FetchUnit::fetch(Datapath& datapath, InstructionIndex& pc) const {
  const InstructionTag tag{pc, datapath.counts.fetch(pc)};
  datapath.enterStage(Stage::Fetch, tag);
  datapath.FetchLatch.Pc = pc;
  datapath.FetchLatch.fetch = tag.fetch;
  chargeEnergy(datapath);
  pc = predictNext(datapath, tag);
}

void FetchUnit::chargeEnergy(Datapath& datapath) const {
  datapath.latestFetchWork = datapath.chargeEnergy({Stage::Fetch, {}});
}

// Fetch goes on where the predictor sends the fetched instruction, in
// order when it predicts nothing for it.
InstructionIndex FetchUnit::predictNext(Datapath& datapath, InstructionTag fetched) const {
  BranchPredictor& predictor = datapath.predictor;
  const std::optional<BranchPredictor::Prediction> prediction = predictor.predictAt(datapath.state, fetched.index);
  if (!prediction) return fetched.index + 1;
  predictor.remember(fetched.fetch, prediction->taken);
  datapath.report<BranchPredicted>(fetched, predictor.kind(), prediction->jump, prediction->entry, prediction->taken,
                                   prediction->next);
  return prediction->next;
}

}  // namespace fivestage
