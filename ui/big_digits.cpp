#include "big_digits.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <algorithm>

namespace brennix {

namespace {

constexpr qsizetype MaxDigits = 4;

// Whether every digit is as wide as the next and no two are drawn closer or further apart, so
// that a digit stands at the same place in every text of digits.
bool EvenDigits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(QChar(u'0'));
    for (char16_t first = u'0'; first <= u'9'; ++first) {
        if (metrics.horizontalAdvance(QChar(first)) != width) return false;
        for (char16_t second = u'0'; second <= u'9'; ++second)
            if (metrics.horizontalAdvance(QString(QChar(first)) + QChar(second)) != 2 * width)
                return false;
    }
    return true;
}

// Whether the label draws nothing but its text, a plain left-aligned line of digits.
bool PlainDigits(const QLabel& label) {
    const QString text = label.text();
    if (text.isEmpty() || text.size() > MaxDigits) return false;
    for (const QChar c : text)
        if (c < u'0' || c > u'9') return false;
    return label.textFormat() == Qt::PlainText && label.pixmap().isNull() &&
           label.alignment() == (Qt::AlignLeft | Qt::AlignVCenter) &&
           label.layoutDirection() == Qt::LeftToRight && label.margin() == 0 &&
           label.indent() < 0 && label.frameWidth() == 0 && label.isEnabled() &&
           label.devicePixelRatio() == 1.0 && label.contentsRect() == label.rect();
}

} // namespace

void TBigDigits::Watch(QLabel* label) {
    label->installEventFilter(this);
}

bool TBigDigits::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Paint) return false;
    auto* label = static_cast<QLabel*>(watched);
    const std::optional<std::vector<const TGlyph*>> inks = Inks(*label);
    if (!inks) return false;
    QPainter painter(label);
    for (const TGlyph* glyph : *inks)
        painter.drawImage(glyph->Left, 0, glyph->Ink);
    return true;
}

TBigDigits::TKey TBigDigits::KeyOf(const QLabel& label) {
    return {label.font().key(),
            0,
            0,
            label.palette().color(label.foregroundRole()).rgb(),
            label.palette().color(label.backgroundRole()).rgb(),
            label.width(),
            label.height()};
}

std::optional<std::vector<const TBigDigits::TGlyph*>> TBigDigits::Inks(const QLabel& label) {
    if (!PlainDigits(label)) return std::nullopt;
    const QFont font = label.font();
    const auto even = evenFonts_.try_emplace(font.key(), false);
    if (even.second) even.first->second = EvenDigits(font);
    if (!even.first->second) return std::nullopt;
    const QString text = label.text();
    TKey key = KeyOf(label);
    std::vector<const TGlyph*> inks;
    for (int place = 0; place < static_cast<int>(text.size()); ++place) {
        std::get<1>(key) = text[place].unicode();
        std::get<2>(key) = place;
        auto found = glyphs_.find(key);
        if (found == glyphs_.end()) {
            Learn(label, key);
            found = glyphs_.find(key);
            if (found == glyphs_.end()) return std::nullopt;
        }
        inks.push_back(&found->second);
    }
    // Each digit's ink apart from the next one's: then each pixel is one digit's alone.
    for (size_t i = 1; i < inks.size(); ++i)
        if (inks[i]->Left <= inks[i - 1]->Right) return std::nullopt;
    return inks;
}

void TBigDigits::Learn(const QLabel& label, TKey key) {
    // Drawn as the label draws its text, onto what lies under the label.
    const QColor background = label.palette().color(label.backgroundRole());
    QImage drawn(label.size(), QImage::Format_RGB32);
    drawn.fill(background);
    {
        QPainter painter(&drawn);
        painter.setFont(label.font());
        painter.setPen(label.palette().color(label.foregroundRole()));
        painter.drawText(label.contentsRect(), label.alignment() | Qt::TextForceLeftToRight,
                         label.text());
    }
    // The columns holding ink, in runs; one run for each digit, or the digits touch.
    const QRgb plain = background.rgb() | 0xFF000000;
    std::vector<bool> inked(drawn.width(), false);
    for (int y = 0; y < drawn.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        for (int x = 0; x < drawn.width(); ++x)
            if (line[x] != plain) inked[x] = true;
    }
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < drawn.width(); ++x)
        if (inked[x] && (x == 0 || !inked[x - 1]))
            runs.emplace_back(x, x + 1);
        else if (inked[x])
            runs.back().second = x + 1;
    if (runs.size() != static_cast<size_t>(label.text().size())) return;
    for (int place = 0; place < static_cast<int>(runs.size()); ++place) {
        const auto [left, right] = runs[place];
        TGlyph glyph;
        glyph.Left = left;
        glyph.Right = right;
        glyph.Ink = QImage(right - left, drawn.height(), QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < drawn.height(); ++y) {
            const auto* from = reinterpret_cast<const QRgb*>(drawn.constScanLine(y)) + left;
            auto* to = reinterpret_cast<QRgb*>(glyph.Ink.scanLine(y));
            for (int x = 0; x < right - left; ++x)
                to[x] = from[x] == plain ? 0 : from[x];
        }
        std::get<1>(key) = label.text()[place].unicode();
        std::get<2>(key) = place;
        glyphs_.insert_or_assign(key, std::move(glyph));
    }
}

} // namespace brennix
