#include "trace/EnergyText.h"

#include <array>
#include <cstdint>
#include <cstdio>

#if !defined(__EMSCRIPTEN__)
#include <charconv>
#endif

namespace fivestage {

std::string formatEnergy(double total) {
  // Sums of whole numbers below one million print in full: the common case,
  // written without the general floating-point conversion.
  if (total > -1e6 && total < 1e6 && total == static_cast<double>(static_cast<std::int64_t>(total))) {
    return std::to_string(static_cast<std::int64_t>(total));
  }
  // General notation with six significant digits, as printf's %g.
  std::array<char, 32> text{};
#if defined(__EMSCRIPTEN__)
  // That platform's C++ library has no floating-point to_chars.
  const int length = std::snprintf(text.data(), text.size(), "%.6g", total);
  std::string result(text.data(), static_cast<std::size_t>(length));
#else
  const auto end = std::to_chars(text.data(), text.data() + text.size(), total, std::chars_format::general, 6).ptr;
  std::string result(text.data(), end);
#endif
  // It writes at least two exponent digits; the trace shows at least three.
  const std::size_t e = result.find('e');
  if (e != std::string::npos) {
    const std::size_t digits = result.size() - (e + 2);
    if (digits < 3) result.insert(e + 2, 3 - digits, '0');
  }
  return result;
}

}  // namespace fivestage
