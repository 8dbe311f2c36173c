#include "club_hall.h"

#include "live/live_module.h"

#include <QTimer>
#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>

namespace brennix {

namespace {

std::string ClockText(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
    ::localtime_r(&seconds, &parts);
    char text[8];
    std::strftime(text, sizeof text, "%H:%M", &parts);
    return text;
}

} // namespace

QByteArray HallJson(const std::vector<club::TClubBoard>& boards, const club::TSyncStatus& status,
                    const std::string& own, std::chrono::system_clock::time_point now) {
    using nlohmann::ordered_json;
    // This board in place of the club's row of it, or where its name goes.
    std::vector<club::TClubBoard> shown = boards;
    const auto first = [&](const auto& is) { return std::find_if(shown.begin(), shown.end(), is); };
    auto self = first([](const club::TClubBoard& board) { return board.Own; });
    if (self == shown.end())
        self = shown.insert(
            first([&](const club::TClubBoard& board) { return board.Board > status.Board; }),
            club::TClubBoard());
    *self = {status.Board, 0, own, status.Reached ? self->SyncNote : "", true};
    ordered_json list = ordered_json::array();
    for (const club::TClubBoard& board : shown) {
        if (!(board.SecondsAgo <= HallSeconds)) continue; // NaN too
        // The state is the board's own JSON as the club keeps it; anything else is none.
        ordered_json state = ordered_json::parse(board.State, nullptr, false);
        if (!state.is_object()) state = nullptr;
        const auto ago = std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(std::max(0.0, board.SecondsAgo)));
        list.push_back({{"board", board.Board},
                        {"away", board.SecondsAgo > AwaySeconds},
                        {"seen", ClockText(now - ago)},
                        {"sync", board.SyncNote},
                        {"state", std::move(state)}});
    }
    const ordered_json hall = {
        {"club", club::NoteOf(status)},
        {"away_since", status.AwaySince ? ordered_json(ClockText(*status.AwaySince)) : nullptr},
        {"boards", std::move(list)}};
    return QByteArray::fromStdString(
        hall.dump(-1, ' ', false, ordered_json::error_handler_t::replace));
}

void ShowHall(const std::shared_ptr<club::TClubSync>& sync,
              const std::shared_ptr<TLiveBoardModule>& live, TBoardFeed& feed, QObject* parent) {
    sync->WatchBoards(true);
    // This board as it has just drawn itself: its tile never waits for the club.
    const auto own = std::make_shared<std::string>();
    feed.AddSink([own](const QByteArray& json) { *own = json.toStdString(); });
    auto* timer = new QTimer(parent);
    QObject::connect(timer, &QTimer::timeout, parent,
                     [watched = std::weak_ptr(sync), board = std::weak_ptr(live), own] {
                         const auto club = watched.lock();
                         const auto module = board.lock();
                         if (club && module)
                             module->PublishHall(HallJson(club->Boards(), club->Status(), *own,
                                                          std::chrono::system_clock::now()));
                     });
    timer->start(500);
}

} // namespace brennix
