// Brennix: creates the six windows and runs the event loop until the scoreboard closes.
#include "club/window/club_hall.h"
#include "club/window/club_window.h"
#include "history/history_store.h"
#include "instance/single_instance.h"
#include "live/live_board.h"
#include "report/cli.h"
#include "statistics/statistics_menu.h"
#include "storage/paths.h"
#include "ui/dialog.h"
#include "ui/form1.h"
#include "ui/forms.h"
#include "ui/messages.h"

#include <QApplication>
#include <QTimer>
#include <iostream>

int main(int argc, char* argv[]) {
    using namespace brennix;
    QApplication application(argc, argv);
    SetUpApplication();
    const std::string dataProblem =
        UseDataPlaceOf(PathFromQt(QCoreApplication::applicationDirPath()));

    // One program per data folder: a second start brings the first one's window to the front.
    TSingleInstance::TClaim claim{};
    const std::unique_ptr<TSingleInstance> instance = TSingleInstance::Claim(
        BaseDir(), [] { BringToFront(Form1); }, claim);
    if (claim == TSingleInstance::TClaim::HandedOver) return 0;
    if (claim == TSingleInstance::TClaim::Unreachable) {
        ShowMessageBox(nullptr, TMessageKind::Warning,
                       "Brennix is already running with the data folder " + BaseDir() +
                           ", but it does not answer. Close it before you start Brennix again.");
        return 1;
    }

    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CreateForms(arguments);
    if (!dataProblem.empty()) ShowMessageBox(Form1, TMessageKind::Warning, dataProblem);

    // The match history listens to the engine unless the command line says "/nohistory". A
    // problem found on opening is shown now; one during play once the event that met it is
    // over, so the box never opens in the middle of a booking.
    bool opening = true;
    std::unique_ptr<THistoryStore> history =
        StartHistory(arguments, [&opening](const std::string& text) {
            if (opening) {
                ShowMessageBox(Form1, TMessageKind::Warning, text);
                return;
            }
            QTimer::singleShot(0, Form1,
                               [text] { ShowMessageBox(Form1, TMessageKind::Warning, text); });
        });
    opening = false;
    // The club's copy of the history, when the board is in a club.
    std::shared_ptr<club::TClubSync> club = history ? StartClub(arguments, *Form1) : nullptr;
    // The players' statistics: the club's when the board is in one, else the board's own; a run
    // without a history has none, and no Statistics menu.
    std::vector<std::string> statistics;
    if (club)
        statistics = report::ClubSource(club::FindClub(arguments, BaseDir())->Url);
    else if (history)
        statistics = report::HistorySource(HistoryPath());
    if (!statistics.empty()) AddStatisticsMenu(*Form1, statistics);
    CentreOnDesktop(Form1); // until start-up puts it in its place
    // The live board for spectators, only when the command line asks for it ("/live").
    const std::shared_ptr<TLiveBoardModule> live =
        StartLiveBoard(arguments, *Form1, std::cout, {}, LiveModulePlaces(), statistics);
    // A board in a club shows every board of the club at /hall.
    if (club && live) ShowHall(club, live, Form1);
    Form1->show();
    const int result = QApplication::exec();
    club.reset();    // stops the club's worker, whatever the server does
    history.reset(); // folds the history's write-ahead log back into history.sqlite
    DestroyForms();
    return result;
}
