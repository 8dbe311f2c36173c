// What the window tests share: a clean match state for every test, a guard that keeps a test from
// hanging in a modal loop, running and showing a dialog the way the program does, and answering
// the message boxes that come up meanwhile.
#pragma once

#include "engine/state.h"
#include "ui/form5.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <optional>

namespace brennix::test {

// Puts the whole match state back to how it is at process start: the settings, the eight player
// records and every game variable.
inline void ResetState() {
    Settings = TSettings{};
    Players = {};
    ActivePlayer = 0;
    Thrower = 0;
    StartScore = 0;
    LegStarter = 0;
    NextLegStarter = 0;
    NextSetStarter = 0;
    VisitScore = 0;
    TieBreakSet = false;
    SetDecided = false;
    HighGame = 0;
    HighGameName.clear();
    HighToday = 0;
    HighTodayName.clear();
    GameFileName.clear();
    LastGameFileName.clear();
}

// No test may hang in a modal loop: once started, the guard closes every open dialog when the
// time runs out and remembers that it had to.
class TDialogSafety {
  public:
    static constexpr int DefaultTimeoutMs = 20000;

    TDialogSafety() {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            timedOut_ = true;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible())
                    dialog->done(QDialog::Rejected);
        });
    }
    TDialogSafety(const TDialogSafety&) = delete;
    TDialogSafety& operator=(const TDialogSafety&) = delete;

    // Starts the countdown afresh.
    void Start(int timeoutMs = DefaultTimeoutMs) {
        timedOut_ = false;
        timer_.start(timeoutMs);
    }

    // Stops the countdown; false when the time ran out and the guard had to close dialogs.
    bool Stop() {
        timer_.stop();
        return !timedOut_;
    }

  private:
    QTimer timer_;
    bool timedOut_ = false;
};

// When the code that drives a modal dialog begins.
enum class TDriveStart {
    WhenActive, // once the dialog has become the active window (checked)
    AtOnce,     // as soon as the dialog's loop runs
};

// Runs a dialog modally, as the main window does; `drive` acts inside its loop, started by a
// zero-delay single-shot timer.
inline void RunModal(QDialog* dialog, TDriveStart start, const std::function<void()>& drive) {
    QTimer::singleShot(0, dialog, [dialog, start, drive] {
        if (start == TDriveStart::WhenActive) QVERIFY(QTest::qWaitForWindowActive(dialog));
        drive();
    });
    dialog->exec();
}

// The same, with `drive` starting once the dialog is the active window.
inline void RunModal(QDialog* dialog, const std::function<void()>& drive) {
    RunModal(dialog, TDriveStart::WhenActive, drive);
}

// Shows a dialog without a nested loop; false when it does not become the active window.
inline bool OpenModeless(QDialog* dialog) {
    dialog->show();
    return QTest::qWaitForWindowActive(dialog);
}

// A window that came up during a test, as the test saw it.
struct TSeenWindow {
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText; // how a message box reads its text
};

// Notes a message box's title, text and text format and presses its OK.
inline TSeenWindow NoteAndPressOk(QMessageBox* box) {
    TSeenWindow seen{box->windowTitle(), box->text(), box->textFormat()};
    box->button(QMessageBox::Ok)->click();
    return seen;
}

// Watches for the next message box of the application (every 10 ms, for at most `timeoutMs`),
// notes its title and text in `seen` and presses its OK. `seen` stays empty when none comes up.
inline void AnswerMessageBox(std::optional<TSeenWindow>* seen, int timeoutMs = 5000) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, seen] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->isVisible()) continue;
            *seen = NoteAndPressOk(box);
            poll->deleteLater();
            return;
        }
    });
    QTimer::singleShot(timeoutMs, poll, &QObject::deleteLater);
    poll->start();
}

// Answers every modal window every 10 ms while the timer runs, as an operator who lets the program
// go on: Start Leg with Ok, a message box with OK, any other dialog closed.
inline void AnswerEveryModal(QTimer& timer) {
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* startLeg = qobject_cast<TForm5*>(modal))
            startLeg->Button1->click();
        else if (auto* box = qobject_cast<QMessageBox*>(modal))
            NoteAndPressOk(box);
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
    });
    timer.start();
}

} // namespace brennix::test
