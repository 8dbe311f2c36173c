// How quickly the scoreboard answers the operator, with more and more switched on. The program is
// set up as it sets itself up (the six windows, the engine talking to TForm1, the board built
// once after each redraw for whoever shows it), and a bare main window of the same client size
// (992 x 675) is measured beside it in the same rounds.
//
// One table: Enter in the score field Edit33 (a visit of 60 typed in) until its handling has
// returned, in each of these set-ups, each taking the one before further:
//
//   - nothing on: no history;
//   - history on: the store writing history.sqlite in the temporary folder, as the program does;
//   - + live board: the live board as /live starts it (its module, its own thread) with --pages
//     pages open: clients in this process that read every push and answer every ping, spread
//     over 127.0.0.2, 127.0.0.3, ... (at most 8 pages a client address, the live board's limit);
//   - + club server up: the board in a club on a PostgreSQL 15 server of the bench's own (as the
//     tests start one), the sync fed after each redraw and the hall published, as the program
//     does it;
//   - + club server down: the server stopped;
//   - + club server hung: the server frozen, its connections open but nothing answering.
//
// Each round books the visit and takes it back with the Undo button, so every round sees the same
// position (each Enter once the history has written the round before, as it has long since
// between two visits at the board), and then changes the bare window's label and repaints it; the median of Enter is also
// given as a multiple of that label change + repaint, in the same set-up's rounds (the ratio) and
// in the rounds with nothing on (the live board's and the club's threads slow the bare window too).
//
// A second table, from the rounds with nothing on: the Undo button until its handling has
// returned, a repaint of the scoreboard without any change, the bare window's label change +
// repaint and a repaint alone; and with the live board, what it adds to a redraw alone (the
// board's JSON handed to the module).
//
// The platform is the one QT_QPA_PLATFORM names, "offscreen" when it is not set (painting then
// goes into the backing store image only; under an X server the image is also sent to the server).
//
//   ui_bench [--rounds N] [--warmup N] [--players N] [--pages N] [--no-history]
//
// With --no-history the history stays off: the set-ups after "nothing on" are taken without it
// (the live board and the club on their own).
//
// Files go to a temporary folder; the build tree and the home folder are not touched.
#include "club/window/club_hall.h"
#include "club/window/club_window.h"
#include "engine/board.h"
#include "engine/state.h"
#include "history/history_store.h"
#include "live/board_json.h"
#include "live/live_board.h"
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
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace brennix;
using Clock = std::chrono::steady_clock;

// Samples of one measurement, in microseconds.
struct TSeries {
    std::string name;
    std::vector<double> micros;

    void Add(Clock::time_point from, Clock::time_point to) {
        micros.push_back(std::chrono::duration<double, std::micro>(to - from).count());
    }
};

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[at];
}

void PrintTable(const std::vector<const TSeries*>& series) {
    std::printf("%-56s %9s %9s %9s %9s\n", "times in microseconds", "median", "min", "p90", "mean");
    for (const TSeries* s : series) {
        double sum = 0;
        for (double value : s->micros)
            sum += value;
        std::printf("%-56s %9.1f %9.1f %9.1f %9.1f\n", s->name.c_str(), Percentile(s->micros, 0.5),
                    *std::min_element(s->micros.begin(), s->micros.end()),
                    Percentile(s->micros, 0.9), sum / static_cast<double>(s->micros.size()));
    }
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "ui_bench: %s\n", what.c_str());
    std::exit(1);
}

int NumberArgument(int argc, char* argv[], const char* option, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], option) == 0) return std::atoi(argv[i + 1]);
    return fallback;
}

// Runs the event loop until `done`, failing with `what` after `ms`.
void WaitFor(const std::function<bool()>& done, int ms, const char* what) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) Fail(what);
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// A page of the live board as a browser on another machine opens it: a WebSocket client written
// by hand on its own source address, which counts the board's pushes and echoes every ping.
class TPage {
  public:
    int Pushes = 0;

    TPage(const QString& from, quint16 port) {
        QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] { Read(); });
        if (!socket_.bind(QHostAddress(from), 0))
            Fail("cannot bind a page to " + from.toStdString());
        socket_.connectToHost(QHostAddress::LocalHost, port);
        socket_.write("GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                      "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                      "Sec-WebSocket-Version: 13\r\n\r\n");
    }

  private:
    void Read() {
        data_ += socket_.readAll();
        if (!open_) {
            const qsizetype end = data_.indexOf("\r\n\r\n");
            if (end < 0) return;
            if (!data_.startsWith("HTTP/1.1 101 ")) Fail("the live board refused a page");
            data_.remove(0, end + 4);
            open_ = true;
        }
        // The server's frames are not masked; a length of 126 or 127 is followed by the length.
        for (;;) {
            if (data_.size() < 2) return;
            qsizetype length = data_[1] & 0x7F, start = 2;
            if (length >= 126) {
                start = length == 126 ? 4 : 10;
                if (data_.size() < start) return;
                length = 0;
                for (qsizetype i = 2; i < start; ++i)
                    length = (length << 8) | uchar(data_[i]);
            }
            if (data_.size() < start + length) return;
            const int code = data_[0] & 0x0F;
            // A pong with the ping's payload (under 126 bytes), masked with a key of zeros.
            if (code == 0x9)
                socket_.write(QByteArray("\x8A") + char(0x80 | length) + QByteArray(4, '\0') +
                              data_.mid(start, length));
            else if (code < 0x8 && (data_[0] & 0x80))
                ++Pushes;
            data_.remove(0, start + length);
        }
    }

    QTcpSocket socket_;
    QByteArray data_;
    bool open_ = false;
};

} // namespace

int main(int argc, char* argv[]) {
    using namespace brennix;
    const int rounds = NumberArgument(argc, argv, "--rounds", 1000);
    const int warmup = NumberArgument(argc, argv, "--warmup", 50);
    const int players = NumberArgument(argc, argv, "--players", 2);
    const int pages = NumberArgument(argc, argv, "--pages", 50);
    const bool withHistory = std::none_of(
        argv + 1, argv + argc, [](const char* a) { return !std::strcmp(a, "--no-history"); });
    if (rounds < 1 || warmup < 0 || players < 1 || players > MaxPlayers || pages < 0 || pages > 200)
        Fail("usage: ui_bench [--rounds N>0] [--warmup N>=0] [--players 1-8] [--pages 0-200] "
             "[--no-history]");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication application(argc, argv);
    SetUpApplication();

    // The program's folder: a temporary one with the settings of a first run (autosave on, whose
    // countdown is far longer than the bench) and the chosen number of players.
    QTemporaryDir folder;
    if (!folder.isValid()) Fail("no temporary folder");
    QDir(folder.path()).mkpath("save");
    QDir(folder.path()).mkpath("sound");
    SetBaseDir(folder.path().toStdString());
    Settings = FirstRunSettings();
    Settings.PlayerCount = players;
    SaveSettings();

    // The club's server, started before anything is measured.
    test::TTestPostgres server;

    // The history listens from the start, so it sees the match begin; with nothing on it is
    // taken from the observers (the visits booked then are all taken back).
    std::unique_ptr<THistoryStore> history =
        StartHistory({}, [](const std::string& text) { Fail(text); });
    if (!history || !history->Recording()) Fail("the history does not record");

    CreateForms({});
    TForm1& form1 = *Form1;
    TForm5& form5 = *Form5;
    int redraws = 0;
    TBoardFeed feed; // the board after each redraw, for the live board and the club
    form1.AddBoardObserver([&](const TBoardView& view) {
        ++redraws;
        feed.Redrawn(view);
    });

    // Start-up asks who begins (after a warning on a small screen, as the offscreen one is): Ok.
    // Any later box is answered as well.
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
    form1.show();
    WaitFor([&] { return redraws > 0 && !QApplication::activeModalWidget(); }, 20000,
            "the scoreboard did not finish its start-up");
    if (ActivePlayer != 0 || Players[0].Remaining != 501) Fail("unexpected start position");

    // The bare window: the same client size, one label.
    QMainWindow bare;
    bare.setWindowTitle(QStringLiteral("Bare Window"));
    auto* board = new QWidget(&bare);
    board->setFixedSize(TForm1::ClientWidth, TForm1::ClientHeight);
    bare.setCentralWidget(board);
    auto* label = new QLabel(QStringLiteral("501"), board);
    label->move(32, 18);
    bare.move(30, 40);
    bare.show();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);

    // One set-up's rounds: Enter, Undo and the bare window's label change timed, then `more`.
    struct TSetUp {
        std::string name;
        TSeries enter, bare;
    };
    std::vector<TSetUp> setUps;
    TSeries undo{"Undo click -> handled", {}};
    const auto measure = [&](const std::string& name, const std::function<void(bool)>& more) {
        TSetUp& setUp = setUps.emplace_back(TSetUp{name, {}, {}});
        for (int round = 0; round < warmup + rounds; ++round) {
            const bool keep = round >= warmup;
            // Between two visits at the board the history has long since written the one before.
            if (history) history->Recording();
            form1.Edit33->setText(QStringLiteral("60"));
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
            const int before = redraws;
            auto from = Clock::now();
            QApplication::sendEvent(form1.Edit33, &press);
            if (keep) setUp.enter.Add(from, Clock::now());
            if (redraws != before + 1 || Players[0].History[0] != 60 || Players[0].Remaining != 441)
                Fail("Enter did not book the visit");
            QApplication::processEvents();

            from = Clock::now();
            form1.Button2->click();
            if (keep && setUps.size() == 1) undo.Add(from, Clock::now());
            if (redraws != before + 2 || Players[0].Remaining != 501 || ActivePlayer != 0)
                Fail("Undo did not take the visit back");
            QApplication::processEvents();

            from = Clock::now();
            label->setText(round % 2 ? QStringLiteral("501") : QStringLiteral("441"));
            bare.repaint();
            if (keep) setUp.bare.Add(from, Clock::now());
            QApplication::processEvents();
            if (more) more(keep);
        }
    };

    // Nothing on, with the repaints alone beside.
    RemoveMatchObserver(*history);
    TSeries boardRepaint{"Scoreboard: repaint(), nothing changed", {}};
    TSeries bareRepaint{"Bare window: repaint(), nothing changed", {}};
    measure("nothing on (no history)", [&](bool keep) {
        auto from = Clock::now();
        form1.repaint();
        if (keep) boardRepaint.Add(from, Clock::now());
        QApplication::processEvents();
        from = Clock::now();
        bare.repaint();
        if (keep) bareRepaint.Add(from, Clock::now());
        QApplication::processEvents();
    });

    if (withHistory) {
        AddMatchObserver(*history);
        measure("history on", {});
        if (!history->Recording()) Fail("the history stopped recording");
    }

    // The live board as /live starts it, and the pages: 8 on each address from 127.0.0.2 on.
    std::ostringstream said;
    const std::shared_ptr<TLiveBoardModule> live =
        StartLiveBoard(ReadRunOptions({"/live=127.0.0.1:0"}), form1, *form1.HelpMenu, said, {},
                       {BRENNIX_LIVE_MODULE});
    if (!live) Fail("the live board did not start");
    FeedLiveBoard(feed, live, std::nullopt, &form1);
    long published = 0; // boards handed to the live board once the pages are open
    feed.AddSink([&published](const QByteArray&) { ++published; });
    std::vector<std::unique_ptr<TPage>> open;
    for (int i = 0; i < pages; ++i)
        open.push_back(
            std::make_unique<TPage>(QStringLiteral("127.0.0.%1").arg(2 + i / 8), live->Port()));
    // Each page gets the board once it is open.
    const auto received = [&open] {
        long total = 0;
        for (const auto& page : open)
            total += page->Pushes;
        return total;
    };
    WaitFor(
        [&] {
            return std::all_of(open.begin(), open.end(),
                               [](const auto& page) { return page->Pushes > 0; });
        },
        20000, "the pages did not connect to the live board");
    published = 0;
    TSeries push{"Live board: BoardJson(BoardView()) + Publish()", {}};
    const std::string pagesName = "+ live board, " + std::to_string(pages) + " pages";
    measure(pagesName, [&](bool keep) {
        const auto from = Clock::now();
        live->Publish(BoardJson(BoardView()));
        if (keep) push.Add(from, Clock::now());
        ++published;
        QApplication::processEvents();
    });

    // The club as the program joins it; its server stopped, then started and frozen.
    std::shared_ptr<club::TClubSync> club =
        StartClub({server.Url(), "bench"}, *form1.AddStatusNote("ClubNote"));
    FeedClub(feed, club);
    ShowHall(club, live, feed, &form1);
    WaitFor([&] { return club->Status().Reached; }, 60000, "the club was not reached");
    std::vector<std::string> notes;
    measure("+ club server up", {});
    notes.push_back("up: " + club->Note());
    server.Stop();
    WaitFor([&] { return !club->Status().Reached; }, 60000, "the club did not see its server go");
    measure("+ club server down (stopped)", {});
    notes.push_back("down: " + club->Note());
    server.Start();
    WaitFor([&] { return club->Status().Reached && club->Status().Waiting == 0; }, 120000,
            "the club did not come back");
    server.Freeze(true);
    measure("+ club server hung (frozen)", {});
    notes.push_back("hung: " + club->Note());
    club.reset(); // the worker stops, whatever the server does
    server.Freeze(false);

    // Every push reached every page: none was dropped or left behind.
    const long expected = pages * (1 + published);
    QElapsedTimer wait;
    wait.start();
    while (received() < expected && wait.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);

    std::printf("ui_bench: platform %s, %d player(s), %d rounds after %d warm-up rounds\n",
                qPrintable(QApplication::platformName()), players, rounds, warmup);
    std::printf("live board: %d pages from 127.0.0.2 to 127.0.0.%d, %ld of %ld pushes received\n",
                pages, 1 + (pages + 7) / 8, received(), expected);
    for (const std::string& note : notes)
        std::printf("club %s\n", note.c_str());
    // Ratios against the bare window in the set-up's own rounds (the threads of the live board and
    // the club slow it as well) and in the rounds with nothing on.
    std::printf("\nEnter in Edit33 -> handled, beside the bare window's label setText + repaint() "
                "in the same rounds\n%-32s %10s %10s %14s %8s %13s\n",
                "set-up (each adds to the one above)", "median us", "p90 us", "bare median us",
                "ratio", "x bare, none");
    const double none = Percentile(setUps.front().bare.micros, 0.5);
    for (const TSetUp& setUp : setUps) {
        const double enter = Percentile(setUp.enter.micros, 0.5);
        const double yardstick = Percentile(setUp.bare.micros, 0.5);
        std::printf("%-32s %10.1f %10.1f %14.1f %7.2fx %12.2fx\n", setUp.name.c_str(), enter,
                    Percentile(setUp.enter.micros, 0.9), yardstick, enter / yardstick,
                    enter / none);
    }
    std::printf("\nWith nothing on, and the live board's part of a redraw alone (%d pages)\n",
                pages);
    setUps.front().bare.name = "Bare window: label setText + repaint()";
    PrintTable({&undo, &boardRepaint, &setUps.front().bare, &bareRepaint, &push});

    answer.stop();
    history.reset();
    DestroyForms();
    return 0;
}
