#include "field_images.h"

#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <algorithm>
#include <utility>

namespace brennix {

namespace {

// The most images kept; past it they are all forgotten (a night's averages would never end).
constexpr size_t MaxImages = 1000;

} // namespace

TFieldImages::TFieldImages(QObject* parent) : QObject(parent) {
    later_.setSingleShot(true);
    connect(&later_, &QTimer::timeout, this, &TFieldImages::Learn);
}

void TFieldImages::Watch(QLineEdit* field) {
    field->installEventFilter(this);
}

std::optional<TFieldImages::TKey> TFieldImages::KeyOf(const QLineEdit& field) {
    if ((!field.isReadOnly() && field.isEnabled()) || field.hasFocus() || field.hasSelectedText() ||
        field.underMouse() || field.echoMode() != QLineEdit::Normal ||
        field.devicePixelRatio() != 1.0)
        return std::nullopt;
    return TKey{field.text(),     field.cursorPosition(),     field.width(),
                field.height(),   field.palette().cacheKey(), field.font().key(),
                field.isEnabled()};
}

bool TFieldImages::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Paint || drawing_) return false;
    auto* field = static_cast<QLineEdit*>(watched);
    const std::optional<TKey> key = KeyOf(*field);
    if (!key) return false;
    const auto found = images_.find(*key);
    if (found == images_.end()) {
        // Made once the event loop is free, with those of the other fields the visit changed.
        if (std::find(learning_.begin(), learning_.end(), field) == learning_.end())
            learning_.emplace_back(field);
        if (!later_.isActive()) later_.start();
        return false;
    }
    QPainter(field).drawImage(0, 0, found->second);
    return true;
}

void TFieldImages::Learn() {
    for (const QPointer<QLineEdit>& field : std::exchange(learning_, {})) {
        if (!field) continue;
        const std::optional<TKey> key = KeyOf(*field);
        if (!key || images_.count(*key) || !field->parentWidget()) continue;
        if (images_.size() >= MaxImages) images_.clear();
        // Drawn onto what lies under it: its parent's plain background.
        QImage image(field->size(), QImage::Format_RGB32);
        image.fill(field->parentWidget()->palette().color(QPalette::Window));
        drawing_ = true;
        field->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        drawing_ = false;
        images_.emplace(*key, std::move(image));
    }
}

} // namespace brennix
