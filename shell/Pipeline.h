#pragma once

#include <cstdint>

#include "stages/DecodeUnit.h"
#include "stages/ExecuteUnit.h"
#include "stages/FetchUnit.h"
#include "stages/MemoryUnit.h"
#include "stages/WriteBackUnit.h"

namespace fivestage {

// The five stage units and which instruction each of the last four handles
// next (an instruction index, -1 when the stage is empty). Fetch takes the
// program counter instead.
struct Pipeline {
  FetchUnit fetchUnit;
  DecodeUnit decodeUnit;
  ExecuteUnit executeUnit;
  MemoryUnit memoryUnit;
  WriteBackUnit writeBackUnit;
  std::int32_t decodeSlot = -1;
  std::int32_t executeSlot = -1;
  std::int32_t memorySlot = -1;
  std::int32_t writeBackSlot = -1;

  bool isEmpty() const { return decodeSlot == -1 && executeSlot == -1 && memorySlot == -1 && writeBackSlot == -1; }
};

}  // namespace fivestage
