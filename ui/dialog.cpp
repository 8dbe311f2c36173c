#include "dialog.h"

#include "fonts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <functional>

namespace brennix {

TModalDialog::TModalDialog(QWidget* parent, const char* name, const QString& caption, int width,
                           int height, bool closeBox)
    : QDialog(parent), closeBox_(closeBox) {
    setObjectName(name);
    setWindowTitle(caption);
    setModal(true);
    setFont(SansSerif(11));
    setFixedSize(width, height);
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (closeBox) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
}

void TModalDialog::CloseDialog() {
    closing_ = true;
    accept();
    closing_ = false;
}

void TModalDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept(); // Escape closes nothing
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Only the push button that has the focus reacts to Enter; there is no default button,
        // and a check box is not a button here.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) button->click();
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TModalDialog::closeEvent(QCloseEvent* event) {
    // Without a close box the operator answers with the dialog's buttons only.
    if (!closeBox_ && !closing_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TModalDialog::showEvent(QShowEvent* event) {
    // No button is drawn or treated as the default one.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    QDialog::showEvent(event);
    FocusFirstButton(this);
}

QFrame* PlaceBevel(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* bevel = Place<QFrame>(parent, name, left, top, width, height);
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->lower();
    return bevel;
}

QLabel* PlaceLabel(QWidget* parent, const char* name, int left, int top, const QString& text) {
    auto* label = Place<QLabel>(parent, name, left, top);
    SetLabelText(label, text);
    return label;
}

void SetLabelText(QLabel* label, const QString& text) {
    label->setTextFormat(Qt::PlainText); // names and texts are shown exactly as typed
    label->setText(text);
    label->adjustSize();
}

namespace {

constexpr int FrameWaitMs = 5000; // how long a window manager may take to frame a window
constexpr int FrameLookMs = 50;

// Where a window's frame belongs, reckoned from the frame's size.
using TFramePlace = std::function<QPoint(QSize frame)>;

// The frame as far as it is known: before a window manager has framed a window (and always
// without one) it is the client area alone.
bool FrameKnown(const QWidget* window) {
    return window->frameGeometry().size() != window->size();
}

// A window manager frames a window only once it is shown; until then its frame's size is unknown
// and a placement may put the client area where the frame belongs. This looks again every 50 ms,
// for at most 5 s, and as soon as the frame is known places the window once more by its frame.
// Another placement of the window, or hiding it, ends the wait. Without a window manager it never
// changes anything.
class TPlaceWhenFramed : public QObject {
  public:
    TPlaceWhenFramed(QWidget* window, TFramePlace place)
        : QObject(window), window_(window), place_(std::move(place)) {
        connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
        timer_.start(FrameLookMs);
        waited_.start();
    }
    void Cancel() {
        timer_.stop();
        deleteLater();
    }

  private:
    void Look() {
        shown_ = shown_ || window_->isVisible();
        if ((shown_ && !window_->isVisible()) || waited_.elapsed() > FrameWaitMs) {
            Cancel();
            return;
        }
        if (!FrameKnown(window_)) return;
        Cancel();
        const QRect frame = window_->frameGeometry();
        const QPoint wanted = place_(frame.size());
        if (frame.topLeft() != wanted) window_->move(wanted); // with the frame known, by the frame
    }

    QWidget* window_;
    TFramePlace place_;
    QTimer timer_;
    QElapsedTimer waited_;
    bool shown_ = false;
};

void PlaceFrame(QWidget* window, const TFramePlace& place) {
    for (QObject* child : window->children())
        if (auto* waiting = dynamic_cast<TPlaceWhenFramed*>(child)) waiting->Cancel();

    const QPoint topLeft = place(window->frameGeometry().size());
    window->move(topLeft); // right once the frame is known, and without a window manager
    if (FrameKnown(window)) return;
    // Not framed yet: the move above puts the client area at the point. Asking for the frame's
    // corner makes a window manager put the frame there when it comes; should it not, the frame
    // is put right once it is known.
    if (QWindow* handle = window->windowHandle()) handle->setFramePosition(topLeft);
    new TPlaceWhenFramed(window, place);
}

} // namespace

void MoveFrame(QWidget* window, QPoint topLeft) {
    PlaceFrame(window, [topLeft](QSize) { return topLeft; });
}

void BringToFront(QWidget* window) {
    if (window == nullptr) return;
    for (QWidget* shown : {window, QApplication::activeModalWidget()}) {
        if (shown == nullptr) continue;
        shown->setWindowState(shown->windowState() & ~Qt::WindowMinimized);
        shown->show();
        shown->raise();
        shown->activateWindow();
    }
}

void CentreOnDesktop(QWidget* window, std::optional<int> top) {
    const QScreen* screen = window->screen();
    if (!screen) return;
    const QRect desktop = screen->geometry();
    PlaceFrame(window, [desktop, top](QSize frame) {
        return QPoint(desktop.x() + (desktop.width() - frame.width()) / 2,
                      top ? *top : desktop.y() + (desktop.height() - frame.height()) / 2);
    });
}

void FocusFirstButton(QDialog* dialog) {
    // The first widget in the tab chain gets the focus; every dialog puts its first button there.
    QWidget* first = dialog->nextInFocusChain();
    while (
        first && first != dialog &&
        !(first->focusPolicy() & Qt::TabFocus && first->isEnabled() && first->isVisibleTo(dialog)))
        first = first->nextInFocusChain();
    if (first && first != dialog) first->setFocus(Qt::TabFocusReason);
}

} // namespace brennix
