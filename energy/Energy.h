#pragma once

#include <string>
#include <string_view>

#include "common/TraceWriter.h"

namespace fivestage {

// Energy consumed so far by all stages of the run together.
inline double energyTotal = 0.0;

// Each stage's energy figures live in a tree below the working directory;
// Decode has one file per opcode.
inline constexpr const char* fetchEnergyFile = "EnergyConsumptionInput/Fetch/energy.txt";
inline constexpr const char* executeEnergyFile = "EnergyConsumptionInput/Execute/energy.txt";
inline constexpr const char* memoryEnergyFile = "EnergyConsumptionInput/Mem/energy.txt";
inline constexpr const char* writeBackEnergyFile = "EnergyConsumptionInput/WriteBack/energy.txt";

// Decode's energy file for an opcode, or nullptr for an opcode without one
// (xor and nop among them).
const char* decodeEnergyFile(std::string_view opcode);

// Reads the file, adds the value of every line (atoi rules) to energyTotal
// and prints the total so far. The file is read afresh at every call, so a
// figure edited during a run counts from the next reading on. Throws
// FatalError when the file cannot be opened; a null path counts as such.
void chargeEnergy(TraceWriter& out, const char* path);

// The total as the trace shows it: general notation with six significant
// digits, and an exponent of at least three digits (1e+006).
std::string formatEnergy(double total);

}  // namespace fivestage
