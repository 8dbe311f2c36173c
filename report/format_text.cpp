// Text: per file a few lines about the game and aligned tables, for a terminal.
#include "engine/board.h"
#include "report.h"
#include "text.h"

#include <algorithm>

namespace brennix::report {

void Table(std::string& text, const std::vector<TColumn>& columns,
           const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths;
    for (const TColumn& column : columns)
        widths.push_back(Width(column.Heading));
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], Width(row[c]));
    auto line = [&](auto cell) {
        std::string out;
        for (size_t c = 0; c < columns.size(); ++c) {
            const std::string value = cell(c);
            const std::string pad(widths[c] - Width(value), ' ');
            if (c > 0) out += "  ";
            out += columns[c].Right ? pad + value : value + pad;
        }
        out.erase(out.find_last_not_of(' ') + 1);
        text += out + "\n";
    };
    line([&](size_t c) { return columns[c].Heading; });
    for (const auto& row : rows)
        line([&](size_t c) { return c < row.size() ? row[c] : std::string(); });
}

namespace {

std::string Dash(std::string text) {
    return text.empty() ? "-" : text;
}

void Game(std::string& text, const TReportGame& game) {
    text += Printable(FileHeading(game)) + "\n";
    text += "Path:             " + Printable(game.File) + "\n";
    text += "Game:             " + Printable(game.Caption) + "\n";
    text += "To throw:         " + Printable(NumberedName(game, game.PlayerToThrow)) + "\n";
    text += "Leg starter:      " + Printable(NumberedName(game, game.LegStarter)) + "\n";
    text += "Next leg starter: " + Printable(NumberedName(game, game.NextLegStarter)) + "\n";
    text += "Next set starter: " + Printable(NumberedName(game, game.NextSetStarter)) + "\n\n";

    auto number = [](int32_t value) { return std::to_string(value); };
    std::vector<std::vector<std::string>> grid, legs, visits;
    for (const TReportPlayer& player : game.Players) {
        const std::string name = Printable(player.Name);
        // The board's grid, averages as the board writes them.
        grid.push_back({number(player.Number), name, number(player.Figures.Remaining),
                        number(player.Figures.Sets), number(player.Figures.Legs),
                        number(player.Figures.Points), number(player.Figures.Counts[0]),
                        number(player.Figures.Counts[1]), number(player.Figures.Counts[2]),
                        number(player.Figures.Counts[3]), number(player.Figures.Counts[4]),
                        FormatAverage(player.Figures.LegAverage),
                        FormatAverage(player.Figures.MatchAverage), number(player.Figures.DartsLeg),
                        number(player.Figures.DartsMatch), Printable(player.Checkout)});
        legs.push_back({number(player.Number), name, Dash(Join(player.Figures.WonLegDarts, " ")),
                        player.Figures.BestLeg ? number(*player.Figures.BestLeg) : "-"});
        // Twenty visits a line.
        constexpr size_t perLine = 20;
        for (size_t first = 0; first == 0 || first < player.Figures.Visits.size();
             first += perLine) {
            const auto from = player.Figures.Visits.begin() + static_cast<ptrdiff_t>(first);
            const auto to = first + perLine < player.Figures.Visits.size()
                                ? from + perLine
                                : player.Figures.Visits.end();
            const std::string shown = Dash(Join({from, to}, " "));
            if (first == 0)
                visits.push_back({number(player.Number), name, shown});
            else
                visits.push_back({"", "", shown});
        }
    }
    Table(text,
          {{"#"},
           {"Name", false},
           {"Score"},
           {"Sets"},
           {"Legs"},
           {"Points"},
           {"40+"},
           {"60+"},
           {"100+"},
           {"140+"},
           {"180"},
           {"Leg avg"},
           {"Match avg"},
           {"Darts leg"},
           {"Darts total"},
           {"Checkout", false}},
          grid);
    text += "\n";
    Table(text, {{"#"}, {"Name", false}, {"Won legs (darts)", false}, {"Best leg"}}, legs);
    text += "\n";
    Table(text, {{"#"}, {"Name", false}, {"Visits, newest first", false}}, visits);
}

} // namespace

std::string FormatText(const std::vector<TReportGame>& games) {
    std::string text;
    for (size_t i = 0; i < games.size(); ++i) {
        if (i > 0) text += "\n";
        Game(text, games[i]);
    }
    return text;
}

} // namespace brennix::report
