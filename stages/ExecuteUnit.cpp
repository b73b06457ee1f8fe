#include "stages/ExecuteUnit.h"

namespace fivestage {
namespace {

// Two's-complement arithmetic that wraps on overflow, as the hardware does.
Word wrapped(std::uint32_t value) { return static_cast<Word>(value); }

// The newest value of a source register among the instructions ahead: the
// one in Memory in this cycle first, then the one Write-back wrote. Decode
// read the register a cycle or more ago, before either had written it.
std::optional<Forwarded> newestValue(const Datapath& datapath, std::optional<RegisterNumber> source) {
  if (!source) return std::nullopt;
  const MemoryLatchRecord& m = datapath.MemoryLatch;
  if (datapath.thisCycle.memoryAccessed && m.regWrite && m.rg == source) {
    // What Write-back will write. A load's word is never needed here: the
    // hazard check makes the instruction after a load wait a cycle for it.
    const Word value = m.memToreg == WriteBackSource::AluResult ? m.AluOut : m.Dr;
    return Forwarded{*source, value, *m.writer, Stage::Memory};
  }
  if (const std::optional<WrittenRegister>& written = datapath.thisCycle.writtenBack;
      written && written->number == *source) {
    return Forwarded{*source, written->value, written->writer, Stage::WriteBack};
  }
  return std::nullopt;
}

}  // namespace

void ExecuteUnit::execute(Datapath& datapath, std::optional<InstructionIndex>& newPc) const {
  const DecodeLatchRecord& d = datapath.DecodeLatch;
  ExecuteLatchRecord& e = datapath.ExecuteLatch;
  datapath.enterStage(Stage::Execute, {d.Pc, d.fetch});
  chargeEnergy(datapath);

  e.memRead = d.memread;
  e.memWrite = d.memwrite;
  e.memToreg = d.memtoreg;
  e.regWrite = d.regwrite;
  e.rg = d.Rg;
  e.writer = InstructionTag{d.Pc, d.fetch};
  datapath.report<ExecuteSignalsPassed>(e.memRead, e.memWrite, e.memToreg, e.regWrite, e.rg);
  datapath.thisCycle.executed = true;

  // Operand b goes on to Memory as A2, the word a store writes, so it is
  // kept there from the start.
  std::optional<Word> a = d.a;
  e.A2 = d.b;
  if (datapath.options.forwarding) forward(datapath, a, e.A2);
  bool zero = false;
  const Word input2 = aluSrcMux(datapath, onBus(e.A2), onBus(d.imm), d.alusrc);
  e.AluOut = alu(datapath, onBus(a), input2, d.aluop, zero);
  datapath.report<ExecuteResultLatched>(e.AluOut, e.A2);

  const bool gate = mux3Gate(datapath, d.pcsrc, zero, d.branch);
  std::optional<InstructionIndex> selected;
  mux3(datapath, d.Pc, d.Label, gate, selected);
  pcMux(datapath, d.Pc, selected, d.pcsel, gate, newPc);
  if (d.pcsel) datapath.counts.branchExecuted(newPc.has_value());
}

void ExecuteUnit::forward(const Datapath& datapath, std::optional<Word>& a, std::optional<Word>& b) const {
  const DecodeLatchRecord& d = datapath.DecodeLatch;
  const Instruction& instruction = datapath.state.instructions[static_cast<std::size_t>(d.Pc)];
  const std::optional<Forwarded> newestA = newestValue(datapath, instruction.getRs());
  const std::optional<Forwarded> newestB = newestValue(datapath, instruction.getRt());
  datapath.report<OperandsForwarded>(newestA, newestB);
  if (newestA) a = newestA->value;
  if (newestB) b = newestB->value;
}

Word ExecuteUnit::aluSrcMux(const Datapath& datapath, Word b, Word imm, std::optional<AluSource> select) const {
  // Only a select of RegisterB takes b; the indifferent select of j takes imm.
  const Word chosen = select == AluSource::RegisterB ? b : imm;
  datapath.report<AluInputSelected>(select, b, imm, chosen);
  return chosen;
}

Word ExecuteUnit::alu(const Datapath& datapath, Word input1, Word input2, AluOperation operation, bool& zero) const {
  const auto x = static_cast<std::uint32_t>(input1);
  const auto y = static_cast<std::uint32_t>(input2);
  Word result = 0;
  switch (operation) {
    case AluOperation::Add: result = wrapped(x + y); break;
    case AluOperation::Sub:
      result = wrapped(x - y);
      zero = input1 != input2;
      break;
    // And and Or are logical, not bitwise: their results are 0 or 1.
    case AluOperation::And: result = (input1 != 0 && input2 != 0) ? 1 : 0; break;
    case AluOperation::Or: result = (input1 != 0 || input2 != 0) ? 1 : 0; break;
  }
  datapath.report<AluComputed>(operation, input1, input2, result, zero);
  return result;
}

bool ExecuteUnit::mux3Gate(const Datapath& datapath, bool pcsrc, bool zero, std::optional<BranchKind> branch) const {
  // beq passes on equal operands, bne on different ones (Zero is inverted);
  // j, and every instruction that is no branch, passes.
  bool passed = true;
  if (branch == BranchKind::IfEqual) passed = pcsrc && !zero;
  if (branch == BranchKind::IfNotEqual) passed = pcsrc && zero;
  datapath.report<GateEvaluated>(pcsrc, zero, branch, passed);
  return passed;
}

void ExecuteUnit::mux3(const Datapath& datapath, InstructionIndex pc, const std::optional<InstructionIndex>& label,
                       bool gate, std::optional<InstructionIndex>& selected) const {
  if (gate) {
    selected = label;
  } else {
    selected = pc;
  }
  datapath.report<Mux3Selected>(gate, pc, label, selected);
}

void ExecuteUnit::pcMux(const Datapath& datapath, InstructionIndex pc, const std::optional<InstructionIndex>& selected,
                        bool select, bool gate, std::optional<InstructionIndex>& newPc) const {
  // A branch that is not taken must not send Fetch back to the branch itself.
  if (select && gate) {
    newPc = selected;
  } else {
    newPc.reset();
  }
  datapath.report<PcMuxSelected>(select, pc, selected, newPc);
}

void ExecuteUnit::chargeEnergy(Datapath& datapath) const { datapath.chargeEnergy({Stage::Execute, {}}); }

}  // namespace fivestage
