// What a hostile client on the network costs the operator: the program's windows with the live
// board as /live starts it (its module, its own thread), a page (a WebSocket client in this
// process on 127.0.0.1) and, in turn, no attack and each attack of tests/live/live_attacker
// from 127.0.0.2. For each: Enter in the score field (a visit of 60) until the page has the
// push, then Undo, for --rounds rounds; the growth of the program's resident memory from before
// the page connected to the end; and how many pushes the page got.
//
//   live_attack_bench [--rounds N]
//
// Files go to a temporary folder; the build tree and the home folder are not touched.
#include "engine/state.h"
#include "live/live_board.h"
#include "storage/paths.h"
#include "storage/settings_file.h"
#include "ui/form1.h"
#include "ui/form5.h"
#include "ui/forms.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace brennix;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "live_attack_bench: %s\n", what);
    std::exit(1);
}

qint64 ResidentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
    return -1;
}

// Runs the event loop until `done` or `ms` have passed: whether it was done.
template <typename F>
bool WaitFor(F done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5)];
}

} // namespace

int main(int argc, char* argv[]) {
    int rounds = 50;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    SetUpApplication();
    QTemporaryDir folder;
    if (!folder.isValid()) Fail("no temporary folder");
    QDir(folder.path()).mkpath("save");
    QDir(folder.path()).mkpath("sound");
    SetBaseDir(folder.path().toStdString());
    Settings = FirstRunSettings();
    SaveSettings();

    const TRunOptions options = ReadRunOptions({"/live=127.0.0.1:0"});
    CreateForms(options);
    TForm1& form1 = *Form1;
    std::ostringstream out;
    const auto live =
        StartLiveBoard(options, form1, *form1.HelpMenu, out, {}, {BRENNIX_LIVE_MODULE});
    if (!live) Fail("the live board did not start");
    TBoardFeed feed;
    form1.AddBoardObserver([&feed](const TBoardView& view) { feed.Redrawn(view); });
    FeedLiveBoard(feed, live, std::nullopt, &form1);
    const quint16 port = live->Port();
    QTimer answer; // start-up asks who begins (after a warning on a small screen): Ok
    answer.setInterval(1);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == Form5)
            Form5->Button1->click();
        else if (auto* box = qobject_cast<QMessageBox*>(modal))
            box->accept();
    });
    answer.start();
    form1.show();
    if (!WaitFor([&] { return form1.Timer1->isActive(); }, 20000)) Fail("no start-up");
    form1.Timer1->stop();
    WaitFor([] { return false; }, 300);
    answer.stop();

    std::printf("live_attack_bench: %d rounds of Enter (a visit of 60) and Undo per attack\n",
                rounds);
    std::printf("%-10s %12s %12s %12s %14s %10s\n", "attack", "median ms", "p90 ms", "max ms",
                "memory +MB", "pushes");
    for (const char* attack :
         {"none", "pipeline", "pings", "fragments", "messages", "pages", "silent", "elsewhere"}) {
        QProcess attacker;
        if (std::strcmp(attack, "none") != 0) {
            attacker.start(QStringLiteral(BRENNIX_LIVE_ATTACKER),
                           {QString::fromLatin1(attack), QString::number(port)});
            if (!attacker.waitForReadyRead(5000)) Fail("the attacker did not start");
        }
        WaitFor([] { return false; }, 1000); // under way
        const qint64 before = ResidentBytes();
        QWebSocket page;
        int received = 0;
        QObject::connect(&page, &QWebSocket::textMessageReceived, [&] { ++received; });
        page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(port)));
        if (!WaitFor([&] { return received == 1; }, 5000)) Fail("the page did not connect");
        std::vector<double> ms;
        for (int round = 0; round < rounds; ++round) {
            form1.Edit33->setText(QStringLiteral("60"));
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
            const int expected = received + 1;
            QElapsedTimer clock;
            clock.start();
            QApplication::sendEvent(form1.Edit33, &press);
            if (!WaitFor([&] { return received >= expected; }, 10000)) break;
            ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            form1.Button2->click();
            WaitFor([&] { return received >= expected + 1; }, 10000);
        }
        const double grown = static_cast<double>(ResidentBytes() - before) / (1 << 20);
        if (ms.empty()) ms.push_back(10000);
        std::printf("%-10s %12.2f %12.2f %12.2f %14.1f %5d/%-4d\n", attack, Percentile(ms, 0.5),
                    Percentile(ms, 0.9), *std::max_element(ms.begin(), ms.end()), grown, received,
                    1 + 2 * rounds);
        std::fflush(stdout);
        if (attacker.state() != QProcess::NotRunning) {
            attacker.kill();
            attacker.waitForFinished();
        }
    }
    DestroyForms();
    return 0;
}
