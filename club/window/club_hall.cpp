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
    *self = {status.Board, 0, own, status.Reached ? self->SyncNote : "", true, ""};
    // The states are spliced in as they are (the sync checked the club's, this board's is its
    // own): nothing of them is parsed again on the window's thread.
    std::string list;
    for (const club::TClubBoard& board : shown) {
        if (!(board.SecondsAgo <= HallSeconds)) continue; // NaN too
        const auto ago = std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(std::max(0.0, board.SecondsAgo)));
        std::string entry =
            ordered_json(
                {{"board", board.Board},
                 {"away", board.SecondsAgo > AwaySeconds},
                 {"seen", ClockText(now - ago)},
                 {"sync", board.SyncNote},
                 {"broken", board.Broken.empty() ? ordered_json() : ordered_json(board.Broken)}})
                .dump(-1, ' ', false, ordered_json::error_handler_t::replace);
        entry.pop_back();
        list += (list.empty() ? "" : ",") + entry + R"(,"state":)" +
                (board.State.empty() ? "null" : board.State) + "}";
    }
    std::string hall =
        ordered_json({{"club", club::PublicNoteOf(status)},
                      {"away_since",
                       status.AwaySince ? ordered_json(ClockText(*status.AwaySince)) : nullptr}})
            .dump(-1, ' ', false, ordered_json::error_handler_t::replace);
    hall.pop_back();
    return QByteArray::fromStdString(hall + R"(,"boards":[)" + list + "]}");
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
