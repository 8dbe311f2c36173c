// The players' standings on the live board: /players and /players.json, and each player's
// all-time average on the match page. They come from the match history, worked out by
// brennix-report's own code off the window's thread whenever a leg or match ends, a match begins
// or a game is loaded, and handed to the live board's module as JSON text.
#pragma once

#include "board_json.h"
#include "live_module.h"

#include <QObject>
#include <QThreadPool>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brennix {

class TForm1;

class TLiveStandings : public QObject {
    Q_OBJECT
  public:
    // Follows the engine's match events and works the standings out once at once.
    // source: the report's words naming the history or the club (report::HistorySource,
    // ClubSource).
    TLiveStandings(std::weak_ptr<TLiveBoardModule> board, std::vector<std::string> source,
                   QObject* parent);
    ~TLiveStandings() override;

    // The average over every recorded match of the player of that name (as the game keeps it),
    // as the standings last gave it.
    std::optional<double> AllTimeAverage(const std::string& name) const;

    // The board as last drawn, published again when new standings arrive.
    void Remember(const TBoardView& view, const std::optional<TLegResult>& result);

    // Works the standings out afresh: now, or once the run under way is done.
    void Refresh();

  signals:
    // Emitted once new standings have been handed to the module (for tests).
    void Published();

  private:
    void Arrived(const std::optional<QByteArray>& json);
    // Runs the refresh asked for while one was under way.
    void Again();
    std::weak_ptr<TLiveBoardModule> board_;
    std::vector<std::string> source_;
    QThreadPool pool_;
    bool running_ = false, again_ = false;
    std::map<std::string, double> averages_; // by the name's key
    std::optional<TBoardView> view_;
    std::optional<TLegResult> result_;
    struct TListener;
    std::unique_ptr<TListener> listener_;
};

} // namespace brennix
