#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "vocabulary/MachineOptions.h"

namespace fivestage {

// What the command line asks fivestage to do.
enum class Action {
  Simulate,  // the dialogue, on the input folder
  Help,      // the usage on standard output
  Version,   // the version on standard output
  Init,      // a ready input folder made from the starter files
  Refuse,    // a usage error: what is wrong and the usage on standard error
};

struct Arguments {
  Action action = Action::Simulate;
  std::filesystem::path folder = ".";  // Simulate: the input folder; Init: the folder to make
  std::string error;                   // Refuse: what is wrong, on one line
  MachineOptions machine;              // Simulate: the machine to simulate
};

// The exit status of a command line that is refused.
inline constexpr int usageErrorStatus = 2;

// Reads the words that follow the program's name:
//   (none)      simulate in the working directory, as fivestage always has
//   FOLDER      simulate in FOLDER, which must be a folder
//   --forwarding, --flush: with either of the above, the machine to simulate
//   --init DIR  make DIR a ready input folder
//   --help, --version, each alone
// Anything else is refused.
Arguments parseArguments(std::span<const std::string> words);

inline constexpr std::string_view versionText = "fivestage 1.0\n";

inline constexpr std::string_view usageText =
    "Usage: fivestage [--forwarding] [--flush] [FOLDER]\n"
    "       fivestage --init DIR\n"
    "       fivestage --help | --version\n"
    "\n"
    "Simulates, one clock cycle at a time, a five-stage pipelined processor (Fetch,\n"
    "Decode, Execute, Memory, Write-back) running a small MIPS-like program, and\n"
    "prints what every stage does in every cycle. The program and the machine come\n"
    "from src.txt, reg.txt, mem.txt and EnergyConsumptionInput/ in FOLDER, by\n"
    "default the working directory; nothing there is ever written.\n"
    "\n"
    "  FOLDER       the input folder to simulate\n"
    "  --forwarding add a forwarding unit: results reach Execute without waiting\n"
    "               for Write-back; only an instruction that uses the word the\n"
    "               instruction right ahead of it loads waits, for one cycle\n"
    "  --flush      cancel the instruction fetched behind a taken branch or jump\n"
    "  --init DIR   make DIR, a new or empty folder, a ready input folder: a short\n"
    "               example program with comments, registers, memory, energy figures\n"
    "  --help       show this text\n"
    "  --version    show the version\n"
    "\n"
    "At the first prompt, 1 and Enter starts the simulation, 2 and Enter lists the\n"
    "loaded program, registers and memory. Then, step by step:\n"
    "Enter runs one cycle, Ctrl-D runs the rest without waiting, Ctrl-C quits.\n"
    "\n"
    "Exit status: 0 after the listing or a completed run; 1 when the run cannot go\n"
    "on (a file that cannot be loaded, a register, memory word or instruction that\n"
    "does not exist); 2 for a usage error or a folder --init will not write into.\n";

}  // namespace fivestage
