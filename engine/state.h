// The one match state of the program: the persistent settings, eight player records and the
// game variables. It lives from start to exit; every routine reads and writes it directly.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brennix {

inline constexpr int MaxPlayers = 8;
inline constexpr int OutshotCount = 171;      // entries 1..171; 171 is carried along, never shown
inline constexpr int MaxCheckout = 170;       // highest remaining score with a checkout text
inline constexpr size_t OutshotCapacity = 50; // characters of one checkout text
inline constexpr size_t NameCapacity = 26;    // characters of one player name
inline constexpr int HistorySize = 50;
inline constexpr int WonLegDartsSize = 100;
inline constexpr int PlayerSlotCount = 173; // 32-bit slots of one player record

// The persistent settings. Texts are kept cut to their capacity (see ShortString).
struct TSettings {
    int32_t PlayerCount = 0; // 1..8
    int32_t MatchFormat = 0; // 2 "Best of 1 Leg", 3 "Best of 1 Set", 4..8 best of 3..11 sets
    int32_t GameType = 0;    // 1..12, see GameTypeTexts
    std::array<std::string, OutshotCount> Outshots{}; // Outshots[r - 1]: checkout text for r
    std::array<std::string, MaxPlayers> PlayerNames{};
    bool Sound = false;
    bool AutoSave = false;
    bool DeleteAutoSaves = false;
    int32_t KeepSaveFiles = 0;
};

// One player's record: 173 signed 32-bit slots in exactly this order (game files store them so).
struct TPlayerStats {
    uint8_t Reserved[32];                 // slots 0-7
    int32_t History[HistorySize];         // slots 8-57, newest first, -1 = empty
    int32_t WonLegDarts[WonLegDartsSize]; // slots 58-157, darts of each won leg, 0 = empty
    int32_t PrevRemaining;                // 158
    int32_t Remaining;                    // 159
    int32_t Points;                       // 160
    int32_t Legs;                         // 161
    int32_t Sets;                         // 162
    int32_t Count40;                      // 163: visits of 40-59
    int32_t Count60;                      // 164: 60-99
    int32_t Count100;                     // 165: 100-139
    int32_t Count140;                     // 166: 140-179
    int32_t Count180;                     // 167: exactly 180
    int32_t LegAverage;                   // 168: three-dart average of the leg x 10000
    int32_t MatchAverage;                 // 169: three-dart average of the match x 10000
    int32_t PrevLegDarts;                 // 170
    int32_t DartsLeg;                     // 171
    int32_t DartsMatch;                   // 172
};
static_assert(sizeof(TPlayerStats) == PlayerSlotCount * 4, "TPlayerStats must be 173 slots");

// The last leg's result as the rules announced it: who won the leg, whether it won the set or the
// match with it, and every player's sets and legs once it was won (the board itself has moved on
// by then: a won set starts the next at no legs, a won match the next match).
struct TLegResult {
    struct TScore {
        std::string Name; // as the game keeps it, one byte per character
        int32_t Sets = 0, Legs = 0;
    };
    std::string Won;    // "leg", "set" or "match"
    std::string Winner; // the name
    std::vector<TScore> Players;
};

// The whole state, zero at process start.
extern TSettings Settings;
extern std::array<TPlayerStats, MaxPlayers> Players;
extern int32_t ActivePlayer;   // index of the player whose visit is entered next
extern int32_t Thrower;        // number (1-based) of the player whose entry is handled
extern int32_t StartScore;     // start score of the current game
extern int32_t LegStarter;     // index of the player who began the current leg
extern int32_t NextLegStarter; // index of the player who begins the next leg
extern int32_t NextSetStarter; // index of the player who begins the next set
extern int32_t VisitScore;     // the score being booked or undone
extern bool TieBreakSet;       // the current set is a tie-break set
extern bool SetDecided;        // the tie-break set has been decided
extern int32_t HighGame;
extern std::string HighGameName;
extern int32_t HighToday;
extern std::string HighTodayName;
// What the board shows beyond the records: the special-set text ("Tie Break", "Sudden Death" or
// empty; the window's Label36 shows the same) and the winner's name while the result dialog is
// open (no value otherwise).
extern std::string SpecialText;
extern std::optional<std::string> MatchWinner;
// The last leg's result, kept from the leg's end until the next visit is booked or taken back or
// a game is loaded: a new game keeps it, and a won match's stays on into the next match.
extern std::optional<TLegResult> LastResult;
extern std::string GameFileName;     // current game file, empty when there is none
extern std::string LastGameFileName; // last path saved or loaded

// The game types with their list texts (leading blanks included) and the match formats.
inline constexpr int GameTypeCount = 12;
inline constexpr std::array<std::string_view, GameTypeCount> GameTypeTexts = {
    "  301 Double Out", "  501 Double Out", "  701 Double Out", "  901 Double Out",
    "  301 Single Out", "  501 Single Out", "  701 Single Out", "  901 Single Out",
    "1001 Double Out",  "1101 Double Out",  "1301 Double Out",  "1501 Double Out"};
inline constexpr int MatchFormatCount = 7;
inline constexpr std::array<std::string_view, MatchFormatCount> MatchFormatTexts = {
    "Best of 1 Leg",  "Best of 1 Set",  "Best of 3 Sets", "Best of 5 Sets",
    "Best of 7 Sets", "Best of 9 Sets", "Best of 11 Sets"};

// Start score of a game type; any code outside 1..12 plays 501.
int32_t StartScoreFor(int32_t gameType);

// Text cut to a short string's capacity.
std::string ShortString(std::string_view text, size_t capacity);

// The checkout text for a remaining score: entry r for 1..170, empty otherwise.
std::string_view CheckoutText(int32_t remaining);
// The same from any settings (a saved game's, for instance).
std::string_view CheckoutText(const TSettings& settings, int32_t remaining);

// Number of player records in play: PlayerCount, kept within the eight records.
int PlayersInPlay();

// The set and the leg being played, numbered from 1: one more than the sets won so far, and one
// more than the legs won in this set.
int32_t CurrentSetNumber();
int32_t CurrentLegNumber();

// index + 1, or 0 when that reaches PlayerCount.
int32_t Wrap(int32_t index);

// Clears every player's match figures and gives empty names their defaults "Player1"...
void ResetPlayers();
// Puts the game into its starting shape (the window follows through the display operations).
void ResetGame();
// Puts a special-set text on the board and keeps it in SpecialText.
void SetSpecialText(const std::string& text);
// Brings ActivePlayer into 0..PlayerCount-1 and lets the board follow.
void ShowActivePlayer();
void NextPlayer();
void PreviousPlayer();

} // namespace brennix
