#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "loader/MachineState.h"
#include "vocabulary/RunEnd.h"

namespace fivestage {

// What a program means, with no pipeline: its instructions executed one at a
// time, each finished before the next begins. The pipelines are measured
// against it: with flush, whatever the timing, a run must end in the same
// registers and memory.
//
// Each instruction does what its opcode's control signals in the instruction
// set say, and an access outside the machine ends the run with the console's
// message, as in the stages. The ALU and the branch decision are computed
// here on their own, so that a fault in the Execute stage shows up as a
// difference and is not repeated on both sides.
struct ReferenceRun {
  // Completed: execution went on to exactly one past the last instruction;
  // Failed: an instruction could not be executed (see the message);
  // Stopped: still running after the most instructions allowed.
  RunEnd end = RunEnd::Completed;
  std::string message;          // why a failed run failed
  std::vector<Word> registers;  // the register file and data memory at the end
  std::vector<Word> memory;
  std::int64_t executed = 0;           // instructions executed to the end
  std::vector<InstructionIndex> path;  // those instructions in order, when kept
};

struct ReferenceLimits {
  // A program that has executed this many instructions and goes on is
  // stopped, so that one that never ends cannot hold up its caller.
  std::int64_t maxExecuted = 1'000'000;
  // Whether to keep the path, which grows with every instruction executed.
  bool keepPath = false;
};

// Executes the program of `machine` from instruction 0 on its registers and
// memory, which it leaves as they were.
ReferenceRun runReference(const MachineState& machine, ReferenceLimits limits = {});

}  // namespace fivestage
