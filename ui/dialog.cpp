#include "dialog.h"

#include "fonts.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

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

void CentreOnDesktop(QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen) return;
    const QRect desktop = screen->geometry();
    const QRect frame = window->frameGeometry();
    window->move(desktop.x() + (desktop.width() - frame.width()) / 2,
                 desktop.y() + (desktop.height() - frame.height()) / 2);
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
