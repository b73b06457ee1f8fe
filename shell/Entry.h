#pragma once

#include <iosfwd>

namespace fivestage {

// The whole program: welcome, loading, the choice, then the listing or the
// simulation. Reads the keyboard from `in`, writes everything to `out`, and
// returns the exit status (0 after the listing or a completed run, 1 when
// the run cannot go on). The input files are read, never written.
int runFivestage(std::istream& in, std::ostream& out);

// Brings every process-wide record (pipeline registers, scheduler state,
// energy total) back to its start-up value, so that runFivestage can be
// called again in the same process.
void resetProcessState();

}  // namespace fivestage
