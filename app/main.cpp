// Brennix: creates the six windows and runs the event loop until the scoreboard closes.
#include "club/window/club_hall.h"
#include "club/window/club_window.h"
#include "history/history_store.h"
#include "history/resume.h"
#include "instance/single_instance.h"
#include "live/keypads.h"
#include "live/live_board.h"
#include "statistics/statistics_menu.h"
#include "storage/paths.h"
#include "ui/dialog.h"
#include "ui/form1.h"
#include "ui/forms.h"
#include "ui/messages.h"

#include <QApplication>
#include <QImageReader>
#include <QMenuBar>
#include <QTimer>
#include <iostream>
#include <thread>

int main(int argc, char* argv[]) {
    using namespace brennix;
    QApplication application(argc, argv);
    // Qt loads every image plugin the first time it reads one of its style's images (the menu
    // bar does): on a worker, while the windows are made.
    std::jthread imagePlugins([] { QImageReader::supportedImageFormats(); });
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

    // The command line, read once: each part of the program gets the options it needs.
    const TRunOptions options = ReadRunOptions({argv + 1, argv + argc});
    // The match history listens to the engine unless the command line says "/nohistory". Its
    // file opens on a worker while the windows are made and shown. A problem found on opening is
    // shown before start-up; one during play once the event that met it is over, so the box never
    // opens in the middle of a booking.
    bool opening = true;
    THistoryStart historyStart(options, [&opening](const std::string& text) {
        if (opening) {
            ShowMessageBox(Form1, TMessageKind::Warning, text);
            return;
        }
        QTimer::singleShot(0, Form1,
                           [text] { ShowMessageBox(Form1, TMessageKind::Warning, text); });
    });
    CreateForms(options);
    imagePlugins.join();
    if (!dataProblem.empty()) ShowMessageBox(Form1, TMessageKind::Warning, dataProblem);
    // Shown at once: start-up, and with it the first match, begins once the event loop runs,
    // and what follows here is done before.
    CentreOnDesktop(Form1); // until start-up puts it in its place
    Form1->show();
    // Listening before the first match begins.
    std::unique_ptr<THistoryStore> history = historyStart.Started();
    opening = false;
    // A match the history holds that a kill or a power cut interrupted, offered in the File menu.
    std::unique_ptr<TMatchResume> resume;
    if (history && history->Recording()) {
        resume = std::make_unique<TMatchResume>(*history,
                                                [](bool offered) { Form1->OfferResume(offered); });
        Form1->SetResumeHandler([&resume] { resume->Resume(); });
    }
    // The club's copy of the history, when the board is in a club. A club refused for a password
    // others could read says so in the status bar, and the board plays on locally.
    std::string clubRefusal;
    const std::optional<club::TClubPlace> place =
        history ? club::FindClub(options, BaseDir(), clubRefusal) : std::nullopt;
    if (!clubRefusal.empty()) ShowClubRefusal(*Form1->AddStatusNote("ClubNote"), clubRefusal);
    std::shared_ptr<club::TClubSync> club =
        place ? StartClub(*place, *Form1->AddStatusNote("ClubNote")) : nullptr;
    // The players' statistics: the club's when the board is in one, else the board's own; a run
    // without a history has none, and no Statistics menu.
    std::optional<report::TStatisticsSource> statistics;
    if (place)
        statistics = report::ClubSource(place->Url);
    else if (history)
        statistics = report::HistorySource(HistoryPath());
    if (statistics)
        new TStatisticsMenu(
            {Form1->menuBar(), Form1->HelpMenu, {Form1->StatusPanels[0], Form1->StatusPanels[1]}},
            *statistics,
            // A club whose server is away: the board's own figures, saying so.
            place ? std::optional(report::HistorySource(HistoryPath())) : std::nullopt);
    // The board after each redraw, built once for whoever shows it to the room.
    TBoardFeed feed;
    Form1->AddBoardObserver([&feed](const TBoardView& view) { feed.Redrawn(view); });
    if (club) FeedClub(feed, club);
    // The live board for spectators, only when the command line asks for it ("/live").
    const std::shared_ptr<TLiveBoardModule> live = StartLiveBoard(
        options, *Form1, *Form1->HelpMenu, std::cout, {}, LiveModulePlaces(), club != nullptr);
    if (live) FeedLiveBoard(feed, live, statistics, Form1);
    ServeKeypads(live, *Form1);
    // A board in a club shows every board of the club at /hall.
    if (club && live) ShowHall(club, live, feed, Form1);
    const int result = QApplication::exec();
    club.reset();    // stops the club's worker, whatever the server does
    resume.reset();  // stops listening before the history goes
    history.reset(); // folds the history's write-ahead log back into history.sqlite
    DestroyForms();
    return result;
}
