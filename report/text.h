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

// A column of a text table: numbers to the right, texts to the left.
struct TColumn {
    std::string Heading;
    bool Right = true;
};

// Appends a table with a heading row; cells are UTF-8, padded by their characters. Lines carry
// no trailing blanks.
void Table(std::string& text, const std::vector<TColumn>& columns,
           const std::vector<std::vector<std::string>>& rows);

// Text for an HTML page: printable, with & < > " ' as entities.
std::string HtmlEscape(std::string_view utf8);

// The style sheet of every HTML report.
std::string_view HtmlStyle();

// A CSV field in quotes, its quotes doubled, when it holds the separator, a quote or a line
// break.
std::string CsvField(std::string_view text, char separator);

// The numbers with the separator between them.
std::string Join(const std::vector<int32_t>& numbers, std::string_view separator);

} // namespace brennix::report
