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
//   the machine options (vocabulary/MachineDescription.h): with either of the above, the machine to simulate
//   --init DIR  make DIR a ready input folder
//   --help, --version, each alone
// Anything else is refused.
Arguments parseArguments(std::span<const std::string> words);

inline constexpr std::string_view versionText = "fivestage 1.0\n";

// What --help prints, and a refusal after its message: the machine options'
// flags and help come from their description.
std::string usageText();

}  // namespace fivestage
