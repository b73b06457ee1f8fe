#include "stages/FetchUnit.h"

#include <ostream>

#include "energy/Energy.h"
#include "stages/Latches.h"

namespace fivestage {

void FetchUnit::fetch(TraceWriter& out, std::int32_t& pc, const MachineState& state) const {
  const std::string& text = state.sourceTextOf(pc);
  out << " Fetching : E(" << pc << ")   " << text << "\n\n";
  out << "\t F.Pc = " << pc << "\n";
  // The instruction register is shown as the instruction's source text.
  out << "\t F.Ir = " << text << "\n";
  FetchLatch.Pc = pc;
  readEnergy(out);
  ++pc;
}

void FetchUnit::readEnergy(TraceWriter& out) const { chargeEnergy(out, fetchEnergyFile); }

}  // namespace fivestage
