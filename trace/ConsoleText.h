#pragma once

#include <string_view>

namespace fivestage::console {

// The dialogue's own lines around the trace of a run.
inline constexpr std::string_view welcome = "\n WELCOME TO MIPS COMPUTER ARCHITECTURE SIMULATOR \n\n";
inline constexpr std::string_view choicePrompt =
    "\n Enter 1 to continue to the simulator or 2 to see the loaded data  : \n\n ";
inline constexpr std::string_view afterChoice = " \n\n";
inline constexpr std::string_view stepPrompt = "\n Press Enter to perform a step :  ";

}  // namespace fivestage::console
