// The Start Leg dialog: its look, the list of the players in play, the choice and its keys.
#include "engine/state.h"
#include "ui/fonts.h"
#include "ui/form5.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

using namespace brennix;

namespace {

void ResetState() {
    Settings = TSettings{};
    ActivePlayer = 0;
    NextLegStarter = 0;
    NextSetStarter = 0;
    Settings.PlayerNames = {"Anna", "Bert", "Cleo", "Dirk", "Emil", "Fred", "Gina", "Hugo"};
}

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items.append(list->itemText(i));
    return items;
}

} // namespace

class Form5Test : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TForm5> form;
    QTimer* safety = nullptr;
    bool timedOut = false;

    bool Open() {
        form->show();
        return QTest::qWaitForWindowActive(form.get());
    }

    // Runs the dialog modally, as the main window does; `drive` acts inside its loop.
    void RunModal(const std::function<void()>& drive) {
        QTimer::singleShot(0, form.get(), [this, drive] {
            QVERIFY(QTest::qWaitForWindowActive(form.get()));
            drive();
        });
        form->exec();
    }

  private slots:
    void initTestCase() { InstallFontSubstitutes(); }

    void init() {
        ResetState();
        form = std::make_unique<TForm5>();
        timedOut = false;
        // No test may hang in a modal loop: after a while every open dialog is closed.
        safety = new QTimer(this);
        safety->setSingleShot(true);
        connect(safety, &QTimer::timeout, this, [this] {
            timedOut = true;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible())
                    dialog->done(QDialog::Rejected);
        });
        safety->start(20000);
    }

    void cleanup() {
        delete safety;
        safety = nullptr;
        form.reset();
        QVERIFY2(!timedOut, "a dialog was still open when the safety timer ran out");
    }

    void layoutFollowsTheDesign() {
        QCOMPARE(form->objectName(), QString("Form5"));
        QCOMPARE(form->windowTitle(), QString("Start Leg"));
        QCOMPARE(form->size(), QSize(297, 163));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(!(form->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(form->windowFlags() & Qt::WindowSystemMenuHint));

        QCOMPARE(form->findChild<QLabel*>("Label1"), form->Label1);
        QCOMPARE(form->Label1->pos(), QPoint(56, 32));
        QCOMPARE(form->Label1->text(), QString("Who may begin the leg?"));
        QVERIFY(form->Label1->font().bold());
        QCOMPARE(form->Label1->font().pixelSize(), 16);

        QCOMPARE(form->findChild<QComboBox*>("ComboBox1"), form->ComboBox1);
        QCOMPARE(form->ComboBox1->pos(), QPoint(32, 64));
        QCOMPARE(form->ComboBox1->width(), 241);
        QVERIFY(!form->ComboBox1->isEditable());
        QCOMPARE(form->ComboBox1->font().pixelSize(), 19);
        QCOMPARE(Items(form->ComboBox1), QStringList{"Player1"});
        QCOMPARE(form->ComboBox1->view()->sizeHintForRow(0), 24);

        QCOMPARE(form->findChild<QPushButton*>("Button1"), form->Button1);
        QCOMPARE(form->Button1->geometry(), QRect(112, 112, 75, 25));
        QCOMPARE(form->Button1->text(), QString("Ok"));
    }

    void okHoldsTheFocusWhenTheDialogOpens() {
        QVERIFY(Open());
        QCOMPARE(form->focusWidget(), form->Button1);
        QTest::keyClick(form->Button1, Qt::Key_Tab);
        QCOMPARE(form->focusWidget(), form->ComboBox1);
        form->Button1Click();
        QVERIFY(Open());
        QCOMPARE(form->focusWidget(), form->Button1);
        form->Button1Click();
    }

    void listHoldsExactlyThePlayersInPlay() {
        Settings.PlayerCount = 8;
        ActivePlayer = 5;
        QVERIFY(Open());
        QCOMPARE(Items(form->ComboBox1),
                 (QStringList{"Anna", "Bert", "Cleo", "Dirk", "Emil", "Fred", "Gina", "Hugo"}));
        QCOMPARE(form->ComboBox1->currentIndex(), 5);
        form->Button1Click();
        QVERIFY(!form->isVisible());
        QCOMPARE(ActivePlayer, 5);
        QCOMPARE(Items(form->ComboBox1), QStringList{"Anna"});

        // Fewer players next time: exactly their names, with the choice made in the loop.
        Settings.PlayerCount = 3;
        Settings.PlayerNames[0] = "Zoe";
        ActivePlayer = 0;
        RunModal([this] {
            QCOMPARE(Items(form->ComboBox1), (QStringList{"Zoe", "Bert", "Cleo"}));
            QCOMPARE(form->ComboBox1->currentIndex(), 0);
            form->ComboBox1->setCurrentIndex(form->ComboBox1->findText("Cleo"));
            QTest::mouseClick(form->Button1, Qt::LeftButton);
        });
        QVERIFY(!form->isVisible());
        QCOMPARE(ActivePlayer, 2);
        QCOMPARE(Items(form->ComboBox1), QStringList{"Zoe"});
    }

    void singlePlayerListsOneName() {
        Settings.PlayerCount = 1;
        QVERIFY(Open());
        QCOMPARE(Items(form->ComboBox1), QStringList{"Anna"});
        QCOMPARE(form->ComboBox1->currentIndex(), 0);
        form->Button1Click();
        QCOMPARE(ActivePlayer, 0);
    }

    void choosingWithTheKeyboardAndEnter() {
        Settings.PlayerCount = 4;
        ActivePlayer = 1;
        RunModal([this] {
            QCOMPARE(form->ComboBox1->currentIndex(), 1);
            form->ComboBox1->setFocus();
            QTest::keyClick(form->ComboBox1, Qt::Key_Down);
            QCOMPARE(form->ComboBox1->currentText(), QString("Cleo"));
            // Enter in the list presses nothing; on Ok it confirms.
            QTest::keyClick(form->ComboBox1, Qt::Key_Return);
            QVERIFY(form->isVisible());
            form->Button1->setFocus();
            QTest::keyClick(form->Button1, Qt::Key_Return);
        });
        QVERIFY(!form->isVisible());
        QCOMPARE(ActivePlayer, 2);
    }

    void closeRequestsAndEscapeAreIgnored() {
        Settings.PlayerCount = 2;
        ActivePlayer = 1;
        QVERIFY(Open());
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QTest::keyClick(form->focusWidget(), Qt::Key_Escape);
        QVERIFY(form->isVisible());
        QCOMPARE(ActivePlayer, 1);
        form->Button1Click();
        QVERIFY(!form->isVisible());
    }
};

QTEST_MAIN(Form5Test)
#include "form5_test.moc"
