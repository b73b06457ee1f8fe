#pragma once

#include <string>

namespace fivestage {

// The energy total as the trace shows it: general notation with six
// significant digits, and an exponent of at least three digits (1e+006).
std::string formatEnergy(double total);

}  // namespace fivestage
