#pragma once

#include <cstdint>

namespace fivestage {

// How Fetch guesses where a conditional branch leads before Execute knows.
enum class Predictor : std::uint8_t {
  NotTaken,       // fetch goes on in order: the flush machine
  Taken,          // every branch is taken
  BackwardTaken,  // taken when its label is at or before it, as a loop's branch
  OneBit,         // a table of the last outcome of each entry
  TwoBit,         // a table of saturating counters 0 to 3
};

// Which machine a run simulates. With neither option it is the machine the
// console has always shown, quirks and all; each option adds the hardware a
// course compares it with.
struct MachineOptions {
  // A forwarding unit hands Execute the newest value of each source register
  // from the instructions ahead, so only an instruction that reads a register
  // the instruction right ahead of it loads must wait, for one cycle.
  bool forwarding = false;
  // A taken branch or jump cancels the instruction fetched behind it.
  bool flush = false;
  // With flush: where Fetch goes after a branch, and the entries of the
  // 1-bit and 2-bit tables.
  Predictor predictor = Predictor::NotTaken;
  int predictorEntries = 16;

  bool operator==(const MachineOptions&) const = default;
};

}  // namespace fivestage
