#include "live_players.h"

#include "engine/match_events.h"
#include "engine/text_forms.h"
#include "history/statistics.h"
#include "report/cli.h"

#include <QMetaObject>
#include <QPointer>
#include <nlohmann/json.hpp>
#include <sstream>

namespace brennix {

// The events after which the standings may have changed. The history hears each event first
// (it listens from before the live board starts), so it has the change by now.
struct TLiveStandings::TListener : TMatchObserver {
    explicit TListener(TLiveStandings& owner) : owner_(owner) { AddMatchObserver(*this); }
    ~TListener() override { RemoveMatchObserver(*this); }
    void MatchBegun(const TMatchInfo&, TEventTime) override { owner_.Refresh(); }
    void LegWon(const TLegEvent&) override { owner_.Refresh(); }
    void MatchWon(const TMatchResult&) override { owner_.Refresh(); }
    void MatchAbandoned(TAbandonReason, TEventTime) override { owner_.Refresh(); }
    void GameLoaded(const std::string&, const TMatchInfo&, TEventTime) override {
        owner_.Refresh();
    }

  private:
    TLiveStandings& owner_;
};

TLiveStandings::TLiveStandings(std::weak_ptr<TLiveBoardModule> board,
                               std::vector<std::string> source, QObject* parent)
    : QObject(parent), board_(std::move(board)), source_(std::move(source)),
      listener_(std::make_unique<TListener>(*this)) {
    pool_.setMaxThreadCount(1);
    Refresh();
}

TLiveStandings::~TLiveStandings() {
    listener_.reset();
    pool_.waitForDone();
}

void TLiveStandings::Refresh() {
    if (running_) {
        again_ = true;
        return;
    }
    running_ = true;
    pool_.start([self = QPointer<TLiveStandings>(this), source = source_] {
        // Exactly what `brennix-report --players --format json` writes. A history that cannot
        // be read (none recorded so far, a club server that is away) leaves the standings as
        // they were.
        std::vector<std::string> args = {"--players", "--format", "json"};
        args.insert(args.end(), source.begin(), source.end());
        std::ostringstream out, err;
        std::optional<QByteArray> json;
        if (report::RunReport(args, out, err) == 0) json = QByteArray::fromStdString(out.str());
        QMetaObject::invokeMethod(
            self.data(),
            [self, json] {
                if (self) self->Arrived(json);
            },
            Qt::QueuedConnection);
    });
}

void TLiveStandings::Arrived(const std::optional<QByteArray>& read) {
    running_ = false;
    if (!read) {
        Again();
        return;
    }
    const QByteArray& json = *read;
    averages_.clear();
    const nlohmann::json standings = nlohmann::json::parse(json.toStdString(), nullptr, false);
    if (standings.is_array())
        for (const nlohmann::json& player : standings)
            if (player.is_object() && player.value("name", nlohmann::json()).is_string() &&
                player.value("average", nlohmann::json()).is_number())
                averages_[NameKey(player["name"].get<std::string>())] =
                    player["average"].get<double>();
    if (const std::shared_ptr<TLiveBoardModule> board = board_.lock()) {
        board->PublishPlayers(json);
        if (view_)
            board->Publish(BoardJson(
                *view_, result_, [this](const std::string& name) { return AllTimeAverage(name); }));
    }
    emit Published();
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

void TLiveStandings::Remember(const TBoardView& view, const std::optional<TLegResult>& result) {
    view_ = view;
    result_ = result;
}

} // namespace brennix
