// How quickly the scoreboard answers the operator. The scoreboard is set up as the program sets
// it up (the six windows, the engine talking to TForm1), and in the same run a bare main window
// of the same client size (992 x 675) is measured beside it:
//
//   - Enter in the score field Edit33 (a visit of 60 typed in) until RefreshBoard has returned,
//     and the Undo button until RefreshBoard has returned; each round books the visit and takes it
//     back, so every round sees the same position;
//   - a repaint of the scoreboard without any change;
//   - the bare window: a label's text changed and the window repainted, and a repaint alone.
//
// Enter is measured twice in each round: with the match history off, and with it on (the store
// writing history.sqlite in the temporary folder, one transaction per visit, as the program does).
//
// The measurements take turns within each round, so both windows see the same conditions; the
// medians of Enter and Undo are also printed as multiples of the bare window's label change. The
// platform is the one QT_QPA_PLATFORM names, "offscreen" when it is not set (painting then goes
// into the backing store image only; under an X server the image is also sent to the server).
//
// In a second table, Enter with the live board on: no page open beside 50 pages (--pages).
//
//   ui_bench [--rounds N] [--warmup N] [--players N] [--pages N]
//
// Files go to a temporary folder; the build tree and the home folder are not touched.
#include "engine/board.h"
#include "engine/match_events.h"
#include "engine/operations.h"
#include "engine/state.h"
#include "history/history_store.h"
#include "live/board_json.h"
#include "live/live_server.h"
#include "storage/paths.h"
#include "storage/settings_file.h"
#include "ui/form1.h"
#include "ui/form5.h"
#include "ui/forms.h"
#include "ui/messages.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace brennix;
using Clock = std::chrono::steady_clock;

// Passes every operation on to the scoreboard and notes the moment RefreshBoard returns.
class TTimedOps : public TEngineOps {
  public:
    explicit TTimedOps(TForm1& form) : form_(form) {}

    Clock::time_point Refreshed;
    int Refreshes = 0;

    void RefreshBoard() override {
        form_.RefreshBoard();
        Refreshed = Clock::now();
        ++Refreshes;
    }

    void ShowActivePlayerDisplay() override { form_.ShowActivePlayerDisplay(); }
    void ResetGameWindow() override { form_.ResetGameWindow(); }
    void ResetGameBoard() override { form_.ResetGameBoard(); }
    std::string ScoreText() override { return form_.ScoreText(); }
    std::string DartsText() override { return form_.DartsText(); }
    void ClearScore() override { form_.ClearScore(); }
    void FocusScore() override { form_.FocusScore(); }
    std::string SpecialSetText() override { return form_.SpecialSetText(); }
    void SetSpecialSetText(const std::string& text) override { form_.SetSpecialSetText(text); }
    void ShowFilePath(const std::string& path) override { form_.ShowFilePath(path); }
    void StartTimer() override { form_.StartTimer(); }
    void StopTimer() override { form_.StopTimer(); }
    int ProgressPosition() override { return form_.ProgressPosition(); }
    void SetProgressPosition(int position) override { form_.SetProgressPosition(position); }
    void SetProgressHint(const std::string& hint) override { form_.SetProgressHint(hint); }
    void AskWhoBegins() override { form_.AskWhoBegins(); }
    bool ShowGameSettings() override { return form_.ShowGameSettings(); }
    void ShowResult() override { form_.ShowResult(); }
    std::optional<std::string> RunOpenDialog(const std::string& fileName,
                                             const std::string& folder) override {
        return form_.RunOpenDialog(fileName, folder);
    }
    std::optional<std::string> RunSaveDialog(const std::string& fileName,
                                             const std::string& folder) override {
        return form_.RunSaveDialog(fileName, folder);
    }
    void ShowMessage(TMessageKind kind, const std::string& text) override {
        form_.ShowMessage(kind, text);
    }
    void SaveGameFile() override { form_.SaveGameFile(); }
    void PlayScoreSound(int32_t score) override { form_.PlayScoreSound(score); }

  private:
    TForm1& form_;
};

// Samples of one measurement, in microseconds.
struct TSeries {
    const char* name;
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

void PrintTable(const std::vector<TSeries*>& series) {
    std::printf("%-50s %9s %9s %9s %9s\n", "times in microseconds", "median", "min", "p90", "mean");
    for (const TSeries* s : series) {
        double sum = 0;
        for (double value : s->micros)
            sum += value;
        std::printf("%-50s %9.1f %9.1f %9.1f %9.1f\n", s->name, Percentile(s->micros, 0.5),
                    *std::min_element(s->micros.begin(), s->micros.end()),
                    Percentile(s->micros, 0.9), sum / static_cast<double>(s->micros.size()));
    }
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "ui_bench: %s\n", what);
    std::exit(1);
}

int NumberArgument(int argc, char* argv[], const char* option, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], option) == 0) return std::atoi(argv[i + 1]);
    return fallback;
}

// ---- The live board ---------------------------------------------------------------------------
// Enter until RefreshBoard has returned with the live board on, side by side: one server with no
// page open and one with `pages` pages (WebSocket clients in this process on 127.0.0.1) that
// receive every push. The rounds alternate between the two; the pages read their messages
// between the measurements, as a browser on another machine would.
void MeasureLiveBoard(TForm1& form1, TTimedOps& ops, int rounds, int warmup, int pages) {
    TLiveServer idle;
    TLiveServer watched;
    if (!idle.Listen(QHostAddress::LocalHost, 0).isEmpty() ||
        !watched.Listen(QHostAddress::LocalHost, 0).isEmpty())
        Fail("the live board could not listen on 127.0.0.1");
    TLiveServer* publishing = nullptr;
    form1.AddBoardObserver([&publishing](const TBoardView& view) {
        if (publishing) publishing->Publish(BoardJson(view));
    });
    std::vector<std::unique_ptr<QWebSocket>> clients;
    long received = 0;
    for (int i = 0; i < pages; ++i) {
        auto& client = clients.emplace_back(std::make_unique<QWebSocket>());
        QObject::connect(client.get(), &QWebSocket::textMessageReceived,
                         [&received](const QString&) { ++received; });
        client->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(watched.Port())));
    }
    QElapsedTimer wait;
    wait.start();
    while (watched.PageCount() < pages || received < pages) {
        if (wait.elapsed() > 20000) Fail("the pages did not connect to the live board");
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    char zeroName[80], pagesName[80];
    std::snprintf(zeroName, sizeof zeroName, "Live board, 0 pages: Enter -> RefreshBoard return");
    std::snprintf(pagesName, sizeof pagesName, "Live board, %d pages: Enter -> RefreshBoard return",
                  pages);
    TSeries zero{zeroName, {}};
    TSeries many{pagesName, {}};
    char pushName[80];
    std::snprintf(pushName, sizeof pushName, "Live board, %d pages: BoardView() + Publish()",
                  pages);
    TSeries push{pushName, {}};
    for (int round = 0; round < warmup + rounds; ++round) {
        for (TLiveServer* server : {&idle, &watched}) {
            publishing = server;
            form1.Edit33->setText(QStringLiteral("60"));
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
            const int refreshes = ops.Refreshes;
            const auto from = Clock::now();
            QApplication::sendEvent(form1.Edit33, &press);
            if (ops.Refreshes != refreshes + 1 || ActivePlayer != 1)
                Fail("Enter did not book the visit");
            if (round >= warmup) (server == &idle ? zero : many).Add(from, ops.Refreshed);
            QApplication::processEvents();
            form1.Button2->click();
            if (Players[0].Remaining != 501 || ActivePlayer != 0)
                Fail("Undo did not take the visit back");
            QApplication::processEvents();
        }
        // What the live board adds to a redraw, alone: the view, its JSON, the sends.
        const auto from = Clock::now();
        watched.Publish(BoardJson(BoardView()));
        if (round >= warmup) push.Add(from, Clock::now());
        QApplication::processEvents();
    }
    publishing = nullptr;
    // Every push reached every page: none was dropped or left behind.
    const long expected = static_cast<long>(pages) * (1 + 3L * (warmup + rounds));
    wait.restart();
    while (received < expected && wait.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::printf("live board: %d pages open, %ld of %ld pushes received\n", watched.PageCount(),
                received, expected);
    PrintTable({&zero, &many, &push});
    std::printf("\n");
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace brennix;
    const int rounds = NumberArgument(argc, argv, "--rounds", 1000);
    const int warmup = NumberArgument(argc, argv, "--warmup", 50);
    const int players = NumberArgument(argc, argv, "--players", 2);
    if (rounds < 1 || warmup < 0 || players < 1 || players > MaxPlayers)
        Fail("usage: ui_bench [--rounds N>0] [--warmup N>=0] [--players 1-8]");
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

    // The history listens from the start, so it sees the match begin; it is switched off and on
    // by taking it from the observers and adding it again.
    THistoryStore history(HistoryPath(), [](const std::string& text) { Fail(text.c_str()); });
    AddMatchObserver(history);

    CreateForms({});
    TForm1& form1 = *Form1;
    TForm5& form5 = *Form5;
    TTimedOps ops(form1);
    Ops = &ops;

    // Start-up asks who begins (after a warning on a small screen, as the offscreen one is): Ok.
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
    QElapsedTimer startUp;
    startUp.start();
    while (ops.Refreshes == 0) {
        if (startUp.elapsed() > 20000) Fail("the scoreboard did not finish its start-up");
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    answer.stop();
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

    RemoveMatchObserver(history);
    TSeries enter{"Scoreboard: Enter in Edit33 -> RefreshBoard return", {}};
    TSeries enterHistory{"History on: Enter in Edit33 -> RefreshBoard return", {}};
    TSeries undo{"Scoreboard: Undo click -> RefreshBoard return", {}};
    TSeries boardRepaint{"Scoreboard: repaint(), nothing changed", {}};
    TSeries labelRepaint{"Bare window: label setText + repaint()", {}};
    TSeries bareRepaint{"Bare window: repaint(), nothing changed", {}};

    for (int round = 0; round < warmup + rounds; ++round) {
        const bool keep = round >= warmup;

        form1.Edit33->setText(QStringLiteral("60"));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        const int refreshes = ops.Refreshes;
        auto from = Clock::now();
        QApplication::sendEvent(form1.Edit33, &press);
        if (ops.Refreshes != refreshes + 1 || Players[0].History[0] != 60 || ActivePlayer != 1)
            Fail("Enter did not book the visit");
        if (keep) enter.Add(from, ops.Refreshed);
        QApplication::processEvents();

        from = Clock::now();
        form1.Button2->click();
        if (ops.Refreshes != refreshes + 2 || Players[0].Remaining != 501 || ActivePlayer != 0)
            Fail("Undo did not take the visit back");
        if (keep) undo.Add(from, ops.Refreshed);
        QApplication::processEvents();

        // The same with the history on: the visit recorded, then set aside again by the Undo.
        AddMatchObserver(history);
        form1.Edit33->setText(QStringLiteral("60"));
        from = Clock::now();
        QApplication::sendEvent(form1.Edit33, &press);
        if (ops.Refreshes != refreshes + 3 || ActivePlayer != 1)
            Fail("Enter did not book the visit");
        if (keep) enterHistory.Add(from, ops.Refreshed);
        QApplication::processEvents();
        form1.Button2->click();
        RemoveMatchObserver(history);
        if (Players[0].Remaining != 501 || !history.Recording())
            Fail("Undo did not take the visit back, or the history stopped");
        QApplication::processEvents();

        from = Clock::now();
        form1.repaint();
        if (keep) boardRepaint.Add(from, Clock::now());
        QApplication::processEvents();

        from = Clock::now();
        label->setText(round % 2 ? QStringLiteral("501") : QStringLiteral("441"));
        bare.repaint();
        if (keep) labelRepaint.Add(from, Clock::now());
        QApplication::processEvents();

        from = Clock::now();
        bare.repaint();
        if (keep) bareRepaint.Add(from, Clock::now());
        QApplication::processEvents();
    }

    // The live board measures after the scoreboard's rounds and prints its table first.
    MeasureLiveBoard(form1, ops, rounds, warmup, NumberArgument(argc, argv, "--pages", 50));

    std::printf("ui_bench: platform %s, %d player(s), %d rounds after %d warm-up rounds\n",
                qPrintable(QApplication::platformName()), players, rounds, warmup);
    PrintTable({&enter, &enterHistory, &undo, &boardRepaint, &labelRepaint, &bareRepaint});
    // The yardstick: the bare window's label change and repaint, median against median.
    const double yardstick = Percentile(labelRepaint.micros, 0.5);
    for (const TSeries* series : {&enter, &enterHistory, &undo})
        std::printf("ratio: %-50s %5.2f x the bare window's label setText + repaint()\n",
                    series->name, Percentile(series->micros, 0.5) / yardstick);

    DestroyForms();
    return 0;
}
