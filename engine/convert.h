// Whole numbers typed by the operator.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace brennix {

// The standard integer conversion: optional leading blanks, then either an optional sign and
// decimal digits, or one of the prefixes "$", "x", "X", "0x", "0X" and hexadecimal digits of
// either case (no sign). Nothing may follow the digits; an empty text and a value outside the
// signed 32-bit range are not integers. Returns nothing when the text is not an integer.
std::optional<int32_t> TryStrToInt(std::string_view text);

// As TryStrToInt, but raises EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);

} // namespace brennix
