#include "club_window.h"

#include "history/history_store.h"
#include "live/board_json.h"
#include "storage/paths.h"
#include "ui/form1.h"
#include "ui/messages.h"

#include <QApplication>
#include <QPointer>

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

std::shared_ptr<club::TClubSync> StartClub(const std::vector<std::string>& arguments,
                                           TForm1& window) {
    const std::optional<club::TClubPlace> place = club::FindClub(arguments, BaseDir());
    if (!place) return nullptr;
    const QPointer<TForm1> form = &window;
    const QPointer<QWidget> bar = window.findChild<QWidget*>(QStringLiteral("StatusBar1"));
    // The worker speaks from its own thread: what it says is shown by the window's.
    auto sync = std::make_shared<club::TClubSync>(
        *place, HistoryPath(),
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
    const std::weak_ptr<club::TClubSync> watcher = sync;
    window.AddBoardObserver([watcher, results = TLegResults()](const TBoardView& view) mutable {
        if (const std::shared_ptr<club::TClubSync> club = watcher.lock()) {
            const QByteArray json = BoardJson(view, results.See(view));
            club->SetState(json.toStdString());
        }
    });
    return sync;
}

} // namespace brennix
