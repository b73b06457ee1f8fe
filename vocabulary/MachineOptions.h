#pragma once

namespace fivestage {

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

  bool operator==(const MachineOptions&) const = default;
};

}  // namespace fivestage
