#include "live_players.h"

#include "engine/match_events.h"
#include "engine/text_forms.h"
#include "history/statistics.h"
#include "statistics/query_thread.h"

#include <QMetaObject>
#include <QPointer>

namespace brennix {

// The events after which the standings may have changed, every visit among them. The history
// hears each event first (it listens from before the live board starts), so it has the change
// by now.
struct TLiveStandings::TListener : TMatchObserver {
    explicit TListener(TLiveStandings& owner) : owner_(owner) { AddMatchObserver(*this); }
    ~TListener() override { RemoveMatchObserver(*this); }
    void MatchBegun(const TMatchInfo&, TEventTime) override { owner_.Changed(); }
    void VisitBooked(const TVisitEvent&) override { owner_.Changed(); }
    void VisitTakenBack(int, int32_t, TEventTime) override { owner_.Changed(); }
    void LegWon(const TLegEvent&) override { owner_.Changed(); }
    void MatchWon(const TMatchResult&) override { owner_.Changed(); }
    void MatchAbandoned(TAbandonReason, TEventTime) override { owner_.Changed(); }
    void GameLoaded(const std::string&, const TMatchInfo&, TEventTime) override {
        owner_.Changed();
    }

  private:
    TLiveStandings& owner_;
};

TLiveStandings::TLiveStandings(std::weak_ptr<TLiveBoardModule> board,
                               report::TStatisticsSource source, std::function<void()> arrived,
                               QObject* parent)
    : QObject(parent), board_(std::move(board)), source_(std::move(source)),
      arrived_(std::move(arrived)), listener_(std::make_unique<TListener>(*this)),
      thread_(std::make_unique<TQueryThread>()) {
    catchUp_.setSingleShot(true);
    catchUp_.setInterval(ClubCatchUpMs);
    connect(&catchUp_, &QTimer::timeout, this, &TLiveStandings::Refresh);
    Refresh();
}

TLiveStandings::~TLiveStandings() {
    listener_.reset();
    thread_.reset(); // stops a query under way
}

void TLiveStandings::Changed() {
    Refresh();
    // The club has this board's change only once its sync has sent it: read once more then.
    if (source_.Kind == report::TStatisticsSource::TKind::Club) catchUp_.start();
}

void TLiveStandings::Refresh() {
    if (running_) {
        again_ = true;
        return;
    }
    running_ = true;
    thread_->Post(
        [self = QPointer<TLiveStandings>(this), source = source_](const report::TQueryStop& stop) {
            // A history that cannot be read (none recorded so far, a club server that is away)
            // leaves the standings as they were.
            const report::TStatisticsOutcome outcome = report::QueryStatistics(
                report::Request(report::THistoryQuery::Players), source, {60, &stop});
            std::optional<TRead> read;
            if (outcome.Statistics) {
                read.emplace();
                read->Json = QByteArray::fromStdString(
                    report::FormatStatistics(*outcome.Statistics, report::TFormat::Json));
                for (const TPlayerStatistics& player : outcome.Statistics->Players)
                    read->Averages[NameKey(player.Name)] = AverageNumber(player.Figures.Average());
            }
            QMetaObject::invokeMethod(
                self.data(),
                [self, read = std::move(read)] {
                    if (self) self->Arrived(read);
                },
                Qt::QueuedConnection);
        });
}

void TLiveStandings::Arrived(const std::optional<TRead>& read) {
    running_ = false;
    if (read) {
        averages_ = read->Averages;
        if (const std::shared_ptr<TLiveBoardModule> board = board_.lock())
            board->PublishPlayers(read->Json);
        if (arrived_) arrived_();
        emit Published();
    }
    Again();
}

void TLiveStandings::Again() {
    if (!again_) return;
    again_ = false;
    Refresh();
}

std::optional<double> TLiveStandings::AllTimeAverage(const std::string& name) const {
    const auto found = averages_.find(NameKey(Latin1ToUtf8(name)));
    if (found == averages_.end()) return std::nullopt;
    return found->second;
}

} // namespace brennix
