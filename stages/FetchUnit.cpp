#include "stages/FetchUnit.h"

namespace fivestage {

void FetchUnit::fetch(Datapath& datapath, InstructionIndex& pc) const {
  datapath.report(StageEntered{Stage::Fetch, pc, datapath.state.sourceTextOf(pc)});
  datapath.FetchLatch.Pc = pc;
  readEnergy(datapath);
  ++pc;
}

void FetchUnit::readEnergy(Datapath& datapath) const { datapath.chargeEnergy({Stage::Fetch, {}}); }

}  // namespace fivestage
