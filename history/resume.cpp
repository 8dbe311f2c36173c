#include "resume.h"

#include "engine/autosave_hold.h"
#include "engine/flow.h"
#include "engine/silent_ops.h"
#include "engine/state.h"
#include "engine/text_forms.h"
#include "engine/visit.h"

namespace brennix {

namespace {

// A name as the game keeps it, one byte per character, from the history's UTF-8; none for a text
// the game cannot have written.
std::optional<std::string> GameText(const std::string& utf8) {
    std::string text;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size())
            text += static_cast<char>((lead & 0x03) << 6 | (utf8[++i] & 0x3F));
        else
            text += static_cast<char>(lead);
    }
    if (Latin1ToUtf8(text) != utf8) return std::nullopt;
    return text;
}

bool SameVisit(const TVisitEvent& a, const TVisitEvent& b) {
    return a.Player == b.Player && a.Score == b.Score && a.Darts == b.Darts &&
           a.RemainingBefore == b.RemainingBefore && a.WonLeg == b.WonLeg && a.Set == b.Set &&
           a.Leg == b.Leg && a.LegStarter == b.LegStarter;
}

// Everything the engine keeps of the match on the board, put back when the match taken up does
// not play again as recorded.
struct TEngineState {
    TSettings settings = Settings;
    std::array<TPlayerStats, MaxPlayers> players = Players;
    int32_t active = ActivePlayer, thrower = Thrower, startScore = StartScore;
    int32_t legStarter = LegStarter, nextLeg = NextLegStarter, nextSet = NextSetStarter;
    int32_t visitScore = VisitScore, highGame = HighGame, highToday = HighToday;
    bool tieBreak = TieBreakSet, decided = SetDecided;
    std::string highGameName = HighGameName, highTodayName = HighTodayName, special = SpecialText;
    std::optional<std::string> winner = MatchWinner;
    std::optional<TLegResult> result = LastResult;
    std::string file = GameFileName, lastFile = LastGameFileName;

    void Restore() const {
        Settings = settings;
        Players = players;
        ActivePlayer = active;
        Thrower = thrower;
        StartScore = startScore;
        LegStarter = legStarter;
        NextLegStarter = nextLeg;
        NextSetStarter = nextSet;
        VisitScore = visitScore;
        HighGame = highGame;
        HighToday = highToday;
        TieBreakSet = tieBreak;
        SetDecided = decided;
        HighGameName = highGameName;
        HighTodayName = highTodayName;
        SpecialText = special;
        MatchWinner = winner;
        LastResult = result;
        GameFileName = file;
        LastGameFileName = lastFile;
    }
};

} // namespace

// Stands in for the window while a match is played again: the visits are typed from the history
// and Start Leg is answered as it says; nothing is shown, saved or played.
class TMatchResume::TReplayOps : public TSilentOps {
  public:
    TReplayOps() : window_(Ops) {
        Darts.clear();
        Ops = this;
    }
    ~TReplayOps() override { Ops = window_; }
    TReplayOps(const TReplayOps&) = delete;
    TReplayOps& operator=(const TReplayOps&) = delete;

    std::optional<int> Starter; // who begins when Start Leg is asked
    bool Refused = false;       // the engine objected, or ended the match

    void ClearScore() override {}
    void AskWhoBegins() override {
        // A leg the history holds no visit of: the operator is asked, as during play.
        if (!Starter) {
            TAutosaveHold hold;
            window_->AskWhoBegins();
            return;
        }
        ActivePlayer = *Starter;
    }
    void ShowResult() override { Refused = true; } // an interrupted match was never won
    void ShowMessage(TMessageKind, const std::string&) override { Refused = true; }

  private:
    TEngineOps* window_;
};

// How a match is played again: from its beginning with the settings it was played with, or from
// a save of it; then its visits.
struct TMatchResume::TPlan {
    int64_t Match = 0;
    std::optional<TGameFileRecord> Base;           // the save it goes on from
    TSettings Settings;                            // else: the settings it was played with
    std::optional<int> Starter;                    // and who began it
    std::vector<TInterruptedMatch::TVisit> Visits; // those after the base
    std::string File;                              // the game file of its newest save
};

TMatchResume::TMatchResume(THistoryStore& store, std::function<void(bool)> offer)
    : store_(store), offer_(std::move(offer)) {
    AddMatchObserver(*this);
}

TMatchResume::~TMatchResume() {
    RemoveMatchObserver(*this);
}

std::optional<TMatchResume::TPlan> TMatchResume::Plan() {
    const std::optional<TInterruptedMatch> match = store_.Interrupted();
    if (!match || refused_.contains(match->Match)) return std::nullopt;
    TPlan plan;
    plan.Match = match->Match;
    if (!match->Saves.empty()) plan.File = match->Saves.front().Path;
    // The newest save whose file still holds what was saved gives what the history does not
    // keep: the settings beyond the match's own (sound, autosave, checkout texts, the other
    // names). A match begun from a game file the history did not know goes on from a save that
    // holds what is recorded up to it.
    std::optional<TGameFileRecord> saved;
    int64_t savedVisit = 0;
    for (const TInterruptedMatch::TSave& save : match->Saves) {
        if (match->Resumed && !save.HoldsRecord) continue;
        saved = SavedGame(save.Path, save.ContentHash);
        savedVisit = save.LastVisit;
        if (saved) break;
    }
    if (match->Resumed) {
        if (!saved) return std::nullopt;
        plan.Base = saved;
    } else {
        savedVisit = 0;
        const int count = static_cast<int>(match->Info.Names.size());
        if (count < 1 || count > MaxPlayers) return std::nullopt;
        plan.Settings = saved ? saved->Settings : Settings;
        plan.Settings.PlayerCount = count;
        plan.Settings.GameType = match->Info.GameType;
        plan.Settings.MatchFormat = match->Info.MatchFormat;
        for (int p = 0; p < count; ++p) {
            const std::optional<std::string> name = GameText(match->Info.Names[p]);
            if (!name) return std::nullopt;
            plan.Settings.PlayerNames[p] = ShortString(*name, NameCapacity);
        }
        if (match->Info.Starter >= 0 && match->Info.Starter < count)
            plan.Starter = match->Info.Starter;
    }
    for (const TInterruptedMatch::TVisit& visit : match->Visits)
        if (visit.Id > savedVisit) plan.Visits.push_back(visit);
    return plan;
}

bool TMatchResume::CanResume() {
    return Plan().has_value();
}

bool TMatchResume::Replay(const TPlan& plan, bool withTakenBack) {
    TReplayOps ops;
    if (plan.Base) {
        ResetGame();
        ApplyGame(*plan.Base);
    } else {
        // As New Game begins it.
        Settings = plan.Settings;
        ResetGame();
        ops.Starter = plan.Starter;
        Ops->AskWhoBegins();
        SetStarters();
    }
    ShowActivePlayer();

    std::vector<const TInterruptedMatch::TVisit*> steps;
    for (const TInterruptedMatch::TVisit& visit : plan.Visits)
        if (withTakenBack || !visit.SetAside) steps.push_back(&visit);
    // Visits booked here that the history holds as taken back. Each is taken back as late as
    // the order of the visits allows: before the next visit that stayed, and before the visit of
    // a player who could not throw while it stood.
    std::vector<const TVisitEvent*> standing;
    auto takeBack = [&] {
        const TVisitEvent& visit = *standing.back();
        standing.pop_back();
        ops.Darts = std::to_string(visit.Darts);
        takenBack_.clear();
        UndoVisit();
        return !ops.Refused && takenBack_ == std::vector{std::pair{visit.Player, visit.Score}};
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const TInterruptedMatch::TVisit& visit = *steps[i];
        while (!standing.empty() && (!visit.SetAside || ActivePlayer != visit.Event.Player))
            if (!takeBack()) return false;
        ops.Score = std::to_string(visit.Event.Score);
        ops.Darts = std::to_string(visit.Event.Darts);
        // Start Leg at five legs all is answered by who began the next leg.
        ops.Starter.reset();
        if (i + 1 < steps.size()) ops.Starter = steps[i + 1]->Event.LegStarter;
        booked_.clear();
        BookVisit(TKey::Enter);
        if (ops.Refused || booked_.size() != 1 || !SameVisit(booked_[0], visit.Event)) return false;
        if (visit.SetAside) standing.push_back(&visit.Event);
    }
    while (!standing.empty())
        if (!takeBack()) return false;
    return true;
}

void TMatchResume::Resume() {
    const std::optional<TPlan> plan = Plan();
    if (plan) {
        const TEngineState before;
        bool rebuilt = false;
        replaying_ = true;
        store_.Replaying(true);
        try {
            // Visits taken back are played and taken back again, unless the match does not
            // play so (visits a load cut across the end of a leg): then only those that stayed.
            rebuilt = Replay(*plan, true);
            if (!rebuilt) {
                before.Restore();
                rebuilt = Replay(*plan, false);
            }
        } catch (...) {
            rebuilt = false;
        }
        store_.Replaying(false);
        if (rebuilt) {
            // The match that was on the board ends as with New Game; the history goes on in
            // the match taken up.
            AnnounceMatchEvent([](TMatchObserver& observer) {
                observer.MatchAbandoned(TAbandonReason::NewGame, MatchClock());
            });
            store_.Adopt(plan->Match);
            replaying_ = false;
            GameFileName = LastGameFileName = plan->File;
            Ops->ResetGameBoard();
            SetSpecialText(SpecialText);
            ShowActivePlayer();
            Ops->ShowFilePath(GameFileName);
            Ops->SetProgressPosition(0);
            Ops->RefreshBoard();
            Ops->FocusScore();
            Offer();
            return;
        }
        replaying_ = false;
        before.Restore();
        refused_.insert(plan->Match);
    }
    Ops->ShowMessage(TMessageKind::Information,
                     "The interrupted match cannot be played again from the match history.");
    Offer();
}

void TMatchResume::Offer() {
    if (!replaying_ && offer_) offer_(CanResume());
}

void TMatchResume::VisitBooked(const TVisitEvent& visit) {
    if (replaying_) booked_.push_back(visit);
}

void TMatchResume::VisitTakenBack(int player, int32_t score, TEventTime) {
    if (replaying_) takenBack_.emplace_back(player, score);
}

} // namespace brennix
