#include "report.h"

#include "engine/board.h"
#include "text.h"

#include <algorithm>
#include <cstdlib>

namespace brennix::report {

namespace {

std::string WithoutLeadingBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

} // namespace

TReportGame ReportGame(const TGameFileRecord& record, const std::string& file) {
    const TSettings& settings = record.Settings;
    TReportGame game;
    game.File = PathToUtf8(file);
    game.Caption = Latin1ToUtf8(GameCaption(settings.GameType, settings.MatchFormat));
    game.GameType = settings.GameType;
    game.GameTypeText = WithoutLeadingBlanks(GameTypeText(settings.GameType));
    game.StartScore = StartScoreFor(settings.GameType);
    game.MatchFormat = settings.MatchFormat;
    game.MatchFormatText = std::string(MatchFormatText(settings.MatchFormat));
    // The reader has brought the turn indices into the players in play.
    game.PlayerToThrow = record.ActivePlayer + 1;
    game.LegStarter = record.LegStarter + 1;
    game.NextLegStarter = record.NextLegStarter + 1;
    game.NextSetStarter = record.NextSetStarter + 1;

    const int count = std::clamp<int32_t>(settings.PlayerCount, 0, MaxPlayers);
    for (int p = 0; p < count; ++p) {
        const TPlayerStats& stats = record.Players[p];
        TReportPlayer& player = game.Players.emplace_back();
        player.Number = p + 1;
        // A loaded game shows its names exactly as stored, an empty one included.
        player.Name = Latin1ToUtf8(settings.PlayerNames[p]);
        player.Remaining = stats.Remaining;
        player.Checkout = Latin1ToUtf8(CheckoutText(settings, stats.Remaining));
        player.Sets = stats.Sets;
        player.Legs = stats.Legs;
        player.Points = stats.Points;
        player.Counts = {stats.Count40, stats.Count60, stats.Count100, stats.Count140,
                         stats.Count180};
        player.LegAverage = stats.LegAverage;
        player.MatchAverage = stats.MatchAverage;
        player.DartsLeg = stats.DartsLeg;
        player.DartsMatch = stats.DartsMatch;
        // Empty entries are 0 among the won legs and negative in the history.
        for (const int32_t darts : stats.WonLegDarts)
            if (darts > 0) player.WonLegDarts.push_back(darts);
        if (!player.WonLegDarts.empty())
            player.BestLeg =
                *std::min_element(player.WonLegDarts.begin(), player.WonLegDarts.end());
        for (const int32_t visit : stats.History)
            if (visit >= 0) player.Visits.push_back(visit);
    }
    return game;
}

std::string FormatReport(TFormat format, const std::vector<TReportGame>& games) {
    switch (format) {
    case TFormat::Json:
        return FormatJson(games);
    case TFormat::Csv:
        return FormatCsv(games);
    case TFormat::Html:
        return FormatHtml(games);
    case TFormat::Text:
        break;
    }
    return FormatText(games);
}

std::string PathToUtf8(std::string_view path) {
    return IsUtf8(path) ? std::string(path) : Latin1ToUtf8(path);
}

std::string AverageDecimal(int32_t value) {
    const int64_t cut = int64_t{value} / 10; // the fourth decimal is cut
    const int64_t magnitude = std::llabs(cut);
    std::string fraction = std::to_string(magnitude % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    return (cut < 0 ? "-" : "") + std::to_string(magnitude / 1000) + "." + fraction;
}

} // namespace brennix::report
