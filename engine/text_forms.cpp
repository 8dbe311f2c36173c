#include "text_forms.h"

#include <cstdlib>

namespace brennix {

std::string FormatAverage(int32_t value) {
    if (value < 1000) return {};
    std::string digits = std::to_string(value);
    digits.pop_back();                        // the fourth decimal is cut
    digits.insert(digits.size() - 3, 1, ','); // three decimals after the comma
    return digits;
}

double AverageNumber(int32_t value) {
    return static_cast<double>(int64_t{value} / 10) / 1000.0;
}

std::string AverageDecimal(int32_t value) {
    const int64_t cut = int64_t{value} / 10; // the fourth decimal is cut
    const int64_t magnitude = std::llabs(cut);
    std::string fraction = std::to_string(magnitude % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    return (cut < 0 ? "-" : "") + std::to_string(magnitude / 1000) + "." + fraction;
}

std::string Latin1ToUtf8(std::string_view text) {
    std::string utf8;
    utf8.reserve(text.size() + text.size() / 4);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

std::string OneLine(std::string_view text) {
    std::string line;
    for (const char c : text) {
        const bool blank = c == ' ' || c == '\n' || c == '\t' || c == '\r';
        if (!blank)
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    if (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

} // namespace brennix
