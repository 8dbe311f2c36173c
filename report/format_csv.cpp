// CSV: a header row, then one row per player per file; lists are blank-separated. RFC 4180 by
// default, the data unchanged; for spreadsheets in languages with a decimal comma, a byte-order
// mark, semicolons, decimal commas in the averages and texts that cannot be taken for formulas.
#include "engine/text_forms.h"
#include "report.h"
#include "text.h"

#include <algorithm>

namespace brennix::report {

namespace {

// The text written so far and the separator between its fields.
struct TCsv {
    std::string Text;
    char Separator = ',';
};

} // namespace

std::string CsvField(std::string_view text, char separator) {
    if (text.find_first_of("\"\r\n") == std::string_view::npos &&
        text.find(separator) == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

namespace {

void Row(TCsv& csv, const std::vector<std::string>& fields) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) csv.Text += csv.Separator;
        csv.Text += CsvField(fields[i], csv.Separator);
    }
    csv.Text += "\r\n";
}

} // namespace

std::string FormatCsv(const std::vector<TReportGame>& games, TCsvStyle style) {
    const bool excel = style == TCsvStyle::Excel;
    // The byte-order mark tells a spreadsheet the file is UTF-8.
    TCsv csv{excel ? "\xEF\xBB\xBF" : "", excel ? ';' : ','};
    Row(csv, {"file",
              "game_type",
              "match_format",
              "player_to_throw",
              "leg_starter",
              "next_leg_starter",
              "next_set_starter",
              "number",
              "name",
              "remaining",
              "checkout",
              "sets",
              "legs",
              "points",
              "count_40",
              "count_60",
              "count_100",
              "count_140",
              "count_180",
              "leg_average",
              "match_average",
              "darts_leg",
              "darts_match",
              "won_leg_darts",
              "best_leg",
              "visits"});
    // A spreadsheet runs a cell that starts with one of these as a formula (a name such as
    // =HYPERLINK(...)); a leading apostrophe makes it show the text instead.
    auto asText = [&](const std::string& value) {
        return excel && !value.empty() &&
                       std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos
                   ? "'" + value
                   : value;
    };
    auto number = [](int32_t value) { return std::to_string(value); };
    auto average = [&](int32_t value) {
        std::string text = AverageDecimal(value);
        if (excel) std::replace(text.begin(), text.end(), '.', ',');
        return text;
    };
    for (const TReportGame& game : games) {
        for (const TReportPlayer& player : game.Players) {
            Row(csv, {asText(game.File),
                      asText(game.GameTypeText),
                      asText(game.MatchFormatText),
                      number(game.PlayerToThrow),
                      number(game.LegStarter),
                      number(game.NextLegStarter),
                      number(game.NextSetStarter),
                      number(player.Number),
                      asText(player.Name),
                      number(player.Figures.Remaining),
                      asText(player.Checkout),
                      number(player.Figures.Sets),
                      number(player.Figures.Legs),
                      number(player.Figures.Points),
                      number(player.Figures.Counts[0]),
                      number(player.Figures.Counts[1]),
                      number(player.Figures.Counts[2]),
                      number(player.Figures.Counts[3]),
                      number(player.Figures.Counts[4]),
                      average(player.Figures.LegAverage),
                      average(player.Figures.MatchAverage),
                      number(player.Figures.DartsLeg),
                      number(player.Figures.DartsMatch),
                      Join(player.Figures.WonLegDarts, " "),
                      player.Figures.BestLeg ? number(*player.Figures.BestLeg) : std::string(),
                      Join(player.Figures.Visits, " ")});
        }
    }
    return csv.Text;
}

} // namespace brennix::report
