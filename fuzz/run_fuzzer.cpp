// A whole run in process: arbitrary bytes as the three input files, the
// energy figures and the keyboard, through the dialogue and the scheduler,
// ending only through the program's own exits.
// Input: src FF FF reg FF FF mem FF FF stdin FF FF flags FF FF energy files...
// (flags: one byte per input file, then one per energy file, missing or a
// directory; energy files in the order of `energyFiles`, default figure 1).
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "shell/Entry.h"

using namespace fivestage;

namespace {

const char* const energyFiles[] = {
    "EnergyConsumptionInput/Fetch/energy.txt",      "EnergyConsumptionInput/Execute/energy.txt",
    "EnergyConsumptionInput/Mem/energy.txt",        "EnergyConsumptionInput/WriteBack/energy.txt",
    "EnergyConsumptionInput/Decode/add/energy.txt", "EnergyConsumptionInput/Decode/addi/energy.txt",
    "EnergyConsumptionInput/Decode/and/energy.txt", "EnergyConsumptionInput/Decode/beq/energy.txt",
    "EnergyConsumptionInput/Decode/bne/energy.txt", "EnergyConsumptionInput/Decode/j/energy.txt",
    "EnergyConsumptionInput/Decode/lw/energy.txt",  "EnergyConsumptionInput/Decode/or/energy.txt",
    "EnergyConsumptionInput/Decode/sub/energy.txt", "EnergyConsumptionInput/Decode/sw/energy.txt",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::enterScratchDirectory();
  const auto sections = fuzz::splitSections(data, size);
  const std::string_view flags = fuzz::section(sections, 4);
  fuzz::placeInputFiles(sections, flags);
  std::size_t index = 0;
  for (const char* path : energyFiles) {
    fuzz::place(path, fuzz::section(sections, 5 + index, "1\n"), fuzz::placementFor(flags, 3 + index));
    ++index;
  }

  // Endless programs end at the end-of-input limit; a small one keeps the
  // fuzzer fast without leaving any path unexplored.
  std::istringstream keyboard{std::string(fuzz::section(sections, 3))};
  fuzz::NullStream screen;
  const int status = runFivestage(keyboard, screen, InputFolder("."), 300);
  if (status != 0 && status != 1) __builtin_trap();
  return 0;
}
