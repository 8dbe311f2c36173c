// The window's "Statistics" menu: the players' standings and the list of matches of the board's
// history or its club, as pages written by the report's own code and opened in the desktop's
// browser. The query and the page are made on a thread of their own: the window stays live, also
// while a club server does not answer, and how the page comes along is told on the status bar,
// never in a box. It only reads; the match in the window is never touched.
#pragma once

#include "report/history_report.h"

#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QMenu;
class QMenuBar;
class QTimer;
class QWidget;

namespace brennix {

class TQueryThread;

// Opens a page; false when nothing could show it. The desktop's browser unless a test says else.
using TOpenPage = std::function<bool(const QUrl& page)>;
bool OpenInBrowser(const QUrl& page);

// The two pages: what is asked for, the file it is written to (in the "statistics" folder of the
// data folder) and what the status bar calls it.
struct TStatisticsPage {
    report::THistoryQuery Query;
    const char* File;
    const char* Name;
};
inline constexpr TStatisticsPage PlayersPage{report::THistoryQuery::Players, "players.html",
                                             "players"};
inline constexpr TStatisticsPage MatchesPage{report::THistoryQuery::Matches, "matches.html",
                                             "matches"};

// What became of a page: the reason it could not be made, or what the page's figures lack.
struct TPageMade {
    std::string Error, Caveat;
};

// Where in the window the menu goes: before `Before` on the menu bar; while it has something to
// say, its note lies over the first of the status bar's `Panels` (the one saying "Ready") and as
// many of the next ones as its text needs.
struct TStatisticsMenuPlace {
    QMenuBar* Bar = nullptr;
    QMenu* Before = nullptr;
    std::vector<QWidget*> Panels;
};

class TStatisticsMenu : public QObject {
    Q_OBJECT
  public:
    // How long a failure stays on the status bar (a click on it takes it away at once).
    static constexpr int FailureShownMs = 20000;

    // Adds "Statistics" with "Players…" and "Matches…". Each asks for its page afresh; while one
    // is made, the note says so, and an item chosen meanwhile follows it. When the source cannot
    // be read and there is a fallback (a club's board: its own history), the page shows the
    // fallback's figures with a line saying why.
    TStatisticsMenu(const TStatisticsMenuPlace& place, report::TStatisticsSource source,
                    std::optional<report::TStatisticsSource> fallback = std::nullopt,
                    TOpenPage open = OpenInBrowser, int clubWaitSeconds = 60);
    ~TStatisticsMenu() override;

    // The note on the status bar: hidden while there is nothing to tell.
    QLabel* Note() const { return note_; }

  signals:
    // A page was made and opened (nothing said), or what the note says of it.
    void Done(const QString& said);

  private:
    void Ask(const TStatisticsPage& page);
    void Start(const TStatisticsPage& page);
    void Arrived(const TStatisticsPage& page, const std::string& path, const TPageMade& made);
    void Tell(const QString& text, const QString& detail);
    bool eventFilter(QObject* watched, QEvent* event) override;

    report::TStatisticsSource source_;
    std::optional<report::TStatisticsSource> fallback_;
    TOpenPage open_;
    int clubWaitSeconds_;
    QLabel* note_;
    std::vector<QWidget*> panels_;
    QTimer* clear_;
    bool busy_ = false;
    const TStatisticsPage* waiting_ = nullptr; // asked for while another was made
    std::unique_ptr<TQueryThread> thread_;
};

} // namespace brennix
