// The Game Settings dialog: filling from the state, Ok, Cancel, typing limits, the error for a
// wrong "Keep Savefiles" entry, keys and focus.
#include "engine/state.h"
#include "ui/fonts.h"
#include "ui/form2.h"
#include "ui_test_support.h"

#include <QtTest>
#include <memory>
#include <optional>

using namespace brennix;
using namespace brennix::test;

namespace {

// A settings record with something different from the defaults in every field.
void FillSettings() {
    Settings.PlayerCount = 4;
    Settings.MatchFormat = 8; // "Best of 11 Sets"
    Settings.GameType = 9;    // "1001 Double Out"
    Settings.PlayerNames = {"Anna", "Bert", "Cleo", "Dirk", "Emil", "Fred", "Gina", "Hugo"};
    Settings.Sound = true;
    Settings.AutoSave = false;
    Settings.DeleteAutoSaves = true;
    Settings.KeepSaveFiles = 12;
}

bool SameSettings(const TSettings& a, const TSettings& b) {
    return a.PlayerCount == b.PlayerCount && a.MatchFormat == b.MatchFormat &&
           a.GameType == b.GameType && a.Outshots == b.Outshots && a.PlayerNames == b.PlayerNames &&
           a.Sound == b.Sound && a.AutoSave == b.AutoSave &&
           a.DeleteAutoSaves == b.DeleteAutoSaves && a.KeepSaveFiles == b.KeepSaveFiles;
}

// The control of the dialog that holds a widget (the spin field's inner line edit counts as the
// spin field).
QWidget* ControlOf(QWidget* dialog, QWidget* widget) {
    while (widget && widget->parentWidget() != dialog)
        widget = widget->parentWidget();
    return widget;
}

// Replaces what a field holds with typed text.
void TypeInto(QWidget* field, const QString& text) {
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

} // namespace

class Form2Test : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TForm2> form;
    TDialogSafety safety;

  private slots:
    void initTestCase() { InstallFontSubstitutes(); }

    void init() {
        ResetState();
        form = std::make_unique<TForm2>();
        safety.Start();
    }

    void cleanup() {
        const bool calm = safety.Stop();
        form.reset();
        QVERIFY2(calm, "a dialog was still open when the safety timer ran out");
    }

    void layoutFollowsTheDesign() {
        QCOMPARE(form->objectName(), QString("Form2"));
        QCOMPARE(form->windowTitle(), QString("Game Settings"));
        QCOMPARE(form->size(), QSize(425, 326));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(!(form->windowFlags() & Qt::WindowCloseButtonHint));

        QCOMPARE(form->findChild<QSpinBox*>("SpinEdit1"), form->SpinEdit1);
        QCOMPARE(form->SpinEdit1->geometry(), QRect(28, 40, 49, 30));
        QCOMPARE(form->SpinEdit1->font().pixelSize(), 16);
        QCOMPARE(form->SpinEdit1->minimum(), 1);
        QCOMPARE(form->SpinEdit1->maximum(), 8);
        QCOMPARE(form->SpinEdit1->value(), 2);
        QCOMPARE(form->findChild<QLabel*>("Label1")->text(), QString("PlayerAmmount"));
        QCOMPARE(form->Label1->pos(), QPoint(16, 24));

        QCOMPARE(form->findChild<QCheckBox*>("CheckBox2"), form->CheckBox2);
        QCOMPARE(form->CheckBox2->pos(), QPoint(104, 19));
        QCOMPARE(form->CheckBox2->text(), QString("Sound"));
        QCOMPARE(form->CheckBox1->pos(), QPoint(104, 41));
        QCOMPARE(form->CheckBox1->text(), QString("AutoSave"));
        QCOMPARE(form->CheckBox4->pos(), QPoint(104, 56));
        QCOMPARE(form->CheckBox4->text(), QString("Delete AutoSave files on exit"));

        // Display fields and their captions are disabled.
        const std::array<std::tuple<QLineEdit*, QLabel*, QPoint, QPoint, QString>, 3> shown = {{
            {form->Edit7, form->Label10, {272, 16}, {269, 38}, "PlActive"},
            {form->Edit5, form->Label8, {320, 16}, {316, 38}, "LegStart"},
            {form->Edit6, form->Label9, {368, 16}, {366, 38}, "SetStart"},
        }};
        for (const auto& [edit, label, editPos, labelPos, caption] : shown) {
            QCOMPARE(edit->pos(), editPos);
            QVERIFY(!edit->isEnabled());
            QCOMPARE(label->pos(), labelPos);
            QCOMPARE(label->text(), caption);
            QVERIFY(!label->isEnabled());
        }
        QCOMPARE(form->findChild<QLineEdit*>("Edit12"), form->Edit12);
        QCOMPARE(form->Edit12->pos(), QPoint(368, 56));
        QCOMPARE(form->Label16->pos(), QPoint(294, 59));
        QCOMPARE(form->Label16->text(), QString("Keep Savefiles"));

        QCOMPARE(form->findChild<QComboBox*>("ComboBox1"), form->ComboBox1);
        QCOMPARE(form->ComboBox1->pos(), QPoint(48, 112));
        QCOMPARE(form->ComboBox1->width(), 145);
        QCOMPARE(form->ComboBox2->pos(), QPoint(240, 112));
        QCOMPARE(form->ComboBox2->width(), 137);
        QCOMPARE(form->Label2->pos(), QPoint(56, 96));
        QCOMPARE(form->Label2->text(), QString("Game type"));
        QCOMPARE(form->Label3->pos(), QPoint(248, 96));
        QCOMPARE(form->Label3->text(), QString("Game Setting"));

        const std::array<std::pair<const char*, QPoint>, 8> names = {{{"Edit1", {72, 160}},
                                                                      {"Edit2", {272, 160}},
                                                                      {"Edit3", {72, 192}},
                                                                      {"Edit4", {272, 192}},
                                                                      {"Edit8", {72, 224}},
                                                                      {"Edit9", {272, 224}},
                                                                      {"Edit10", {72, 256}},
                                                                      {"Edit11", {272, 256}}}};
        for (int player = 1; player <= 8; ++player) {
            QLineEdit* edit = form->NameEdit(player);
            QCOMPARE(edit->objectName(), QString(names[player - 1].first));
            QCOMPARE(edit->pos(), names[player - 1].second);
            QCOMPARE(edit->width(), 121);
        }
        QCOMPARE(form->Label4->text(), QString("Player 1"));
        QCOMPARE(form->Label14->text(), QString("Player 8"));
        QVERIFY(form->Label14->x() < form->Edit11->x());

        QCOMPARE(form->Label15->pos(), QPoint(16, 304));
        QCOMPARE(form->Label15->text(), QString("Changing settings will reset the game !"));
        QVERIFY(form->Label15->font().bold());
        QCOMPARE(form->findChild<QPushButton*>("Button1"), form->Button1);
        QCOMPARE(form->Button1->geometry(), QRect(264, 296, 60, 25));
        QCOMPARE(form->Button1->text(), QString("Ok"));
        QCOMPARE(form->Button2->geometry(), QRect(336, 296, 60, 25));
        QCOMPARE(form->Button2->text(), QString("Cancel"));

        QCOMPARE(form->findChild<QFrame*>("Bevel1")->geometry(), QRect(8, 8, 409, 73));
        QCOMPARE(form->Bevel2->geometry(), QRect(8, 88, 409, 57));
        QCOMPARE(form->Bevel3->geometry(), QRect(8, 152, 409, 137));
        QCOMPARE(form->Bevel3->frameShadow(), QFrame::Raised);

        // The confirmation mark stays hidden, also while the dialog is shown.
        QVERIFY(OpenModeless(form.get()));
        QCOMPARE(form->findChild<QCheckBox*>("CheckBox3"), form->CheckBox3);
        QCOMPARE(form->CheckBox3->pos(), QPoint(408, 304));
        QCOMPARE(form->CheckBox3->text(), QString("CheckBox3"));
        QVERIFY(!form->CheckBox3->isVisible());
        form->Button2Click();
    }

    void listsHoldTheGameTypesAndFormatsWithTheirBlanks() {
        QVERIFY(!form->ComboBox1->isEditable());
        QVERIFY(!form->ComboBox2->isEditable());
        QCOMPARE(form->ComboBox1->count(), 12);
        QCOMPARE(form->ComboBox1->itemText(0), QString("  301 Double Out"));
        QCOMPARE(form->ComboBox1->itemText(4), QString("  301 Single Out"));
        QCOMPARE(form->ComboBox1->itemText(8), QString("1001 Double Out"));
        QCOMPARE(form->ComboBox1->itemText(11), QString("1501 Double Out"));
        QCOMPARE(form->ComboBox2->count(), 7);
        QCOMPARE(form->ComboBox2->itemText(0), QString("Best of 1 Leg"));
        QCOMPARE(form->ComboBox2->itemText(1), QString("Best of 1 Set"));
        QCOMPARE(form->ComboBox2->itemText(6), QString("Best of 11 Sets"));
    }

    void showingFillsEveryFieldFromTheState() {
        FillSettings();
        ActivePlayer = 2;
        NextLegStarter = 0;
        NextSetStarter = 1;
        form->CheckBox3->setChecked(true);
        QVERIFY(OpenModeless(form.get()));

        QVERIFY(!form->CheckBox3->isChecked());
        QCOMPARE(form->SpinEdit1->value(), 4);
        QCOMPARE(form->ComboBox1->currentText(), QString("1001 Double Out"));
        QCOMPARE(form->ComboBox2->currentText(), QString("Best of 11 Sets"));
        const QStringList names = {"Anna", "Bert", "Cleo", "Dirk", "Emil", "Fred", "Gina", "Hugo"};
        for (int player = 1; player <= 8; ++player)
            QCOMPARE(form->NameEdit(player)->text(), names[player - 1]);
        // The player to throw as a number, the starters as indices.
        QCOMPARE(form->Edit7->text(), QString("3"));
        QCOMPARE(form->Edit5->text(), QString("0"));
        QCOMPARE(form->Edit6->text(), QString("1"));
        QCOMPARE(form->Edit12->text(), QString("12"));
        QVERIFY(form->CheckBox2->isChecked());
        QVERIFY(!form->CheckBox1->isChecked());
        QVERIFY(form->CheckBox4->isChecked());
        form->Button2Click();
        QVERIFY(!form->isVisible());

        // The next showing reads the state again, whatever the fields held.
        Settings.AutoSave = true;
        Settings.Sound = false;
        Settings.KeepSaveFiles = 5;
        Settings.PlayerNames[7] = "Ines";
        ActivePlayer = 0;
        form->Edit1->setText("typed");
        QVERIFY(OpenModeless(form.get()));
        QVERIFY(form->CheckBox1->isChecked());
        QVERIFY(!form->CheckBox2->isChecked());
        QCOMPARE(form->Edit12->text(), QString("5"));
        QCOMPARE(form->Edit11->text(), QString("Ines"));
        QCOMPARE(form->Edit1->text(), QString("Anna"));
        QCOMPARE(form->Edit7->text(), QString("1"));
        form->Button2Click();
    }

    void codesOutsideTheListsLeaveNoSelectionAndStoreTheirDefaults() {
        FillSettings();
        Settings.GameType = 0;
        Settings.MatchFormat = 9;
        QVERIFY(OpenModeless(form.get()));
        QCOMPARE(form->ComboBox1->currentIndex(), -1);
        QCOMPARE(form->ComboBox2->currentIndex(), -1);
        form->Button1Click();
        QVERIFY(!form->isVisible());
        QCOMPARE(Settings.GameType, 0);
        QCOMPARE(Settings.MatchFormat, 1);

        Settings.GameType = 13;
        Settings.MatchFormat = 1;
        QVERIFY(OpenModeless(form.get()));
        QCOMPARE(form->ComboBox1->currentIndex(), -1);
        QCOMPARE(form->ComboBox2->currentIndex(), -1);
        form->Button2Click();
    }

    void okStoresEveryFieldAndMarksTheConfirmation() {
        FillSettings();
        ActivePlayer = 2;
        NextLegStarter = 3;
        NextSetStarter = 0;
        RunModal(form.get(), [this] {
            TypeInto(form->SpinEdit1, "6");
            form->ComboBox1->setCurrentIndex(
                form->ComboBox1->findText("  301 Single Out", Qt::MatchExactly));
            form->ComboBox2->setCurrentIndex(
                form->ComboBox2->findText("Best of 1 Leg", Qt::MatchExactly));
            for (int player = 1; player <= 8; ++player)
                TypeInto(form->NameEdit(player), QString("New %1").arg(player));
            TypeInto(form->Edit12, "-7");
            form->CheckBox2->setChecked(false);
            form->CheckBox1->setChecked(true);
            form->CheckBox4->setChecked(false);
            QTest::mouseClick(form->Button1, Qt::LeftButton);
        });
        QVERIFY(!form->isVisible());
        QVERIFY(form->CheckBox3->isChecked());
        QCOMPARE(Settings.PlayerCount, 6);
        QCOMPARE(Settings.GameType, 5);
        QCOMPARE(Settings.MatchFormat, 2);
        for (int n = 0; n < 8; ++n)
            QCOMPARE(Settings.PlayerNames[n], "New " + std::to_string(n + 1));
        QCOMPARE(Settings.KeepSaveFiles, -7);
        QVERIFY(!Settings.Sound);
        QVERIFY(Settings.AutoSave);
        QVERIFY(!Settings.DeleteAutoSaves);
        // The shown indices are never written back.
        QCOMPARE(ActivePlayer, 2);
        QCOMPARE(NextLegStarter, 3);
        QCOMPARE(NextSetStarter, 0);

        // The next showing clears the mark again.
        QVERIFY(OpenModeless(form.get()));
        QVERIFY(!form->CheckBox3->isChecked());
        form->Button2Click();
    }

    void cancelAfterChangingEveryFieldStoresNothing() {
        FillSettings();
        const TSettings before = Settings;
        RunModal(form.get(), [this] {
            TypeInto(form->SpinEdit1, "7");
            form->ComboBox1->setCurrentIndex(0);
            form->ComboBox2->setCurrentIndex(3);
            for (int player = 1; player <= 8; ++player)
                TypeInto(form->NameEdit(player), "Changed");
            TypeInto(form->Edit12, "99");
            form->CheckBox1->toggle();
            form->CheckBox2->toggle();
            form->CheckBox4->toggle();
            QTest::mouseClick(form->Button2, Qt::LeftButton);
        });
        QVERIFY(!form->isVisible());
        QVERIFY(!form->CheckBox3->isChecked());
        QVERIFY(SameSettings(Settings, before));

        // Cancelled edits do not come back on the next showing.
        QVERIFY(OpenModeless(form.get()));
        QCOMPARE(form->Edit1->text(), QString("Anna"));
        QCOMPARE(form->SpinEdit1->value(), 4);
        QCOMPARE(form->Edit12->text(), QString("12"));
        form->Button2Click();
    }

    void nameFieldsOfPlayersOneToFourTakeFifteenCharacters() {
        QVERIFY(OpenModeless(form.get()));
        const QString typed = "ABCDEFGHIJKLMNOPQRST"; // 20 characters
        for (int player = 1; player <= 4; ++player) {
            TypeInto(form->NameEdit(player), typed);
            QCOMPARE(form->NameEdit(player)->text(), typed.left(15));
        }
        // Removing characters and typing again stays within the limit.
        QTest::keyClick(form->Edit4, Qt::Key_Backspace);
        QTest::keyClicks(form->Edit4, "xyz");
        QCOMPARE(form->Edit4->text(), QString("ABCDEFGHIJKLMNx"));
        form->Button1Click();
        QCOMPARE(Settings.PlayerNames[0], std::string("ABCDEFGHIJKLMNO"));
        QCOMPARE(Settings.PlayerNames[3], std::string("ABCDEFGHIJKLMNx"));
    }

    void nameFieldsOfPlayersFiveToEightAreCutToTwentySixOnOk() {
        QVERIFY(OpenModeless(form.get()));
        const QString typed = "abcdefghijklmnopqrstuvwxyz1234"; // 30 characters
        for (int player = 5; player <= 8; ++player) {
            TypeInto(form->NameEdit(player), typed);
            QCOMPARE(form->NameEdit(player)->text(), typed);
        }
        form->Button1Click();
        for (int n = 4; n < 8; ++n)
            QCOMPARE(Settings.PlayerNames[n], std::string("abcdefghijklmnopqrstuvwxyz"));
    }

    // The typing limit holds for what the operator types only: a longer name from the settings is
    // shown whole and kept by Ok, but it cannot grow while it is over the limit.
    void longerStoredNameIsShownWholeAndCannotGrow() {
        Settings.PlayerNames[1] = "A name of twenty-two c";
        Settings.KeepSaveFiles = 1000;
        QVERIFY(OpenModeless(form.get()));
        QCOMPARE(form->Edit2->text(), QString("A name of twenty-two c"));
        QCOMPARE(form->Edit12->text(), QString("1000"));
        form->Edit2->setFocus();
        form->Edit2->end(false);
        QTest::keyClick(form->Edit2, Qt::Key_X);
        QCOMPARE(form->Edit2->text(), QString("A name of twenty-two c"));
        QTest::keyClick(form->Edit2, Qt::Key_Backspace);
        QTest::keyClick(form->Edit2, Qt::Key_X);
        QCOMPARE(form->Edit2->text(), QString("A name of twenty-two "));
        form->Button1Click();
        QCOMPARE(Settings.PlayerNames[1], std::string("A name of twenty-two "));
        QCOMPARE(Settings.KeepSaveFiles, 1000);
    }

    void keepSavefilesTakesThreeCharacters() {
        QVERIFY(OpenModeless(form.get()));
        TypeInto(form->Edit12, "12345");
        QCOMPARE(form->Edit12->text(), QString("123"));
        form->Button1Click();
        QCOMPARE(Settings.KeepSaveFiles, 123);
    }

    void playerCountFieldTakesNumbersOnlyAndComesIntoRange() {
        QVERIFY(OpenModeless(form.get()));
        const QString point = form->SpinEdit1->locale().decimalPoint();

        // Letters cannot be typed.
        TypeInto(form->SpinEdit1, "3a");
        QCOMPARE(form->SpinEdit1->text(), QString("3"));
        QCOMPARE(form->SpinEdit1->value(), 3);

        // A value above the range becomes 8 when the field is left.
        TypeInto(form->SpinEdit1, "12");
        QCOMPARE(form->SpinEdit1->text(), QString("12"));
        form->Edit1->setFocus();
        QCOMPARE(form->SpinEdit1->text(), QString("8"));
        QCOMPARE(form->SpinEdit1->value(), 8);

        // Below the range: 1.
        TypeInto(form->SpinEdit1, "-4");
        form->Edit1->setFocus();
        QCOMPARE(form->SpinEdit1->text(), QString("1"));

        // Entries that are not whole numbers count as 1.
        for (const QString& entry :
             {QString("2") + point + "5", QString("-"), QString("+"), QString("5-"), QString()}) {
            TypeInto(form->SpinEdit1, "7");
            QCOMPARE(form->SpinEdit1->value(), 7);
            TypeInto(form->SpinEdit1, entry);
            QCOMPARE(form->SpinEdit1->text(), entry);
            QCOMPARE(form->SpinEdit1->value(), 1);
        }
        // The empty field, left as it is, is stored as one player.
        form->Button1Click();
        QCOMPARE(Settings.PlayerCount, 1);

        // A plain entry with a sign is a whole number.
        QVERIFY(OpenModeless(form.get()));
        TypeInto(form->SpinEdit1, "+5");
        form->Button1Click();
        QCOMPARE(Settings.PlayerCount, 5);
    }

    void wrongKeepSavefilesEntryShowsTheErrorAndStoresNothing() {
        FillSettings();
        const TSettings before = Settings;
        std::optional<TSeenWindow> seen;
        bool stillOpen = false;
        bool markAfterError = true;
        RunModal(form.get(), [&] {
            form->SpinEdit1->setValue(8);
            form->ComboBox1->setCurrentIndex(0);
            form->Edit1->setText("Zoe");
            form->CheckBox1->setChecked(true);
            TypeInto(form->Edit12, "abc");
            AnswerMessageBox(&seen);
            QTest::mouseClick(form->Button1, Qt::LeftButton);
            stillOpen = form->isVisible();
            markAfterError = form->CheckBox3->isChecked();
            QTest::mouseClick(form->Button2, Qt::LeftButton);
        });
        QVERIFY(seen.has_value());
        QCOMPARE(seen->text, QString("'abc' is not a valid integer value."));
        QCOMPARE(seen->title, QString("Brennix 3.2"));
        QVERIFY(stillOpen);
        QVERIFY(!markAfterError);
        QVERIFY(!form->isVisible());
        QVERIFY(!form->CheckBox3->isChecked());
        QVERIFY(SameSettings(Settings, before));
    }

    void emptyKeepSavefilesEntryIsNoNumberEither() {
        QVERIFY(OpenModeless(form.get()));
        form->Edit12->clear();
        std::optional<TSeenWindow> seen;
        AnswerMessageBox(&seen);
        form->Button1Click();
        QVERIFY(seen.has_value());
        QCOMPARE(seen->text, QString("'' is not a valid integer value."));
        QVERIFY(form->isVisible());
        QVERIFY(!form->CheckBox3->isChecked());
        form->Button2Click();
    }

    // A name with a character the files cannot hold is refused, the character named; "ÿ", the
    // last of one byte, is a name like any other.
    void aNameBeyondOneBytePerCharacterIsRefused() {
        FillSettings();
        const TSettings before = Settings;
        QVERIFY(OpenModeless(form.get()));
        const QString names[] = {QString::fromUtf8("\xC5\x81ukasz"),
                                 QString::fromUtf8("Bo \xF0\x9F\x8E\xAF")};
        const QString characters[] = {QString::fromUtf8("\xC5\x81"),
                                      QString::fromUtf8("\xF0\x9F\x8E\xAF")};
        for (int i = 0; i < 2; ++i) {
            form->NameEdit(5)->setText(names[i]);
            std::optional<TSeenWindow> seen;
            AnswerMessageBox(&seen);
            form->Button1Click();
            QVERIFY(seen.has_value());
            QCOMPARE(seen->text,
                     QString("The name \"%1\" holds \"%2\", which game files cannot store: "
                             "use letters of Western European languages only.")
                         .arg(names[i], characters[i]));
            QVERIFY(form->isVisible());
            QVERIFY(SameSettings(Settings, before));
        }
        form->NameEdit(5)->setText(QString::fromUtf8("J\xC3\xBCrgen \xC3\xBF"));
        form->Button1Click();
        QCOMPARE(Settings.PlayerNames[4], std::string("J\xFCrgen \xFF"));
    }

    void okHoldsTheFocusWhenTheDialogOpens() {
        QVERIFY(OpenModeless(form.get()));
        QCOMPARE(form->focusWidget(), form->Button1);
        form->Edit3->setFocus();
        form->Button2Click();
        QVERIFY(OpenModeless(form.get()));
        QCOMPARE(form->focusWidget(), form->Button1);
        form->Button2Click();
    }

    void tabOrderFollowsTheDesign() {
        QVERIFY(OpenModeless(form.get()));
        const QList<QWidget*> expected = {
            form->Button1,   form->SpinEdit1, form->ComboBox1, form->Button2, form->CheckBox1,
            form->CheckBox2, form->ComboBox2, form->Edit1,     form->Edit2,   form->Edit3,
            form->Edit4,     form->Edit8,     form->Edit9,     form->Edit10,  form->Edit11,
            form->CheckBox4, form->Edit12,    form->Button1};
        QList<QWidget*> seen = {ControlOf(form.get(), form->focusWidget())};
        for (int i = 1; i < expected.size(); ++i) {
            QTest::keyClick(form->focusWidget(), Qt::Key_Tab);
            seen.append(ControlOf(form.get(), form->focusWidget()));
        }
        QCOMPARE(seen, expected);
        form->Button2Click();
    }

    void escapeAndCloseRequestsDoNothing() {
        QVERIFY(OpenModeless(form.get()));
        QTest::keyClick(form->focusWidget(), Qt::Key_Escape);
        QVERIFY(form->isVisible());
        form->Edit1->setFocus();
        QTest::keyClick(form->Edit1, Qt::Key_Escape);
        QVERIFY(form->isVisible());
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        form->Button2Click();
    }

    void enterPressesOnlyTheFocusedButton() {
        FillSettings();
        const TSettings before = Settings;
        QVERIFY(OpenModeless(form.get()));

        // In a name field Enter presses nothing.
        form->Edit2->setFocus();
        QTest::keyClick(form->Edit2, Qt::Key_Return);
        QTest::keyClick(form->Edit2, Qt::Key_Enter);
        QVERIFY(form->isVisible());
        QVERIFY(!form->CheckBox3->isChecked());
        QVERIFY(SameSettings(Settings, before));

        // On the focused Cancel button Enter cancels.
        form->Edit2->setText("Changed");
        form->Button2->setFocus();
        QTest::keyClick(form->Button2, Qt::Key_Return);
        QVERIFY(!form->isVisible());
        QVERIFY(!form->CheckBox3->isChecked());
        QVERIFY(SameSettings(Settings, before));

        // Right after opening, Enter confirms with Ok.
        RunModal(form.get(), [this] {
            form->Edit2->setText("Changed");
            QTest::keyClick(form->focusWidget(), Qt::Key_Return);
        });
        QVERIFY(!form->isVisible());
        QVERIFY(form->CheckBox3->isChecked());
        QCOMPARE(Settings.PlayerNames[1], std::string("Changed"));
    }

    // A check box is no button for Enter, and no push button is ever the default one.
    void enterOnACheckBoxChangesNothing() {
        FillSettings();
        Settings.AutoSave = true;
        const TSettings before = Settings;
        QVERIFY(OpenModeless(form.get()));
        const QList<QPushButton*> buttons = form->findChildren<QPushButton*>();
        QVERIFY(buttons.contains(form->Button1) && buttons.contains(form->Button2));
        for (QPushButton* button : buttons) {
            QVERIFY2(!button->autoDefault(), qPrintable(button->objectName()));
            QVERIFY2(!button->isDefault(), qPrintable(button->objectName()));
        }

        form->CheckBox1->setFocus();
        QCOMPARE(form->focusWidget(), form->CheckBox1);
        QVERIFY(form->CheckBox1->isChecked());
        QTest::keyClick(form->CheckBox1, Qt::Key_Return);
        QVERIFY(form->CheckBox1->isChecked());
        QTest::keyClick(form->CheckBox1, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(form->CheckBox1->isChecked());
        QVERIFY(form->isVisible());
        QVERIFY(!form->CheckBox3->isChecked());
        QVERIFY(SameSettings(Settings, before));
        for (QPushButton* button : buttons)
            QVERIFY2(!button->isDefault(), qPrintable(button->objectName()));
        form->Button2Click();
        QVERIFY(SameSettings(Settings, before));
    }
};

QTEST_MAIN(Form2Test)
#include "form2_test.moc"
