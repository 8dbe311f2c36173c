#include "club_hall.h"

#include "live/live_module.h"

#include <QTimer>
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

QByteArray HallJson(const std::vector<club::TClubBoard>& boards, const std::string& note,
                    std::chrono::system_clock::time_point now) {
    using nlohmann::ordered_json;
    ordered_json list = ordered_json::array();
    for (const club::TClubBoard& board : boards) {
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
    const ordered_json hall = {{"club", note}, {"boards", std::move(list)}};
    return QByteArray::fromStdString(
        hall.dump(-1, ' ', false, ordered_json::error_handler_t::replace));
}

void ShowHall(const std::shared_ptr<club::TClubSync>& sync,
              const std::shared_ptr<TLiveBoardModule>& live, QObject* parent) {
    sync->WatchBoards(true);
    auto* timer = new QTimer(parent);
    QObject::connect(timer, &QTimer::timeout, parent,
                     [watched = std::weak_ptr(sync), board = std::weak_ptr(live)] {
                         const auto club = watched.lock();
                         const auto module = board.lock();
                         if (club && module)
                             module->PublishHall(HallJson(club->Boards(), club->Note(),
                                                          std::chrono::system_clock::now()));
                     });
    timer->start(500);
}

} // namespace brennix
