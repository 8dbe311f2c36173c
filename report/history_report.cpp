// The history's reports: each query becomes tables of typed cells (a count, an average, a rate, a
// text), which the text, CSV and HTML writers show in their own ways; the JSON is made from the
// same rows, a field per column.
#include "history_report.h"

#include "text.h"

#include "club/club_statistics.h"
#include "engine/errors.h"
#include "engine/text_forms.h"
#include "storage/paths.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace brennix::report {

namespace {

using Json = nlohmann::ordered_json;

struct TCell {
    enum TKind { Count, Average, Rate, Flag, Text, Texts, None } Kind = None;
    int64_t Value = 0;
    std::vector<std::string> Words; // one for Text, any number for Texts
};

TCell Count(int64_t value) {
    return {TCell::Count, value, {}};
}
TCell MaybeCount(const std::optional<int64_t>& value) {
    return value ? Count(*value) : TCell{};
}
TCell Average(int32_t value) {
    return {TCell::Average, value, {}};
}
TCell Word(const std::string& text) {
    return {TCell::Text, 0, {text}};
}
// A time or other text that may be unknown.
TCell MaybeWord(const std::string& text) {
    return text.empty() ? TCell{} : Word(text);
}

struct TField {
    std::string Key;     // the JSON field and the CSV heading
    std::string Heading; // the text and HTML heading
    bool Right = true;
    bool Group = false; // shown only on the first row of a group in text and HTML
    bool Data = false;  // in CSV and JSON only
};

struct TRow {
    std::vector<TCell> Cells;
    bool Continued = false; // a further row of the group above
};

struct TTable {
    std::string Caption;
    std::vector<TField> Fields;
    std::vector<TRow> Rows;
};

struct TSheet {
    std::string Title;
    std::vector<std::string> Notes;
    std::vector<TTable> Tables;
    std::string Chart; // HTML only
};

// The figure columns shared by the standings and the rows of a profile.
const std::vector<TField> FigureFields = {
    {"legs", "Legs"},
    {"legs_won", "Legs won"},
    {"darts", "Darts"},
    {"points", "Points"},
    {"average", "Average"},
    {"first9_average", "First 9"},
    {"best_leg", "Best leg"},
    {"highest_checkout", "High out"},
    {"checkout_chances", "Chances"},
    {"checkouts", "Checkouts"},
    {"checkout_rate", "Rate"},
    {"count_180", "180"},
    {"count_140", "140+"},
    {"count_100", "100+"},
    {"count_60", "60+"},
    {"count_40", "40+"},
};

std::vector<TCell> FigureCells(const TFigures& f) {
    const std::optional<int32_t> rate = f.CheckoutRate();
    return {Count(f.Legs),
            Count(f.LegsWon),
            Count(f.Darts),
            Count(f.Points),
            Average(f.Average()),
            Average(f.First9Average()),
            MaybeCount(f.BestLeg),
            MaybeCount(f.HighestCheckout),
            Count(f.CheckoutChances),
            Count(f.Checkouts),
            rate ? TCell{TCell::Rate, *rate, {}} : TCell{},
            Count(f.Count180),
            Count(f.Count140),
            Count(f.Count100),
            Count(f.Count60),
            Count(f.Count40)};
}

TTable PlayersTable(const std::vector<TPlayerStatistics>& players) {
    TTable table{"", {{"name", "Name", false}, {"matches", "Matches"}, {"matches_won", "Won"}}, {}};
    table.Fields.insert(table.Fields.end(), FigureFields.begin(), FigureFields.end());
    table.Fields.push_back({"last_played", "Last played", false});
    for (const TPlayerStatistics& player : players) {
        TRow row{
            {Word(player.Name), Count(player.Figures.Matches), Count(player.Figures.MatchesWon)}};
        for (TCell& cell : FigureCells(player.Figures))
            row.Cells.push_back(std::move(cell));
        row.Cells.push_back(MaybeWord(player.LastPlayed));
        table.Rows.push_back(std::move(row));
    }
    return table;
}

// A club's matches are known by their board and the board's number for them: the board stands
// beside the number.
const TField BoardField = {"board", "Board", false, true};

TTable MatchesTable(const std::vector<TMatchSummary>& matches, bool club) {
    TTable table{"Matches",
                 {{"match", "Match", true, true},
                  BoardField,
                  {"started", "Started", false, true},
                  {"ended", "Ended", false, true},
                  {"game", "Game", false, true},
                  {"format", "Format", false, true},
                  {"result", "Result", false, true},
                  {"winner", "Winner", false, true},
                  {"resumed", "Resumed", false, true, true},
                  {"number", "#"},
                  {"name", "Name", false},
                  {"sets", "Sets"},
                  {"legs_won", "Legs"},
                  {"average", "Average"},
                  {"first9_average", "First 9"}},
                 {}};
    if (!club) table.Fields.erase(table.Fields.begin() + 1);
    for (const TMatchSummary& match : matches) {
        std::vector<TCell> group = {Count(match.Id),
                                    MaybeWord(match.Started),
                                    MaybeWord(match.Ended),
                                    Word(match.Game),
                                    Word(match.Format),
                                    Word(match.Result()),
                                    MaybeWord(match.WinnerName()),
                                    TCell{TCell::Flag, match.Resumed, {}}};
        if (club) group.insert(group.begin() + 1, Word(match.Board));
        for (size_t p = 0; p == 0 || p < match.Players.size(); ++p) {
            TRow row{group, p > 0};
            if (p < match.Players.size()) {
                const TMatchPlayer& player = match.Players[p];
                for (const TCell& cell :
                     {Count(player.Number), Word(player.Name), MaybeCount(player.Sets),
                      Count(player.Figures.LegsWon), Average(player.Figures.Average()),
                      Average(player.Figures.First9Average())})
                    row.Cells.push_back(cell);
            }
            table.Rows.push_back(std::move(row));
        }
    }
    return table;
}

TTable ProfileTable(const std::vector<TProfileMatch>& matches, bool club) {
    TTable table{"Matches",
                 {{"match", "Match"},
                  {"board", "Board", false},
                  {"started", "Started", false},
                  {"game", "Game", false},
                  {"format", "Format", false},
                  {"opponents", "Opponents", false},
                  {"result", "Result", false}},
                 {}};
    if (!club) table.Fields.erase(table.Fields.begin() + 1);
    table.Fields.insert(table.Fields.end(), FigureFields.begin(), FigureFields.end());
    for (const TProfileMatch& match : matches) {
        TRow row{{Count(match.Match.Id), MaybeWord(match.Match.Started), Word(match.Match.Game),
                  Word(match.Match.Format), TCell{TCell::Texts, 0, match.Opponents},
                  Word(match.Result)}};
        if (club) row.Cells.insert(row.Cells.begin() + 1, Word(match.Match.Board));
        for (TCell& cell : FigureCells(match.Figures))
            row.Cells.push_back(std::move(cell));
        table.Rows.push_back(std::move(row));
    }
    return table;
}

// A figure kept x 10000 with three decimals, the fourth cut, as the averages are.
std::string RateText(int64_t value, char point) {
    std::string text = AverageDecimal(static_cast<int32_t>(value));
    std::replace(text.begin(), text.end(), '.', point);
    return text;
}

// --- text ------------------------------------------------------------------------------------

std::string ShownText(const TCell& cell) {
    switch (cell.Kind) {
    case TCell::Count:
        return std::to_string(cell.Value);
    case TCell::Average: {
        // As the board writes it; below 0,100 it writes nothing.
        const std::string text = FormatAverage(static_cast<int32_t>(cell.Value));
        return text.empty() ? "-" : text;
    }
    case TCell::Rate:
        return RateText(cell.Value, ',');
    case TCell::Text:
    case TCell::Texts: {
        std::string joined;
        for (size_t i = 0; i < cell.Words.size(); ++i)
            joined += (i ? ", " : "") + Printable(cell.Words[i]);
        return joined.empty() && cell.Kind == TCell::Texts ? "-" : joined;
    }
    case TCell::Flag: // in CSV and JSON only
    case TCell::None:
        break;
    }
    return "-";
}

std::string FormatText(const TSheet& sheet) {
    std::string text = Printable(sheet.Title) + "\n";
    for (const std::string& note : sheet.Notes)
        text += Printable(note) + "\n";
    for (const TTable& table : sheet.Tables) {
        text += "\n";
        if (!table.Caption.empty()) text += table.Caption + "\n";
        std::vector<TColumn> columns;
        for (const TField& field : table.Fields)
            if (!field.Data) columns.push_back({field.Heading, field.Right});
        std::vector<std::vector<std::string>> rows;
        for (const TRow& row : table.Rows) {
            rows.emplace_back();
            for (size_t c = 0; c < row.Cells.size(); ++c)
                if (!table.Fields[c].Data)
                    rows.back().push_back(
                        row.Continued && table.Fields[c].Group ? "" : ShownText(row.Cells[c]));
        }
        Table(text, columns, rows);
    }
    return text;
}

// --- CSV -------------------------------------------------------------------------------------

std::string FormatCsv(const TSheet& sheet, TCsvStyle style) {
    const bool excel = style == TCsvStyle::Excel;
    const char separator = excel ? ';' : ',';
    const char point = excel ? ',' : '.';
    // A text a spreadsheet would run as a formula gets a leading apostrophe.
    auto asText = [&](const std::string& value) {
        return excel && !value.empty() &&
                       std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos
                   ? "'" + value
                   : value;
    };
    auto field = [&](const TCell& cell) -> std::string {
        switch (cell.Kind) {
        case TCell::Count:
            return std::to_string(cell.Value);
        case TCell::Average:
        case TCell::Rate:
            return RateText(cell.Value, point);
        case TCell::Flag:
            return cell.Value ? "true" : "false";
        case TCell::Text:
            return asText(cell.Words[0]);
        case TCell::Texts: {
            std::string joined;
            for (size_t i = 0; i < cell.Words.size(); ++i)
                joined += (i ? ", " : "") + cell.Words[i];
            return asText(joined);
        }
        case TCell::None:
            break;
        }
        return "";
    };
    std::string csv = excel ? "\xEF\xBB\xBF" : "";
    auto line = [&](const std::vector<std::string>& fields) {
        for (size_t i = 0; i < fields.size(); ++i)
            csv += (i ? std::string(1, separator) : "") + CsvField(fields[i], separator);
        csv += "\r\n";
    };
    for (size_t t = 0; t < sheet.Tables.size(); ++t) {
        if (t > 0) csv += "\r\n"; // an empty line between tables
        std::vector<std::string> heading;
        for (const TField& f : sheet.Tables[t].Fields)
            heading.push_back(f.Key);
        line(heading);
        for (const TRow& row : sheet.Tables[t].Rows) {
            std::vector<std::string> fields;
            for (const TCell& cell : row.Cells)
                fields.push_back(field(cell));
            fields.resize(heading.size());
            line(fields);
        }
    }
    return csv;
}

// --- JSON ------------------------------------------------------------------------------------

Json JsonValue(const TCell& cell) {
    switch (cell.Kind) {
    case TCell::Count:
        return cell.Value;
    case TCell::Average:
    case TCell::Rate:
        return AverageNumber(static_cast<int32_t>(cell.Value));
    case TCell::Flag:
        return cell.Value != 0;
    case TCell::Text:
        return cell.Words[0];
    case TCell::Texts:
        return cell.Words;
    case TCell::None:
        break;
    }
    return nullptr;
}

Json JsonObject(const TTable& table, const TRow& row, size_t from = 0, size_t to = SIZE_MAX) {
    Json object = Json::object();
    for (size_t c = from; c < std::min(to, table.Fields.size()); ++c)
        object[table.Fields[c].Key] = c < row.Cells.size() ? JsonValue(row.Cells[c]) : Json();
    return object;
}

Json JsonRows(const TTable& table) {
    Json rows = Json::array();
    for (const TRow& row : table.Rows)
        rows.push_back(JsonObject(table, row));
    return rows;
}

// The matches with their players as a list in each.
Json JsonMatches(const TTable& table, const std::vector<TMatchSummary>& matches) {
    // The match's own fields come first, the player's after them.
    const auto groupFields = static_cast<size_t>(std::count_if(
        table.Fields.begin(), table.Fields.end(), [](const TField& f) { return f.Group; }));
    Json list = Json::array();
    size_t at = 0;
    for (const TMatchSummary& match : matches) {
        Json object = JsonObject(table, table.Rows[at], 0, groupFields);
        Json players = Json::array();
        for (size_t p = 0; p < match.Players.size(); ++p)
            players.push_back(JsonObject(table, table.Rows[at + p], groupFields));
        object["players"] = std::move(players);
        list.push_back(std::move(object));
        at += std::max<size_t>(match.Players.size(), 1);
    }
    return list;
}

std::string Dump(const Json& json) {
    // A stray byte of a name would still not stop the report.
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// --- HTML ------------------------------------------------------------------------------------

std::string N(int64_t value) {
    return std::to_string(value);
}

std::string FormatHtml(const TSheet& sheet) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>" +
                       HtmlEscape(sheet.Title) + "</title>\n<style>\n";
    html += HtmlStyle();
    html += "</style>\n</head>\n<body>\n<h1>" + HtmlEscape(sheet.Title) + "</h1>\n";
    std::string notes;
    for (const std::string& note : sheet.Notes)
        notes += (notes.empty() ? "" : " \xC2\xB7 ") + HtmlEscape(note);
    html += "<p class=\"path\">" + notes + "</p>\n";
    html += sheet.Chart;
    for (const TTable& table : sheet.Tables) {
        if (!table.Caption.empty()) html += "<h2>" + HtmlEscape(table.Caption) + "</h2>\n";
        html += "<table>\n<thead><tr>";
        for (const TField& field : table.Fields)
            if (!field.Data) html += "<th>" + HtmlEscape(field.Heading) + "</th>";
        html += "</tr></thead>\n<tbody>\n";
        for (const TRow& row : table.Rows) {
            html += "<tr>";
            for (size_t c = 0; c < table.Fields.size(); ++c) {
                if (table.Fields[c].Data) continue;
                const bool blank =
                    c >= row.Cells.size() || (row.Continued && table.Fields[c].Group);
                html += (table.Fields[c].Right ? "<td class=\"n\">" : "<td>") +
                        (blank ? "" : HtmlEscape(ShownText(row.Cells[c]))) + "</td>";
            }
            html += "</tr>\n";
        }
        html += "</tbody>\n</table>\n";
    }
    return html + "</body>\n</html>\n";
}

// The averages and first-9 averages of a player's matches as two lines, oldest on the left.
std::string ProfileChart(const std::vector<TProfileMatch>& matches) {
    if (matches.empty()) return "";
    constexpr int left = 34, top = 8, height = 160, right = 10;
    constexpr int64_t MostDots = 120; // a dot per match up to this many
    const int64_t count = static_cast<int64_t>(matches.size());
    const int64_t plot = std::clamp<int64_t>(count * 24, 240, 960);
    int64_t most = 60;
    for (const TProfileMatch& match : matches)
        most = std::max<int64_t>(
            most, std::max(match.Figures.Average(), match.Figures.First9Average()) / 10000);
    most = std::min<int64_t>((most + 19) / 20 * 20, 200);
    const int64_t width = left + plot + right, base = top + height;
    auto x = [&](int64_t i) { return left + (count == 1 ? plot / 2 : i * plot / (count - 1)); };
    auto y = [&](int32_t average) {
        const double value = std::clamp<double>(average / 10000.0, 0, static_cast<double>(most));
        return base - static_cast<int64_t>(value * height / static_cast<double>(most) + 0.5);
    };
    std::string svg = "<figure>\n<figcaption>Average and first-9 average per match</figcaption>\n"
                      "<p class=\"legend\"><span><b style=\"color:#2f6f9f\">\xE2\x96\xA0</b> "
                      "average</span><span><b style=\"color:#e06c00\">\xE2\x96\xA0</b> first-9 "
                      "average</span></p>\n<svg width=\"" +
                      N(width) + "\" height=\"" + N(base + 14) + "\" viewBox=\"0 0 " + N(width) +
                      " " + N(base + 14) + "\" role=\"img\" aria-label=\"Averages per match\">\n";
    for (int64_t line = 0; line <= most; line += 20)
        svg += "<line x1=\"" + N(left) + "\" y1=\"" + N(y(static_cast<int32_t>(line * 10000))) +
               "\" x2=\"" + N(width - right) + "\" y2=\"" +
               N(y(static_cast<int32_t>(line * 10000))) + "\" stroke=\"#ccc\"/><text x=\"" +
               N(left - 3) + "\" y=\"" + N(y(static_cast<int32_t>(line * 10000)) + 3) +
               "\" text-anchor=\"end\">" + N(line) + "</text>\n";
    for (const auto& [colour, first9] : {std::pair{"#2f6f9f", false}, {"#e06c00", true}}) {
        std::string points, dots;
        for (int64_t i = 0; i < count; ++i) {
            const TProfileMatch& match = matches[static_cast<size_t>(i)];
            const int32_t value = first9 ? match.Figures.First9Average() : match.Figures.Average();
            points += (i ? " " : "") + N(x(i)) + "," + N(y(value));
            // Past a few months of matches the dots would only hide the lines.
            if (count > MostDots) continue;
            dots += "<circle cx=\"" + N(x(i)) + "\" cy=\"" + N(y(value)) + "\" r=\"2.5\" fill=\"" +
                    colour + "\"><title>" + HtmlEscape(match.Match.Started) + " " +
                    ShownText(Average(value)) + "</title></circle>\n";
        }
        svg += "<polyline points=\"" + points + "\" fill=\"none\" stroke=\"" + colour +
               "\" stroke-width=\"" + (count > MostDots ? "0.75" : "1.5") + "\"/>\n" + dots;
    }
    svg += "<text x=\"" + N(left) + "\" y=\"" + N(base + 12) + "\">" +
           HtmlEscape(matches.front().Match.Started) + "</text><text x=\"" + N(width - right) +
           "\" y=\"" + N(base + 12) + "\" text-anchor=\"end\">" +
           HtmlEscape(matches.back().Match.Started) + "</text>\n";
    return svg + "</svg>\n</figure>\n";
}

// "From 2026-12-01 to 2026-12-31" and the like; nothing without a period.
std::string PeriodNote(const THistoryRequest& request) {
    if (request.Since && request.Until) return "From " + *request.Since + " to " + *request.Until;
    if (request.Since) return "From " + *request.Since;
    if (request.Until) return "Until " + *request.Until;
    return "";
}

// A name that played no match in the period.
struct EUnknownPlayer : EBrennixError {
    using EBrennixError::EBrennixError;
};

// What the figures are read from: a board's history or a club's database.
struct TOrigin {
    std::string Note;   // the sheet's first note
    std::string Prefix; // before the reason of a failure
    std::string Source; // "the history", "the club"
    bool Club = false;
};

template <typename TReader>
TStatistics Read(const THistoryRequest& request, TReader& reader, const TOrigin& origin) {
    const TPeriod period = PeriodOf(request.Since, request.Until);
    auto unknown = [&](const std::string& name) {
        throw EUnknownPlayer("no player '" + Printable(name) + "' in the matches of " +
                             origin.Source);
    };
    TStatistics read{request, origin.Note, origin.Club, {}, {}, {}, {}};
    try {
        switch (request.Query) {
        case THistoryQuery::Players:
            read.Players = reader.Standings(period, request.AllNames);
            break;
        case THistoryQuery::Player: {
            std::optional<TProfile> profile = reader.Profile(request.Names.at(0), period);
            if (!profile) unknown(request.Names[0]);
            read.Players = {std::move(profile->Player)};
            read.Profile = std::move(profile->Matches);
            break;
        }
        case THistoryQuery::Vs: {
            std::string missing;
            std::optional<THeadToHead> both =
                reader.HeadToHead(request.Names.at(0), request.Names.at(1), period, &missing);
            if (!both) unknown(missing);
            read.Players = {std::move(both->Players[0]), std::move(both->Players[1])};
            read.Matches = std::move(both->Matches);
            break;
        }
        case THistoryQuery::Matches:
            read.Matches = reader.Matches(period);
            break;
        }
    } catch (const EUnknownPlayer&) {
        throw;
    } catch (const EBrennixError& error) {
        throw EBrennixError(origin.Prefix + error.what());
    }
    return read;
}

TStatistics ReadHistory(const THistoryRequest& request, const std::string& path,
                        const TQueryOptions& options) {
    const TOrigin origin{"History: " + PathToUtf8(path), Printable(PathToUtf8(path)) + ": ",
                         "the history"};
    std::optional<THistoryReader> reader;
    try {
        const TQueryStop* stop = options.Stop;
        reader.emplace(path, 2000, [stop] { return stop && stop->Raised(); });
    } catch (const EBrennixError& error) {
        throw EBrennixError(origin.Prefix + error.what());
    }
    return Read(request, *reader, origin);
}

TStatistics ReadClub(const THistoryRequest& request, const std::string& url,
                     const TQueryOptions& options) {
    std::optional<club::TClubReader> reader;
    try {
        reader.emplace(url, options.ClubWaitSeconds, options.Stop ? options.Stop->Fd() : -1);
    } catch (const EBrennixError& error) {
        throw EBrennixError("club: " + std::string(error.what()));
    }
    const TOrigin origin{"Club: " + reader->Where(), "club: ", "the club", true};
    return Read(request, *reader, origin);
}

} // namespace

TQueryStop::TQueryStop() {
    if (::pipe2(pipe_, O_CLOEXEC) != 0) throw EBrennixError("no pipe to stop a query");
}

TQueryStop::~TQueryStop() {
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void TQueryStop::Raise() {
    if (raised_.exchange(true)) return;
    [[maybe_unused]] const auto written = ::write(pipe_[1], "x", 1);
}

TStatisticsOutcome QueryStatistics(const THistoryRequest& request, const TStatisticsSource& source,
                                   const TQueryOptions& options) {
    try {
        PeriodOf(request.Since, request.Until);
        return {source.Kind == TStatisticsSource::TKind::Club
                    ? ReadClub(request, source.Place, options)
                    : ReadHistory(request, source.Place, options),
                ""};
    } catch (const EBrennixError& error) {
        return {std::nullopt, error.what()};
    } catch (const std::exception& error) {
        // Nothing read may end the program: a library's own failure is a reason like any other.
        return {std::nullopt, error.what()};
    }
}

std::string FormatStatistics(const TStatistics& read, TFormat format, TCsvStyle csvStyle) {
    const THistoryRequest& request = read.Request;
    TSheet sheet;
    sheet.Notes.push_back(read.Note);
    if (const std::string note = PeriodNote(request); !note.empty()) sheet.Notes.push_back(note);
    if (!read.Caveat.empty()) sheet.Notes.push_back(read.Caveat);
    Json json;
    switch (request.Query) {
    case THistoryQuery::Players:
        sheet.Title = "Brennix standings";
        sheet.Tables.push_back(PlayersTable(read.Players));
        json = JsonRows(sheet.Tables[0]);
        break;
    case THistoryQuery::Player:
        sheet.Title = "Brennix player: " + read.Players.at(0).Name;
        sheet.Tables.push_back(PlayersTable({read.Players[0]}));
        sheet.Tables.push_back(ProfileTable(read.Profile, read.Club));
        sheet.Chart = ProfileChart(read.Profile);
        json = {{"player", JsonRows(sheet.Tables[0])[0]}, {"matches", JsonRows(sheet.Tables[1])}};
        break;
    case THistoryQuery::Vs:
        sheet.Title = "Brennix head to head: " + read.Players.at(0).Name + " \xE2\x80\x93 " +
                      read.Players.at(1).Name;
        sheet.Tables.push_back(PlayersTable({read.Players[0], read.Players[1]}));
        sheet.Tables.push_back(MatchesTable(read.Matches, read.Club));
        json = {{"players", JsonRows(sheet.Tables[0])},
                {"matches", JsonMatches(sheet.Tables[1], read.Matches)}};
        break;
    case THistoryQuery::Matches:
        sheet.Title = "Brennix matches";
        sheet.Tables.push_back(MatchesTable(read.Matches, read.Club));
        sheet.Tables[0].Caption.clear();
        json = JsonMatches(sheet.Tables[0], read.Matches);
        break;
    }
    switch (format) {
    case TFormat::Json:
        return Dump(json);
    case TFormat::Csv:
        return FormatCsv(sheet, csvStyle);
    case TFormat::Html:
        return FormatHtml(sheet);
    case TFormat::Text:
        break;
    }
    return FormatText(sheet);
}

std::string DefaultHistoryPath() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string folder =
        error ? std::filesystem::current_path(error).string() : exe.parent_path().string();
    return ChooseDataPlace(folder).Base + "history.sqlite";
}

} // namespace brennix::report
