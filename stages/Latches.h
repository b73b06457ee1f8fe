#pragma once

#include <cstdint>

namespace fivestage {

// The pipeline registers between the stages. Each is one process-wide
// record, zero at start-up and never cleared: a field keeps its value until
// its stage writes it again. -1 marks an indifferent signal or unused operand.

// F: between Fetch and Decode.
struct FetchLatchRecord {
  std::int32_t Pc = 0;  // index of the instruction fetched last
};

// D: between Decode and Execute. The first ten fields are the control
// signals (C1 for Execute, C2 for Memory, C3 for Write-back).
struct DecodeLatchRecord {
  std::int32_t pcsel = 0;     // 0: keep the PC as Fetch advanced it
  std::int32_t pcsrc = 0;     // gate input 1 in front of Mux3
  std::int32_t branch = 0;    // 0 beq, 1 bne, 2 j
  std::int32_t alusrc = 0;    // 0: ALU input 2 is b, else imm
  std::int32_t aluop = 0;     // 0 add, 1 sub, 2 and, 3 or
  std::int32_t memread = 0;   // 1: Memory loads a word
  std::int32_t memwrite = 0;  // 1: Memory stores a word
  std::int32_t memtoreg = 0;  // Write-back: 0 ALU result, 1 loaded word
  std::int32_t regwrite = 0;  // 1: Write-back writes Rg
  std::int32_t Rg = 0;        // destination register
  std::int32_t Pc = 0;        // index of the decoded instruction
  std::int32_t a = 0;         // value of register rs
  std::int32_t b = 0;         // value of register rt
  std::int32_t imm = 0;
  std::int32_t Label = 0;  // branch or jump target index
};

// E: between Execute and Memory.
struct ExecuteLatchRecord {
  std::int32_t memRead = 0;
  std::int32_t memWrite = 0;
  std::int32_t memToreg = 0;
  std::int32_t regWrite = 0;
  std::int32_t rg = 0;
  std::int32_t AluOut = 0;
  std::int32_t A2 = 0;  // the word a store writes (value of rt)
};

// M: between Memory and Write-back.
struct MemoryLatchRecord {
  std::int32_t memToreg = 0;
  std::int32_t regWrite = 0;
  std::int32_t rg = 0;
  std::int32_t Dr = 0;  // word of the most recent load
  std::int32_t AluOut = 0;
};

inline FetchLatchRecord FetchLatch;
inline DecodeLatchRecord DecodeLatch;
inline ExecuteLatchRecord ExecuteLatch;
inline MemoryLatchRecord MemoryLatch;

// Brings all four records back to their start-up state, for running
// several simulations in one process (tests, fuzzing).
void resetLatches();

}  // namespace fivestage
