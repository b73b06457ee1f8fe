#pragma once

#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/TraceWriter.h"
#include "vocabulary/Events.h"
#include "trace/ConsoleTrace.h"

namespace fivestage {

// The console's text of each cycle of a range, as fivestage prints it: the
// step prompt that asks for the cycle, then everything up to the next
// prompt. Joined after the dialogue's opening they make the whole trace.
class CycleTexts final : public RunObserver {
 public:
  // Keeps the cycles from `first` to `last` (cycles run, from 1), at most the
  // `keep` latest of them.
  CycleTexts(Cycle first, Cycle last, std::size_t keep = std::numeric_limits<std::size_t>::max());

  void observe(const Event& event) override;
  // Outside the kept cycles only their starts matter: the rest of the run
  // costs nothing to render.
  EventKinds interests() const override { return capturing_ ? trace_.interests() : 0; }

  // The texts of the kept cycles so far, from the first; the cycle in
  // progress is complete once the next one starts or the run has ended.
  const std::vector<std::string>& texts();

 private:
  void closeCycle();

  Cycle first_, last_;
  std::size_t keep_;
  bool capturing_ = false;
  std::ostringstream text_;
  TraceWriter writer_{text_};
  ConsoleTrace trace_{writer_};
  std::vector<std::string> texts_;
};

}  // namespace fivestage
