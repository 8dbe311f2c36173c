// Build-time tool: writes the program's icon as the hicolor theme's files, from the very drawing
// the windows carry (ui/icon.cpp), so the installed icon and the window icon cannot drift apart.
//
//   make_icons FOLDER ID SIZE...
//
// writes FOLDER/hicolor/scalable/apps/ID.svg and FOLDER/hicolor/SIZExSIZE/apps/ID.png for every
// SIZE. Runs without a display.
#include "ui/icon.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>

namespace {

bool MakeFolderFor(const QString& file) {
    return QDir().mkpath(QFileInfo(file).path());
}

bool WritePng(const QString& file, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    brennix::PaintProgramIcon(painter, size);
    painter.end();
    return MakeFolderFor(file) && image.save(file, "PNG");
}

bool WriteSvg(const QString& file) {
    if (!MakeFolderFor(file)) return false;
    QSvgGenerator svg;
    svg.setFileName(file);
    svg.setSize(QSize(brennix::ProgramIconSize, brennix::ProgramIconSize));
    svg.setViewBox(QRect(0, 0, brennix::ProgramIconSize, brennix::ProgramIconSize));
    svg.setTitle(QStringLiteral("Brennix"));
    svg.setDescription(QStringLiteral("A dartboard"));
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    brennix::PaintProgramIcon(painter, brennix::ProgramIconSize);
    return painter.end();
}

// Qt's notes about the missing session (no runtime folder at build time) are of no interest here;
// failures are reported by the results of the writes.
void DropNotes(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(DropNotes);
    qputenv("QT_QPA_PLATFORM", "offscreen"); // the fonts of the SVG need a GUI application
    QGuiApplication application(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: make_icons FOLDER ID SIZE...\n");
        return 2;
    }
    const QString theme = arguments[1] + QStringLiteral("/hicolor/");
    const QString name = QStringLiteral("/apps/") + arguments[2];
    bool written = WriteSvg(theme + QStringLiteral("scalable") + name + QStringLiteral(".svg"));
    for (qsizetype index = 3; index < arguments.size(); ++index) {
        bool number = false;
        const int size = arguments[index].toInt(&number);
        if (!number || size < 1 || size > 1024) {
            std::fprintf(stderr, "make_icons: not an icon size: %s\n", argv[index]);
            return 2;
        }
        const QString folder = QStringLiteral("%1x%1").arg(size);
        written = WritePng(theme + folder + name + QStringLiteral(".png"), size) && written;
    }
    if (!written) std::fprintf(stderr, "make_icons: could not write the icons below %s\n", argv[1]);
    return written ? 0 : 1;
}
