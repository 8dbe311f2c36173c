#include "dialog.h"

#include "fonts.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

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

// The frame as far as it is known: before a window manager has framed a window (and always
// without one) it is the client area alone.
bool FrameKnown(const QWidget* window) {
    return window->frameGeometry().size() != window->size();
}

// Centres a window once more when a window manager has put its frame around it; the frame shows
// up with the first move of the window after it was shown. Another placement of the window, or
// hiding it, ends the wait.
class TCentreWhenFramed : public QObject {
  public:
    TCentreWhenFramed(QWidget* window, std::optional<int> top) : QObject(window), top_(top) {
        window->installEventFilter(this);
    }
    void Cancel() {
        if (cancelled_) return;
        cancelled_ = true;
        parent()->removeEventFilter(this);
        deleteLater();
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Hide) {
            Cancel();
        } else if (!cancelled_ &&
                   (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
                   FrameKnown(window)) {
            const std::optional<int> top = top_;
            Cancel();
            CentreOnDesktop(window, top);
        }
        return false;
    }

  private:
    std::optional<int> top_;
    bool cancelled_ = false;
};

void CancelCentring(QWidget* window) {
    for (QObject* child : window->children())
        if (auto* waiting = dynamic_cast<TCentreWhenFramed*>(child)) waiting->Cancel();
}

void PlaceFrame(QWidget* window, QPoint topLeft) {
    window->move(topLeft); // right once the frame is known, and without a window manager
    // Before a window manager has framed the window, the move above puts the client area at the
    // point; asking for the frame's corner makes the manager put the frame there once it comes.
    if (FrameKnown(window)) return;
    if (QWindow* handle = window->windowHandle()) handle->setFramePosition(topLeft);
}

} // namespace

void MoveFrame(QWidget* window, QPoint topLeft) {
    CancelCentring(window);
    PlaceFrame(window, topLeft);
}

void CentreOnDesktop(QWidget* window, std::optional<int> top) {
    CancelCentring(window);
    const QScreen* screen = window->screen();
    if (!screen) return;
    const QRect desktop = screen->geometry();
    const QSize frame = window->frameGeometry().size();
    PlaceFrame(window, QPoint(desktop.x() + (desktop.width() - frame.width()) / 2,
                              top ? *top : desktop.y() + (desktop.height() - frame.height()) / 2));
    if (!FrameKnown(window)) new TCentreWhenFramed(window, top);
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
