#include "statistics_menu.h"

#include "engine/errors.h"
#include "report/cli.h"
#include "storage/paths.h"
#include "ui/form1.h"
#include "ui/messages.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenuBar>
#include <filesystem>
#include <sstream>

namespace brennix {

namespace {

QMenu* MenuTitled(TForm1& window, const QString& title) {
    for (QMenu* menu : window.menuBar()->findChildren<QMenu*>())
        if (menu->title() == title) return menu;
    return nullptr;
}

// The wait cursor while a page is written.
struct TWaitCursor {
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

} // namespace

bool OpenInBrowser(const QUrl& page) {
    return QDesktopServices::openUrl(page);
}

std::string WriteStatisticsPage(const TStatisticsPage& page,
                                const std::vector<std::string>& source) {
    const std::string folder = BaseDir() + "statistics";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw EBrennixError("Cannot create the folder " + folder + ": " + error.message());
    const std::string path = folder + "/" + page.File;
    std::ostringstream out, err;
    std::vector<std::string> args = {page.Query, "--format", "html", "-o", path};
    args.insert(args.end(), source.begin(), source.end());
    const int status = report::RunReport(args, out, err);
    if (status != 0) {
        // The report's own lines, without the name of the tool they were written for.
        std::string reason = err.str();
        const std::string tool = "brennix-report: ";
        for (size_t at; (at = reason.find(tool)) != std::string::npos;)
            reason.erase(at, tool.size());
        while (!reason.empty() && reason.back() == '\n')
            reason.pop_back();
        throw EBrennixError(reason.empty() ? "The statistics could not be written" : reason);
    }
    return path;
}

void AddStatisticsMenu(TForm1& window, std::vector<std::string> source, TOpenPage open) {
    QMenu* help = MenuTitled(window, QStringLiteral("&Help"));
    if (help == nullptr) return;
    // Alt+T: the other menus keep their keys (Alt+F, Alt+S, Alt+H).
    auto* statistics = new QMenu(QStringLiteral("S&tatistics"), window.menuBar());
    statistics->setObjectName("Statistics1");
    window.menuBar()->insertMenu(help->menuAction(), statistics);
    auto item = [&](const char* name, const QString& text, const TStatisticsPage& page) {
        QAction* action = statistics->addAction(text);
        action->setObjectName(name);
        QObject::connect(action, &QAction::triggered, &window, [&window, source, open, page] {
            RunHandler(&window, [&] {
                const std::string path = [&] {
                    TWaitCursor busy;
                    return WriteStatisticsPage(page, source);
                }();
                if (!open(QUrl::fromLocalFile(PathToQt(path))))
                    throw EBrennixError("No browser could open " + path);
            });
        });
    };
    item("StatisticsPlayers1", QStringLiteral("&Players\u2026"), PlayersPage);
    item("StatisticsMatches1", QStringLiteral("&Matches\u2026"), MatchesPage);
}

} // namespace brennix
