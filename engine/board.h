// What the scoreboard shows, worked out from the state in one place: the window draws it, and
// anything else that shows the board (the live board for spectators) reads the same view.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brennix {

// A three-dart average x 10000 for the grid: three decimals, cut not rounded, with a decimal
// comma and no leading zero ("45,678" for 456789, ",100" for 1000); empty below 1000.
std::string FormatAverage(int32_t value);

// The same average as the number the board shows: three decimals, cut, so 456789 gives 45.678.
// Inline, so that code built apart from the engine (the live board's module) has it too.
inline double AverageNumber(int32_t value) {
    return static_cast<double>(int64_t{value} / 10) / 1000.0;
}

// Texts of the game (names, checkout texts, captions) are kept one byte per character
// (ISO 8859-1), as the files store them; this is the same text in UTF-8.
inline std::string Latin1ToUtf8(std::string_view text) {
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

// The game-type caption: game type text + " - Best of " + format text, the list texts taken as
// they are ("  501 Double Out - Best of Best of 3 Sets"); a code outside its list adds nothing.
std::string GameCaption();
// The same caption for any game type and match format codes (a saved game's, for instance).
std::string GameCaption(int32_t gameType, int32_t matchFormat);
// The list texts of a game type (1-12) and a match format (2-8); empty outside the lists.
std::string_view GameTypeText(int32_t gameType);
std::string_view MatchFormatText(int32_t matchFormat);

inline constexpr int BoardGridColumns = 12; // Score, Sets, Legs, 40+ ... 180, averages, darts

// One player in play as the board shows them.
struct TPlayerView {
    int32_t Number = 0;                  // 1-based
    std::string Name;                    // as shown in the panel and the grid row
    int32_t Remaining = 0;               // the big score
    bool ToThrow = false;                // big score in red, the markers on this row
    bool LegStarter = false;             // the star beside the panel
    std::optional<std::string> Checkout; // shown below the score when 170 or less remains
    std::array<std::string, BoardGridColumns> Row{}; // the grid row, column by column
    // The figures behind the row, for views that want numbers rather than texts.
    int32_t Sets = 0, Legs = 0;
    std::array<int32_t, 5> Counts{};          // 40+, 60+, 100+, 140+, 180
    int32_t LegAverage = 0, MatchAverage = 0; // x 10000
    int32_t DartsLeg = 0, DartsMatch = 0;
    std::array<int32_t, 3> LastVisits{}; // newest first, -1 = none
};

// The whole board.
struct TBoardView {
    std::string Caption;                     // the game-type caption
    std::string Special;                     // "Tie Break", "Sudden Death" or empty
    std::optional<std::string> Winner;       // the winner's name while the result dialog is open
    int32_t ActivePlayer = 0;                // index of the player to throw
    int32_t LegStarter = 0;                  // index of the leg starter
    std::optional<std::string> Checkout;     // the big checkout text of the player to throw
    std::array<std::string, 3> LastVisits{}; // the player to throw's newest visits, "-" for none
    int32_t HighGame = 0, HighToday = 0;
    std::string HighGameName, HighTodayName; // empty: the board keeps what it showed before
    std::vector<TPlayerView> Players;        // the players in play, in order
};

// The board's view of the current match state. Pure: reads the state, changes nothing.
TBoardView BoardView();

} // namespace brennix
