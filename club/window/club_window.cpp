#include "club_window.h"

#include "history/history_store.h"

#include <QApplication>
#include <QLabel>
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

// The widest the note grows in the status bar; a longer reason ends in "…".
constexpr int NoteWidth = 420;

} // namespace

void ShowClubNote(QLabel& note, const club::TSyncStatus& status) {
    const club::TStatusNote shown = club::StatusNoteOf(status);
    note.setText(note.fontMetrics().elidedText(QString::fromStdString(shown.Text), Qt::ElideRight,
                                               NoteWidth));
    note.setToolTip(QString::fromStdString(club::NoteOf(status)));
    note.setStyleSheet(shown.Trouble ? QStringLiteral("background: #c62828; color: white;")
                                     : QString());
    note.show();
}

void ShowClubRefusal(QLabel& note, const std::string& refusal) {
    note.setText(QStringLiteral("Club: not joined, its password could be read by others"));
    note.setToolTip(QString::fromStdString(refusal));
    note.setStyleSheet(QStringLiteral("background: #c62828; color: white;"));
    note.show();
}

std::shared_ptr<club::TClubSync> StartClub(const club::TClubPlace& place, QLabel& note) {
    club::TSyncStatus connecting;
    connecting.Board = place.Board;
    ShowClubNote(note, connecting);
    // The worker speaks from its own thread: what it says is shown by the window's.
    return std::make_shared<club::TClubSync>(
        place, HistoryPath(),
        [label = QPointer<QLabel>(&note)](const club::TSyncStatus& status) {
            QMetaObject::invokeMethod(
                qApp,
                [label, status] {
                    if (label) ShowClubNote(*label, status);
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
