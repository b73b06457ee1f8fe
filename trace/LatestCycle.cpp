#include "trace/LatestCycle.h"

#include <sstream>

#include "common/TraceWriter.h"
#include "trace/ConsoleText.h"
#include "trace/ConsoleTrace.h"

namespace fivestage {

LatestCycle::Text LatestCycle::text() const {
  if (events_.empty()) return {};
  std::ostringstream text;
  StageSpans spans;
  {
    TraceWriter writer(text);
    writer << console::stepPrompt;
    ConsoleTrace trace(writer, &spans);
    for (const Event& event : events_) trace.observe(event);
    spans.close(writer.written());
  }
  return {text.str(), spans.spans()};
}

}  // namespace fivestage
