#pragma once

#include <optional>

#include "common/Machine.h"
#include "isa/InstructionSet.h"

namespace fivestage {

// The pipeline registers between the stages. A field keeps its value until
// its stage writes it again; nothing clears them between instructions.

// F: between Fetch and Decode.
struct FetchLatchRecord {
  InstructionIndex Pc = 0;  // index of the instruction fetched last
  FetchNumber fetch = 0;    // and which fetch it was
};

// D: between Decode and Execute. Decode writes every field before Execute
// first reads the record. The control signals come first (pcsel to
// regwrite: C1 for Execute, C2 for Memory, C3 for Write-back), then the
// operands the register read puts there.
struct DecodeLatchRecord : ControlSignals {
  std::optional<RegisterNumber> Rg;  // destination register
  InstructionIndex Pc = 0;           // index of the decoded instruction
  FetchNumber fetch = 0;             // and which fetch it was
  std::optional<Word> a;             // value of register rs
  std::optional<Word> b;             // value of register rt
  std::optional<Word> imm;
  std::optional<InstructionIndex> Label;  // branch or jump target
};

// E: between Execute and Memory. At start-up it reads as register 0 with its
// write flag off, which is what the hazard check sees before the first
// instruction has executed.
struct ExecuteLatchRecord {
  bool memRead = false;
  bool memWrite = false;
  std::optional<WriteBackSource> memToreg = WriteBackSource::AluResult;
  bool regWrite = false;
  std::optional<RegisterNumber> rg = 0;
  Word AluOut = 0;
  std::optional<Word> A2 = 0;            // the word a store writes (value of rt)
  std::optional<InstructionTag> writer;  // the instruction whose values these are
};

// M: between Memory and Write-back; start-up values as for E.
struct MemoryLatchRecord {
  std::optional<WriteBackSource> memToreg = WriteBackSource::AluResult;
  bool regWrite = false;
  std::optional<RegisterNumber> rg = 0;
  Word Dr = 0;  // word of the most recent load
  Word AluOut = 0;
  std::optional<InstructionTag> writer;  // the instruction whose values these are
};

// A register Write-back wrote, and the instruction that wrote it.
struct WrittenRegister {
  RegisterNumber number;
  Word value;
  InstructionTag writer;
};

}  // namespace fivestage
