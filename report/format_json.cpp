// JSON: one array of file objects, the fields in a fixed order (documented in the README).
#include "report.h"

#include "engine/board.h"

#include <nlohmann/json.hpp>

namespace brennix::report {

std::string FormatJson(const std::vector<TReportGame>& games) {
    using Json = nlohmann::ordered_json;
    Json all = Json::array();
    for (const TReportGame& game : games) {
        Json players = Json::array();
        for (const TReportPlayer& player : game.Players) {
            players.push_back({
                {"number", player.Number},
                {"name", player.Name},
                {"remaining", player.Figures.Remaining},
                {"checkout", player.Checkout.empty() ? Json(nullptr) : Json(player.Checkout)},
                {"sets", player.Figures.Sets},
                {"legs", player.Figures.Legs},
                {"points", player.Figures.Points},
                {"count_40", player.Figures.Counts[0]},
                {"count_60", player.Figures.Counts[1]},
                {"count_100", player.Figures.Counts[2]},
                {"count_140", player.Figures.Counts[3]},
                {"count_180", player.Figures.Counts[4]},
                {"leg_average", AverageNumber(player.Figures.LegAverage)},
                {"match_average", AverageNumber(player.Figures.MatchAverage)},
                {"darts_leg", player.Figures.DartsLeg},
                {"darts_match", player.Figures.DartsMatch},
                {"won_leg_darts", player.Figures.WonLegDarts},
                {"best_leg",
                 player.Figures.BestLeg ? Json(*player.Figures.BestLeg) : Json(nullptr)},
                {"visits", player.Figures.Visits},
            });
        }
        all.push_back({
            {"file", game.File},
            {"caption", game.Caption},
            {"game_type",
             {{"code", game.GameType},
              {"text", game.GameTypeText},
              {"start_score", game.StartScore}}},
            {"match_format", {{"code", game.MatchFormat}, {"text", game.MatchFormatText}}},
            {"player_to_throw", game.PlayerToThrow},
            {"leg_starter", game.LegStarter},
            {"next_leg_starter", game.NextLegStarter},
            {"next_set_starter", game.NextSetStarter},
            {"players", std::move(players)},
        });
    }
    // Every text is UTF-8 already; a stray byte would still not stop the report.
    return all.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace brennix::report
