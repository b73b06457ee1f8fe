#pragma once

#include <cstdint>

#include "common/TraceWriter.h"
#include "loader/MachineState.h"
#include "shell/Pipeline.h"

namespace fivestage {

// The scheduler's state, process-wide and zero at start-up.
inline std::int32_t CycleCounter = 0;       // the banner number: newlines read at the prompts
inline std::int32_t cyclesRun = 0;          // every cycle run, whatever its prompt read
inline std::int32_t stallCycle = 0;         // cyclesRun when the last stall was triggered
inline std::int32_t decodeStall = 0;        // 1 while a stall holds Decode
inline std::int32_t fetchFrozen = 0;        // 1 while a stall holds Fetch
inline std::int32_t executeFrozen = 0;      // 1 while a stall holds Execute
inline std::int32_t endOfInputPrompts = 0;  // prompts that found the input ended

// Prompts that may find the input ended before the run is given up: a
// program that never ends must not spin for ever once nobody can press Enter.
// The program keeps it at 100000; in-process harnesses may lower it.
inline std::int32_t endOfInputLimit = 100000;

// Brings the scheduler state back to its start-up values, for running
// several simulations in one process (tests, fuzzing).
void resetScheduler();

// Runs the program from `pc` one cycle per prompt until the last instruction
// has left the pipeline. Throws FatalError when the run cannot go on.
void simulate(std::istream& in, TraceWriter& out, std::int32_t pc, Pipeline& pipeline, MachineState& state);

// One clock cycle: prompt, banner, then the stages from the back of the
// pipeline to the front. Returns false when the run has ended.
bool stepCycle(std::istream& in, TraceWriter& out, std::int32_t& pc, Pipeline& pipeline, MachineState& state);

}  // namespace fivestage
