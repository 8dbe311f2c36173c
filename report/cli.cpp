#include "cli.h"

#include "history_report.h"
#include "text.h"

#include "club/club_schema.h"
#include "engine/errors.h"
#include "storage/file_io.h"

#include <algorithm>
#include <filesystem>
#include <getopt.h>
#include <optional>
#include <ostream>
#include <sys/stat.h>

namespace brennix::report {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view Program = "brennix-report";

constexpr std::string_view Usage =
    R"(Usage: brennix-report [--format text|json|csv|html] [--csv-style rfc|excel]
                      [-o OUT] FILE|FOLDER ...
       brennix-report --players|--player NAME|--vs NAME NAME|--matches
                      [--history FILE | --club URL] [--since DATE] [--until DATE]
                      [--all-names]
                      [--format ...] [--csv-style ...] [-o OUT]
       brennix-report --club URL --set-up

Writes a report of Brennix game files (.bx3): the game type and match format, the
player to throw, the leg and set starters, and for every player the name, remaining
score, sets, legs, points, the 40+/60+/100+/140+/180 counters, leg and match
three-dart averages, darts in the leg and in the match, the darts of every won leg
and the best leg, and the stored visits, newest first.

A FOLDER stands for every *.bx3 file directly in it, in name order. Files are only
read. A file that cannot be reported, or a folder without game files, is named on
standard error with the reason, the others are still reported, and the exit status
is 1.

Options:
  -f, --format FORMAT  text (default, aligned tables), json, csv (one row per
                       player) or html (a printable page with charts)
      --csv-style STYLE
                       rfc (default: RFC 4180, commas, decimal points, the data
                       unchanged for scripts) or excel (for spreadsheets in
                       languages with a decimal comma: a UTF-8 byte-order mark,
                       semicolons, decimal commas, a ' before a text starting with
                       = + - @, a tab or a CR so it is not run as a formula);
                       refused with any format but csv
  -o, --output OUT     write the report to OUT instead of standard output
  -h, --help           show this help and exit

Statistics of the match history (one of these instead of game files):
      --players        the standings: every player's figures across matches, by
                       matches won, then average
      --player NAME    one player's figures and matches (HTML: a chart of the
                       average and first-9 average per match)
      --vs NAME NAME   two players head to head: matches and legs won by each and
                       each one's figures in the matches both played
      --matches        every match: date, players, result, averages
      --history FILE   the history to read (default: history.sqlite in the data
                       folder the program uses)
      --club URL       every board of a club instead: its PostgreSQL database, a
                       libpq connection string or postgresql:// URI (only read)
      --since DATE     only matches begun on or after that local day (YYYY-MM-DD)
      --until DATE     only matches begun on or before that local day
      --all-names      with --players, also the default names Player1 ... Player8

The club's set-up (by its admin, once, and after an update of Brennix):
      --club URL --set-up
                       makes the club's tables in the database, or brings them
                       up to date, as the role of the URL, which then owns them
)";

std::optional<TFormat> FormatNamed(std::string_view name) {
    if (name == "text") return TFormat::Text;
    if (name == "json") return TFormat::Json;
    if (name == "csv") return TFormat::Csv;
    if (name == "html") return TFormat::Html;
    return std::nullopt;
}

std::optional<TCsvStyle> CsvStyleNamed(std::string_view name) {
    if (name == "rfc") return TCsvStyle::Rfc;
    if (name == "excel") return TCsvStyle::Excel;
    return std::nullopt;
}

void Complain(std::ostream& err, const std::string& path, const std::string& reason) {
    err << Program << ": " << Printable(PathToUtf8(path)) << ": " << reason << "\n";
}

bool IsDirectory(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// Whether two paths name the same existing file.
bool SameFile(const std::string& one, const std::string& other) {
    std::error_code error;
    if (fs::equivalent(one, other, error)) return true;
    // The library does not compare two pipes or devices; one name for both is the same file.
    if (error != std::errc::operation_not_supported) return false;
    const fs::path path = fs::canonical(one, error);
    return !error && path == fs::canonical(other, error) && !error;
}

// The file's modification time; none when it cannot be asked for.
std::optional<std::time_t> ModificationTime(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return info.st_mtime;
}

// Writes the report to `out`, or with an output file to that file, all or nothing; the status
// given, or 1 when the report could not be written.
int Deliver(const std::string& text, const std::optional<std::string>& output, std::ostream& out,
            std::ostream& err, int status) {
    if (!output) {
        out << text << std::flush;
        if (!out) {
            err << Program << ": cannot write the report\n";
            return 1;
        }
        return status;
    }
    try {
        // All or nothing: a new file in the same folder takes the old one's place when complete.
        WriteRecordFile(*output, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    } catch (const EBrennixError& error) {
        Complain(err, *output, error.what());
        return 1;
    }
    return status;
}

} // namespace

std::vector<std::string> GameFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code ignored;
        if (name.size() > 4 && name.ends_with(".bx3") && !it->is_directory(ignored))
            names.push_back(name);
    }
    if (error) throw EBrennixError(error.message());
    std::sort(names.begin(), names.end());
    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back((fs::path(folder) / name).string());
    return paths;
}

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TFormat format = TFormat::Text;
    std::optional<TCsvStyle> csvStyle;
    std::optional<std::string> output;
    std::vector<std::string> inputs;
    auto wrong = [&](const std::string& message) {
        err << Program << ": " << message << "\n"
            << "Try '" << Program << " --help' for more information.\n";
        return 2;
    };
    // What the history's statistics ask for; a query stands instead of game files.
    std::optional<THistoryQuery> query;
    THistoryRequest request;
    std::optional<std::string> history, club;
    bool setUp = false;
    // getopt_long scans a copy of the words; "-" first hands back the files in their place among
    // the options, ":" tells a missing value from an unknown option.
    constexpr int CsvStyleOption = 256; // the long options alone
    enum {
        PlayersOption = 257,
        PlayerOption,
        VsOption,
        MatchesOption,
        HistoryOption,
        SinceOption,
        UntilOption,
        AllNamesOption,
        ClubOption,
        SetUpOption
    };
    static const option options[] = {{"format", required_argument, nullptr, 'f'},
                                     {"csv-style", required_argument, nullptr, CsvStyleOption},
                                     {"output", required_argument, nullptr, 'o'},
                                     {"help", no_argument, nullptr, 'h'},
                                     {"players", no_argument, nullptr, PlayersOption},
                                     {"player", required_argument, nullptr, PlayerOption},
                                     {"vs", required_argument, nullptr, VsOption},
                                     {"matches", no_argument, nullptr, MatchesOption},
                                     {"history", required_argument, nullptr, HistoryOption},
                                     {"since", required_argument, nullptr, SinceOption},
                                     {"until", required_argument, nullptr, UntilOption},
                                     {"all-names", no_argument, nullptr, AllNamesOption},
                                     {"club", required_argument, nullptr, ClubOption},
                                     {"set-up", no_argument, nullptr, SetUpOption},
                                     {}};
    std::vector<std::string> words = args;
    words.insert(words.begin(), std::string(Program));
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    // getopt keeps its place in globals: only the tool's own entry scans a command line.
    opterr = 0; // the messages are ours
    optind = 0; // a fresh scan
    for (;;) {
        const int at = std::max(optind, 1); // the word being scanned
        const int c =
            getopt_long(static_cast<int>(words.size()), argv.data(), "-:f:o:h", options, nullptr);
        if (c == -1) break;
        if (c == 1) {
            inputs.push_back(optarg);
            continue;
        }
        // Only whole option names count: neither "--form" nor "-hx" is an option here.
        const std::string& word = words[at];
        const std::string name = word.substr(0, word.find('='));
        const bool whole =
            name.starts_with("--")
                ? std::any_of(std::begin(options), std::end(options) - 1,
                              [&](const option& o) { return name.substr(2) == o.name; })
                : c != 'h' || word == "-h";
        if (c == '?' || !whole) return wrong("unknown option '" + word + "'");
        if (c == ':') return wrong("option '" + word + "' needs a value");
        auto ask = [&](THistoryQuery asked) {
            if (query) return false;
            query = asked;
            return true;
        };
        switch (c) {
        case 'h':
            out << Usage;
            return 0;
        case 'o':
            output = optarg;
            break;
        case CsvStyleOption:
            csvStyle = CsvStyleNamed(optarg);
            if (!csvStyle)
                return wrong("unknown CSV style '" + std::string(optarg) + "' (rfc or excel)");
            break;
        case 'f':
            if (const auto named = FormatNamed(optarg)) {
                format = *named;
                break;
            }
            return wrong("unknown format '" + std::string(optarg) + "' (text, json, csv or html)");
        case PlayersOption:
        case MatchesOption:
        case PlayerOption:
        case VsOption:
            if (!ask(c == PlayersOption   ? THistoryQuery::Players
                     : c == MatchesOption ? THistoryQuery::Matches
                     : c == PlayerOption  ? THistoryQuery::Player
                                          : THistoryQuery::Vs))
                return wrong("one of --players, --player, --vs and --matches at a time");
            if (c == PlayerOption || c == VsOption) request.Names.push_back(optarg);
            if (c == VsOption) {
                // The second name is the next word.
                if (optind >= static_cast<int>(words.size()))
                    return wrong("option '--vs' needs two names");
                request.Names.push_back(words[static_cast<size_t>(optind++)]);
            }
            break;
        case HistoryOption:
            history = optarg;
            break;
        case ClubOption:
            club = optarg;
            break;
        case SetUpOption:
            setUp = true;
            break;
        case SinceOption:
            request.Since = optarg;
            break;
        case UntilOption:
            request.Until = optarg;
            break;
        case AllNamesOption:
            request.AllNames = true;
            break;
        }
    }
    // After "--" every word is a file.
    inputs.insert(inputs.end(), words.begin() + optind, words.end());
    // A CSV style asked for with another format is a mistake, not a choice to pass over.
    if (csvStyle && format != TFormat::Csv) return wrong("option '--csv-style' needs --format csv");
    if (setUp) {
        if (!club || query || history || !inputs.empty() || output)
            return wrong("option '--set-up' goes with --club URL alone");
        try {
            out << "The club's layout is version " << club::SetUpClub(*club) << ".\n";
            return 0;
        } catch (const EBrennixError& error) {
            err << Program << ": " << error.what() << "\n";
            return 1;
        }
    }
    if (query) {
        request.Query = *query;
        if (!inputs.empty())
            return wrong("game files and --players, --player, --vs or --matches at the same time");
        if (request.AllNames && *query != THistoryQuery::Players)
            return wrong("option '--all-names' needs --players");
        if (*query == THistoryQuery::Vs && NameKey(request.Names[0]) == NameKey(request.Names[1]))
            return wrong("option '--vs' needs two different players");
        try {
            PeriodOf(request.Since, request.Until);
        } catch (const EBrennixError& error) {
            return wrong(error.what());
        }
        if (club && history) return wrong("--club and --history at the same time");
        const std::string path = history.value_or(DefaultHistoryPath());
        if (output && IsDirectory(*output)) {
            Complain(err, *output, "is a folder");
            return 2;
        }
        if (!club && output && SameFile(path, *output)) {
            Complain(err, *output, "is the history read; nothing was written");
            return 2;
        }
        const TStatisticsOutcome read =
            QueryStatistics(request, club ? ClubSource(*club) : HistorySource(path));
        if (!read.Statistics) {
            err << Program << ": " << read.Error << "\n";
            return 1;
        }
        return Deliver(
            FormatStatistics(*read.Statistics, format, csvStyle.value_or(TCsvStyle::Rfc)), output,
            out, err, 0);
    }
    for (const auto& [given, option] : {std::pair{history.has_value(), "--history"},
                                        {club.has_value(), "--club"},
                                        {request.Since.has_value(), "--since"},
                                        {request.Until.has_value(), "--until"},
                                        {request.AllNames, "--all-names"}})
        if (given)
            return wrong("option '" + std::string(option) +
                         "' needs --players, --player, --vs or --matches");
    if (inputs.empty()) return wrong("no game file or folder given");

    // The report only reads: it never writes over a folder or over a file it reads.
    if (output && IsDirectory(*output)) {
        Complain(err, *output, "is a folder");
        return 2;
    }

    int status = 0;
    bool readsOutput = false;
    std::vector<TReportGame> games;
    auto report = [&](const std::string& path) {
        if (output && SameFile(path, *output)) {
            Complain(err, *output, "is one of the game files read; nothing was written");
            readsOutput = true;
            return;
        }
        try {
            games.push_back(ReportGame(ReadGameFileReadOnly(path), path));
            games.back().Modified = ModificationTime(path);
        } catch (const EBrennixError& error) {
            Complain(err, path, error.what());
            status = 1;
        }
    };
    for (const std::string& input : inputs) {
        if (!IsDirectory(input)) {
            report(input);
            continue;
        }
        try {
            const std::vector<std::string> paths = GameFilesIn(input);
            if (paths.empty()) {
                Complain(err, input, "no game files (*.bx3) in this folder");
                status = 1;
            }
            for (const std::string& path : paths)
                report(path);
        } catch (const EBrennixError& error) {
            Complain(err, input, error.what());
            status = 1;
        }
    }

    if (readsOutput) return 2;
    // A run that reported nothing leaves an earlier report in place.
    if (output && games.empty()) return status;
    return Deliver(FormatReport(format, games, csvStyle.value_or(TCsvStyle::Rfc)), output, out, err,
                   status);
}

} // namespace brennix::report
