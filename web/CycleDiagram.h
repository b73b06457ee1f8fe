#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string_view>

#include "vocabulary/Events.h"
#include "vocabulary/MachineOptions.h"

namespace fivestage::web {

// The datapath diagram of a cycle, as the page draws it: for each stage the
// instruction it holds (or a bubble, a stall, a cancelled instruction) and
// the values on its wires, and the paths of the datapath that carried them.
// All of it comes from the cycle's events, which LatestCycle keeps; the
// names are those of the events and of the console trace. As an observer it
// follows the one thing a cycle's events do not tell: which instruction a
// stall found earlier still holds in Decode.
class CycleDiagram final : public RunObserver {
 public:
  explicit CycleDiagram(MachineOptions machine) : machine_(machine) {}

  void observe(const Event& event) override;
  EventKinds interests() const override;

  // The diagram of the latest cycle, given its events, from its
  // CycleStarted on: see web/site/diagram.js for how it is drawn.
  nlohmann::ordered_json json(std::span<const Event> cycle) const;

 private:
  // The instruction a stall holds in Decode until its release.
  struct Waiting {
    InstructionTag instruction;
    std::string_view text;
    std::optional<RegisterNumber> blockedRegister;
    std::optional<InstructionTag> waitsFor;
    Cycle since;  // the cycle Decode found the hazard
  };

  MachineOptions machine_;
  Cycle cycle_ = 0;
  std::string_view decodedText_;    // of the instruction Decode took up last
  std::optional<Waiting> waiting_;  // while a stall is open
};

}  // namespace fivestage::web
