// How the game's numbers and texts are written out, in one place: a three-dart average in its
// three forms (the board's text, the number, a decimal text), the game's one-byte-per-character
// texts in UTF-8, and a text of several lines on one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brennix {

// Averages are kept as three-dart average x 10000; every form shows three decimals, the fourth
// cut, not rounded.

// The board's text: a decimal comma and no leading zero ("45,678" for 456789, ",100" for 1000);
// empty below 1000.
std::string FormatAverage(int32_t value);

// The number: 456789 gives 45.678.
double AverageNumber(int32_t value);

// A decimal text with a point, for files other programs read: 456789 gives "45.678", 1000
// "0.100", -456789 "-45.678".
std::string AverageDecimal(int32_t value);

// Texts of the game (names, checkout texts, captions) are kept one byte per character
// (ISO 8859-1), as the files store them; this is the same text in UTF-8.
std::string Latin1ToUtf8(std::string_view text);

// The text on one line: every run of blanks (spaces, tabs, line ends) as one space, none at
// either end. For a message of several lines in a note, or SQL however it was indented.
std::string OneLine(std::string_view text);

} // namespace brennix
