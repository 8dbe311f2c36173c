// The Start Leg dialog: its look, the list of the players in play, the choice and its keys.
#include "engine/state.h"
#include "ui/fonts.h"
#include "ui/form5.h"
#include "ui_test_support.h"

#include <QAbstractItemView>
#include <QtTest>
#include <memory>

using namespace brennix;
using namespace brennix::test;

namespace {

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
    TDialogSafety safety;

  private slots:
    void initTestCase() { InstallFontSubstitutes(); }

    void init() {
        ResetState();
        Settings.PlayerNames = {"Anna", "Bert", "Cleo", "Dirk", "Emil", "Fred", "Gina", "Hugo"};
        form = std::make_unique<TForm5>();
        safety.Start();
    }

    void cleanup() {
        const bool calm = safety.Stop();
        form.reset();
        QVERIFY2(calm, "a dialog was still open when the safety timer ran out");
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
        QVERIFY(OpenModeless(form.get()));
        QCOMPARE(form->focusWidget(), form->Button1);
        QTest::keyClick(form->Button1, Qt::Key_Tab);
        QCOMPARE(form->focusWidget(), form->ComboBox1);
        form->Button1Click();
        QVERIFY(OpenModeless(form.get()));
        QCOMPARE(form->focusWidget(), form->Button1);
        form->Button1Click();
    }

    void listHoldsExactlyThePlayersInPlay() {
        Settings.PlayerCount = 8;
        ActivePlayer = 5;
        QVERIFY(OpenModeless(form.get()));
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
        RunModal(form.get(), [this] {
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
        QVERIFY(OpenModeless(form.get()));
        QCOMPARE(Items(form->ComboBox1), QStringList{"Anna"});
        QCOMPARE(form->ComboBox1->currentIndex(), 0);
        form->Button1Click();
        QCOMPARE(ActivePlayer, 0);
    }

    void choosingWithTheKeyboardAndEnter() {
        Settings.PlayerCount = 4;
        ActivePlayer = 1;
        RunModal(form.get(), [this] {
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
        QVERIFY(OpenModeless(form.get()));
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
