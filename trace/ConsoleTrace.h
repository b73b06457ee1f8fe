#pragma once

#include "common/TraceWriter.h"
#include "vocabulary/Events.h"

namespace fivestage {

// The console's view of a run: renders every event as the lines fivestage
// prints for it, byte for byte. Absent values show as -1, or as the word
// indifferent on the lines that have always said so.
class ConsoleTrace final : public RunObserver {
 public:
  explicit ConsoleTrace(TraceWriter& out) : out_(out) {}

  void observe(const Event& event) override;

  TraceWriter& writer() { return out_; }

 private:
  TraceWriter& out_;
};

}  // namespace fivestage
