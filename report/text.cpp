#include "text.h"

namespace brennix::report {

namespace {

// Length of the UTF-8 sequence at text[i], 0 when it is malformed.
size_t SequenceLength(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    size_t length = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i + k) & 0x3F);
    }
    static constexpr uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

} // namespace

bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = SequenceLength(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string Printable(std::string_view utf8) {
    static constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string shown;
    shown.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const size_t length = SequenceLength(utf8, i);
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const bool control =
            (length == 1 && (lead < 0x20 || lead == 0x7F)) ||
            (length == 2 && lead == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) < 0xA0);
        if (length == 0 || control)
            shown += replacement;
        else
            shown.append(utf8.substr(i, length));
        i += length == 0 ? 1 : length;
    }
    return shown;
}

size_t Width(std::string_view utf8) {
    size_t width = 0;
    for (const char c : utf8)
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return width;
}

std::string Join(const std::vector<int32_t>& numbers, std::string_view separator) {
    std::string joined;
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) joined += separator;
        joined += std::to_string(numbers[i]);
    }
    return joined;
}

} // namespace brennix::report
