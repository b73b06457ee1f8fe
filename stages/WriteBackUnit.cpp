#include "stages/WriteBackUnit.h"

#include "stages/Bounds.h"

namespace fivestage {

void WriteBackUnit::writeBack(Datapath& datapath, InstructionIndex index) const {
  const MemoryLatchRecord& m = datapath.MemoryLatch;
  const InstructionTag tag{index, m.writer->fetch};
  datapath.enterStage(Stage::WriteBack, tag);
  const Word value = memToRegMux(datapath, m.AluOut, m.Dr, m.memToreg);
  datapath.report<RegisterWriteDecided>(m.regWrite, value, m.rg);
  if (m.regWrite) {
    writeRegister(datapath, value, m.rg);
    datapath.thisCycle.writtenBack = WrittenRegister{*m.rg, value, tag};
  }
  datapath.retire(tag);
}

Word WriteBackUnit::memToRegMux(const Datapath& datapath, Word aluResult, Word loadedWord,
                                std::optional<WriteBackSource> select) const {
  // Only the ALU-result select passes the ALU result; an indifferent select
  // passes the loaded word, like a load's.
  const Word value = select == WriteBackSource::AluResult ? aluResult : loadedWord;
  datapath.report<MemToRegSelected>(select, aluResult, loadedWord, value);
  return value;
}

void WriteBackUnit::writeRegister(Datapath& datapath, Word value, std::optional<RegisterNumber> number) const {
  chargeEnergy(datapath);
  registerAt(datapath.state, number) = value;
  datapath.report<RegisterWritten>(*number, value);
}

void WriteBackUnit::chargeEnergy(Datapath& datapath) const { datapath.chargeEnergy({Stage::WriteBack, {}}); }

}  // namespace fivestage
