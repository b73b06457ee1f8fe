#pragma once

#include <optional>

#include "stages/DecodeUnit.h"
#include "stages/ExecuteUnit.h"
#include "stages/FetchUnit.h"
#include "stages/MemoryUnit.h"
#include "stages/WriteBackUnit.h"

namespace fivestage {

// The five stage units and which instruction, which fetch of it, each of the
// last four handles next (empty when the stage has nothing to do). Fetch
// takes the program counter instead.
struct Pipeline {
  FetchUnit fetchUnit;
  DecodeUnit decodeUnit;
  ExecuteUnit executeUnit;
  MemoryUnit memoryUnit;
  WriteBackUnit writeBackUnit;
  std::optional<InstructionTag> decodeSlot;
  std::optional<InstructionTag> executeSlot;
  std::optional<InstructionTag> memorySlot;
  std::optional<InstructionTag> writeBackSlot;

  bool isEmpty() const { return !decodeSlot && !executeSlot && !memorySlot && !writeBackSlot; }
};

}  // namespace fivestage
