#include "board_json.h"

#include <atomic>
#include <nlohmann/json.hpp>

namespace brennix {

namespace {

std::atomic<int64_t> builds{0};

// A text of the game's in UTF-8, its control characters (a crafted settings file may hold some)
// as blanks, so that no card on a page breaks.
std::string Text(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte < 0xA0)) c = ' ';
    }
    return Latin1ToUtf8(shown);
}

} // namespace

QByteArray BoardJson(const TBoardView& view, const TAllTimeAverage& allTime) {
    ++builds;
    const std::optional<TLegResult>& result = view.Result;
    using nlohmann::json;
    auto text = [](const std::optional<std::string>& value) {
        return value ? json(Text(*value)) : json(nullptr);
    };
    json players = json::array();
    for (const TPlayerView& player : view.Players) {
        json visits = json::array();
        for (const int32_t visit : player.LastVisits)
            if (visit >= 0) visits.push_back(visit);
        const std::optional<std::string>& checkout = player.Figures.Checkout;
        players.push_back({
            {"number", player.Number},
            {"name", Text(player.Name)},
            {"remaining", player.Figures.Remaining},
            // Within reach and with a suggestion, else null.
            {"checkout", text(checkout && !checkout->empty() ? checkout : std::nullopt)},
            {"sets", player.Figures.Sets},
            {"legs", player.Figures.Legs},
            {"leg_average", AverageNumber(player.Figures.LegAverage)},
            {"match_average", AverageNumber(player.Figures.MatchAverage)},
            {"darts_leg", player.Figures.DartsLeg},
            {"darts_match", player.Figures.DartsMatch},
            {"last_visits", std::move(visits)},
            {"leg_visits", player.LegVisits},
        });
        if (allTime) {
            const std::optional<double> average = allTime(player.Name);
            players.back()["all_time_average"] = average ? json(*average) : json(nullptr);
        }
    }
    json last = nullptr;
    if (result) {
        json scores = json::array();
        for (const TLegResult::TScore& score : result->Players)
            scores.push_back(
                {{"name", Text(score.Name)}, {"sets", score.Sets}, {"legs", score.Legs}});
        last = {
            {"won", result->Won}, {"winner", Text(result->Winner)}, {"players", std::move(scores)}};
    }
    const json state = {
        {"caption", Text(view.SpectatorCaption)},
        {"special", Text(view.Special)},
        {"player_to_throw", view.ActivePlayer + 1},
        {"leg_starter", view.LegStarter + 1},
        {"set", view.SetNumber},
        {"leg", view.LegNumber},
        {"progress", Text(view.Progress)},
        {"target", Text(view.Target)},
        {"winner", text(view.Winner)},
        {"result", std::move(last)},
        {"players", std::move(players)},
    };
    return QByteArray::fromStdString(state.dump(-1, ' ', false, json::error_handler_t::replace));
}

void TBoardFeed::AddSink(TSink sink) {
    sinks_.push_back(std::move(sink));
}

void TBoardFeed::SetAllTimeAverage(TAllTimeAverage allTime) {
    allTime_ = std::move(allTime);
}

void TBoardFeed::Redrawn(const TBoardView& view) {
    if (sinks_.empty()) return; // nothing shows the board: a redraw costs nothing more
    // Kept only where new averages may ask for the board again.
    if (allTime_) view_ = view;
    Feed(view);
}

void TBoardFeed::Again() {
    if (view_) Feed(*view_);
}

void TBoardFeed::Feed(const TBoardView& view) {
    const QByteArray json = BoardJson(view, allTime_);
    for (const TSink& sink : sinks_)
        sink(json);
}

int64_t BoardJsonBuilds() {
    return builds.load();
}

} // namespace brennix
