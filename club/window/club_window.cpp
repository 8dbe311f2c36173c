#include "club_window.h"

#include "history/history_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTimer>

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

// The shortest time between two states of the board handed to the worker, in milliseconds.
constexpr qint64 StateInterval = 200;

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
    const club::TClubSync::TChanged changed =
        [label = QPointer<QLabel>(&note)](const club::TSyncStatus& status) {
            QMetaObject::invokeMethod(
                qApp,
                [label, status] {
                    if (label) ShowClubNote(*label, status);
                },
                Qt::QueuedConnection);
        };
    return std::make_shared<club::TClubSync>(place, HistoryPath(), changed, Options());
}

void FeedClub(TBoardFeed& feed, const std::shared_ptr<club::TClubSync>& sync) {
    // The redraws of a burst (undoing several visits, a load) are one state for the club: the
    // first at once, then the newest at most every StateInterval, so the worker and the server
    // are not kept busy beside the window.
    struct THandOver {
        std::weak_ptr<club::TClubSync> Club;
        QByteArray Newest;
        QElapsedTimer Since; // the last state handed over
        QTimer Later;

        void Now() {
            Since.start();
            if (const std::shared_ptr<club::TClubSync> club = Club.lock())
                club->SetState(Newest.toStdString());
        }
    };
    const auto handOver = std::make_shared<THandOver>();
    handOver->Club = sync;
    handOver->Later.setSingleShot(true);
    QObject::connect(&handOver->Later, &QTimer::timeout, [raw = handOver.get()] { raw->Now(); });
    feed.AddSink([handOver](const QByteArray& json) {
        handOver->Newest = json;
        if (handOver->Later.isActive()) return;
        const qint64 since = handOver->Since.isValid() ? handOver->Since.elapsed() : StateInterval;
        if (since >= StateInterval)
            handOver->Now();
        else
            handOver->Later.start(static_cast<int>(StateInterval - since));
    });
}

} // namespace brennix
