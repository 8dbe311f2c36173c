// The board's read-only fields, painted from images of themselves. Each paint of a line edit
// draws its frame and text anew, the larger part of painting a booked visit once the big scores
// are images. A field that cannot change by itself (read-only or disabled, without the focus, a
// selection or the mouse) is drawn by itself into an image once the event loop is free, with what
// it shows and how; whenever it shows that again, the image is copied. Otherwise, or before its
// image is made, the field paints itself.
#pragma once

#include <QImage>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

namespace brennix {

class TFieldImages : public QObject {
  public:
    explicit TFieldImages(QObject* parent);

    // Paints the field from now on (it must live no longer than this object).
    void Watch(QLineEdit* field);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // What the field shows and how: its text, cursor, size, palette, font, whether enabled.
    using TKey = std::tuple<QString, int, int, int, qint64, QString, bool>;
    static std::optional<TKey> KeyOf(const QLineEdit& field);
    // Makes the images of the fields that showed something new.
    void Learn();

    std::map<TKey, QImage> images_;
    std::vector<QPointer<QLineEdit>> learning_; // to be made
    QTimer later_;                              // makes them once the event loop is free
    bool drawing_ = false;                      // a field paints itself into an image
};

} // namespace brennix
