#include "stages/WriteBackUnit.h"

#include <ostream>

#include "energy/Energy.h"
#include "stages/Bounds.h"
#include "stages/Latches.h"

namespace fivestage {

void WriteBackUnit::writeBack(TraceWriter& out, MachineState& state, std::int32_t index) const {
  const MemoryLatchRecord& m = MemoryLatch;
  out << " ----------------------------------------------------------------- \n\n";
  out << " Writing Register File  : E(" << index << ")   " << state.sourceTextOf(index) << "\n\n";
  const std::int32_t value = memToRegMux(out, m.AluOut, m.Dr, m.memToreg);
  if (m.regWrite != 1) {
    out << "\t No Writing Register File (regWrite=0)  \n\n";
    return;
  }
  out << "\t Writing Register File (regWrite=1) : \n";
  out << "\t Data   : " << value << "\n";
  out << "\t Rg     : $" << m.rg << "\n\n";
  writeRegister(out, value, m.rg, state);
}

std::int32_t WriteBackUnit::memToRegMux(TraceWriter& out, std::int32_t aluResult, std::int32_t loadedWord,
                                        std::int32_t select) const {
  if (select == 0) {
    out << "\t MemToReg          : " << 0 << "\n";
    out << "\t Data from AluOut  : " << aluResult << "\n\n";
    return aluResult;
  }
  if (select == -1) {
    out << "\t MemToReg          : Indifferent \n";
  } else {
    out << "\t MemToReg          : " << select << "\n";
  }
  out << "\t Data from Dr      : " << loadedWord << "\n\n";
  return loadedWord;
}

void WriteBackUnit::writeRegister(TraceWriter& out, std::int32_t value, std::int32_t number,
                                  MachineState& state) const {
  readEnergy(out);
  registerAt(state, number) = value;
}

void WriteBackUnit::readEnergy(TraceWriter& out) const { chargeEnergy(out, writeBackEnergyFile); }

}  // namespace fivestage
