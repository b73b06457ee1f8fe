#include "stages/Latches.h"

namespace fivestage {

void resetLatches() {
  FetchLatch = {};
  DecodeLatch = {};
  ExecuteLatch = {};
  MemoryLatch = {};
}

}  // namespace fivestage
