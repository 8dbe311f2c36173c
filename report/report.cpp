#include "report.h"

#include "engine/board.h"
#include "text.h"

#include <algorithm>
#include <array>
#include <filesystem>

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
    game.Caption = Latin1ToUtf8(MatchCaption(settings.GameType, settings.MatchFormat));
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
        TReportPlayer& player = game.Players.emplace_back();
        player.Number = p + 1;
        // A loaded game shows its names exactly as stored, an empty one included.
        player.Name = Latin1ToUtf8(settings.PlayerNames[p]);
        player.Figures = FiguresOf(record.Players[p], settings);
        player.Checkout = Latin1ToUtf8(player.Figures.Checkout.value_or(""));
    }
    return game;
}

std::string FormatReport(TFormat format, const std::vector<TReportGame>& games,
                         TCsvStyle csvStyle) {
    switch (format) {
    case TFormat::Json:
        return FormatJson(games);
    case TFormat::Csv:
        return FormatCsv(games, csvStyle);
    case TFormat::Html:
        return FormatHtml(games);
    case TFormat::Text:
        break;
    }
    return FormatText(games);
}

std::string NumberedName(const TReportGame& game, int32_t number) {
    for (const TReportPlayer& player : game.Players)
        if (player.Number == number) return std::to_string(number) + " " + player.Name;
    return std::to_string(number);
}

std::string FileHeading(const TReportGame& game) {
    // The file's name without its folder, whichever the platform's separator.
    std::string heading = std::filesystem::path(game.File).filename().string();
    std::tm local{};
    if (!game.Modified || !::localtime_r(&*game.Modified, &local)) return heading;
    std::array<char, 32> date{};
    std::strftime(date.data(), date.size(), "%Y-%m-%d %H:%M", &local);
    return heading + " \xC2\xB7 " + date.data();
}

std::string PathToUtf8(std::string_view path) {
    return IsUtf8(path) ? std::string(path) : Latin1ToUtf8(path);
}

} // namespace brennix::report
