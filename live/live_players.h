// The players' standings on the live board: /players and /players.json, and each player's
// all-time average on the match page. They come from the match history (or the club's), read by
// the statistics library on a thread of its own after every visit booked or taken back, leg or
// match end, match begun or game loaded, and handed to the live board's module as JSON text.
#pragma once

#include "board_json.h"
#include "live_module.h"
#include "report/history_report.h"

#include <QObject>
#include <QTimer>
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

    // A club's standings are read again this long after a change of the match, by when the
    // board's sync has sent it (it looks twice a second).
    static constexpr int ClubCatchUpMs = 2000;

  signals:
    // Emitted once new standings have been handed to the module (for tests).
    void Published();

  private:
    struct TRead {
        QByteArray Json; // exactly what the report writes for --players --format json
        std::map<std::string, double> Averages; // by the name's key
    };
    // The match changed: the standings at once, and in a club once more a little later.
    void Changed();
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
    QTimer catchUp_;
};

} // namespace brennix
