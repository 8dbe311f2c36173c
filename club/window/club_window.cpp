#include "club_window.h"

#include "history/history_store.h"
#include "ui/messages.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace brennix {

namespace {

// The worker looks twice a second: the other boards' visits reach this board's hall within a
// second and a half (the hall's page asks as often).
club::TClubSync::TOptions Options() {
    club::TClubSync::TOptions options;
    options.Poll = std::chrono::milliseconds(500);
    return options;
}

} // namespace

std::shared_ptr<club::TClubSync> StartClub(const club::TClubPlace& place, QWidget& window,
                                           QWidget& statusBar) {
    const QPointer<QWidget> form = &window;
    const QPointer<QWidget> bar = &statusBar;
    // The worker speaks from its own thread: what it says is shown by the window's.
    return std::make_shared<club::TClubSync>(
        place, HistoryPath(),
        [form](const std::string& text) {
            QMetaObject::invokeMethod(
                qApp,
                [form, text] {
                    if (form) ShowMessageBox(form, TMessageKind::Warning, text);
                },
                Qt::QueuedConnection);
        },
        [bar](const std::string& note) {
            QMetaObject::invokeMethod(
                qApp,
                [bar, note] {
                    if (bar) bar->setToolTip(QString::fromStdString(note));
                },
                Qt::QueuedConnection);
        },
        Options());
}

void FeedClub(TBoardFeed& feed, const std::shared_ptr<club::TClubSync>& sync) {
    feed.AddSink([watcher = std::weak_ptr(sync)](const QByteArray& json) {
        if (const std::shared_ptr<club::TClubSync> club = watcher.lock())
            club->SetState(json.toStdString());
    });
}

} // namespace brennix
