// The board's big remaining scores, painted from images of their digits. Qt keeps images of
// glyphs only up to 64 pixels and draws bigger ones as outlines filled anew at every paint, which
// made the scores most of the cost of painting a booked visit. A text with a digit not seen yet
// at its place and in its colour is drawn once as the label draws it (the same call, onto the
// plain background beneath it), and each digit's inked pixels are kept; any text of known digits
// is then put together from them, the same to the pixel. Whenever that cannot be promised (not a
// plain line of digits, a scaled screen, a font whose digits differ in width or touch) the label
// paints itself.
#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <QString>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

class QLabel;

namespace brennix {

class TBigDigits : public QObject {
  public:
    explicit TBigDigits(QObject* parent) : QObject(parent) {}

    // Paints the label from now on (it must live no longer than this object).
    void Watch(QLabel* label);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // A digit's inked pixels, opaque, in an image placed at the label's top left corner + Left;
    // every other pixel transparent.
    struct TGlyph {
        QImage Ink;
        int Left = 0, Right = 0; // the inked columns, [Left, Right)
    };
    // The font's key, the digit, its place, the colours and the label's size.
    using TKey = std::tuple<QString, char16_t, int, QRgb, QRgb, int, int>;
    static TKey KeyOf(const QLabel& label); // without digit and place
    // The label's digits in place; none when it must paint itself.
    std::optional<std::vector<const TGlyph*>> Inks(const QLabel& label);
    // Draws the label's text as the label would and keeps each digit's ink, when they are apart.
    void Learn(const QLabel& label, TKey key);

    std::map<TKey, TGlyph> glyphs_;
    std::map<QString, bool> evenFonts_; // whether the font's digits are equally wide
};

} // namespace brennix
