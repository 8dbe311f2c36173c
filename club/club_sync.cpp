#include "club_sync.h"

#include "club_schema.h"
#include "engine/background_thread.h"
#include "engine/errors.h"
#include "engine/text_forms.h"
#include "history/statistics.h"
#include "pg.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <libpq-fe.h>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace brennix::club {

namespace {

std::string Trimmed(std::string text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    size_t first = 0;
    while (first < text.size() && blank(text[first]))
        ++first;
    return text.substr(first);
}

// A PostgreSQL array literal of the values, each quoted, NULL for none: {"1","a \"b\"",NULL}.
std::string ArrayText(const std::vector<TParam>& values) {
    std::string text = "{";
    for (const TParam& value : values) {
        if (text.size() > 1) text += ',';
        if (!value) {
            text += "NULL";
            continue;
        }
        text += '"';
        for (const char c : *value) {
            if (c == '"' || c == '\\') text += '\\';
            text += c;
        }
        text += '"';
    }
    return text + "}";
}

// "1 match waiting", "3 matches refused".
std::string Matches(size_t count, const std::string& what) {
    return std::to_string(count) + (count == 1 ? " match " : " matches ") + what;
}

// A refusal for its data (a value the club's column cannot take, a broken constraint) rather
// than a server in trouble.
bool DataRefused(const EStatementError& error) {
    return error.State().starts_with("22") || error.State().starts_with("23");
}

std::string HostName() {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return host;
}

// A run of the program, told from another run of the same board: 16 random hexadecimal digits.
std::string RunToken() {
    std::random_device random;
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", random(), random());
    return text;
}

// A board counts as running while its row was written within this time (it writes it at least
// every ten seconds) and its run did not end cleanly.
constexpr int ClaimSeconds = 25;

// The boards of the club's first layout, before boards were known by their history.
std::string Named(const std::string& name) {
    return "named " + name;
}

} // namespace

std::optional<TClubPlace> FindClub(const TRunOptions& options, const std::string& baseDir,
                                   std::string& refusal) {
    refusal.clear();
    if (options.NoHistory) return std::nullopt;
    std::optional<std::string> url = options.Club, board = options.Board;
    const std::string conf = baseDir + "club.conf";
    struct stat info {};
    if (url) {
        // Read as libpq reads it: "user:password@" in a URI, "password=" in either form.
        PQconninfoOption* const parts = PQconninfoParse(url->c_str(), nullptr);
        for (const PQconninfoOption* part = parts; part && part->keyword; ++part)
            if (part->keyword == std::string("password") && part->val && *part->val)
                refusal = "The club's password is not taken from the command line, where every "
                          "user of this computer can read it: this board plays on locally. Put "
                          "the password in ~/.pgpass, or the club's address with it in the first "
                          "line of " +
                          conf + " readable by you only (chmod 600 " + conf + ").";
        PQconninfoFree(parts);
    } else if (::stat(conf.c_str(), &info) == 0 && (info.st_mode & 077) != 0) {
        refusal = "club.conf can be read by other users: this board plays on locally until it is "
                  "readable by you only (chmod 600 " +
                  conf + "), as it may hold the password.";
    } else {
        std::ifstream file(conf);
        std::string line;
        if (file && std::getline(file, line)) url = line;
    }
    if (!refusal.empty() || !url || Trimmed(*url).empty()) return std::nullopt;
    if (!board || Trimmed(*board).empty()) board = HostName();
    return TClubPlace{Trimmed(*url), Trimmed(*board)};
}

namespace {

// The long note, with the reasons (the server's, the history's) or without them.
std::string Described(const TSyncStatus& status, bool reasons) {
    const std::string board = " (board " + status.Board + ")";
    std::string note = "Club: ";
    if (!status.NameTakenBy.empty())
        return note + "the name " + status.Board + " is taken by the board on " +
               status.NameTakenBy +
               "; this board plays on locally until the name is free or it is started with "
               "another /board=NAME";
    const bool inStep = status.Known && status.Waiting == 0 && status.Reached;
    if (inStep)
        note += "in step" + board;
    else if (status.Known)
        note += Matches(static_cast<size_t>(status.Waiting), "waiting") + board;
    else
        note += (status.Reason.empty() ? "connecting" : "not reached yet") + board;
    if (!inStep && !status.Reason.empty() && reasons)
        note += (status.HistoryProblem ? "; " : "; the server cannot be reached: ") + status.Reason;
    else if (!inStep && !status.Reason.empty())
        note += status.HistoryProblem ? "; the match history cannot be read"
                                      : "; the club server cannot be reached";
    const std::string match = "match " + std::to_string(status.RefusedMatch);
    const std::string why = reasons ? ": " + status.RefusedReason : "";
    if (status.Refused == 1) note += "; " + match + " refused" + why;
    if (status.Refused > 1)
        note += "; " + Matches(static_cast<size_t>(status.Refused), "refused") + ", " + match + why;
    return note;
}

} // namespace

std::string NoteOf(const TSyncStatus& status) {
    return Described(status, true);
}

std::string PublicNoteOf(const TSyncStatus& status) {
    return Described(status, false);
}

std::string CheckedState(const std::string& text, const TBoardLimits& limits, std::string& broken) {
    if (text.size() > static_cast<size_t>(limits.StateBytes)) {
        broken = "state of " + std::to_string(text.size()) + " bytes";
        return "";
    }
    // Depth and values counted over the text (outside strings) before anything is built of it.
    int depth = 0, values = 0;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') inString = true;
        if (c == '[' || c == '{') ++depth;
        if (c == ']' || c == '}') --depth;
        if (c == '[' || c == '{' || c == ',' || c == ':') ++values;
        if (depth > limits.Depth) {
            broken = "state nested deeper than " + std::to_string(limits.Depth);
            return "";
        }
        if (values > limits.Values) {
            broken = "state of more than " + std::to_string(limits.Values) + " values";
            return "";
        }
    }
    const nlohmann::ordered_json state = nlohmann::ordered_json::parse(text, nullptr, false);
    if (!state.is_object()) {
        broken = "state that is not a JSON object";
        return "";
    }
    return state.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

TStatusNote StatusNoteOf(const TSyncStatus& status) {
    if (!status.NameTakenBy.empty())
        return {"Club: the name " + status.Board + " is taken by the board on " +
                    status.NameTakenBy,
                true};
    const bool away = !status.Reached && !status.Reason.empty() && !status.HistoryProblem;
    const std::string waiting = Matches(static_cast<size_t>(status.Waiting), "waiting");
    TStatusNote note{"Club: ", away || status.HistoryProblem || status.Refused > 0};
    if (away) {
        note.Text += "server away";
        if (status.AwaySince) {
            const std::time_t seconds = std::chrono::system_clock::to_time_t(*status.AwaySince);
            std::tm parts{};
            ::localtime_r(&seconds, &parts);
            char clock[8];
            std::strftime(clock, sizeof clock, "%H:%M", &parts);
            note.Text += std::string(" since ") + clock;
        }
        if (status.Known && status.Waiting > 0) note.Text += ", " + waiting;
        note.Text += ": " + status.Reason;
    } else if (status.HistoryProblem)
        note.Text += status.Reason;
    else if (!status.Known)
        note.Text += "connecting…";
    else
        note.Text += status.Waiting > 0 ? waiting : "in step";
    if (status.Refused == 1)
        note.Text += "; match " + std::to_string(status.RefusedMatch) + " refused";
    if (status.Refused > 1)
        note.Text += "; " + Matches(static_cast<size_t>(status.Refused), "refused");
    return note;
}

// One match in one transaction: its row where the club's is older (nothing for a stale resend),
// then its players, legs and visits replaced by the history's, read in one snapshot, and the
// players' summary rows worked out from them.
int64_t PushMatch(TConnection& db, const std::string& board, THistoryChanges& history,
                  int64_t match, bool replace) {
    const std::optional<THistoryMatch> read = history.Match(match);
    if (!read) return 0;
    const THistoryMatch& m = *read;
    const TParam id = std::to_string(match);
    std::vector<TParam> head = {board, id, std::to_string(m.Revision)};
    head.insert(head.end(), {m.StartedAt, m.EndedAt, m.GameType, m.Game, m.MatchFormat, m.Format,
                             m.Starter, m.Resumed, m.EndReason, m.Winner});
    head.push_back(replace ? "true" : "false");
    std::vector<std::vector<TParam>> players, legs, visits;
    // The players with the key that makes two names one player.
    for (const THistoryMatch::TPlayer& p : m.Players)
        players.push_back({p.Player, p.Name, NameKey(p.Name.value_or("")), p.Sets, p.Legs});
    for (const THistoryMatch::TLeg& l : m.Legs)
        legs.push_back({l.Id, l.SetNo, l.LegNo, l.Starter, l.Winner, l.WinnerDarts});
    for (const THistoryMatch::TVisit& v : m.Visits)
        visits.push_back(
            {v.Id, v.LegId, v.Player, v.Score, v.Darts, v.RemainingBefore, v.WonLeg, v.At});
    // The columns of rows as arrays, one parameter each.
    const auto columns = [](const std::vector<std::vector<TParam>>& rows, size_t count,
                            std::vector<TParam>& params) {
        for (size_t c = 0; c < count; ++c) {
            std::vector<TParam> column;
            for (const std::vector<TParam>& row : rows)
                column.push_back(row[c]);
            params.push_back(ArrayText(column));
        }
    };
    InTransaction(db, [&] {
        const TResult newer = db.Run(
            "INSERT INTO brennix.matches AS m (board, match_id, revision, started_at, ended_at, "
            "game_type, game, match_format, format, starter, resumed, end_reason, winner) VALUES "
            "($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13) ON CONFLICT (board, "
            "match_id) DO UPDATE SET revision = EXCLUDED.revision, started_at = "
            "EXCLUDED.started_at, ended_at = EXCLUDED.ended_at, game_type = EXCLUDED.game_type, "
            "game = EXCLUDED.game, match_format = EXCLUDED.match_format, format = "
            "EXCLUDED.format, starter = EXCLUDED.starter, resumed = EXCLUDED.resumed, end_reason "
            "= EXCLUDED.end_reason, winner = EXCLUDED.winner WHERE m.revision < "
            "EXCLUDED.revision OR $14 RETURNING 1",
            head);
        if (newer.Rows() == 0) return;
        db.Run("WITH p AS (DELETE FROM brennix.match_players WHERE board = $1 AND match_id = "
               "$2), l AS (DELETE FROM brennix.legs WHERE board = $1 AND match_id = $2) DELETE "
               "FROM brennix.visits WHERE board = $1 AND match_id = $2",
               {TParam(board), id});
        std::vector<TParam> params = {TParam(board), id};
        columns(players, 5, params);
        if (!players.empty())
            db.Run("INSERT INTO brennix.match_players SELECT $1, $2, * FROM unnest($3::int[], "
                   "$4::text[], $5::text[], $6::int[], $7::int[])",
                   params);
        params = {TParam(board), id};
        columns(legs, 6, params);
        if (!legs.empty())
            db.Run("INSERT INTO brennix.legs SELECT $1, $2, * FROM unnest($3::bigint[], "
                   "$4::int[], $5::int[], $6::int[], $7::int[], $8::int[])",
                   params);
        params = {TParam(board), id};
        columns(visits, 8, params);
        if (!visits.empty())
            db.Run("INSERT INTO brennix.visits SELECT $1, $2, * FROM unnest($3::bigint[], "
                   "$4::bigint[], $5::int[], $6::int[], $7::int[], $8::int[], $9::boolean[], "
                   "$10::timestamp[])",
                   params);
        // The players' summary rows went with their old rows: made anew from the new ones.
        WriteFigures(db, board, match);
    });
    return m.Revision;
}

TClubSync::TClubSync(TClubPlace place, std::string historyPath, TChanged changed)
    : TClubSync(std::move(place), std::move(historyPath), std::move(changed), TOptions()) {}

TClubSync::TClubSync(TClubPlace place, std::string historyPath, TChanged changed, TOptions options)
    : place_(std::move(place)), historyPath_(std::move(historyPath)), changed_(std::move(changed)),
      options_(options), run_(RunToken()), host_(HostName()) {
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) throw EBrennixError("no pipe for the club's worker");
    status_.Board = place_.Board;
    worker_ = std::thread([this] {
        RunInBackground();
        Run();
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
    });
}

TClubSync::~TClubSync() {
    {
        std::unique_lock lock(mutex_);
        if (options_.FinishWait > std::chrono::milliseconds(0)) {
            finishing_ = true;
            wake_.notify_all();
            wake_.wait_for(lock, options_.FinishWait, [this] { return done_; });
        }
        stopping_ = true;
    }
    wake_.notify_all();
    [[maybe_unused]] const auto written = ::write(stopPipe_[1], "x", 1);
    worker_.join();
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void TClubSync::SetState(std::string json) {
    {
        const std::lock_guard lock(mutex_);
        state_ = std::move(json);
        ++stateNumber_;
        woken_ = true;
    }
    wake_.notify_one();
}

void TClubSync::WatchBoards(bool on) {
    const std::lock_guard lock(mutex_);
    watch_ = on;
}

TSyncStatus TClubSync::Status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

std::vector<TClubBoard> TClubSync::Boards() const {
    const std::lock_guard lock(mutex_);
    // Aged by the time since they were read: while the server is away the boards go away too.
    const double since =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - boardsReadAt_).count();
    std::vector<TClubBoard> boards = boards_;
    for (TClubBoard& board : boards)
        board.SecondsAgo += since;
    return boards;
}

bool TClubSync::Pause(std::chrono::milliseconds time, bool wakeable) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, time, [&] { return stopping_ || finishing_ || (wakeable && woken_); });
    woken_ = false;
    return !stopping_;
}

void TClubSync::Publish(std::string reason, bool historyProblem) {
    TSyncStatus status;
    {
        const std::lock_guard lock(mutex_);
        TSyncStatus& s = status_;
        const std::string before = NoteOf(s), shortBefore = StatusNoteOf(s).Text;
        s.Reached = db_ != nullptr;
        s.NameTakenBy = db_ && !claimed_ ? takenBy_ : "";
        if (s.Reached || reason.empty() || historyProblem)
            s.AwaySince.reset();
        else if (!s.AwaySince)
            s.AwaySince = std::chrono::system_clock::now();
        s.Known = known_;
        s.Waiting = static_cast<int64_t>(pending_.size());
        if (pending_.empty() && db_) s.InStepUpTo = mark_;
        s.Reason = std::move(reason);
        s.HistoryProblem = historyProblem;
        s.Refused = static_cast<int64_t>(refused_.size());
        s.RefusedMatch = refused_.empty() ? 0 : refused_.begin()->first;
        s.RefusedReason = refused_.empty() ? "" : refused_.begin()->second.Reason;
        if (told_ && NoteOf(s) == before && StatusNoteOf(s).Text == shortBefore) return;
        told_ = true;
        status = s;
    }
    if (changed_) changed_(status);
}

bool TClubSync::Finishing() const {
    const std::lock_guard lock(mutex_);
    return finishing_;
}

void TClubSync::Run() {
    auto backoff = options_.FirstBackoff;
    int finalFailures = 0;
    Publish("", false);
    for (;;) {
        // A pass begun once the finish was asked for sees the history's last changes: it is the
        // last one.
        const bool last = Finishing();
        try {
            if (!local_) local_ = std::make_unique<THistoryChanges>(historyPath_);
            Look();
            if (!db_) Connect();
            if (!claimed_) {
                if (!Claim()) {
                    // Asked again until the other board is gone; nothing of this one is sent.
                    Publish("", false);
                    if (last || !Pause(options_.Poll * 4, false)) return;
                    continue;
                }
                Compare();
            }
            if (std::chrono::steady_clock::now() - comparedAt_ >= options_.Recount) Compare();
            Beat();
            // The oldest change first; the newest state between two matches.
            std::vector<std::pair<int64_t, int64_t>> order; // revision, match
            for (const auto& [match, revision] : pending_)
                order.emplace_back(revision, match);
            std::sort(order.begin(), order.end());
            for (const auto& [revision, match] : order) {
                Push(match);
                Publish("", false);
                Beat();
                {
                    const std::lock_guard lock(mutex_);
                    if (stopping_) return;
                }
            }
            Publish("", false);
            lostInRow_ = 0;
            backoff = options_.FirstBackoff;
            if (last) {
                Leave();
                return;
            }
            ReadBoards();
            if (!Pause(options_.Poll, true)) return;
        } catch (const EHistoryReadError& error) {
            // The history's own problem was told when it was opened; the note says it.
            local_.reset();
            Publish(error.what(), true);
            if (Finishing() || !Pause(backoff, false)) return;
            backoff = std::min(backoff * 2, options_.LastBackoff);
        } catch (const EBrennixError& error) {
            {
                const std::lock_guard lock(mutex_);
                if (stopping_) return;
            }
            // While finishing, a failure gets one more try at once (the connection may have gone
            // stale).
            if (Finishing() && ++finalFailures > 1) return;
            // A connection lost once is made again after the shortest pause, unsaid; a server
            // that cannot be reached, or loses every connection before a pass is through (a
            // statement that always runs out of time), is tried after longer and longer pauses,
            // the note saying why. The connection is closed before the next one is made.
            const bool unsaid = db_ != nullptr && lostInRow_++ == 0;
            db_.reset();
            {
                const std::lock_guard lock(mutex_);
                ++status_.Failures;
            }
            if (!unsaid) Publish(OneLine(error.what()), false);
            if (!Pause(backoff, false)) return;
            backoff = std::min(backoff * 2, options_.LastBackoff);
        }
    }
}

void TClubSync::Connect() {
    auto db = std::make_unique<TConnection>(place_.Url, TWaits{options_.WaitSeconds, stopPipe_[0]});
    EnsureClubSchema(*db);
    if (secret_.empty()) {
        const std::optional<std::string> identity = local_->Identity();
        if (!identity) throw EHistoryReadError("the match history has no identity yet");
        secret_ = *identity;
    }
    // The session holds the identity, which lets it write this board's rows; the club knows the
    // board by the identity's digest.
    key_ =
        db->Run("SELECT brennix.board_key($1), set_config('brennix.secret', $1, false)", {secret_})
            .Text(0, 0);
    db_ = std::move(db);
    claimed_ = false;
    {
        const std::lock_guard lock(mutex_);
        status_.Failures = 0;
    }
    beatAt_ = {}; // the board's row at once after an absence
}

// Takes the board's name for this run, unless another running board holds it or this board's
// history runs on another machine (a copied data folder): then false, and nothing of this board
// is written. A run of the same history on the same machine is this board started again (one
// program per data folder on a machine). One board at a time claims, so two starting together
// cannot both get a name.
bool TClubSync::Claim() {
    takenBy_.clear();
    InTransaction(*db_, [&] {
        db_->Script("SELECT pg_advisory_xact_lock(7352292)");
        const TResult other = db_->Run(
            "SELECT host FROM brennix.boards WHERE run <> '' AND seen_at > now() - "
            "make_interval(secs => $4) AND ((name = $2 AND board <> $1) OR (board = $1 AND run "
            "<> $3 AND host <> $5)) ORDER BY seen_at DESC LIMIT 1",
            {key_, place_.Board, run_, std::to_string(ClaimSeconds), host_});
        if (other.Rows() > 0) {
            takenBy_ = other.Text(0, 0).empty() ? "another machine" : other.Text(0, 0);
            return;
        }
        Adopt();
        db_->Run("INSERT INTO brennix.boards (board, name, host, run, seen_at, sync_note) VALUES "
                 "($1, $2, $3, $4, now(), '') ON CONFLICT (board) DO UPDATE SET name = "
                 "EXCLUDED.name, host = EXCLUDED.host, run = EXCLUDED.run, seen_at = now()",
                 {key_, place_.Board, host_, run_});
    });
    claimed_ = takenBy_.empty();
    return claimed_;
}

// The matches a board of this name copied before boards were known by their history become this
// board's when they are its history's: the first of them has the same number and start here. A
// board that has copied matches of its own keeps them apart.
void TClubSync::Adopt() {
    const TResult named = db_->Run(
        "SELECT match_id, to_char(started_at, 'YYYY-MM-DD HH24:MI:SS') FROM brennix.matches "
        "WHERE board = $1 ORDER BY match_id LIMIT 1",
        {Named(place_.Board)});
    if (named.Rows() == 0) return;
    if (db_->Run("SELECT 1 FROM brennix.matches WHERE board = $1 LIMIT 1", {key_}).Rows() > 0)
        return;
    const std::optional<THistoryMatch> first = local_->Match(named.Int(0, 0));
    if (!first || first->StartedAt != named.Text(0, 1)) return;
    db_->Run("UPDATE brennix.matches SET board = $1 WHERE board = $2", {key_, Named(place_.Board)});
    db_->Run("DELETE FROM brennix.boards WHERE board = $1", {Named(place_.Board)});
}

// A clean end frees the name at once.
void TClubSync::Leave() {
    if (!claimed_) return;
    db_->Run("UPDATE brennix.boards SET run = '' WHERE board = $1 AND run = $2", {key_, run_});
}

// The club's copy of this board's matches against the history: every match the club does not
// hold as it is now is pending. A match whose revision or number of rows (players, legs and
// visits) differs from the history's was changed in the club behind the board's back, or lost
// rows: it is sent again whole, whatever revision the club claims for it.
void TClubSync::Compare() {
    const TResult club = db_->Run(
        "SELECT m.match_id, m.revision, (SELECT count(*) FROM brennix.match_players p WHERE "
        "p.board = m.board AND p.match_id = m.match_id) + (SELECT count(*) FROM brennix.legs l "
        "WHERE l.board = m.board AND l.match_id = m.match_id) + (SELECT count(*) FROM "
        "brennix.visits v WHERE v.board = m.board AND v.match_id = m.match_id) FROM "
        "brennix.matches m WHERE m.board = $1",
        {key_});
    std::map<int64_t, std::pair<int64_t, int64_t>> held; // match -> revision, rows
    for (int row = 0; row < club.Rows(); ++row)
        held[club.Int(row, 0)] = {club.Int(row, 1), club.Int(row, 2)};
    const std::map<int64_t, int64_t> rows = local_->RowCounts();
    pending_.clear();
    replace_.clear();
    for (const auto& [id, revision] : local_->Revisions(std::numeric_limits<int64_t>::min())) {
        mark_ = std::max(mark_, revision);
        const auto found = held.find(id);
        const auto refused = refused_.find(id);
        if (refused != refused_.end() && refused->second.Revision == revision) continue;
        const auto count = rows.find(id);
        const int64_t own = count == rows.end() ? 0 : count->second;
        if (found == held.end() || found->second.first < revision) {
            pending_[id] = revision;
        } else if (found->second != std::pair(revision, own)) {
            pending_[id] = revision;
            replace_.insert(id);
        }
    }
    known_ = true;
    comparedAt_ = std::chrono::steady_clock::now();
}

// The matches changed since the history was last looked at; a refused one is tried again.
void TClubSync::Look() {
    for (const auto& [id, revision] : local_->Revisions(mark_)) {
        mark_ = std::max(mark_, revision);
        refused_.erase(id);
        if (known_) pending_[id] = revision;
    }
}

// A match the club refuses for its data is set aside with the reason, and the next goes on; any
// other failure is the server's.
void TClubSync::Push(int64_t match) {
    int64_t revision = 0;
    try {
        revision = PushMatch(*db_, key_, *local_, match, replace_.contains(match));
    } catch (const EStatementError& error) {
        if (db_->Broken() || !DataRefused(error)) throw;
        refused_[match] = {pending_[match], OneLine(error.Message())};
        pending_.erase(match);
        return;
    }
    const auto found = pending_.find(match);
    if (found != pending_.end() && found->second <= revision) {
        pending_.erase(found);
        replace_.erase(match);
    }
}

// The board's row: when it was seen, its newest state and how far its copy is. Written when the
// state or the note changed, and at least once per Heartbeat.
void TClubSync::Beat() {
    std::optional<std::string> state;
    uint64_t number = 0;
    {
        const std::lock_guard lock(mutex_);
        state = state_;
        number = stateNumber_;
    }
    std::string note = pending_.empty() ? "" : Matches(pending_.size(), "waiting");
    if (!refused_.empty()) note += (note.empty() ? "" : "; ") + Matches(refused_.size(), "refused");
    const auto now = std::chrono::steady_clock::now();
    // While catching up, the count is written once a second at most.
    const bool noteDue = note != beatNote_ && (note.empty() || beatNote_.empty() ||
                                               now - beatAt_ >= std::chrono::seconds(1));
    if (number == beatNumber_ && !noteDue && now - beatAt_ < options_.Heartbeat &&
        beatAt_ != std::chrono::steady_clock::time_point())
        return;
    const std::string sql =
        "INSERT INTO brennix.boards (board, name, host, run, seen_at, state, sync_note) VALUES "
        "($1, $2, $3, $4, now(), $5::jsonb, $6) ON CONFLICT (board) DO UPDATE SET name = "
        "EXCLUDED.name, host = EXCLUDED.host, run = EXCLUDED.run, seen_at = now(), state = "
        "EXCLUDED.state, sync_note = EXCLUDED.sync_note";
    try {
        db_->Run(sql, {key_, place_.Board, host_, run_, state, note});
    } catch (const EBrennixError&) {
        // A state the server refuses (not JSON to it) must not hold up the copy: none instead.
        if (db_->Broken()) throw;
        db_->Run(sql, {key_, place_.Board, host_, run_, std::nullopt, note});
    }
    beatNumber_ = number;
    beatNote_ = note;
    beatAt_ = now;
}

void TClubSync::ReadBoards() {
    {
        const std::lock_guard lock(mutex_);
        if (!watch_) return;
    }
    // The seconds as a float (infinite and NaN stay numbers, and a time far off in either
    // direction breaks no subtraction), a state only within its size, texts cut.
    const TBoardLimits& limits = options_.Limits;
    const TResult rows = db_->Run(
        "SELECT left(name, $3), board = $1, extract(epoch FROM now())::float8 - extract(epoch "
        "FROM seen_at)::float8, CASE WHEN octet_length(state::text) <= $2 THEN state::text END, "
        "octet_length(state::text), left(sync_note, $3) FROM brennix.boards WHERE seen_at > "
        "now() - interval '10 minutes' ORDER BY least(seen_at, now()) DESC, name, board LIMIT $4",
        {key_, std::to_string(limits.StateBytes), std::to_string(limits.TextBytes),
         std::to_string(limits.Rows)});
    std::vector<TClubBoard> boards;
    for (int row = 0; row < rows.Rows(); ++row) {
        TClubBoard board{rows.Text(row, 0),
                         std::strtod(rows.Text(row, 2).c_str(), nullptr),
                         "",
                         rows.Text(row, 5),
                         rows.Text(row, 1) == "t",
                         ""};
        if (!std::isfinite(board.SecondsAgo)) board.SecondsAgo = HUGE_VAL; // NaN, infinite
        board.SecondsAgo = std::max(0.0, board.SecondsAgo);                // ahead of the clock
        if (rows.IsNull(row, 3) && !rows.IsNull(row, 4))
            board.Broken = "state of " + rows.Text(row, 4) + " bytes";
        else if (!rows.IsNull(row, 3))
            board.State = CheckedState(rows.Text(row, 3), limits, board.Broken);
        boards.push_back(std::move(board));
    }
    std::stable_sort(boards.begin(), boards.end(),
                     [](const TClubBoard& a, const TClubBoard& b) { return a.Board < b.Board; });
    const std::lock_guard lock(mutex_);
    boards_ = std::move(boards);
    boardsReadAt_ = std::chrono::steady_clock::now();
}

} // namespace brennix::club
