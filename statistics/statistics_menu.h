// The window's "Statistics" menu: the players' standings and the list of matches from the match
// history, as pages written by brennix-report's own code and opened in the desktop's browser.
// It only reads the history; the match in the window is never touched.
#pragma once

#include <QUrl>
#include <functional>
#include <string>
#include <vector>

namespace brennix {

class TForm1;

// Opens a page; false when nothing could show it. The desktop's browser unless a test says else.
using TOpenPage = std::function<bool(const QUrl& page)>;
bool OpenInBrowser(const QUrl& page);

// The two pages: what brennix-report is asked for, and the file it is written to.
struct TStatisticsPage {
    const char* Query; // "--players" or "--matches"
    const char* File;  // in the "statistics" folder of the data folder
};
inline constexpr TStatisticsPage PlayersPage{"--players", "players.html"};
inline constexpr TStatisticsPage MatchesPage{"--matches", "matches.html"};

// Writes the page for the statistics of source (report::HistorySource or report::ClubSource)
// into BaseDir() + "statistics/" and returns its path; raises EBrennixError with the report's own
// reason when it cannot.
std::string WriteStatisticsPage(const TStatisticsPage& page,
                                const std::vector<std::string>& source);

// Adds "Statistics" after "Settings" with "Players…" and "Matches…": each writes its page afresh
// and opens it; a failure is shown in the error box.
void AddStatisticsMenu(TForm1& window, std::vector<std::string> source,
                       TOpenPage open = OpenInBrowser);

} // namespace brennix
