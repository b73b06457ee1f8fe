#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace fivestage {

// Converts text to a signed 32-bit integer by the rules of C's atoi: leading
// white space is skipped, an optional sign and the decimal digits after it are
// read, and the first other character ends the number ("-3 apples" is -3, ""
// and "x" are 0). A number outside the 32-bit range saturates to
// -2147483648 or 2147483647 instead of being undefined.
std::int32_t atoiSaturated(std::string_view text);

// A whole number written as decimal digits only, as command lines and
// option values take it ("12"); nothing for any other text, a sign or a
// blank included, or a number beyond 64 bits.
std::optional<std::int64_t> decimalNumber(std::string_view text);

// The next instruction index after a label number: label k names index k - 1,
// computed with 32-bit wrap-around so that every label number has an index.
std::int32_t labelIndex(std::int32_t labelNumber);

}  // namespace fivestage
