#include <iostream>
#include <string>
#include <vector>

#include "shell/Arguments.h"
#include "shell/Entry.h"
#include "shell/StarterFolder.h"

int main(int argc, char** argv) {
  using namespace fivestage;
  // The standard streams are used only through iostreams; unsynchronised
  // they buffer, and the dialogue flushes before it waits for a key.
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);

  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
  const Arguments arguments = parseArguments(words);
  switch (arguments.action) {
    case Action::Help: std::cout << usageText(); return 0;
    case Action::Version: std::cout << versionText; return 0;
    case Action::Init: return createStarterFolder(arguments.folder, argc > 0 ? argv[0] : "", std::cout, std::cerr);
    case Action::Refuse: std::cerr << "fivestage: " << arguments.error << "\n" << usageText(); return usageErrorStatus;
    case Action::Simulate: break;
  }
  // Everything is read from the input folder, the working directory unless named.
  return runFivestage(std::cin, std::cout, InputFolder(arguments.folder), defaultEndOfInputLimit, arguments.machine);
}
