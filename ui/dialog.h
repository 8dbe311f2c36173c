// What every dialog of the program shares: a fixed client area, the default font, no default or
// cancel button (Enter presses a button only while it has the focus, Escape does nothing), and
// no close box where the dialog has none.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <optional>

namespace brennix {

class TModalDialog : public QDialog {
    Q_OBJECT
  public:
    // A dialog of the given client size; without caption buttons unless closeBox is set.
    TModalDialog(QWidget* parent, const char* name, const QString& caption, int width, int height,
                 bool closeBox = false);

    // Closes the dialog from one of its own buttons.
    void CloseDialog();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    bool closeBox_;
    bool closing_ = false;
};

// Creates a child widget with its object name and place (left, top) and, when given, its size.
template <class W, class... Args>
W* Place(QWidget* parent, const char* name, int left, int top, int width = -1, int height = -1,
         Args&&... args) {
    W* widget = new W(std::forward<Args>(args)..., parent);
    widget->setObjectName(name);
    widget->move(left, top);
    if (width >= 0 && height >= 0) widget->resize(width, height);
    return widget;
}

// A raised panel that frames a group of controls, beneath them.
QFrame* PlaceBevel(QWidget* parent, const char* name, int left, int top, int width, int height);

// A label at its place that takes the size of its text, as every label of the program does.
QLabel* PlaceLabel(QWidget* parent, const char* name, int left, int top, const QString& text);

// Sets a label's text and lets the label take the size of it.
void SetLabelText(QLabel* label, const QString& text);

// Puts a window's frame, title bar included, with its top-left corner at the point, also under a
// window manager that has not framed the window yet. Without a window manager the frame is the
// client area itself.
void MoveFrame(QWidget* window, QPoint topLeft);

// Centres a window's frame on the screen it is on; with a top edge given, only across the screen,
// with the frame's top at that height. A window manager frames a window only once it is shown, so
// a window centred before its frame is known is centred again as soon as it is.
void CentreOnDesktop(QWidget* window, std::optional<int> top = std::nullopt);

// Brings a window back from the task bar to the front with the keyboard, as a click on it would;
// a modal dialog open over it comes along on top.
void BringToFront(QWidget* window);

// Moves the first focusable child in tab order into the focus, as when a dialog opens.
void FocusFirstButton(QDialog* dialog);

} // namespace brennix
