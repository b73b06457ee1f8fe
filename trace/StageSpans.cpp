#include "trace/StageSpans.h"

#include <algorithm>

namespace fivestage {

std::vector<StageLines> linesOf(std::string_view text, const std::vector<StageSpan>& spans) {
  // The line that holds offset `at`: the newlines before it.
  const auto lineAt = [text](std::size_t at) {
    return static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
  };
  std::vector<StageLines> lines;
  for (const StageSpan& span : spans) {
    // A block ends with its newline: the line after it is not its own.
    lines.push_back({span.stage, lineAt(span.begin), lineAt(span.end - 1) + 1});
  }
  return lines;
}

}  // namespace fivestage
