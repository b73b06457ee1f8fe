#pragma once

#include <cstdint>
#include <string_view>

#include "common/TraceWriter.h"

namespace fivestage {

// Writes a trace line for a signal or operand that may be unused: `label`,
// then either `valuePrefix` and the value, or the word indifferent and a
// blank when the value is -1; then `end`.
inline void printOrIndifferent(TraceWriter& out, std::string_view label, std::int32_t value,
                               std::string_view end = "\n", std::string_view valuePrefix = "") {
  out << label;
  if (value == -1) {
    out << "indifferent ";
  } else {
    out << valuePrefix << value;
  }
  out << end;
}

}  // namespace fivestage
