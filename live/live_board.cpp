#include "live_board.h"

#include "address_dialog.h"
#include "board_json.h"
#include "live_players.h"
#include "live_switch.h"
#include "ui/dialog.h"
#include "ui/messages.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QMenu>
#include <QPointer>
#include <ostream>

// BRENNIX_LIVE_MODULE_FILE (the module's file name) and BRENNIX_LIVE_MODULE_DIR (where an
// installation puts it, relative to the program's folder) come from the build.

namespace brennix {

namespace {

// A new server from the first place whose module loads; else none, and the reason: why the
// first module there could not be loaded, or that there is none.
std::unique_ptr<TLiveBoardModule> LoadModule(const std::vector<QString>& places,
                                             const TLiveLimits& limits, QString& reason) {
    reason.clear();
    for (const QString& place : places) {
        if (!QFileInfo::exists(place)) continue;
        QLibrary library(place); // never unloaded: the server lives until the program ends
        if (!library.load()) {
            if (reason.isEmpty()) reason = library.errorString();
            continue;
        }
        const auto factory =
            reinterpret_cast<TLiveModuleFactory>(library.resolve(LiveModuleFactoryName));
        if (!factory) {
            reason = QStringLiteral("the module %1 lacks the function %2")
                         .arg(place, QLatin1String(LiveModuleFactoryName));
            return nullptr;
        }
        std::unique_ptr<TLiveBoardModule> server(factory(LiveModuleInterface, limits));
        if (!server)
            reason =
                QStringLiteral("the module %1 was built for another version of Brennix").arg(place);
        return server;
    }
    if (reason.isEmpty())
        reason = places.empty() ? QStringLiteral("its module is missing")
                                : QStringLiteral("its module %1 is missing").arg(places.back());
    return nullptr;
}

// Help -> "Live Board...", after the program's own items: the addresses as they are when asked.
void AddAddressMenuItem(QWidget& window, QMenu& help, const std::weak_ptr<TLiveBoardModule>& server,
                        bool everywhere, bool hall) {
    QAction* item = help.addAction(LiveBoardMenuText);
    item->setObjectName("LiveBoard1");
    QObject::connect(item, &QAction::triggered, &window, [&window, server, everywhere, hall] {
        const std::shared_ptr<TLiveBoardModule> board = server.lock();
        if (!board) return;
        TLiveAddressDialog dialog(&window, board->Addresses(), everywhere, hall, board.get());
        CentreOnDesktop(&dialog); // where the program's other dialogs open
        dialog.exec();
    });
}

} // namespace

std::vector<QString> LiveModulePlaces() {
    const QString folder = QCoreApplication::applicationDirPath();
    return {
        folder + QStringLiteral("/" BRENNIX_LIVE_MODULE_FILE),
        QFileInfo(folder + QStringLiteral("/" BRENNIX_LIVE_MODULE_DIR "/" BRENNIX_LIVE_MODULE_FILE))
            .absoluteFilePath()};
}

std::shared_ptr<TLiveBoardModule> StartLiveBoard(const TRunOptions& options, QWidget& window,
                                                 QMenu& help, std::ostream& out, TLiveLimits limits,
                                                 const std::vector<QString>& places, bool hall) {
    const std::optional<TLiveSwitch> live = LiveSwitchOf(options);
    if (!live) return nullptr;
    QString reason = live->Error;
    std::shared_ptr<TLiveBoardModule> server;
    if (reason.isEmpty()) server = LoadModule(places, limits, reason);
    if (server) reason = server->Listen(live->Address, live->Port);
    if (!reason.isEmpty()) {
        const QString text = QStringLiteral("The live board could not be started on %1: %2.")
                                 .arg(live->Text, reason);
        out << text.toStdString() << std::endl;
        ShowMessageBox(&window, TMessageKind::Warning, text.toStdString());
        return nullptr;
    }
    // Where the board can be opened: every address of this machine when it listens on all.
    out << "Live board: open one of these in a browser on a TV or phone:\n";
    for (const std::string& address : server->Addresses())
        out << "  " << address << '\n';
    out.flush();
    // The switch's address is in inet_ntop's form: the two "any" addresses are written so.
    const bool everywhere =
        live->Address.isEmpty() || live->Address == u"0.0.0.0" || live->Address == u"::";
    AddAddressMenuItem(window, help, server, everywhere, hall);
    return server;
}

void FeedLiveBoard(TBoardFeed& feed, const std::shared_ptr<TLiveBoardModule>& live,
                   const std::optional<report::TStatisticsSource>& standings, QObject* parent) {
    const std::weak_ptr<TLiveBoardModule> watcher = live;
    feed.AddSink([watcher](const QByteArray& json) {
        if (const std::shared_ptr<TLiveBoardModule> board = watcher.lock()) board->Publish(json);
    });
    if (!standings) return;
    const QPointer<TLiveStandings> players = new TLiveStandings(
        watcher, *standings, [&feed] { feed.Again(); }, parent);
    feed.SetAllTimeAverage([players](const std::string& name) -> std::optional<double> {
        if (!players) return std::nullopt;
        return players->AllTimeAverage(name);
    });
}

} // namespace brennix
