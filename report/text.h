// Small text helpers shared by the report formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brennix::report {

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(std::string_view text);

// UTF-8 text for a terminal or a page: control characters (C0, DEL, C1) become U+FFFD.
std::string Printable(std::string_view utf8);

// Characters (code points) of UTF-8 text: its width in a terminal for the report's texts.
size_t Width(std::string_view utf8);

// The numbers with the separator between them.
std::string Join(const std::vector<int32_t>& numbers, std::string_view separator);

} // namespace brennix::report
