#include "state.h"

#include "operations.h"

#include <algorithm>

namespace brennix {

TEngineOps* Ops = nullptr;

TSettings Settings;
std::array<TPlayerStats, MaxPlayers> Players{};
int32_t ActivePlayer = 0;
int32_t Thrower = 0;
int32_t StartScore = 0;
int32_t LegStarter = 0;
int32_t NextLegStarter = 0;
int32_t NextSetStarter = 0;
int32_t VisitScore = 0;
bool TieBreakSet = false;
bool SetDecided = false;
int32_t HighGame = 0;
std::string HighGameName;
int32_t HighToday = 0;
std::string HighTodayName;
std::string SpecialText;
std::optional<std::string> MatchWinner;
std::optional<TLegResult> LastResult;
std::string GameFileName;
std::string LastGameFileName;

int32_t StartScoreFor(int32_t gameType) {
    static constexpr std::array<int32_t, GameTypeCount> scores = {301, 501, 701,  901,  301,  501,
                                                                  701, 901, 1001, 1101, 1301, 1501};
    if (gameType < 1 || gameType > GameTypeCount) return 501;
    return scores[gameType - 1];
}

std::string ShortString(std::string_view text, size_t capacity) {
    return std::string(text.substr(0, capacity));
}

std::string_view CheckoutText(int32_t remaining) {
    return CheckoutText(Settings, remaining);
}

std::string_view CheckoutText(const TSettings& settings, int32_t remaining) {
    if (remaining < 1 || remaining > MaxCheckout) return {};
    return settings.Outshots[remaining - 1];
}

int PlayersInPlay() {
    return std::clamp<int32_t>(Settings.PlayerCount, 0, MaxPlayers);
}

namespace {

// One more than the sum of a figure over the players in play; a loaded file may hold any
// numbers, so the sum is kept within range.
int32_t NextOf(int32_t TPlayerStats::*figure) {
    int64_t won = 0;
    for (int p = 0; p < PlayersInPlay(); ++p)
        won += Players[p].*figure;
    return static_cast<int32_t>(std::clamp<int64_t>(won + 1, INT32_MIN, INT32_MAX));
}

} // namespace

int32_t CurrentSetNumber() {
    return NextOf(&TPlayerStats::Sets);
}

int32_t CurrentLegNumber() {
    return NextOf(&TPlayerStats::Legs);
}

int32_t Wrap(int32_t index) {
    return index + 1 >= PlayersInPlay() ? 0 : index + 1;
}

void ResetPlayers() {
    for (TPlayerStats& p : Players) {
        p.Reserved[0] = 0;
        p.Remaining = StartScore;
        p.Points = 0;
        std::fill(std::begin(p.History), std::end(p.History), -1);
        std::fill(std::begin(p.WonLegDarts), std::end(p.WonLegDarts), 0);
        p.Legs = p.Sets = 0;
        p.Count40 = p.Count60 = p.Count100 = p.Count140 = p.Count180 = 0;
        p.LegAverage = p.MatchAverage = 0;
        p.DartsLeg = p.DartsMatch = 0;
        // PrevRemaining and PrevLegDarts keep their values.
    }
    for (int n = 0; n < MaxPlayers; ++n) {
        if (Settings.PlayerNames[n].empty())
            Settings.PlayerNames[n] = "Player" + std::to_string(n + 1);
    }
}

void ResetGame() {
    Ops->ResetGameWindow();
    ActivePlayer = 0;
    StartScore = StartScoreFor(Settings.GameType);
    HighGame = 0;
    HighGameName.clear();
    NextSetStarter = Settings.PlayerCount == 1 ? 0 : 1;
    NextLegStarter = NextSetStarter;
    LegStarter = ActivePlayer;
    TieBreakSet = false;
    SetDecided = false;
    SpecialText.clear(); // the board's reset empties the special-set text
    Ops->ResetGameBoard();
    ResetPlayers();
    Ops->SetProgressPosition(0);
}

void SetSpecialText(const std::string& text) {
    SpecialText = text;
    Ops->SetSpecialSetText(text);
}

void ShowActivePlayer() {
    // Counted within the eight records, so the index always names one of them.
    const int count = PlayersInPlay();
    if (ActivePlayer > count - 1) ActivePlayer = 0;
    if (ActivePlayer < 0) ActivePlayer = std::max(count - 1, 0);
    Ops->ShowActivePlayerDisplay();
}

void NextPlayer() {
    ++ActivePlayer;
    ShowActivePlayer();
}

void PreviousPlayer() {
    --ActivePlayer;
    ShowActivePlayer();
}

} // namespace brennix
