// The players' standings on the live board: /players and /players.json, and each player's
// all-time average on the match page. They come from the match history (or the club's), read by
// the statistics library on a thread of its own whenever a leg or match ends, a match begins or
// a game is loaded, and handed to the live board's module as JSON text.
#pragma once

#include "board_json.h"
#include "live_module.h"
#include "report/history_report.h"

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace brennix {

class TQueryThread;

class TLiveStandings : public QObject {
    Q_OBJECT
  public:
    // Follows the engine's match events and works the standings out at once. arrived runs after
    // new standings were handed to the module (the board's JSON is built again with them).
    TLiveStandings(std::weak_ptr<TLiveBoardModule> board, report::TStatisticsSource source,
                   std::function<void()> arrived, QObject* parent);
    ~TLiveStandings() override;

    // The average over every recorded match of the player of that name (as the game keeps it),
    // as the standings last gave it.
    std::optional<double> AllTimeAverage(const std::string& name) const;

    // Works the standings out afresh: now, or once the run under way is done.
    void Refresh();

  signals:
    // Emitted once new standings have been handed to the module (for tests).
    void Published();

  private:
    struct TRead {
        QByteArray Json; // exactly what the report writes for --players --format json
        std::map<std::string, double> Averages; // by the name's key
    };
    void Arrived(const std::optional<TRead>& read);
    // Runs the refresh asked for while one was under way.
    void Again();

    std::weak_ptr<TLiveBoardModule> board_;
    report::TStatisticsSource source_;
    std::function<void()> arrived_;
    bool running_ = false, again_ = false;
    std::map<std::string, double> averages_; // by the name's key
    struct TListener;
    std::unique_ptr<TListener> listener_;
    std::unique_ptr<TQueryThread> thread_;
};

} // namespace brennix
