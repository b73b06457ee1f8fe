#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "vocabulary/Events.h"

namespace fivestage {

// Where a stage's block lies in a console text: from its heading (or the
// heading of a stall's release, which goes on to Execute) up to the next
// heading, the line that sets Write-back apart, or the end of the cycle.
struct StageSpan {
  Stage stage;
  std::size_t begin;  // offsets in the text: the first byte, and the one after the last
  std::size_t end;
};

// The spans of the stage blocks, noted as the console's trace writes them:
// the trace knows which stage it is writing for, so no reader of the text
// has to tell it from the headings.
class StageSpans {
 public:
  // A block of `stage` begins at offset `at`, ending the one before.
  void open(Stage stage, std::size_t at) {
    close(at);
    open_ = StageSpan{stage, at, at};
  }
  // The block under way, if any, ends at offset `at`.
  void close(std::size_t at) {
    if (!open_) return;
    open_->end = at;
    if (open_->end > open_->begin) spans_.push_back(*open_);
    open_.reset();
  }
  // The stage whose block is under way, if any.
  std::optional<Stage> openStage() const { return open_ ? std::optional(open_->stage) : std::nullopt; }
  // The blocks ended so far, in the order of the text.
  const std::vector<StageSpan>& spans() const { return spans_; }

 private:
  std::optional<StageSpan> open_;
  std::vector<StageSpan> spans_;
};

// A stage's block as lines of its text, counted from 0: the first line and
// the one after the last.
struct StageLines {
  Stage stage;
  std::size_t from;
  std::size_t to;
};
std::vector<StageLines> linesOf(std::string_view text, const std::vector<StageSpan>& spans);

}  // namespace fivestage
