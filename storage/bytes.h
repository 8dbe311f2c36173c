// Little-endian integers and short strings inside a record image.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brennix {

inline void PutInt32(uint8_t* at, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(bits >> (8 * i));
}

inline int32_t GetInt32(const uint8_t* at) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= uint32_t{at[i]} << (8 * i);
    return static_cast<int32_t>(bits);
}

// A length byte and `capacity` character bytes; text beyond the capacity is cut, the unused
// bytes are written as zero.
inline void PutShortString(uint8_t* at, std::string_view text, size_t capacity) {
    const size_t length = text.size() < capacity ? text.size() : capacity;
    at[0] = static_cast<uint8_t>(length);
    for (size_t i = 0; i < capacity; ++i)
        at[1 + i] = i < length ? static_cast<uint8_t>(text[i]) : 0;
}

// A length byte above the capacity is taken as the capacity.
inline std::string GetShortString(const uint8_t* at, size_t capacity) {
    const size_t length = at[0] < capacity ? at[0] : capacity;
    return std::string(reinterpret_cast<const char*>(at + 1), length);
}

} // namespace brennix
