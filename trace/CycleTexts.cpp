#include "trace/CycleTexts.h"

#include "trace/ConsoleText.h"

namespace fivestage {

CycleTexts::CycleTexts(Cycle first, Cycle last, std::size_t keep) : first_(first), last_(last), keep_(keep) {}

void CycleTexts::observe(const Event& event) {
  if (const auto* started = std::get_if<CycleStarted>(&event)) {
    closeCycle();
    capturing_ = started->cycle >= first_ && started->cycle <= last_;
    if (capturing_) writer_ << console::stepPrompt;
  }
  if (!capturing_) return;
  trace_.observe(event);
  if (std::holds_alternative<RunEnded>(event)) closeCycle();
}

void CycleTexts::closeCycle() {
  if (!capturing_) return;
  writer_.flush();
  texts_.push_back(text_.str());
  if (texts_.size() > keep_) texts_.erase(texts_.begin());
  text_.str("");
  capturing_ = false;
}

const std::vector<std::string>& CycleTexts::texts() {
  // The cycle in progress so far, for a run that was stopped after it.
  closeCycle();
  return texts_;
}

}  // namespace fivestage
