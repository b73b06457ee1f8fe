#include "trace/LatestCycle.h"

#include <sstream>

#include "common/TraceWriter.h"
#include "trace/ConsoleText.h"
#include "trace/ConsoleTrace.h"

namespace fivestage {

std::string LatestCycle::text() const {
  if (events_.empty()) return {};
  std::ostringstream text;
  {
    TraceWriter writer(text);
    writer << console::stepPrompt;
    ConsoleTrace trace(writer);
    for (const Event& event : events_) trace.observe(event);
  }
  return text.str();
}

}  // namespace fivestage
