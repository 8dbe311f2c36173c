// What the scoreboard shows, worked out from the state in one place: the window draws it, and
// anything else that shows the board (the live board for spectators) reads the same view.
#pragma once

#include "figures.h"
#include "state.h"
#include "text_forms.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brennix {

// The game-type caption: game type text + " - Best of " + format text, the list texts taken as
// they are ("  501 Double Out - Best of Best of 3 Sets"); a code outside its list adds nothing.
std::string GameCaption();
// The same caption for any game type and match format codes (a saved game's, for instance).
std::string GameCaption(int32_t gameType, int32_t matchFormat);
// The caption for spectators and reports, without the window's doubled words: the game type text
// without its leading blanks, a middle dot and the match format text ("501 Double Out · Best of
// 3 Sets", the dot one byte, 0xB7, like the other texts). A code outside its list leaves its
// part and the dot out.
std::string MatchCaption(int32_t gameType, int32_t matchFormat);
// The list texts of a game type (1-12) and a match format (2-8); empty outside the lists.
std::string_view GameTypeText(int32_t gameType);
std::string_view MatchFormatText(int32_t matchFormat);

inline constexpr int BoardGridColumns = 12; // Score, Sets, Legs, 40+ ... 180, averages, darts

// One player in play as the board shows them.
struct TPlayerView {
    int32_t Number = 0;     // 1-based
    std::string Name;       // as shown in the panel and the grid row
    TPlayerFigures Figures; // the big score, the checkout below it and the numbers of the row
    std::array<std::string, BoardGridColumns> Row{}; // the grid row as text, column by column
    std::array<int32_t, 3> LastVisits{};             // the newest three places, -1 = none
    std::vector<int32_t> LegVisits; // the newest visits of the current leg, at most three
};

// The whole board.
struct TBoardView {
    std::string Caption;                     // the game-type caption
    std::string SpectatorCaption;            // the same without doubled words, MatchCaption()
    std::string Special;                     // "Tie Break", "Sudden Death" or empty
    std::optional<std::string> Winner;       // the winner's name while the result dialog is open
    int32_t ActivePlayer = 0;                // index of the player to throw
    int32_t LegStarter = 0;                  // index of the leg starter
    std::optional<std::string> Checkout;     // the big checkout text of the player to throw
    std::array<std::string, 3> LastVisits{}; // the player to throw's newest visits, "-" for none
    int32_t HighGame = 0, HighToday = 0;
    std::string HighGameName, HighTodayName; // empty: the board keeps what it showed before
    std::vector<TPlayerView> Players;        // the players in play, in order
    // Where the match stands, while it is being played (0 and empty once the winner is named):
    // the set being played and its leg (the sets won so far + 1, the legs won in the set + 1),
    // the same as text ("Set 2 · Leg 3", the dot 0xB7; only "Leg 1" in a match of one leg), and
    // what wins the set as the rules play it: "first to 3 legs"; in the deciding set of two players
    // "first to 3 legs, tie-break at 2-2", "tie-break: two clear legs, sudden death at 5-5" from
    // two legs all and "sudden death: the next leg wins" at five legs all; "one leg decides" in
    // a match of one leg.
    int32_t SetNumber = 0, LegNumber = 0;
    std::string Progress, Target;
    std::optional<TLegResult> Result; // the last leg's result, LastResult
};

// The board's view of the current match state. Pure: reads the state, changes nothing.
TBoardView BoardView();

} // namespace brennix
