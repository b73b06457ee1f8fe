#include "stages/FetchUnit.h"

namespace fivestage {

void FetchUnit::fetch(Datapath& datapath, InstructionIndex& pc) const {
  const InstructionTag tag{pc, ++datapath.fetches};
  datapath.enterStage(Stage::Fetch, tag);
  datapath.FetchLatch.Pc = pc;
  datapath.FetchLatch.fetch = tag.fetch;
  chargeEnergy(datapath);
  ++pc;
}

void FetchUnit::chargeEnergy(Datapath& datapath) const { datapath.chargeEnergy({Stage::Fetch, {}}); }

}  // namespace fivestage
