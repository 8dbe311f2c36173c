#include "fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace brennix {

void InstallFontSubstitutes() {
    const QStringList families = QFontDatabase::families();
    const QString sans =
        families.contains("Liberation Sans") ? QStringLiteral("Liberation Sans") : QString("Sans");
    for (const char* design : {"MS Sans Serif", "Arial", "Arial Black"}) {
        if (!families.contains(design)) QFont::insertSubstitution(design, sans);
    }
}

QFont DesignFont(const char* family, int pixelHeight, bool bold, bool italic) {
    QFont font(family);
    font.setPixelSize(pixelHeight);
    // The small dialog font runs narrower than its substitute; a slight condensing keeps the
    // captions within the room the layout gives them.
    if (qstrcmp(family, "MS Sans Serif") == 0) font.setStretch(92);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

QFont ArialBlack(int pixelHeight, bool bold) {
    QFont font = DesignFont("Arial Black", pixelHeight, bold);
    font.setWeight(QFont::Black);
    return font;
}

} // namespace brennix
