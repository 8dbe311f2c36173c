// The program's fonts. The layout is drawn for "MS Sans Serif", "Arial" and "Arial Black"; where
// they are missing (on Linux they always are) close substitutes take their place.
#pragma once

#include <QFont>

namespace brennix {

// Maps the three design fonts onto installed faces (Liberation Sans from fonts-liberation, or the
// system's sans serif). Call once, after the application object exists.
void InstallFontSubstitutes();

// A design font with a character height in pixels.
QFont DesignFont(const char* family, int pixelHeight, bool bold = false, bool italic = false);

inline QFont SansSerif(int pixelHeight, bool bold = false) {
    return DesignFont("MS Sans Serif", pixelHeight, bold);
}
inline QFont Arial(int pixelHeight, bool bold = false, bool italic = false) {
    return DesignFont("Arial", pixelHeight, bold, italic);
}
// "Arial Black" is a heavy face: drawn with the heaviest weight the substitute has.
QFont ArialBlack(int pixelHeight, bool bold = false);

} // namespace brennix
