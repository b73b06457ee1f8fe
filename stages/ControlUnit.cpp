// The control unit: the last step of Decode, turning the opcode into the
// control signals that travel down the pipeline with the instruction.
#include "common/FatalError.h"
#include "stages/DecodeUnit.h"

namespace fivestage {

void DecodeUnit::produceControlSignals(Datapath& datapath, std::optional<Opcode> opcode) const {
  if (!opcode || !opcodeRow(*opcode).control) throw FatalError(" File could not be loaded \n");
  // Read where the table holds them, not copied: a copy made piece by piece
  // and read whole right after holds the cycle up.
  const ControlSignals& signals = *opcodeRow(*opcode).control;
  DecodeLatchRecord& d = datapath.DecodeLatch;
  static_cast<ControlSignals&>(d) = signals;
  // An instruction that writes a register writes its rd, which the register
  // read has put into Rg; the others write none.
  if (!signals.regwrite) d.Rg.reset();
  datapath.report<ControlSignalsProduced>(signals, d.Rg);
}

}  // namespace fivestage
