#include "stages/DecodeUnit.h"

#include <array>

#include "stages/Bounds.h"

namespace fivestage {
namespace {

const Instruction& decodedInstruction(const Datapath& datapath) {
  return datapath.state.instructions[static_cast<std::size_t>(datapath.FetchLatch.Pc)];
}

// Puts a source register's value into its field of the pipeline register;
// nothing when the instruction has no such register. Written in place: a
// value made piece by piece and then copied whole holds the cycle up.
void readSource(const MachineState& state, std::optional<RegisterNumber> number, std::optional<Word>& field) {
  if (number) {
    field = registerAt(state, number);
  } else {
    field.reset();
  }
}

}  // namespace

HazardVerdict DecodeUnit::decode(Datapath& datapath) const {
  const InstructionTag tag{datapath.FetchLatch.Pc, datapath.FetchLatch.fetch};
  datapath.enterStage(Stage::Decode, tag);
  const std::optional<Opcode> opcode = decodedInstruction(datapath).decoded();
  const HazardVerdict verdict = datapath.options.forwarding ? detectLoadUse(datapath) : detectDanger(datapath);
  // A stalled instruction still does all its decoding work.
  readRegisterFile(datapath);
  chargeEnergy(datapath, opcode);
  produceControlSignals(datapath, opcode);
  if (verdict.stall) datapath.report<StallTriggered>(tag, verdict.blockedRegister, verdict.waitsFor);
  return verdict;
}

HazardVerdict DecodeUnit::detectDanger(const Datapath& datapath) const {
  const Instruction& instruction = decodedInstruction(datapath);
  const ExecuteLatchRecord& e = datapath.ExecuteLatch;
  const MemoryLatchRecord& m = datapath.MemoryLatch;

  // A source register is in danger when an instruction in Execute or Memory
  // is still to write it. Every row is examined: a row whose registers match
  // but whose write flag is off must not hide a later row that holds.
  struct Row {
    const std::optional<RegisterNumber>& destination;
    bool writeFlag;
    const std::optional<InstructionTag>& writer;
    std::optional<RegisterNumber> source;
  };
  const std::array<Row, 4> rows{{{e.rg, e.regWrite, e.writer, instruction.getRs()},
                                 {m.rg, m.regWrite, m.writer, instruction.getRs()},
                                 {e.rg, e.regWrite, e.writer, instruction.getRt()},
                                 {m.rg, m.regWrite, m.writer, instruction.getRt()}}};
  HazardVerdict verdict;
  for (const Row& row : rows) {
    if (row.writeFlag && row.destination == row.source) {
      verdict = {true, row.source, row.writer};
      break;
    }
  }
  datapath.report<HazardChecked>(instruction.getRs(), instruction.getRt(), PendingWrite{e.rg, e.regWrite},
                                 PendingWrite{m.rg, m.regWrite}, verdict.stall, verdict.blockedRegister,
                                 verdict.waitsFor);
  return verdict;
}

HazardVerdict DecodeUnit::detectLoadUse(const Datapath& datapath) const {
  const Instruction& instruction = decodedInstruction(datapath);
  const ExecuteLatchRecord& e = datapath.ExecuteLatch;
  // Execute runs before Decode in a cycle: when it ran, its pipeline register
  // holds the instruction right ahead, whose loaded word comes too late for
  // the next Execute. When it did not, the instruction ahead is further on
  // and all its results can be forwarded.
  std::optional<ExecutedInstruction> ahead;
  HazardVerdict verdict;
  if (datapath.thisCycle.executed) {
    ahead = ExecutedInstruction{e.rg, e.memRead};
    for (const std::optional<RegisterNumber> source : {instruction.getRs(), instruction.getRt()}) {
      if (e.memRead && e.regWrite && source && e.rg == source) {
        verdict = {true, source, e.writer};
        break;
      }
    }
  }
  datapath.report<LoadUseChecked>(ahead, instruction.getRs(), instruction.getRt(), verdict.stall,
                                  verdict.blockedRegister, verdict.waitsFor);
  return verdict;
}

void DecodeUnit::readRegisterFile(Datapath& datapath) const {
  const Instruction& instruction = decodedInstruction(datapath);
  DecodeLatchRecord& d = datapath.DecodeLatch;
  datapath.report<RegisterReadStarted>();
  d.Rg = instruction.getRd();
  d.Pc = datapath.FetchLatch.Pc;
  d.fetch = datapath.FetchLatch.fetch;
  readSource(datapath.state, instruction.getRs(), d.a);
  readSource(datapath.state, instruction.getRt(), d.b);
  d.imm = instruction.getImm();
  d.Label = instruction.getLabel();
  datapath.report<RegistersRead>(d.Pc, instruction.getRs(), instruction.getRt(), d.a, d.b, d.imm, d.Label);
}

void DecodeUnit::rereadRegisterFile(Datapath& datapath) const {
  DecodeLatchRecord& d = datapath.DecodeLatch;
  const Instruction& instruction = datapath.state.instructions[static_cast<std::size_t>(d.Pc)];
  readSource(datapath.state, instruction.getRs(), d.a);
  readSource(datapath.state, instruction.getRt(), d.b);
  datapath.report<StallReleased>(InstructionTag{d.Pc, d.fetch}, datapath.state.sourceTextOf(d.Pc), instruction.getRs(),
                                 instruction.getRt(), d.a, d.b);
}

void DecodeUnit::chargeEnergy(Datapath& datapath, std::optional<Opcode> opcode) const {
  datapath.chargeEnergy({Stage::Decode, opcode});
}

}  // namespace fivestage
