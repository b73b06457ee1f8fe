#pragma once

#include "common/TraceWriter.h"
#include "trace/StageSpans.h"
#include "vocabulary/Events.h"

namespace fivestage {

// The console's view of a run: renders the events as the lines fivestage
// prints for them, byte for byte, and says which kinds it prints nothing
// for. Absent values show as -1, or as the word indifferent on the lines
// that have always said so. Given `spans`, it notes there where each
// stage's block lies in the text it writes.
class ConsoleTrace final : public RunObserver {
 public:
  explicit ConsoleTrace(TraceWriter& out, StageSpans* spans = nullptr) : out_(out), spans_(spans) {}

  void observe(const Event& event) override;
  // The kinds of event it renders: a run only the console watches makes no other.
  EventKinds interests() const override;

  TraceWriter& writer() { return out_; }

 private:
  TraceWriter& out_;
  StageSpans* spans_;
};

}  // namespace fivestage
