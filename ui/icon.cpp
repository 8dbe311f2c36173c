#include "icon.h"

#include <QColor>
#include <QPainter>
#include <QPointF>

namespace brennix {

namespace {

const QColor BoardBlack(26, 26, 26);
const QColor BoardCream(242, 230, 194);
const QColor BoardRed(212, 32, 32);
const QColor BoardGreen(26, 140, 58);
const QColor BoardRim(70, 70, 70);

constexpr int Segments = 20;
constexpr double SegmentDegrees = 360.0 / Segments;
// Qt counts angles counter-clockwise from three o'clock; the top segment is centred on twelve.
constexpr double TopSegmentStart = 90.0 - SegmentDegrees / 2;

// One ring of the board as twenty slices of the given radius, the top slice in `first` and the
// others alternating; inner rings are painted over it afterwards.
void PaintSlices(QPainter& painter, QPointF centre, double radius, const QColor& first,
                 const QColor& second) {
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    for (int segment = 0; segment < Segments; ++segment) {
        painter.setBrush(segment % 2 == 0 ? first : second);
        const double start = TopSegmentStart + segment * SegmentDegrees;
        painter.drawPie(box, static_cast<int>(start * 16), static_cast<int>(SegmentDegrees * 16));
    }
}

void PaintDisc(QPainter& painter, QPointF centre, double radius, const QColor& colour) {
    painter.setBrush(colour);
    painter.drawEllipse(centre, radius, radius);
}

QImage PaintBoard() {
    QImage image(ProgramIconSize, ProgramIconSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    PaintProgramIcon(painter, ProgramIconSize);
    painter.end();
    return image;
}

} // namespace

void PaintProgramIcon(QPainter& painter, double size) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.scale(size / ProgramIconSize, size / ProgramIconSize);
    const QPointF centre(ProgramIconSize / 2.0, ProgramIconSize / 2.0);

    // From the outside in: the black number ring with a grey rim, the doubles, the outer
    // singles, the trebles, the inner singles, then the outer bull and the bull's eye.
    PaintDisc(painter, centre, 15.8, BoardRim);
    PaintDisc(painter, centre, 15.0, BoardBlack);
    PaintSlices(painter, centre, 12.8, BoardRed, BoardGreen);
    PaintSlices(painter, centre, 11.3, BoardBlack, BoardCream);
    PaintSlices(painter, centre, 8.2, BoardRed, BoardGreen);
    PaintSlices(painter, centre, 6.8, BoardBlack, BoardCream);
    PaintDisc(painter, centre, 2.6, BoardGreen);
    PaintDisc(painter, centre, 1.3, BoardRed);
    painter.restore();
}

QImage ProgramImage() {
    static const QImage image = PaintBoard();
    return image;
}

QPixmap ProgramPixmap() {
    return QPixmap::fromImage(ProgramImage());
}

QIcon ProgramIcon() {
    return QIcon(ProgramPixmap());
}

} // namespace brennix
