#include "common/NumberText.h"

#include <charconv>
#include <limits>

namespace fivestage {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

std::int32_t atoiSaturated(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && isBlank(text[pos])) ++pos;

  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }

  // Accumulate the magnitude in 64 bits and stop growing it once it is past
  // the 32-bit range: further digits can only keep it saturated.
  constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    if (magnitude <= limit) magnitude = magnitude * 10 + (text[pos] - '0');
  }

  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

std::optional<std::int64_t> decimalNumber(std::string_view text) {
  std::int64_t value = 0;
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::int32_t labelIndex(std::int32_t labelNumber) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(labelNumber) - 1U);
}

}  // namespace fivestage
