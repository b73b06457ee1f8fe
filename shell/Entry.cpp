#include "shell/Entry.h"

#include <istream>
#include <new>
#include <ostream>

#include "common/FatalError.h"
#include "energy/Energy.h"
#include "loader/MachineState.h"
#include "shell/Scheduler.h"
#include "stages/Latches.h"

namespace fivestage {
namespace {

int runDialogue(std::istream& in, std::ostream& out) {
  out << "\n WELCOME TO MIPS COMPUTER ARCHITECTURE SIMULATOR \n\n";
  MachineState state(out);

  std::int32_t choice = 0;
  out << "\n Enter 1 to continue to the simulator or 2 to see the loaded data  : \n\n ";
  out.flush();
  // What follows the number on its line stays unread: the first step prompt
  // reads the newline, so cycle 1 follows the choice without a key press.
  // A failed read leaves choice 0 and the input failed for good.
  in >> choice;
  out << " \n\n";

  if (choice == 2) {
    printLoadedData(out, state);
  } else {
    // The trace is written through its own buffer, handed on to `out` before
    // every wait for a key and at the end, also when the run fails.
    TraceWriter trace(out);
    Pipeline pipeline;
    simulate(in, trace, 0, pipeline, state);
  }
  return 0;
}

}  // namespace

int runFivestage(std::istream& in, std::ostream& out) {
  int status = 0;
  try {
    status = runDialogue(in, out);
  } catch (const FatalError& error) {
    out << error.what();
    status = error.exitStatus();
  } catch (const std::bad_alloc&) {
    out << " Not enough memory to hold the program and its data \n";
    status = 1;
  }
  out.flush();
  return status;
}

void resetProcessState() {
  resetLatches();
  resetScheduler();
  energyTotal = 0.0;
}

}  // namespace fivestage
