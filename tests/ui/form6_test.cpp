// The Outshot Settings dialog: one line per remaining score, stored on Ok only.
#include "engine/state.h"
#include "ui/fonts.h"
#include "ui/form6.h"
#include "ui_test_support.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>
#include <memory>
#include <string>

using namespace brennix;
using namespace brennix::test;

namespace {

// A different text for every entry, some of them empty or of the full 50 characters.
std::array<std::string, OutshotCount> SampleOutshots() {
    std::array<std::string, OutshotCount> texts{};
    for (int remaining = 1; remaining <= OutshotCount; ++remaining) {
        // Built by appending: GCC 12 at -O3 reports a false overlap (-Wrestrict) for a literal
        // put in front of a temporary string.
        std::string text("T");
        text.append(std::to_string(remaining)).append(" D").append(std::to_string(remaining % 20));
        if (remaining % 17 == 0) text.clear();
        if (remaining % 23 == 0) text = std::string(50, static_cast<char>('a' + remaining % 26));
        texts[remaining - 1] = text;
    }
    texts[170] = "entry 171 is never shown";
    return texts;
}

QTextBlock Line(const TForm6& form, int number) {
    return form.Memo1->document()->findBlockByNumber(number);
}

void ReplaceLine(TForm6& form, int number, const QString& text) {
    QTextCursor cursor(Line(form, number));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(text);
}

// Removes a line with its line break, as the operator does by deleting it.
void DeleteLine(TForm6& form, int number) {
    QTextCursor cursor(Line(form, number));
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

} // namespace

class Form6Test : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { InstallFontSubstitutes(); }

    void init() {
        ResetState();
        Settings.Outshots = SampleOutshots();
        form = std::make_unique<TForm6>();
    }

    void cleanup() { form.reset(); }

    void layoutFollowsTheDesign() {
        QCOMPARE(form->objectName(), QString("Form6"));
        QCOMPARE(form->windowTitle(), QString("Outshot Settings"));
        QCOMPARE(form->size(), QSize(241, 302));
        QVERIFY(!(form->windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(form->findChild<QPlainTextEdit*>("Memo1"), form->Memo1);
        QCOMPARE(form->Memo1->geometry(), QRect(8, 8, 225, 257));
        QVERIFY(!form->Memo1->isReadOnly());
        QCOMPARE(form->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(form->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(form->findChild<QPushButton*>("Button1"), form->Button1);
        QCOMPARE(form->Button1->geometry(), QRect(112, 272, 57, 25));
        QCOMPARE(form->Button1->text(), QString("Ok"));
        QCOMPARE(form->findChild<QPushButton*>("Button2"), form->Button2);
        QCOMPARE(form->Button2->geometry(), QRect(176, 272, 57, 25));
        QCOMPARE(form->Button2->text(), QString("Cancel"));
    }

    // Ok first (with the focus on opening), Cancel next, the text last.
    void tabOrderOkCancelMemo() {
        form->show();
        QCOMPARE(form->focusWidget(), form->Button1);
        QCOMPARE(form->Button1->nextInFocusChain(), form->Button2);
        QCOMPARE(form->Button2->nextInFocusChain(), form->Memo1);
    }

    void showingListsHeadingAndTexts() {
        form->show();
        const QTextDocument* document = form->Memo1->document();
        QCOMPARE(document->blockCount(), 171);
        QCOMPARE(Line(*form, 0).text(), QString("OutShots"));
        for (int remaining = 1; remaining <= 170; ++remaining)
            QCOMPARE(Line(*form, remaining).text(),
                     QString::fromStdString(Settings.Outshots[remaining - 1]));
        QVERIFY(!form->Memo1->toPlainText().contains("entry 171"));
    }

    void okWithoutEditsChangesNothing() {
        Settings.Outshots[99] = "Tr\xe9"
                                "ble 20, D20"; // a Latin-1 character survives the round trip
        const auto before = Settings.Outshots;
        form->show();
        form->Button1Click();
        QVERIFY(!form->isVisible());
        for (int entry = 0; entry < OutshotCount; ++entry)
            QCOMPARE(Settings.Outshots[entry], before[entry]);
    }

    void longLineIsCutToFiftyCharacters() {
        const QString sixty = QString("0123456789").repeated(6);
        form->show();
        ReplaceLine(*form, 100, sixty);
        form->Button1Click();
        QCOMPARE(Settings.Outshots[99], sixty.left(50).toStdString());
        QCOMPARE(Settings.Outshots[99].size(), size_t(50));
        QCOMPARE(Settings.Outshots[98], SampleOutshots()[98]);
        QCOMPARE(Settings.Outshots[100], SampleOutshots()[100]);
    }

    // Deleting line 5 moves every later text one score down and leaves 170 empty.
    void deletedLineShiftsTheFollowingTexts() {
        const auto before = Settings.Outshots;
        form->show();
        DeleteLine(*form, 5);
        form->Button1Click();
        for (int remaining = 1; remaining <= 4; ++remaining)
            QCOMPARE(Settings.Outshots[remaining - 1], before[remaining - 1]);
        for (int remaining = 5; remaining <= 169; ++remaining)
            QCOMPARE(Settings.Outshots[remaining - 1], before[remaining]);
        QCOMPARE(Settings.Outshots[169], std::string());
        QCOMPARE(Settings.Outshots[170], before[170]);
    }

    // The heading line and any line after 170 are not stored anywhere.
    void headingAndExtraLinesAreIgnored() {
        const auto before = Settings.Outshots;
        form->show();
        ReplaceLine(*form, 0, "Changed heading");
        form->Memo1->appendPlainText("one more\nand another");
        QCOMPARE(form->Memo1->document()->blockCount(), 173);
        form->Button1Click();
        for (int entry = 0; entry < OutshotCount; ++entry)
            QCOMPARE(Settings.Outshots[entry], before[entry]);
    }

    void missingLinesGiveEmptyTexts() {
        const auto before = Settings.Outshots;
        form->show();
        form->Memo1->setPlainText("OutShots\nfirst\nsecond");
        form->Button1Click();
        QCOMPARE(Settings.Outshots[0], std::string("first"));
        QCOMPARE(Settings.Outshots[1], std::string("second"));
        for (int remaining = 3; remaining <= 170; ++remaining)
            QCOMPARE(Settings.Outshots[remaining - 1], std::string());
        QCOMPARE(Settings.Outshots[170], before[170]);
    }

    // Typing on line 40 and pressing Cancel stores nothing; the next showing shows the stored
    // text again.
    void cancelDiscardsTheEdits() {
        const auto before = Settings.Outshots;
        form->show();
        form->Memo1->setFocus();
        form->Memo1->setTextCursor(QTextCursor(Line(*form, 40)));
        QTest::keyClicks(form->Memo1, "Bull, Bull");
        QVERIFY(Line(*form, 40).text().startsWith("Bull, Bull"));
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QVERIFY(!form->isVisible());
        for (int entry = 0; entry < OutshotCount; ++entry)
            QCOMPARE(Settings.Outshots[entry], before[entry]);

        form->show();
        QCOMPARE(Line(*form, 40).text(), QString::fromStdString(before[39]));
        QCOMPARE(form->Memo1->document()->blockCount(), 171);
    }

    // Every showing rebuilds the text from the stored table, whatever was left in it.
    void showingRebuildsFromTheStoredTexts() {
        form->show();
        form->Memo1->setPlainText("garbage");
        form->Button2Click();
        Settings.Outshots[0] = "D1";
        form->show();
        QCOMPARE(Line(*form, 0).text(), QString("OutShots"));
        QCOMPARE(Line(*form, 1).text(), QString("D1"));
        QCOMPARE(form->Memo1->document()->blockCount(), 171);
    }

    // Enter in the text starts a new line and leaves the dialog open; Enter on Ok stores.
    void enterInTheTextStartsANewLine() {
        const auto before = Settings.Outshots;
        bool stillOpen = false;
        int linesAfterEnter = 0;
        TDialogSafety safety;
        safety.Start(10000);
        RunModal(form.get(), TDriveStart::AtOnce, [&] {
            form->Memo1->setFocus();
            form->Memo1->setTextCursor(QTextCursor(Line(*form, 3)));
            QTest::keyClick(form->Memo1, Qt::Key_Return);
            QTest::keyClick(form->Memo1, Qt::Key_Enter);
            linesAfterEnter = form->Memo1->document()->blockCount();
            stillOpen = form->isVisible();
            QTest::keyClick(form.get(), Qt::Key_Escape); // does nothing
            stillOpen = stillOpen && form->isVisible();
            form->Button1->setFocus();
            QTest::keyClick(form->Button1, Qt::Key_Return);
        });
        QVERIFY(safety.Stop());
        QCOMPARE(linesAfterEnter, 173);
        QVERIFY(stillOpen);
        QVERIFY(!form->isVisible());
        // Two empty lines in front of line 3 moved its text and the rest two scores up.
        QCOMPARE(Settings.Outshots[2], std::string());
        QCOMPARE(Settings.Outshots[3], std::string());
        QCOMPARE(Settings.Outshots[4], before[2]);
        QCOMPARE(Settings.Outshots[169], before[167]);
    }

  private:
    std::unique_ptr<TForm6> form;
};

QTEST_MAIN(Form6Test)
#include "form6_test.moc"
