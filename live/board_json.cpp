#include "board_json.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace brennix {

namespace {

// The result of a leg won between two redraws, if one was.
std::optional<TLegResult> LegWon(const TBoardView& before, const TBoardView& now) {
    const size_t count = now.Players.size();
    if (before.Players.size() != count) return std::nullopt;
    for (size_t w = 0; w < count; ++w) {
        const TPlayerFigures& was = before.Players[w].Figures;
        const TPlayerFigures& is = now.Players[w].Figures;
        // The newest visit, put before the visits there were, took what was left.
        std::vector<int32_t> visits{was.Remaining};
        visits.insert(visits.end(), was.Visits.begin(), was.Visits.end());
        visits.resize(std::min<size_t>(visits.size(), HistorySize));
        if (was.Remaining <= 0 || is.Visits != visits) continue;
        // A leg more in the same set, everybody else as they were; or a set more, the other
        // players' sets as they were and everybody at no legs.
        bool otherSets = true, otherLegs = true, noLegs = true;
        for (size_t p = 0; p < count; ++p) {
            const TPlayerFigures& a = before.Players[p].Figures;
            const TPlayerFigures& b = now.Players[p].Figures;
            if (p != w) {
                otherSets = otherSets && a.Sets == b.Sets;
                otherLegs = otherLegs && a.Legs == b.Legs;
            }
            noLegs = noLegs && b.Legs == 0;
        }
        const bool leg = is.Sets == was.Sets && int64_t{is.Legs} == int64_t{was.Legs} + 1 &&
                         otherSets && otherLegs;
        const bool set = int64_t{is.Sets} == int64_t{was.Sets} + 1 && otherSets && noLegs;
        if (!leg && !set) continue;
        TLegResult result;
        result.Won = now.Winner ? "match" : set ? "set" : "leg";
        result.Winner = now.Players[w].Name;
        for (size_t p = 0; p < count; ++p) {
            const TPlayerFigures& b = now.Players[p].Figures;
            const int64_t legs = set ? int64_t{before.Players[p].Figures.Legs} + (p == w) : b.Legs;
            result.Players.push_back({now.Players[p].Name, b.Sets, static_cast<int32_t>(legs)});
        }
        return result;
    }
    return std::nullopt;
}

// Whether a visit was booked or taken back between two redraws: somebody's visits or darts
// changed, and there are visits on the board (a new game empties them all).
bool Visited(const TBoardView& before, const TBoardView& now) {
    bool changed = before.Players.size() != now.Players.size(), any = false;
    for (size_t p = 0; p < now.Players.size(); ++p) {
        const TPlayerFigures& is = now.Players[p].Figures;
        any = any || !is.Visits.empty();
        if (!changed) {
            const TPlayerFigures& was = before.Players[p].Figures;
            changed = is.Visits != was.Visits || is.DartsMatch != was.DartsMatch;
        }
    }
    return changed && any;
}

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

const std::optional<TLegResult>& TLegResults::See(const TBoardView& view) {
    if (previous_) {
        if (std::optional<TLegResult> won = LegWon(*previous_, view))
            result_ = std::move(won);
        else if (Visited(*previous_, view))
            result_.reset();
    }
    previous_ = view;
    return result_;
}

QByteArray BoardJson(const TBoardView& view, const std::optional<TLegResult>& result,
                     const TAllTimeAverage& allTime) {
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

} // namespace brennix
