// The club's sync, timed against a PostgreSQL 15 server of its own (as the tests start one):
//
//   - throughput: a copy of the 10,000-match history that bench/history_bench makes
//     (build/bench/history-10000.sqlite) pushed to an empty club by the worker, from its start
//     to "in step", in visits per second;
//   - catch-up after a one-hour outage of a busy board: the club in step, the server stopped,
//     --changed matches changed in the history meanwhile (a busy board finishes a match every
//     few minutes), the server started again and a worker started: the time to "in step". A
//     worker that was running all along adds the wait for its next try, at most 60 s after an
//     hour of failures;
//   - Enter in the scoreboard with the history on, first in no club, then in the club with the
//     server up, up with hostile rows in its boards table (50,000 of them, a state of 1.3 MB, one
//     nested 1,000 deep, times ten years ahead and infinite; the hall watched, its JSON made
//     twice a second as the window makes it, and timed), down (stopped) and hung (frozen), beside a bare window's label change and
//     repaint, the yardstick of ui_bench (Enter within 5 times it). Enter is timed from the key
//     event until its handling has returned (booking, history, redraw, the board's JSON handed
//     to the worker).
//
//   sync_bench [--rounds N] [--changed N]
//
// Files go to a temporary folder; the history in the build folder is only read.
#include "club/club_sync.h"
#include "club/pg.h"
#include "club/window/club_hall.h"
#include "club/window/club_window.h"
#include "engine/state.h"
#include "history/history_store.h"
#include "storage/paths.h"
#include "storage/settings_file.h"
#include "tests/club/test_postgres.h"
#include "ui/form1.h"
#include "ui/form5.h"
#include "ui/forms.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sqlite3.h>
#include <thread>

namespace {

using namespace brennix;
using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "sync_bench: %s\n", what.c_str());
    std::exit(1);
}

int NumberArgument(int argc, char* argv[], const char* option, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], option) == 0) return std::atoi(argv[i + 1]);
    return fallback;
}

int64_t One(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* statement = nullptr;
    int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

// Seconds until the worker holds every revision of the history in the club.
double UntilInStep(club::TClubSync& sync, const std::string& path, Clock::time_point from) {
    const int64_t newest = One(path, "SELECT MAX(revision) FROM matches");
    for (;;) {
        const club::TSyncStatus status = sync.Status();
        if (status.Reached && status.Known && status.Waiting == 0 && status.InStepUpTo >= newest)
            return std::chrono::duration<double>(Clock::now() - from).count();
        if (std::chrono::duration<double>(Clock::now() - from).count() > 3600)
            Fail("the club did not get in step within an hour");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

club::TClubSync::TOptions Options() {
    club::TClubSync::TOptions options;
    options.Poll = std::chrono::milliseconds(50);
    return options;
}

void MeasureThroughput(test::TTestPostgres& server, const std::string& folder, int changed) {
    const std::string source = BRENNIX_BENCH_DIR "/history-10000.sqlite";
    if (!std::filesystem::exists(source))
        Fail(source + " is missing: run build/bench/history_bench first");
    const std::string path = folder + "/history.sqlite";
    std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
    // The history of an older layout is brought to this one as the program does on start.
    {
        THistoryStore(path, [](const std::string& text) { Fail(text); });
    }
    const int64_t matches = One(path, "SELECT COUNT(*) FROM matches");
    const int64_t visits = One(path, "SELECT COUNT(*) FROM visits");
    const club::TClubPlace place{server.Url(), "bench"};
    {
        const auto from = Clock::now();
        club::TClubSync sync(place, path, nullptr, Options());
        const double seconds = UntilInStep(sync, path, from);
        std::printf("throughput: %lld matches, %lld visits pushed to an empty club in %.2f s: "
                    "%.0f visits/s, %.0f matches/s\n",
                    static_cast<long long>(matches), static_cast<long long>(visits), seconds,
                    static_cast<double>(visits) / seconds, static_cast<double>(matches) / seconds);
    }
    {
        const auto from = Clock::now();
        club::TClubSync sync(place, path, nullptr, Options());
        std::printf("start with the club in step (compare only): %.3f s\n",
                    UntilInStep(sync, path, from));
    }
    // An hour away: the newest matches changed meanwhile, each given the next revision.
    server.Stop();
    {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        const std::string sql =
            "UPDATE matches SET revision = revision + (SELECT MAX(revision) FROM matches) WHERE "
            "id > (SELECT MAX(id) FROM matches) - " +
            std::to_string(changed);
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    const int64_t changedVisits =
        One(path, ("SELECT COUNT(*) FROM visits WHERE match_id > (SELECT MAX(id) FROM matches) - " +
                   std::to_string(changed))
                      .c_str());
    server.Start();
    const auto from = Clock::now();
    club::TClubSync sync(place, path, nullptr, Options());
    std::printf("catch-up after an outage: %d matches (%lld visits) changed, in step %.3f s after "
                "the worker's first try (a worker running all along tries again within 60 s)\n",
                changed, static_cast<long long>(changedVisits), UntilInStep(sync, path, from));
}

// Samples of one measurement, in microseconds.
struct TSeries {
    std::string name;
    std::vector<double> micros;
    void Add(Clock::time_point from, Clock::time_point to) {
        micros.push_back(std::chrono::duration<double, std::micro>(to - from).count());
    }
    double Percentile(double share) const {
        std::vector<double> values = micros;
        std::sort(values.begin(), values.end());
        return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5)];
    }
};

void MeasureEnter(test::TTestPostgres& server, const QString& folder, int rounds) {
    SetBaseDir(folder.toStdString());
    Settings = FirstRunSettings();
    Settings.PlayerCount = 2;
    SaveSettings();
    std::unique_ptr<THistoryStore> history =
        StartHistory({}, [](const std::string& text) { Fail(text); });
    CreateForms({});
    TForm1& form1 = *Form1;
    TForm5& form5 = *Form5;
    // Every warning box (the club's among them) is answered at once.
    QTimer answer;
    answer.setInterval(1);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == &form5)
            form5.Button1->click();
        else if (auto* box = qobject_cast<QMessageBox*>(modal))
            box->accept();
    });
    answer.start();
    std::shared_ptr<club::TClubSync> club;
    TBoardFeed feed; // the board after each redraw, for the club as the program hands it over
    form1.AddBoardObserver([&feed](const TBoardView& view) { feed.Redrawn(view); });
    form1.show();
    QElapsedTimer wait;
    wait.start();
    while (ActivePlayer != 0 || !form1.isVisible() || wait.elapsed() < 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);

    QMainWindow bare;
    auto* board = new QWidget(&bare);
    board->setFixedSize(TForm1::ClientWidth, TForm1::ClientHeight);
    bare.setCentralWidget(board);
    auto* label = new QLabel(QStringLiteral("501"), board);
    bare.show();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);

    TSeries bareSeries{"Bare window: label setText + repaint()", {}};
    std::vector<TSeries> phases;
    // The hall as the window makes it twice a second from the boards the worker read, timed.
    TSeries hallSeries{"The hall's JSON from hostile rows (window's part)", {}};
    QTimer hall;
    hall.setInterval(500);
    QObject::connect(&hall, &QTimer::timeout, [&] {
        const auto from = Clock::now();
        HallJson(club->Boards(), club->Status(), "{}", std::chrono::system_clock::now());
        hallSeries.Add(from, Clock::now());
    });
    for (const char* phase : {"off", "up", "hostile", "down", "hung"}) {
        if (std::strcmp(phase, "hostile") == 0) {
            // Rows a hostile member writes: 50,000 boards, one state of 100,000 keys (1.3 MB),
            // one nested 1,000 deep, times ten years ahead and infinite.
            club::TConnection(server.Url())
                .Script("INSERT INTO brennix.boards (board, name, seen_at, state) SELECT 'h' || "
                        "i, 'hostile', now() + interval '10 years', '{}' FROM generate_series(1, "
                        "50000) i; INSERT INTO brennix.boards (board, name, seen_at, state) "
                        "VALUES ('k', 'keys', 'infinity', (SELECT jsonb_object_agg('k' || i, i) "
                        "FROM generate_series(1, 100000) i)), ('d', 'deep', now(), (repeat('[', "
                        "1000) || repeat(']', 1000))::jsonb)");
            club->WatchBoards(true);
            hall.start();
            wait.restart();
            while (club->Boards().empty()) {
                if (wait.elapsed() > 60000) Fail("the boards were not read");
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            for (int round = 0; round < rounds; ++round) {
                const auto from = Clock::now();
                HallJson(club->Boards(), club->Status(), "{}", std::chrono::system_clock::now());
                hallSeries.Add(from, Clock::now());
            }
        }
        if (std::strcmp(phase, "down") == 0) hall.stop();
        if (std::strcmp(phase, "up") == 0) {
            club = StartClub({server.Url(), "bench"}, *form1.AddStatusNote("ClubNote"));
            FeedClub(feed, club);
            wait.restart();
            while (!club->Status().Reached) {
                if (wait.elapsed() > 60000) Fail("the club was not reached");
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            }
        }
        if (std::strcmp(phase, "down") == 0) server.Stop();
        if (std::strcmp(phase, "hung") == 0) {
            server.Start();
            // In step again, then frozen.
            wait.restart();
            while (club->Status().Waiting != 0 || !club->Status().Reached) {
                if (wait.elapsed() > 120000) Fail("the club did not come back");
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            server.Freeze(true);
        }
        TSeries& series = phases.emplace_back();
        series.name = club ? std::string("Club server ") + phase + ": Enter in Edit33 -> return"
                           : std::string("No club: Enter in Edit33 -> return");
        if (std::strcmp(phase, "hostile") == 0)
            series.name = "Club with hostile rows: Enter in Edit33 -> return";
        for (int round = 0; round < rounds + 20; ++round) {
            form1.Edit33->setText(QStringLiteral("60"));
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
            const auto from = Clock::now();
            QApplication::sendEvent(form1.Edit33, &press);
            const auto to = Clock::now();
            if (ActivePlayer != 1) Fail("Enter did not book the visit");
            if (round >= 20) series.Add(from, to);
            QApplication::processEvents();
            form1.Button2->click();
            if (ActivePlayer != 0) Fail("Undo did not take the visit back");
            QApplication::processEvents();
            const auto bareFrom = Clock::now();
            label->setText(round % 2 ? QStringLiteral("501") : QStringLiteral("441"));
            bare.repaint();
            if (round >= 20) bareSeries.Add(bareFrom, Clock::now());
            QApplication::processEvents();
        }
        if (club) std::printf("%s: note \"%s\"\n", phase, club->Note().c_str());
    }
    const auto stopFrom = Clock::now();
    club.reset();
    const double stopMillis =
        std::chrono::duration<double, std::milli>(Clock::now() - stopFrom).count();
    server.Freeze(false);
    answer.stop();
    std::printf("%-52s %9s %9s %9s\n", "times in microseconds", "median", "p90", "max");
    phases.push_back(hallSeries);
    phases.push_back(bareSeries);
    for (const TSeries& s : phases)
        std::printf("%-52s %9.1f %9.1f %9.1f\n", s.name.c_str(), s.Percentile(0.5),
                    s.Percentile(0.9), s.Percentile(1.0));
    const double yardstick = bareSeries.Percentile(0.5);
    for (size_t i = 0; i + 2 < phases.size(); ++i)
        std::printf("ratio: %-45s %5.2f x the bare window's label setText + repaint()\n",
                    phases[i].name.c_str(), phases[i].Percentile(0.5) / yardstick);
    std::printf("the worker stopped in %.1f ms with the server hung\n", stopMillis);
    history.reset();
    DestroyForms();
}

} // namespace

int main(int argc, char* argv[]) {
    const int rounds = NumberArgument(argc, argv, "--rounds", 300);
    const int changed = NumberArgument(argc, argv, "--changed", 20);
    if (rounds < 1 || changed < 1) Fail("usage: sync_bench [--rounds N>0] [--changed N>0]");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    SetUpApplication();
    QTemporaryDir folder;
    if (!folder.isValid()) Fail("no temporary folder");
    QDir(folder.path()).mkpath("save");
    QDir(folder.path()).mkpath("sound");
    {
        test::TTestPostgres server;
        MeasureThroughput(server, folder.path().toStdString(), changed);
    }
    QDir(folder.path()).remove("history.sqlite");
    test::TTestPostgres server;
    MeasureEnter(server, folder.path(), rounds);
    return 0;
}
