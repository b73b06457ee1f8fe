#include "stages/MemoryUnit.h"

#include "stages/Bounds.h"

namespace fivestage {
namespace {

// A load is tested first, so it wins if both signals were set.
MemoryAccess accessOf(const ExecuteLatchRecord& e) {
  if (e.memRead) return MemoryAccess::Load;
  if (e.memWrite) return MemoryAccess::Store;
  return MemoryAccess::None;
}

}  // namespace

void MemoryUnit::accessMemory(Datapath& datapath, InstructionIndex index) const {
  const ExecuteLatchRecord& e = datapath.ExecuteLatch;
  MemoryLatchRecord& m = datapath.MemoryLatch;
  datapath.enterStage(Stage::Memory, {index, e.writer->fetch});

  m.memToreg = e.memToreg;
  m.regWrite = e.regWrite;
  m.rg = e.rg;
  m.AluOut = e.AluOut;
  m.writer = e.writer;
  datapath.report<MemorySignalsPassed>(m.memToreg, m.regWrite, m.rg, m.AluOut);
  datapath.thisCycle.memoryAccessed = true;

  const MemoryAccess access = accessOf(e);
  datapath.report<MemoryAccessChosen>(access);
  if (access == MemoryAccess::Load) {
    chargeEnergy(datapath);
    m.Dr = readMemory(m.AluOut, datapath.state);
    datapath.report<MemoryRead>(m.AluOut, m.Dr);
  } else if (access == MemoryAccess::Store) {
    chargeEnergy(datapath);
    const Word word = onBus(e.A2);
    writeMemory(word, m.AluOut, datapath.state);
    datapath.report<MemoryWritten>(m.AluOut, word);
  }
}

Word MemoryUnit::readMemory(Address address, MachineState& state) const { return memoryWordAt(state, address); }

void MemoryUnit::writeMemory(Word word, Address address, MachineState& state) const {
  memoryWordAt(state, address) = word;
}

void MemoryUnit::chargeEnergy(Datapath& datapath) const { datapath.chargeEnergy({Stage::Memory, {}}); }

}  // namespace fivestage
