// The program's icon: a small dartboard, drawn in code so it needs no image file. Every window of
// the program carries it, and the Info dialog shows it as its picture; the installed icon files are
// made from the same drawing at build time (packaging/make_icons.cpp).
#pragma once

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace brennix {

inline constexpr int ProgramIconSize = 32; // the picture is 32 x 32 pixels

// Draws the dartboard into the square (0, 0, size, size) of any paint device: an image, or a
// vector file such as SVG.
void PaintProgramIcon(QPainter& painter, double size);

// The picture itself, with a transparent background. Needs no application object.
QImage ProgramImage();

// The picture as a pixmap (needs the application object).
QPixmap ProgramPixmap();

// The window icon of every window of the program.
QIcon ProgramIcon();

} // namespace brennix
