#pragma once

#include <nlohmann/json.hpp>
#include <span>

#include "vocabulary/Events.h"
#include "vocabulary/MachineOptions.h"

namespace fivestage::web {

// The datapath diagram of a cycle, as the page draws it: for each stage the
// instruction it holds (or a bubble, a stall, a cancelled instruction) and
// the values on its wires, and the paths of the datapath that carried them.
// All of it comes from the cycle's events, which LatestCycle keeps; the
// names are those of the events and of the console trace.
class CycleDiagram {
 public:
  explicit CycleDiagram(MachineOptions machine) : machine_(machine) {}

  // The diagram of a cycle, given its events from its CycleStarted on: see
  // web/site/diagram.js for how it is drawn.
  nlohmann::ordered_json json(std::span<const Event> cycle) const;

 private:
  MachineOptions machine_;
};

}  // namespace fivestage::web
