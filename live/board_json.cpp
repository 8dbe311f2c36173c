#include "board_json.h"

#include <nlohmann/json.hpp>

namespace brennix {

QByteArray BoardJson(const TBoardView& view) {
    using nlohmann::json;
    json players = json::array();
    for (const TPlayerView& player : view.Players) {
        json visits = json::array();
        for (const int32_t visit : player.LastVisits)
            if (visit >= 0) visits.push_back(visit);
        players.push_back({
            {"number", player.Number},
            {"name", Latin1ToUtf8(player.Name)},
            {"remaining", player.Figures.Remaining},
            {"checkout", player.Figures.Checkout ? json(Latin1ToUtf8(*player.Figures.Checkout))
                                                 : json(nullptr)},
            {"sets", player.Figures.Sets},
            {"legs", player.Figures.Legs},
            {"leg_average", AverageNumber(player.Figures.LegAverage)},
            {"match_average", AverageNumber(player.Figures.MatchAverage)},
            {"darts_leg", player.Figures.DartsLeg},
            {"darts_match", player.Figures.DartsMatch},
            {"last_visits", std::move(visits)},
        });
    }
    const json state = {
        {"caption", Latin1ToUtf8(view.Caption)},
        {"special", Latin1ToUtf8(view.Special)},
        {"player_to_throw", view.ActivePlayer + 1},
        {"leg_starter", view.LegStarter + 1},
        {"winner", view.Winner ? json(Latin1ToUtf8(*view.Winner)) : json(nullptr)},
        {"players", std::move(players)},
    };
    return QByteArray::fromStdString(state.dump(-1, ' ', false, json::error_handler_t::replace));
}

} // namespace brennix
