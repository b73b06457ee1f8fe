#pragma once

#include <span>
#include <string>
#include <vector>

#include "trace/StageSpans.h"
#include "vocabulary/Events.h"

namespace fivestage {

// The events of the latest cycle of a run, kept as they come and rendered
// only when asked: a page that runs thousands of cycles between two looks
// pays for copying events, not for formatting the text of every cycle.
class LatestCycle final : public RunObserver {
 public:
  void observe(const Event& event) override {
    if (std::holds_alternative<CycleStarted>(event)) events_.clear();
    events_.push_back(event);
  }
  // It keeps them all, for whoever asks: the console's text, the diagram.
  EventKinds interests() const override { return everyEventKind; }

  // The cycle's events, from its start; empty before the first cycle.
  std::span<const Event> events() const { return events_; }
  // The console's text of the cycle: the step prompt that asked for it,
  // then its trace, as CycleTexts gives it; and where each stage's block
  // lies in it.
  struct Text {
    std::string text;
    std::vector<StageSpan> stages;
  };
  Text text() const;

 private:
  std::vector<Event> events_;
};

}  // namespace fivestage
