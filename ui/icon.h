// The program's icon: a small dartboard, drawn in code so it needs no image file. Every window of
// the program carries it, and the Info dialog shows it as its picture.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace brennix {

inline constexpr int ProgramIconSize = 32; // the picture is 32 x 32 pixels

// The picture itself, with a transparent background. Needs no application object.
QImage ProgramImage();

// The picture as a pixmap (needs the application object).
QPixmap ProgramPixmap();

// The window icon of every window of the program.
QIcon ProgramIcon();

} // namespace brennix
