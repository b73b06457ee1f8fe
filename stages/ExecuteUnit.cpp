#include "stages/ExecuteUnit.h"

#include <ostream>

#include "energy/Energy.h"
#include "stages/Latches.h"
#include "stages/TraceText.h"

namespace fivestage {
namespace {

// Two's-complement arithmetic that wraps on overflow, as the hardware does.
std::int32_t wrapped(std::uint32_t value) { return static_cast<std::int32_t>(value); }

const char* operationName(std::int32_t operation) {
  switch (operation) {
    case 0: return "Add";
    case 1: return "Sub";
    case 2: return "And";
    case 3: return "Or";
    default: return nullptr;
  }
}

}  // namespace

std::int32_t ExecuteUnit::execute(TraceWriter& out, const MachineState& state) const {
  const DecodeLatchRecord& d = DecodeLatch;
  ExecuteLatchRecord& e = ExecuteLatch;
  out << " Executing : E(" << d.Pc << ")   " << state.sourceTextOf(d.Pc) << "\n\n";
  readEnergy(out);
  std::int32_t zero = 0;

  e.memRead = d.memread;
  e.memWrite = d.memwrite;
  out << "\t C2         : \n";
  out << "\t E.memRead  = " << e.memRead << "\n";
  out << "\t E.memWrite = " << e.memWrite << "\n";

  e.memToreg = d.memtoreg;
  e.regWrite = d.regwrite;
  e.rg = d.Rg;
  out << "\t C3          : \n";
  out << "\t E.memToreg  = " << e.memToreg << "\n";
  out << "\t E.regWrite  = " << e.regWrite << "\n";
  out << "\t E.rg        = " << e.rg << "\n";

  const std::int32_t input2 = aluSrcMux(out, d.b, d.imm, d.alusrc);
  e.AluOut = alu(out, d.a, input2, d.aluop, zero);
  out << "\t E.AluOut = " << e.AluOut << "\n";

  e.A2 = d.b;
  printOrIndifferent(out, "\t E.A2 = ", e.A2, "\n\n");

  const std::int32_t gate = mux3Gate(out, d.pcsrc, zero, d.branch);
  const std::int32_t selected = mux3(out, d.Pc, d.Label, gate);
  return pcMux(out, d.Pc, selected, d.pcsel, gate);
}

std::int32_t ExecuteUnit::aluSrcMux(TraceWriter& out, std::int32_t b, std::int32_t imm, std::int32_t select) const {
  out << "\t Alu input 2 :  \n";
  out << "\t Alu src     : " << select << "\n";
  if (select == 0) {
    out << "\t D.B         : " << b << "\n\n";
    return b;
  }
  out << "\t D.Imm       : " << imm << "\n\n";
  return imm;
}

std::int32_t ExecuteUnit::alu(TraceWriter& out, std::int32_t input1, std::int32_t input2, std::int32_t operation,
                              std::int32_t& zero) const {
  const char* name = operationName(operation);
  if (name == nullptr) return -1;

  std::int32_t result = 0;
  const auto x = static_cast<std::uint32_t>(input1);
  const auto y = static_cast<std::uint32_t>(input2);
  switch (operation) {
    case 0: result = wrapped(x + y); break;
    case 1: result = wrapped(x - y); break;
    // And and Or are logical, not bitwise: their results are 0 or 1.
    case 2: result = (input1 != 0 && input2 != 0) ? 1 : 0; break;
    default: result = (input1 != 0 || input2 != 0) ? 1 : 0; break;
  }
  out << "\t Alu Operation : " << name << " \n";
  out << "\t Operants      : \n";
  out << "\t input 1       : " << input1 << "\n";
  out << "\t input 2       : " << input2 << "\n";
  out << "\t Result        : " << result << "\n\n";
  if (operation == 1) zero = input1 != input2 ? 1 : 0;
  return result;
}

std::int32_t ExecuteUnit::mux3Gate(TraceWriter& out, std::int32_t pcsrc, std::int32_t zero, std::int32_t branch) const {
  out << "\t To Mux3 Gate     : \n";
  out << "\t Input 1 (PCrsrc) : " << pcsrc << "\n";
  out << "\t Input 2 (Zero)   : " << zero << "\n";
  std::int32_t result = 1;
  if (branch == -1) {
    out << "\t Input 3 (Branch) : indifferent \n";
  } else {
    out << "\t Input 3 (Branch) : " << branch << "\n";
    // beq passes on equal operands, bne on different ones (Zero is inverted);
    // j, and every instruction that is no branch, passes.
    if (branch == 0) result = (pcsrc == 1 && zero == 0) ? 1 : 0;
    if (branch == 1) result = (pcsrc == 1 && zero != 0) ? 1 : 0;
  }
  out << "\t Result           : " << result << "\n\n";
  return result;
}

std::int32_t ExecuteUnit::mux3(TraceWriter& out, std::int32_t pc, std::int32_t label, std::int32_t gate) const {
  if (gate != 0) {
    out << "\t Mux3 Signal  : " << label << "\n\n";
    return label;
  }
  out << "\t Mux3  : " << pc << "\n\n";
  return pc;
}

std::int32_t ExecuteUnit::pcMux(TraceWriter& out, std::int32_t pc, std::int32_t selected, std::int32_t select,
                                std::int32_t gate) const {
  if (select == 0) {
    out << "\t PC    : " << pc << "\n";
    out << "\t PcSel : " << 0 << "\n\n";
    return -1;
  }
  out << "\t PC  : " << selected << "\n";
  out << "\t PcSel : " << select << "\n\n";
  // A branch that is not taken must not send Fetch back to the branch itself.
  return gate != 0 ? selected : -1;
}

void ExecuteUnit::readEnergy(TraceWriter& out) const { chargeEnergy(out, executeEnergyFile); }

}  // namespace fivestage
