// The match result dialog: winner line, eight names and the darts-per-leg table.
#include "engine/state.h"
#include "ui/fonts.h"
#include "ui/form3.h"
#include "ui_test_support.h"

#include <QScreen>
#include <QtTest>
#include <initializer_list>
#include <memory>

using namespace brennix;
using namespace brennix::test;

namespace {

// Books the won legs of one player (1-based) into WonLegDarts, in order of winning.
void WinLegs(int player, std::initializer_list<int32_t> darts) {
    int slot = 0;
    while (Players[player - 1].WonLegDarts[slot] != 0)
        ++slot;
    for (const int32_t value : darts)
        Players[player - 1].WonLegDarts[slot++] = value;
}

QStringList Headings(const TForm3& form) {
    QStringList texts;
    for (int column = 1; column <= TForm3::Columns; ++column)
        texts << form.Label(TForm3::Rows + column)->text();
    return texts;
}

QStringList Row(const TForm3& form, int player) {
    QStringList texts;
    for (int column = 1; column <= TForm3::Columns; ++column)
        texts << form.Cell(player, column)->text();
    return texts;
}

const QStringList EmptyRow{"", "", "", "", ""};

} // namespace

class Form3Test : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { InstallFontSubstitutes(); }

    void init() {
        ResetState();
        Settings.PlayerCount = 2;
        for (int player = 1; player <= MaxPlayers; ++player)
            Settings.PlayerNames[player - 1] = "Name" + std::to_string(player);
        form = std::make_unique<TForm3>();
    }

    void cleanup() { form.reset(); }

    void layoutFollowsTheDesign() {
        QCOMPARE(form->objectName(), QString("Form3"));
        QCOMPARE(form->windowTitle(), QString("Game, Shot and the Match"));
        QCOMPARE(form->size(), QSize(267, 311));
        QVERIFY(!(form->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!form->windowIcon().isNull());

        for (int player = 1; player <= 8; ++player) {
            auto* label = form->findChild<QLabel*>(QString("Label%1").arg(player));
            QVERIFY(label);
            QCOMPARE(label, form->Label(player));
            QCOMPARE(label->pos(), QPoint(16, 20 + 24 * (player - 1)));
            QCOMPARE(label->text(), QString("Player%1").arg(player));
            for (int column = 1; column <= 5; ++column) {
                const int number = 5 * (player - 1) + column;
                auto* edit = form->findChild<QLineEdit*>(QString("Edit%1").arg(number));
                QVERIFY(edit);
                QCOMPARE(edit, form->Cell(player, column));
                QCOMPARE(edit->geometry(),
                         QRect(88 + 32 * (column - 1), 16 + 24 * (player - 1), 25, 21));
            }
        }
        for (int column = 1; column <= 5; ++column) {
            auto* heading = form->findChild<QLabel*>(QString("Label%1").arg(8 + column));
            QVERIFY(heading);
            QCOMPARE(heading->pos(), QPoint(93 + 32 * (column - 1), 208));
            QCOMPARE(heading->text(), QString("n/a"));
        }
        auto* label14 = form->findChild<QLabel*>("Label14");
        QVERIFY(label14);
        QCOMPARE(label14->pos(), QPoint(106, 224));
        QCOMPARE(label14->text(), QString("Ammount of darts per Leg"));

        auto* win = form->findChild<QLabel*>("LabelWin");
        QCOMPARE(win, form->LabelWin);
        QCOMPARE(win->geometry(), QRect(9, 252, 187, 22));
        QCOMPARE(win->alignment(), Qt::AlignCenter);
        QVERIFY(win->font().bold());
        QCOMPARE(win->font().pixelSize(), 19);
        QCOMPARE(win->text(), QString("Winner : Player ?"));

        auto* restart = form->findChild<QPushButton*>("Button1");
        QCOMPARE(restart, form->Button1);
        QCOMPARE(restart->geometry(), QRect(96, 280, 75, 25));
        QCOMPARE(restart->text(), QString("Restart"));
    }

    // Player 1 won legs of 15, 15 and 21 darts, player 2 one of 18.
    void tableOfTheExampleMatch() {
        WinLegs(1, {15, 15, 21});
        WinLegs(2, {18});
        Thrower = 1;
        form->show();
        QCOMPARE(Headings(*form), QStringList({"15", "18", "21", "n/a", "n/a"}));
        QCOMPARE(Row(*form, 1), QStringList({"2", "", "1", "", ""}));
        QCOMPARE(Row(*form, 2), QStringList({"", "1", "", "", ""}));
        for (int player = 3; player <= 8; ++player)
            QCOMPARE(Row(*form, player), EmptyRow);
        QCOMPARE(form->LabelWin->text(), QString("Winner: Name1"));
    }

    // Only the five shortest of seven lengths get a column; legs may lie anywhere in the list.
    void onlyTheFiveShortestLengths() {
        WinLegs(1, {30, 12, 25, 12});
        WinLegs(2, {9, 40});
        WinLegs(7, {18, 22, 9, 9});
        Players[4].WonLegDarts[99] = 22; // the last entry counts as well
        form->show();
        QCOMPARE(Headings(*form), QStringList({"9", "12", "18", "22", "25"}));
        QCOMPARE(Row(*form, 1), QStringList({"", "2", "", "", "1"}));
        QCOMPARE(Row(*form, 2), QStringList({"1", "", "", "", ""}));
        QCOMPARE(Row(*form, 5), QStringList({"", "", "", "1", ""}));
        QCOMPARE(Row(*form, 7), QStringList({"2", "", "1", "1", ""}));
        for (int player : {3, 4, 6, 8})
            QCOMPARE(Row(*form, player), EmptyRow);
    }

    // Lengths of 10000 and more, empty entries and negative values never get a column.
    void lengthsFromTenThousandAreIgnored() {
        WinLegs(1, {10000, 9999, 12000});
        WinLegs(3, {-5, 2147483647, 9999});
        form->show();
        QCOMPARE(Headings(*form), QStringList({"9999", "n/a", "n/a", "n/a", "n/a"}));
        QCOMPARE(Row(*form, 1), QStringList({"1", "", "", "", ""}));
        QCOMPARE(Row(*form, 3), QStringList({"1", "", "", "", ""}));
    }

    void noLegsLeavesEverythingEmpty() {
        form->show();
        QCOMPARE(Headings(*form), QStringList({"n/a", "n/a", "n/a", "n/a", "n/a"}));
        for (int player = 1; player <= 8; ++player)
            QCOMPARE(Row(*form, player), EmptyRow);
    }

    // A later match with fewer lengths shows nothing of the earlier one.
    void secondShowingForgetsTheFirstMatch() {
        WinLegs(1, {11, 12, 13});
        WinLegs(2, {14, 15, 11});
        WinLegs(8, {12});
        form->show();
        QCOMPARE(Headings(*form), QStringList({"11", "12", "13", "14", "15"}));
        form->Button1Click();
        QVERIFY(!form->isVisible());

        Players = {};
        WinLegs(2, {20, 20});
        form->LabelWin->setText("stale");
        form->show();
        QCOMPARE(Headings(*form), QStringList({"20", "n/a", "n/a", "n/a", "n/a"}));
        QCOMPARE(Row(*form, 2), QStringList({"2", "", "", "", ""}));
        for (int player : {1, 3, 4, 5, 6, 7, 8})
            QCOMPARE(Row(*form, player), EmptyRow);
        QCOMPARE(form->LabelWin->text(), QString("Winner: Unknown"));
    }

    // Fields typed into by the operator are emptied on the next showing as well.
    void typedFieldsAreClearedOnShowing() {
        form->show();
        form->Cell(4, 3)->setText("7");
        form->Button1Click();
        form->show();
        QCOMPARE(form->Cell(4, 3)->text(), QString());
    }

    void winnerLine_data() {
        QTest::addColumn<int>("thrower");
        QTest::addColumn<QString>("expected");
        QTest::newRow("player 1") << 1 << "Winner: Name1";
        QTest::newRow("player 3") << 3 << "Winner: Name3";
        QTest::newRow("player 8") << 8 << "Winner: Name8";
        QTest::newRow("0") << 0 << "Winner: Unknown";
        QTest::newRow("9") << 9 << "Winner: Unknown";
        QTest::newRow("-1") << -1 << "Winner: Unknown";
    }

    void winnerLine() {
        QFETCH(int, thrower);
        QFETCH(QString, expected);
        Thrower = thrower;
        form->show();
        QCOMPARE(form->LabelWin->text(), expected);
    }

    // Two players in the game, yet all eight names are listed, each exactly as typed.
    void eightNamesWithTwoPlayers() {
        Settings.PlayerCount = 2;
        Settings.PlayerNames[2] = "<b>Bold</b>";
        Settings.PlayerNames[6] = "Andr\xe9";
        Settings.PlayerNames[7] = "";
        form->show();
        for (int player : {1, 2, 4, 5, 6})
            QCOMPARE(form->Label(player)->text(), QString("Name%1").arg(player));
        QCOMPARE(form->Label(3)->text(), QString("<b>Bold</b>"));
        QCOMPARE(form->Label(3)->textFormat(), Qt::PlainText);
        QCOMPARE(form->Label(7)->text(), QString::fromUtf8("Andr\xc3\xa9"));
        QCOMPARE(form->Label(8)->text(), QString());
        // Labels grow with their names.
        QVERIFY(form->Label(3)->width() > form->Label(1)->width());
    }

    void topEdgeIs125OnEveryShowing() {
        form->show();
        QCOMPARE(form->pos().y(), TForm3::TopEdge);
        QCOMPARE(form->pos().y(), 125);
        const QRect desktop = form->screen()->geometry();
        QCOMPARE(form->frameGeometry().center().x(), desktop.center().x());
        form->Button1Click();
        form->move(10, 400);
        form->show();
        QCOMPARE(form->pos().y(), 125);
    }

    void restartClosesTheDialog() {
        form->show();
        QVERIFY(form->isVisible());
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(!form->isVisible());
    }

    // Modal run as the main window does it: Restart has the focus, Enter presses it, Escape and
    // the window's close request do nothing.
    void modalRunEndsWithRestart() {
        bool escapeKeptOpen = false;
        bool closeKeptOpen = false;
        bool restartFocused = false;
        TDialogSafety safety;
        safety.Start(10000);
        RunModal(form.get(), TDriveStart::AtOnce, [&] {
            restartFocused = form->focusWidget() == form->Button1;
            QTest::keyClick(form.get(), Qt::Key_Escape);
            escapeKeptOpen = form->isVisible();
            form->close();
            closeKeptOpen = form->isVisible();
            QTest::keyClick(form->Button1, Qt::Key_Return);
        });
        QVERIFY(safety.Stop());
        QVERIFY(restartFocused);
        QVERIFY(escapeKeptOpen);
        QVERIFY(closeKeptOpen);
        QVERIFY(!form->isVisible());
    }

  private:
    std::unique_ptr<TForm3> form;
};

QTEST_MAIN(Form3Test)
#include "form3_test.moc"
