#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

namespace fivestage {

// The words of the simulated machine. Every value it computes, stores or
// compares is a signed 32-bit word; the names say what a number stands for.
using Word = std::int32_t;
using RegisterNumber = std::int32_t;    // $n: element n of the register file
using InstructionIndex = std::int32_t;  // E(n): position in the program, 0-based
using Address = std::int32_t;           // data memory is addressed by word

// Cycles are counted in 64 bits: a batch run may go on for days.
using Cycle = std::int64_t;

// Which fetch of the run brought an instruction into the pipeline, from 1.
// An instruction in a loop is fetched again and again, and several of its
// fetches may be in the pipeline at once: the views tell them apart by this.
using FetchNumber = std::int64_t;

// An instruction in the pipeline: which one, and which fetch of it.
struct InstructionTag {
  InstructionIndex index;
  FetchNumber fetch;

  bool operator==(const InstructionTag&) const = default;
};

// The five stages, front to back.
enum class Stage { Fetch, Decode, Execute, Memory, WriteBack };

inline constexpr Stage allStages[] = {Stage::Fetch, Stage::Decode, Stage::Execute, Stage::Memory, Stage::WriteBack};
inline constexpr std::size_t stageCount = std::size(allStages);

// The stage's folder in the energy tree, which is also the name the reports use.
constexpr std::string_view stageName(Stage stage) {
  switch (stage) {
    case Stage::Fetch: return "Fetch";
    case Stage::Decode: return "Decode";
    case Stage::Execute: return "Execute";
    case Stage::Memory: return "Mem";
    case Stage::WriteBack: return "WriteBack";
  }
  return "";
}

// Where the datapath carries a value that is absent (no operand, an
// indifferent signal), the wires hold -1: that is what the ALU computes with
// and what the trace shows.
template <typename Number>
constexpr std::int32_t onBus(const std::optional<Number>& value) {
  return value ? static_cast<std::int32_t>(*value) : -1;
}

}  // namespace fivestage
