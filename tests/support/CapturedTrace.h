#pragma once

#include <sstream>
#include <string>

#include "common/TraceWriter.h"

namespace fivestage::testing {

struct CapturedText {
  std::ostringstream text;
};

// A trace writer whose output the test can read back.
class CapturedTrace : private CapturedText, public TraceWriter {
 public:
  CapturedTrace() : TraceWriter(text) {}
  std::string str() {
    flush();
    return text.str();
  }
};

}  // namespace fivestage::testing
