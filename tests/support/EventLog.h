#pragma once

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "vocabulary/Events.h"
#include "loader/MachineState.h"

namespace fivestage::testing {

// Records every event of a run, for tests that ask what the machine did.
class EventLog final : public RunObserver {
 public:
  void observe(const Event& event) override { events.push_back(event); }
  EventKinds interests() const override { return everyEventKind; }

  // Every recorded event of one kind, in order.
  template <typename Kind>
  std::vector<Kind> all() const {
    std::vector<Kind> found;
    for (const Event& event : events) {
      if (const Kind* kind = std::get_if<Kind>(&event)) found.push_back(*kind);
    }
    return found;
  }

  std::vector<Event> events;
};

// A machine assembled in code: the program is parsed as the loader parses it.
inline MachineState machineOf(std::vector<std::string> lines, std::vector<Word> registers = std::vector<Word>(8, 0),
                              std::vector<Word> memory = std::vector<Word>(8, 0)) {
  MachineState state;
  state.sourceLines = std::move(lines);
  state.registers = std::move(registers);
  state.memory = std::move(memory);
  std::ostringstream ignored;
  state.parseSource(ignored);
  return state;
}

}  // namespace fivestage::testing
