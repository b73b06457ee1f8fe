#include "shell/Scheduler.h"

#include <istream>
#include <ostream>
#include <string>

#include "common/FatalError.h"
#include "stages/Bounds.h"
#include "stages/Latches.h"

namespace fivestage {
namespace {

// Waits for one key. The output is flushed only when the read will have to
// wait for new input, so the prompt is on screen before the user is asked,
// while a batch run with its input already buffered writes in large blocks.
int readKey(std::istream& in, TraceWriter& out) {
  if (in.good() && in.rdbuf()->in_avail() <= 0) out.flush();
  return in.get();
}

// Steps 1 and 2: the prompt and the key that starts the cycle.
void promptForStep(std::istream& in, TraceWriter& out) {
  out << "\n Press Enter to perform a step :  ";
  const int key = readKey(in, out);
  if (key == std::istream::traits_type::eof()) {
    if (++endOfInputPrompts > endOfInputLimit) {
      throw FatalError("\n Input ended: the program did not finish within " + std::to_string(endOfInputLimit) +
                       " cycles \n");
    }
  } else if (key == '\n') {
    ++CycleCounter;
  }
  ++cyclesRun;
}

// A stall holds Decode, Execute and Fetch until the instruction it waits for
// has been written back: two cycles after it was triggered. The test is made
// every cycle, measured in cycles run, so no freeze can last for ever.
void releaseStallWhenDue(TraceWriter& out, Pipeline& pipeline, const MachineState& state) {
  if (decodeStall != 1 || cyclesRun - stallCycle < 2) return;
  decodeStall = 0;
  fetchFrozen = 0;
  executeFrozen = 0;
  pipeline.decodeUnit.rereadRegisterFile(out, state);
}

}  // namespace

void resetScheduler() {
  CycleCounter = 0;
  cyclesRun = 0;
  stallCycle = 0;
  decodeStall = 0;
  fetchFrozen = 0;
  executeFrozen = 0;
  endOfInputPrompts = 0;
}

void simulate(std::istream& in, TraceWriter& out, std::int32_t pc, Pipeline& pipeline, MachineState& state) {
  while (stepCycle(in, out, pc, pipeline, state)) {
  }
}

bool stepCycle(std::istream& in, TraceWriter& out, std::int32_t& pc, Pipeline& pipeline, MachineState& state) {
  promptForStep(in, out);
  out << "\n\n --------------------- Cpu Cycle " << CycleCounter << " ---------------------------- \n\n";

  // The stages run from the back of the pipeline to the front, so each one
  // consumes what the stage in front of it produced in the previous cycle.
  if (pipeline.writeBackSlot != -1) {
    pipeline.writeBackUnit.writeBack(out, state, pipeline.writeBackSlot);
    pipeline.writeBackSlot = -1;
  }
  releaseStallWhenDue(out, pipeline, state);

  if (pipeline.memorySlot != -1) {
    pipeline.memoryUnit.accessMemory(out, state, pipeline.memorySlot);
    pipeline.writeBackSlot = pipeline.memorySlot;
    pipeline.memorySlot = -1;
  }

  if (pipeline.executeSlot != -1 && executeFrozen == 0) {
    const std::int32_t newPc = pipeline.executeUnit.execute(out, state);
    if (newPc != -1) pc = newPc;
    pipeline.memorySlot = pipeline.executeSlot;
    pipeline.executeSlot = -1;
  }

  if (pipeline.decodeSlot != -1 && decodeStall == 0) {
    decodeStall = pipeline.decodeUnit.decode(out, state);
    if (decodeStall == 1) {
      stallCycle = cyclesRun;
      fetchFrozen = 1;
      executeFrozen = 1;
    }
    // A stalled instruction waits in Execute's slot, already decoded.
    pipeline.executeSlot = pipeline.decodeSlot;
    pipeline.decodeSlot = -1;
  }

  if (static_cast<std::size_t>(pc) == state.instructions.size() && pc >= 0) return !pipeline.isEmpty();
  if (fetchFrozen == 0) {
    checkInstructionExists(state, pc);
    pipeline.fetchUnit.fetch(out, pc, state);
    pipeline.decodeSlot = FetchLatch.Pc;
  }
  return true;
}

}  // namespace fivestage
