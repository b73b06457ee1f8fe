// The control unit: the last step of Decode, turning an opcode into the
// control signals that travel down the pipeline with the instruction.
#include <array>
#include <ostream>

#include "stages/DecodeUnit.h"
#include "stages/Latches.h"
#include "stages/TraceText.h"

namespace fivestage {
namespace {

struct ControlRow {
  std::string_view opcode;
  ControlSignals signals;
};

// Note the lw and sw rows: in this machine lw stores a register into memory
// (memwrite) and sw loads a word into a register (memread, memtoreg,
// regwrite). The parser places their operands to match.
constexpr std::array<ControlRow, 10> controlTable{{
    //       pcsel pcsrc branch alusrc aluop memread memwrite memtoreg regwrite keepsRg
    {"lw", {0, 0, -1, 1, 0, 0, 1, -1, 0, false}},
    {"sw", {0, 0, -1, 1, 0, 1, 0, 1, 1, true}},
    {"add", {0, 0, -1, 0, 0, 0, 0, 0, 1, true}},
    {"addi", {0, 0, -1, 1, 0, 0, 0, 0, 1, true}},
    {"sub", {0, 0, -1, 0, 1, 0, 0, 0, 1, true}},
    {"beq", {1, 1, 0, 0, 1, 0, 0, -1, 0, false}},
    {"bne", {1, 1, 1, 0, 1, 0, 0, -1, 0, false}},
    {"and", {0, 0, -1, 0, 2, 0, 0, 0, 1, true}},
    {"or", {0, 0, -1, 0, 3, 0, 0, 0, 1, true}},
    {"j", {1, 1, 2, -1, 0, 0, 0, -1, 0, false}},
}};

constexpr ControlSignals defaultRow{-1, -1, -1, -1, -1, -1, -1, -1, -1, false};

}  // namespace

ControlSignals controlSignalsFor(std::string_view opcode) {
  for (const ControlRow& row : controlTable) {
    if (row.opcode == opcode) return row.signals;
  }
  return defaultRow;
}

void DecodeUnit::produceControlSignals(TraceWriter& out, std::string_view opcode) const {
  const ControlSignals s = controlSignalsFor(opcode);
  DecodeLatchRecord& d = DecodeLatch;
  d.pcsel = s.pcsel;
  d.pcsrc = s.pcsrc;
  d.branch = s.branch;
  d.alusrc = s.alusrc;
  d.aluop = s.aluop;
  d.memread = s.memread;
  d.memwrite = s.memwrite;
  d.memtoreg = s.memtoreg;
  d.regwrite = s.regwrite;
  if (!s.keepsRg) d.Rg = -1;

  out << "\t Producing Control signals : \n\n";
  out << "\t C1  \n";
  out << "\t D.0 : pcsel     = " << d.pcsel << "\n";
  out << "\t D.1 : pcsrc     = " << d.pcsrc << "\n";
  printOrIndifferent(out, "\t D.2 : branch    = ", d.branch);
  printOrIndifferent(out, "\t D.3 : alusrc    = ", d.alusrc);
  // The indifferent line of aluop has one blank less before its "=".
  printOrIndifferent(out, d.aluop == -1 ? "\t D.4 : aluop    = " : "\t D.4 : aluop     = ", d.aluop);
  out << "\t C2  \n";
  out << "\t D.5 : memread   = " << d.memread << "\n";
  out << "\t D.6 : memwrite  = " << d.memwrite << "\n";
  out << "\t C3  \n";
  printOrIndifferent(out, "\t D.7 : memtoreg  = ", d.memtoreg);
  out << "\t D.8 : regwrite  = " << d.regwrite << "\n";
  printOrIndifferent(out, "\t D.9 : Rg        = ", d.Rg, "\n", "$");
  out << "\n\n";
}

}  // namespace fivestage
