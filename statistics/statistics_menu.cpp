#include "statistics_menu.h"

#include "query_thread.h"
#include "storage/file_io.h"
#include "storage/paths.h"
#include "ui/messages.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <filesystem>

namespace brennix {

namespace {

// Reads the page's figures, from the fallback when the source cannot be read, and writes the
// page, all or nothing.
TPageMade WritePage(const TStatisticsPage& page, const report::TStatisticsSource& source,
                    const std::optional<report::TStatisticsSource>& fallback,
                    const std::string& folder, const std::string& path,
                    const report::TQueryOptions& options) {
    const report::THistoryRequest request = report::Request(page.Query);
    report::TStatisticsOutcome read = report::QueryStatistics(request, source, options);
    std::string caveat;
    if (!read.Statistics && fallback && !(options.Stop && options.Stop->Raised())) {
        // libpq's reasons run over several lines; the page and the note want one.
        const std::string why = QString::fromStdString(read.Error).simplified().toStdString();
        caveat =
            "The club's figures cannot be read (" + why + "): these are this board's own only.";
        read = report::QueryStatistics(request, *fallback, options);
    }
    if (!read.Statistics)
        return {read.Error.empty() ? "the figures could not be read" : read.Error, ""};
    read.Statistics->Caveat = caveat;
    const std::string html = report::FormatStatistics(*read.Statistics, report::TFormat::Html);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return {"Cannot create the folder " + folder + ": " + error.message(), ""};
    try {
        WriteRecordFile(path, {reinterpret_cast<const uint8_t*>(html.data()), html.size()});
    } catch (const std::exception& failure) {
        return {path + ": " + failure.what(), ""};
    }
    return {"", caveat};
}

} // namespace

bool OpenInBrowser(const QUrl& page) {
    return QDesktopServices::openUrl(page);
}

TStatisticsMenu::TStatisticsMenu(const TStatisticsMenuPlace& place,
                                 report::TStatisticsSource source,
                                 std::optional<report::TStatisticsSource> fallback, TOpenPage open,
                                 int clubWaitSeconds)
    : QObject(place.Bar), source_(std::move(source)), fallback_(std::move(fallback)),
      open_(std::move(open)), clubWaitSeconds_(clubWaitSeconds),
      thread_(std::make_unique<TQueryThread>()) {
    // Alt+T: the other menus keep their keys (Alt+F, Alt+S, Alt+H).
    auto* menu = new QMenu(QStringLiteral("S&tatistics"), place.Bar);
    menu->setObjectName("Statistics1");
    place.Bar->insertMenu(place.Before->menuAction(), menu);
    auto item = [&](const char* name, const QString& text, const TStatisticsPage& page) {
        QAction* action = menu->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, [this, &page] { Ask(page); });
    };
    item("StatisticsPlayers1", QStringLiteral("&Players\u2026"), PlayersPage);
    item("StatisticsMatches1", QStringLiteral("&Matches\u2026"), MatchesPage);

    // A sunken panel like the others, over the first ones while it speaks.
    panels_ = place.Panels;
    note_ = new QLabel(panels_.at(0)->parentWidget());
    note_->setObjectName("StatisticsNote");
    note_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    note_->installEventFilter(this);
    note_->setTextFormat(Qt::PlainText);
    note_->setAutoFillBackground(true);
    note_->hide();
    clear_ = new QTimer(this);
    clear_->setSingleShot(true);
    connect(clear_, &QTimer::timeout, note_, &QLabel::hide);
}

TStatisticsMenu::~TStatisticsMenu() = default;

void TStatisticsMenu::Ask(const TStatisticsPage& page) {
    if (busy_) {
        waiting_ = &page;
        return;
    }
    Start(page);
}

void TStatisticsMenu::Start(const TStatisticsPage& page) {
    busy_ = true;
    const QString name = QString::fromLatin1(page.Name);
    Tell(QStringLiteral("Making the %1 page\u2026").arg(name),
         QStringLiteral("The %1 page is being made; it opens when it is ready.").arg(name));
    const std::string folder = BaseDir() + "statistics";
    const std::string path = folder + "/" + page.File;
    thread_->Post([self = QPointer<TStatisticsMenu>(this), &page, source = source_,
                   fallback = fallback_, folder, path,
                   wait = clubWaitSeconds_](const report::TQueryStop& stop) {
        const TPageMade made = WritePage(page, source, fallback, folder, path, {wait, &stop});
        QMetaObject::invokeMethod(
            self.data(),
            [self, &page, path, made] {
                if (self) self->Arrived(page, path, made);
            },
            Qt::QueuedConnection);
    });
}

void TStatisticsMenu::Arrived(const TStatisticsPage& page, const std::string& path,
                              const TPageMade& made) {
    busy_ = false;
    const QString name = QString::fromLatin1(page.Name);
    QString said;
    if (!made.Error.empty()) {
        said = MessageToQt(made.Error);
        Tell(QStringLiteral("No %1 page: ").arg(name) + said, said);
    } else if (!open_(QUrl::fromLocalFile(PathToQt(path)))) {
        // Written all the same: the operator can open it by hand.
        said = QStringLiteral("No browser opened the %1 page: open %2 in a browser.")
                   .arg(name, PathToQt(path));
        Tell(said, said);
    } else if (!made.Caveat.empty()) {
        said = QStringLiteral("The %1 page: ").arg(name) + MessageToQt(made.Caveat);
        Tell(said, said);
    } else {
        clear_->stop();
        note_->hide();
    }
    if (note_->isVisible()) clear_->start(FailureShownMs);
    emit Done(said);
    if (const TStatisticsPage* next = std::exchange(waiting_, nullptr)) Start(*next);
}

void TStatisticsMenu::Tell(const QString& text, const QString& detail) {
    clear_->stop();
    // Over as many panels as the text needs, cut to them; the whole of it when the mouse rests on
    // the note.
    constexpr int Margins = 8;
    const int needed = note_->fontMetrics().horizontalAdvance(text) + Margins;
    QRect place;
    for (QWidget* panel : panels_) {
        place |= panel->geometry();
        if (place.width() >= needed) break;
    }
    note_->setGeometry(place);
    note_->setText(note_->fontMetrics().elidedText(text, Qt::ElideRight, place.width() - Margins));
    note_->setToolTip(detail);
    note_->show();
    note_->raise();
}

bool TStatisticsMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched == note_ && event->type() == QEvent::MouseButtonRelease) {
        clear_->stop();
        note_->hide();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace brennix
