#pragma once

#include <optional>

#include "stages/DecodeUnit.h"
#include "stages/ExecuteUnit.h"
#include "stages/FetchUnit.h"
#include "stages/MemoryUnit.h"
#include "stages/WriteBackUnit.h"

namespace fivestage {

// The five stage units and which instruction each of the last four handles
// next (empty when the stage has nothing to do). Fetch takes the program
// counter instead.
struct Pipeline {
  FetchUnit fetchUnit;
  DecodeUnit decodeUnit;
  ExecuteUnit executeUnit;
  MemoryUnit memoryUnit;
  WriteBackUnit writeBackUnit;
  std::optional<InstructionIndex> decodeSlot;
  std::optional<InstructionIndex> executeSlot;
  std::optional<InstructionIndex> memorySlot;
  std::optional<InstructionIndex> writeBackSlot;

  bool isEmpty() const { return !decodeSlot && !executeSlot && !memorySlot && !writeBackSlot; }
};

}  // namespace fivestage
