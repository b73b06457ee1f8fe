#include "stages/MemoryUnit.h"

#include <ostream>

#include "energy/Energy.h"
#include "stages/Bounds.h"
#include "stages/Latches.h"
#include "stages/TraceText.h"

namespace fivestage {
namespace {

void printAccess(TraceWriter& out, std::int32_t data, std::int32_t address) {
  out << "\t Data                : " << data << "\n";
  out << "\t Adresse             : " << address << "\n\n";
}

}  // namespace

void MemoryUnit::accessMemory(TraceWriter& out, MachineState& state, std::int32_t index) const {
  const ExecuteLatchRecord& e = ExecuteLatch;
  MemoryLatchRecord& m = MemoryLatch;
  out << " Memory Access : E(" << index << ")   " << state.sourceTextOf(index) << "\n\n";

  m.memToreg = e.memToreg;
  m.regWrite = e.regWrite;
  m.rg = e.rg;
  out << "\t C3         : \n";
  printOrIndifferent(out, "\t M.memToreg = ", m.memToreg);
  printOrIndifferent(out, "\t M.regWrite = ", m.regWrite);
  printOrIndifferent(out, "\t M.rg       = ", m.rg, "\n\n", "$");

  m.AluOut = e.AluOut;
  out << "\t M.AluOut   = " << m.AluOut << "\n\n";

  if (e.memRead == 1) {
    readEnergy(out);
    m.Dr = readMemory(m.AluOut, state);
    out << "\t Reading from Memory : \n";
    printAccess(out, m.Dr, m.AluOut);
  } else if (e.memWrite == 1) {
    out << "\t Writing to Memory  : \n\n";
    readEnergy(out);
    writeMemory(e.A2, m.AluOut, state);
    printAccess(out, e.A2, m.AluOut);
  } else {
    out << "\t No memory Access \n\n";
  }
}

std::int32_t MemoryUnit::readMemory(std::int32_t address, MachineState& state) const {
  return memoryWordAt(state, address);
}

void MemoryUnit::writeMemory(std::int32_t word, std::int32_t address, MachineState& state) const {
  memoryWordAt(state, address) = word;
}

void MemoryUnit::readEnergy(TraceWriter& out) const { chargeEnergy(out, memoryEnergyFile); }

}  // namespace fivestage
