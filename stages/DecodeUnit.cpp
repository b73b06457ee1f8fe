#include "stages/DecodeUnit.h"

#include <array>
#include <ostream>

#include "energy/Energy.h"
#include "stages/Bounds.h"
#include "stages/Latches.h"
#include "stages/TraceText.h"

namespace fivestage {
namespace {

const Instruction& decodedInstruction(const MachineState& state, std::int32_t index) {
  return state.instructions[static_cast<std::size_t>(index)];
}

// A source register's value, or -1 when the instruction has no such register.
std::int32_t readSource(const MachineState& state, std::int32_t number) {
  return number == -1 ? -1 : registerAt(state, number);
}

// "\t D.a     : $1 = 10": whether a line says indifferent depends on the
// value in the latch, so a register holding -1 reads as indifferent too.
void printOperand(TraceWriter& out, std::string_view label, std::int32_t number, std::int32_t value) {
  if (value == -1) {
    printOrIndifferent(out, label, value);
  } else {
    out << label << "$" << number << " = " << value << "\n";
  }
}

void printOperands(TraceWriter& out, const Instruction& instruction) {
  printOperand(out, "\t D.a     : ", instruction.getRs(), DecodeLatch.a);
  printOperand(out, "\t D.b     : ", instruction.getRt(), DecodeLatch.b);
}

}  // namespace

std::int32_t DecodeUnit::decode(TraceWriter& out, const MachineState& state) const {
  const std::int32_t n = FetchLatch.Pc;
  out << " Decoding : E(" << n << ")   " << state.sourceTextOf(n) << "\n\n";
  const std::string& opcode = decodedInstruction(state, n).opcode();
  const std::int32_t verdict = detectDanger(out, state);
  // A stalled instruction still does all its decoding work.
  readRegisterFile(out, state);
  readEnergy(out, opcode);
  produceControlSignals(out, opcode);
  if (verdict == 1) out << "\t Stall : E(" << n << ") \n\n";
  return verdict;
}

std::int32_t DecodeUnit::detectDanger(TraceWriter& out, const MachineState& state) const {
  const Instruction& instruction = decodedInstruction(state, FetchLatch.Pc);
  const std::int32_t rs = instruction.getRs();
  const std::int32_t rt = instruction.getRt();
  const ExecuteLatchRecord& e = ExecuteLatch;
  const MemoryLatchRecord& m = MemoryLatch;

  out << "\t Danger Detection Unit : \n\n";
  out << "\t E.rg = $" << e.rg << "\n\t R1 = $" << rs << "\n\t E.Regwrite = " << e.regWrite << "\n\n";
  out << "\t E.rg = $" << e.rg << "\n\t R2 = $" << rt << "\n\t E.Regwrite = " << e.regWrite << "\n\n";
  out << "\t M.rg = $" << m.rg << "\n\t R1 = $" << rs << "\n\t M.Regwrite = " << m.regWrite << "\n\n";
  out << "\t M.rg = $" << m.rg << "\n\t R2 = $" << rt << "\n\t M.Regwrite = " << m.regWrite << "\n\n";

  // A source register is in danger when an instruction in Execute or Memory
  // is still to write it. Every row is examined: a row whose registers match
  // but whose write flag is off must not hide a later row that holds.
  struct Row {
    std::int32_t destination, writeFlag, source;
  };
  const std::array<Row, 4> rows{
      {{e.rg, e.regWrite, rs}, {m.rg, m.regWrite, rs}, {e.rg, e.regWrite, rt}, {m.rg, m.regWrite, rt}}};
  for (const Row& row : rows) {
    if (row.destination == row.source && row.writeFlag == 1) {
      out << "\t Register $" << row.source << " cant be readen \n";
      out << "\t Stall Triggering ... \n\n";
      return 1;
    }
  }
  out << "\t No Danger Detected \n\n";
  return 0;
}

void DecodeUnit::readRegisterFile(TraceWriter& out, const MachineState& state) const {
  const std::int32_t n = FetchLatch.Pc;
  const Instruction& instruction = decodedInstruction(state, n);
  out << "\t Reading Register File : \n\n";

  DecodeLatchRecord& d = DecodeLatch;
  d.Rg = instruction.getRd();
  d.Pc = n;
  d.a = readSource(state, instruction.getRs());
  d.b = readSource(state, instruction.getRt());
  d.imm = instruction.getImm();
  d.Label = instruction.getLabel();

  out << "\t D.Pc    : " << d.Pc << "\n";
  printOperands(out, instruction);
  printOrIndifferent(out, "\t D.imm   : ", d.imm);
  if (d.Label == -1) {
    out << "\t D.Label : indifferent \n\n";
  } else {
    out << "\t D.Label : E(" << d.Label << ") \n\n";
  }
}

void DecodeUnit::rereadRegisterFile(TraceWriter& out, const MachineState& state) const {
  const std::int32_t n = DecodeLatch.Pc;
  const Instruction& instruction = decodedInstruction(state, n);
  out << " Stall Released : E(" << n << ")   " << state.sourceTextOf(n) << "\n\n";
  DecodeLatch.a = readSource(state, instruction.getRs());
  DecodeLatch.b = readSource(state, instruction.getRt());
  printOperands(out, instruction);
  out << "\n";
}

void DecodeUnit::readEnergy(TraceWriter& out, std::string_view opcode) const {
  chargeEnergy(out, decodeEnergyFile(opcode));
}

}  // namespace fivestage
