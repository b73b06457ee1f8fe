#pragma once

#include <stdexcept>
#include <string>

namespace fivestage {

// A condition that ends the whole run: a file that cannot be opened, an access
// outside the program, the register file or the data memory, or input that ran
// out. Library code throws it; the entry point prints the message to standard
// output and ends the process with the exit status it carries.
class FatalError : public std::runtime_error {
 public:
  FatalError(const std::string& message, int exitStatus = 1) : std::runtime_error(message), exitStatus_(exitStatus) {}

  int exitStatus() const { return exitStatus_; }

 private:
  int exitStatus_;
};

}  // namespace fivestage
