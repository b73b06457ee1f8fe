#include <iostream>

#include "shell/Entry.h"

int main() {
  // The standard streams are used only through iostreams; unsynchronised
  // they buffer, and the dialogue flushes before it waits for a key.
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  // Everything is read from the folder the simulator is started in.
  return fivestage::runFivestage(std::cin, std::cout, ".");
}
