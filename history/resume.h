// Taking up a match the program lost (a kill, a power cut) from the history: "&Resume Interrupted
// Match". The match is played again through the engine, visit by visit as the history recorded
// them, so that the board and the next save are what they would have been without the
// interruption; then the history goes on recording into the same match. No Qt.
#pragma once

#include "history_store.h"

#include <functional>
#include <set>

namespace brennix {

class TMatchResume : public TMatchObserver {
  public:
    // Tells `offer` whether a match can be resumed each time that may have changed (a match
    // begun, won, abandoned or loaded, a resume), while it listens to the engine.
    TMatchResume(THistoryStore& store, std::function<void(bool offered)> offer);
    ~TMatchResume() override;
    TMatchResume(const TMatchResume&) = delete;
    TMatchResume& operator=(const TMatchResume&) = delete;

    // Whether the history holds a match that can be played again: the newest match but the one
    // on the board, neither won nor abandoned, played on after its newest save. One begun from
    // a game file the history did not know needs a save of it that still holds its content.
    bool CanResume();
    // Plays that match again in place of the one on the board, which ends as with New Game. A
    // match that does not play again exactly as recorded changes nothing: the operator is told,
    // and it is not offered again.
    void Resume();

    void MatchBegun(const TMatchInfo&, TEventTime) override { Offer(); }
    void MatchWon(const TMatchResult&) override { Offer(); }
    void MatchAbandoned(TAbandonReason, TEventTime) override { Offer(); }
    void GameLoaded(const std::string&, const TMatchInfo&, TEventTime) override { Offer(); }
    void VisitBooked(const TVisitEvent& visit) override;
    void VisitTakenBack(int player, int32_t score, TEventTime) override;

  private:
    struct TPlan;
    class TReplayOps;
    std::optional<TPlan> Plan();
    bool Replay(const TPlan& plan, bool withTakenBack);
    void Offer();

    THistoryStore& store_;
    std::function<void(bool)> offer_;
    std::set<int64_t> refused_; // matches that did not play again as recorded
    bool replaying_ = false;
    std::vector<TVisitEvent> booked_;                // told while replaying
    std::vector<std::pair<int, int32_t>> takenBack_; // the same
};

} // namespace brennix
