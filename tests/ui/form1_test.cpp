// The scoreboard window: how it draws the match state, the active-player markers, the starting
// look after a reset, the score field's keys, its layout, the Undo button and the clean-up when
// it closes. The six windows are wired as the program wires them; every file goes to a temporary
// folder.
#include "engine/state.h"
#include "storage/paths.h"
#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/form5.h"
#include "ui/forms.h"
#include "ui_test_support.h"

#include <QApplication>
#include <QBackingStore>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

using namespace brennix;
using namespace brennix::test;

namespace {

const std::array<std::string, 8> Names = {"Anna", "Bert", "Cleo", "Dirk",
                                          "Emil", "Fred", "Gina", "Hugo"};

// Object names of the player panels, players 1-8.
const std::array<const char*, 8> NameLabelNames = {"Label21", "Label22", "Label23", "Label24",
                                                   "Label50", "Label60", "Label70", "Label80"};
const std::array<const char*, 8> ScoreLabelNames = {"Label17", "Label18", "Label19", "Label20",
                                                    "Label51", "Label61", "Label71", "Label81"};
const std::array<const char*, 8> CheckoutLabelNames = {"Label45", "Label46", "Label47", "Label48",
                                                       "Label49", "Label53", "Label54", "Label55"};
const std::array<const char*, 8> StarNames = {"Label37", "Label38", "Label39", "Label40",
                                              "Label52", "Label62", "Label72", "Label82"};
const std::array<const char*, 8> RowNameNames = {"Label1",   "Label2",   "Label3",   "Label4",
                                                 "Label101", "Label102", "Label103", "Label104"};

// The statistics grid: for each column its left edge, its width and the numbers of the fields
// of rows 1 and 5 (the rows below follow in order).
struct TColumn {
    int left, width, firstUpper, firstLower;
};
const std::array<TColumn, 12> Columns = {{
    {336, 41, 1, 51},    // Score
    {392, 41, 5, 55},    // Sets
    {440, 41, 9, 59},    // Legs
    {496, 41, 101, 105}, // 40+
    {544, 41, 13, 63},   // 60+
    {592, 41, 17, 67},   // 100+
    {640, 41, 45, 71},   // 140+
    {688, 41, 21, 75},   // 180
    {744, 57, 25, 79},   // 3 Dart Leg
    {808, 57, 29, 83},   // 3 Dart Match
    {880, 41, 37, 87},   // Darts leg
    {928, 41, 41, 91},   // Darts total
}};

QString FieldName(int row, int column) {
    const TColumn& c = Columns[column];
    return QStringLiteral("Edit%1").arg(row < 4 ? c.firstUpper + row : c.firstLower + row - 4);
}

const std::array<std::pair<const char*, int>, 5> MarkerLefts = {
    {{"Label15", 235}, {"Label26", 325}, {"Label41", 485}, {"Label27", 732}, {"Label28", 972}}};

const QColor Grey(153, 153, 153);
const QColor Red(221, 0, 0);

QColor TextColour(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

const QString GameFilesFilter = QStringLiteral("Brennix Save Files (.bx3) (*.bx3)");

// A file dialog as it came up: its name, the folder it shows, the file name it offers and its
// filters.
struct TFileDialogSeen {
    QString name;
    QString folder;
    QString fileName;
    QStringList filters;
};

QLineEdit* FileNameEdit(QFileDialog* dialog) {
    return dialog->findChild<QLineEdit*>("fileNameEdit");
}

// Takes the file a file dialog holds, as its Save or Open button does.
void Accept(QFileDialog* dialog) {
    static_cast<QDialog*>(dialog)->accept(); // QFileDialog's own accept() is protected
}

TFileDialogSeen NoteFileDialog(QFileDialog* dialog) {
    const QLineEdit* edit = FileNameEdit(dialog);
    return {dialog->objectName(), QDir::cleanPath(dialog->directory().absolutePath()),
            edit ? edit->text() : QStringLiteral("(no file name field)"), dialog->nameFilters()};
}

// A game of `players` players of "  501 Double Out", best of 3 sets, nobody has thrown yet;
// every checkout text names its score.
void PrepareGame(int players) {
    ResetState();
    Settings.PlayerCount = players;
    Settings.GameType = 2;
    Settings.MatchFormat = 4;
    for (int r = 1; r <= OutshotCount; ++r)
        Settings.Outshots[r - 1] = "Out " + std::to_string(r);
    Settings.PlayerNames = Names;
    Settings.DeleteAutoSaves = true;
    Settings.KeepSaveFiles = 10;
    StartScore = 501;
    ResetPlayers();
    NextSetStarter = Wrap(0);
    NextLegStarter = NextSetStarter;
}

// Gives every statistic of every record a value of its own, so that a field showing the wrong
// statistic or the wrong row is noticed.
void FillStatistics() {
    for (int r = 0; r < MaxPlayers; ++r) {
        TPlayerStats& p = Players[r];
        p.Remaining = 300 + r;
        p.Sets = 10 + r;
        p.Legs = 20 + r;
        p.Count40 = 30 + r;
        p.Count60 = 40 + r;
        p.Count100 = 50 + r;
        p.Count140 = 60 + r;
        p.Count180 = 70 + r;
        p.DartsLeg = 80 + r;
        p.DartsMatch = 90 + r;
        p.LegAverage = 0;
        p.MatchAverage = 0;
    }
    Players[0].LegAverage = 456789;
    Players[0].MatchAverage = 999;
    Players[1].LegAverage = 1000;
    Players[1].MatchAverage = 10000;
    Players[2].LegAverage = 600000;
    Players[2].MatchAverage = 1234;
    Players[7].DartsLeg = -3;
}

// The texts the grid should show for a record filled by FillStatistics, in column order.
QStringList ExpectedRow(int r) {
    const TPlayerStats& p = Players[r];
    auto average = [](int32_t value) -> QString {
        switch (value) {
        case 456789:
            return "45,678";
        case 1000:
            return ",100";
        case 10000:
            return "1,000";
        case 600000:
            return "60,000";
        case 1234:
            return ",123";
        default:
            return ""; // 999 and 0
        }
    };
    return {
        QString::number(p.Remaining), QString::number(p.Sets),     QString::number(p.Legs),
        QString::number(p.Count40),   QString::number(p.Count60),  QString::number(p.Count100),
        QString::number(p.Count140),  QString::number(p.Count180), average(p.LegAverage),
        average(p.MatchAverage),      QString::number(p.DartsLeg), QString::number(p.DartsMatch)};
}

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir base;
    TForm1* form = nullptr; // owns the five dialogs
    QTimer* answerer = nullptr;
    TDialogSafety safety;
    QList<TSeenWindow> seen; // every modal window the answerer closed, oldest first
    // How the next file dialogs are answered, one each, in turn; once none is left they are
    // rejected like any other dialog. Every answer must close its dialog.
    QList<std::function<void(QFileDialog*)>> fileAnswers;

    template <class W>
    W* Find(const char* name) const {
        W* widget = form->findChild<W*>(name);
        if (!widget) qWarning("no widget %s", name);
        return widget;
    }
    QLabel* Label(const char* name) const { return Find<QLabel>(name); }
    QAction* Action(const char* name) const { return Find<QAction>(name); }
    QLineEdit* Field(const QString& name) const {
        return Find<QLineEdit>(name.toLatin1().constData());
    }

    // Answers every modal window as soon as it is up: a message box with OK, the Start Leg
    // dialog with its Ok (keeping the proposed player), a file dialog with the next of
    // fileAnswers; anything else is rejected. Each is noted, except the answered file dialogs.
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen.append(NoteAndPressOk(box));
        } else if (auto* startLeg = qobject_cast<TForm5*>(modal)) {
            seen.append({startLeg->windowTitle(), startLeg->Label1->text()});
            startLeg->Button1->click();
        } else if (auto* files = qobject_cast<QFileDialog*>(modal);
                   files && !fileAnswers.isEmpty()) {
            fileAnswers.takeFirst()(files);
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            seen.append({dialog->windowTitle(), QString()});
            dialog->done(QDialog::Rejected);
        }
    }

    // Takes the oldest noted modal window, or an empty one when none was seen.
    TSeenWindow TakeSeen() { return seen.isEmpty() ? TSeenWindow{"(none)", ""} : seen.takeFirst(); }

    void FocusScoreField() {
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        form->Edit33->setFocus();
        QTRY_VERIFY(form->Edit33->hasFocus());
    }

    // The state the tests compare before and after an entry that must change nothing.
    struct TSnapshot {
        std::array<TPlayerStats, MaxPlayers> players;
        int32_t active, high;
    };
    static TSnapshot Snapshot() { return {Players, ActivePlayer, HighGame}; }
    static bool Same(const TSnapshot& a, const TSnapshot& b) {
        return std::memcmp(&a.players, &b.players, sizeof a.players) == 0 && a.active == b.active &&
               a.high == b.high;
    }

  private slots:
    void initTestCase() {
        InstallFontSubstitutes();
        QVERIFY(base.isValid());
        SetBaseDir(base.path().toStdString());
        QVERIFY(QDir(base.path()).mkdir("save"));

        CreateForms({});
        form = Form1;

        answerer = new QTimer(this);
        answerer->setInterval(10);
        connect(answerer, &QTimer::timeout, this, &Form1Test::Answer);
        answerer->start();

        // Start-up: no settings file yet, so the first-run settings; the board is drawn once
        // who begins has been answered, and the autosave timer runs from then on.
        QVERIFY(!form->Timer1->isActive());
        safety.Start();
        form->show();
        QTRY_VERIFY_WITH_TIMEOUT(form->Timer1->isActive(), 20000);
        QVERIFY2(safety.Stop(), "start-up left a dialog open");
        // The offscreen platform hands the activation back to nobody when a dialog closes.
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));

        const QSize screen = QGuiApplication::primaryScreen()->size();
        if (screen.width() < 1024 || screen.height() < 768) {
            const TSeenWindow warning = TakeSeen();
            QCOMPARE(warning.title, QString("Warning"));
            QCOMPARE(warning.text, QStringLiteral("Windows resolution rather low: %1x%2.   "
                                                  "Recomended: 1024x768")
                                       .arg(screen.width())
                                       .arg(screen.height()));
        }
        QCOMPARE(TakeSeen().title, QString("Start Leg"));
        QVERIFY(seen.isEmpty());
        QCOMPARE(form->Label33->text(), QString("  501 Double Out - Best of Best of 1 Set"));
        QCOMPARE(form->StatusPanels[0]->text(), QString("Ready"));
        QCOMPARE(form->StatusPanels[1]->text(), QString());
        QTRY_VERIFY(form->Edit33->hasFocus());

        // The tests below drive the board themselves; no autosave tick may move the bar.
        form->Timer1->stop();
    }

    void cleanupTestCase() {
        DestroyForms();
        form = nullptr;
    }

    void init() {
        SetBaseDir(base.path().toStdString());
        fileAnswers.clear();
        PrepareGame(2);
        for (const QFileInfo& file : QDir(base.filePath("save")).entryInfoList(QDir::Files))
            QFile::remove(file.filePath());
        form->Edit33->clear();
        ShowActivePlayer();
        form->RefreshBoard();
        seen.clear();
        safety.Start();
    }

    void cleanup() {
        QVERIFY2(safety.Stop(), "a dialog was still open when the safety timer ran out");
        const bool allAsked = fileAnswers.isEmpty();
        fileAnswers.clear(); // they may refer to the finished test's variables
        QVERIFY2(allAsked, "a file dialog the test expected did not come up");
        // Every box a test expected has been taken out of the list; anything left was not.
        QVERIFY2(seen.isEmpty(),
                 qPrintable("unexpected window: " + TakeSeen().title + " " + seen.value(0).text));
    }

    // ---- RefreshBoard --------------------------------------------------------------------------

    void refreshBoardFillsEveryGridColumn() {
        PrepareGame(8);
        FillStatistics();
        form->RefreshBoard();
        for (int r = 0; r < MaxPlayers; ++r) {
            const QStringList expected = ExpectedRow(r);
            for (int c = 0; c < 12; ++c) {
                QLineEdit* field = Field(FieldName(r, c));
                QVERIFY(field);
                QVERIFY2(field->text() == expected[c],
                         qPrintable(QStringLiteral("%1 (row %2, column %3): '%4', expected '%5'")
                                        .arg(FieldName(r, c))
                                        .arg(r + 1)
                                        .arg(c + 1)
                                        .arg(field->text(), expected[c])));
            }
            QCOMPARE(Label(RowNameNames[r])->text(), QString::fromStdString(Names[r]));
            QCOMPARE(Label(NameLabelNames[r])->text(), QString::fromStdString(Names[r]));
            QCOMPARE(Label(ScoreLabelNames[r])->text(), QString::number(300 + r));
        }
    }

    // A name is shown exactly as typed, never read as markup.
    void namesAreShownAsPlainText() {
        Settings.PlayerNames[0] = "<b>Al</b>";
        form->RefreshBoard();
        for (const char* name : {"Label21", "Label1"}) {
            QLabel* label = Label(name);
            QVERIFY(label);
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QCOMPARE(label->text(), QString("<b>Al</b>"));
        }
    }

    void gameTypeCaption() {
        QCOMPARE(Label("Label33")->text(), QString("  501 Double Out - Best of Best of 3 Sets"));
        Settings.GameType = 12;
        Settings.MatchFormat = 2;
        form->RefreshBoard();
        QCOMPARE(Label("Label33")->text(), QString("1501 Double Out - Best of Best of 1 Leg"));
        // Codes outside their lists, as in a settings record that was never filled.
        Settings.GameType = 0;
        Settings.MatchFormat = 0;
        form->RefreshBoard();
        QCOMPARE(Label("Label33")->text(), QString(" - Best of "));
    }

    void checkoutLabelsFollowTheRemainingScore() {
        PrepareGame(3);
        Players[0].Remaining = 170;
        Players[1].Remaining = 171;
        Players[2].Remaining = 0;
        form->RefreshBoard();
        QVERIFY(Label("Label45")->isVisible());
        QCOMPARE(Label("Label45")->text(), QString("Out 170"));
        QVERIFY(!Label("Label46")->isVisible());
        QVERIFY(Label("Label47")->isVisible());
        QCOMPARE(Label("Label47")->text(), QString());
        // A label takes the size of its text and keeps its left edge: "0" is narrower than "170".
        QCOMPARE(Label("Label19")->text(), QString("0"));
        QCOMPARE(Label("Label19")->pos(), QPoint(528, 18));
        QVERIFY(Label("Label19")->width() < Label("Label17")->width());

        // The big checkout text belongs to the player to throw.
        QLabel* big = Label("Label42");
        QVERIFY(big->isVisible());
        QCOMPARE(big->text(), QString("Out 170"));
        ActivePlayer = 1;
        form->RefreshBoard();
        QVERIFY(!big->isVisible());
        ActivePlayer = 2;
        form->RefreshBoard();
        QVERIFY(big->isVisible());
        QCOMPARE(big->text(), QString());
        Players[2].Remaining = 41;
        form->RefreshBoard();
        QCOMPARE(big->text(), QString("Out 41"));
        QCOMPARE(Label("Label47")->text(), QString("Out 41"));
    }

    void lastVisitBoxesShowThePlayerToThrow() {
        QCOMPARE(form->Edit36->text(), QString("-"));
        QCOMPARE(form->Edit35->text(), QString("-"));
        QCOMPARE(form->Edit34->text(), QString("-"));

        Players[1].History[0] = 60;
        form->RefreshBoard();
        QCOMPARE(form->Edit36->text(), QString("-")); // player 1 is to throw
        ActivePlayer = 1;
        form->RefreshBoard();
        QCOMPARE(form->Edit36->text(), QString("60"));
        QCOMPARE(form->Edit35->text(), QString("-"));
        QCOMPARE(form->Edit34->text(), QString("-"));

        Players[1].History[0] = 100;
        Players[1].History[1] = 0;
        Players[1].History[2] = 45;
        Players[1].History[3] = 180;
        form->RefreshBoard();
        QCOMPARE(form->Edit36->text(), QString("100"));
        QCOMPARE(form->Edit35->text(), QString("0"));
        QCOMPARE(form->Edit34->text(), QString("45"));
    }

    // A single player throws again after his own visit: the boxes show the visit just typed.
    void lastVisitBoxesAfterOneBookedVisit() {
        PrepareGame(1);
        form->RefreshBoard();
        FocusScoreField();
        QTest::keyClicks(form->Edit33, "57");
        QTest::keyClick(form->Edit33, Qt::Key_Return);
        QCOMPARE(Players[0].Remaining, 444);
        QCOMPARE(form->Edit36->text(), QString("57"));
        QCOMPARE(form->Edit35->text(), QString("-"));
        QCOMPARE(form->Edit34->text(), QString("-"));
    }

    void refreshPutsThreeIntoTheDartsField() {
        FocusScoreField();
        form->Edit49->setFocus();
        QTest::keyClick(form->Edit49, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(form->Edit49, "2");
        QCOMPARE(form->Edit49->text(), QString("2"));
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QCOMPARE(form->Edit49->text(), QString("3"));
        QTRY_VERIFY(form->Edit33->hasFocus());
    }

    void highScores() {
        HighGame = 140;
        HighGameName = "Bert";
        HighToday = 180;
        HighTodayName = "Cleo";
        form->RefreshBoard();
        QCOMPARE(Label("Label56")->text(), QString("140"));
        QCOMPARE(Label("Label57")->text(), QString("180"));
        QCOMPARE(Label("Label58")->text(), QString("Bert"));
        QCOMPARE(Label("Label59")->text(), QString("Cleo"));

        // A new game clears the game's record but not its thrower's name on the board.
        HighGame = 0;
        HighGameName.clear();
        HighToday = 177;
        HighTodayName.clear();
        form->RefreshBoard();
        QCOMPARE(Label("Label56")->text(), QString("0"));
        QCOMPARE(Label("Label57")->text(), QString("177"));
        QCOMPARE(Label("Label58")->text(), QString("Bert"));
        QCOMPARE(Label("Label59")->text(), QString("Cleo"));
    }

    void onlyThePlayersInPlayAreShown() {
        // Eight players, every one of them within a checkout: the whole board is shown.
        PrepareGame(8);
        for (TPlayerStats& p : Players)
            p.Remaining = 100;
        form->RefreshBoard();
        for (int p = 0; p < MaxPlayers; ++p) {
            QVERIFY2(Label(NameLabelNames[p])->isVisible(), NameLabelNames[p]);
            QVERIFY2(Label(ScoreLabelNames[p])->isVisible(), ScoreLabelNames[p]);
            QVERIFY2(Label(CheckoutLabelNames[p])->isVisible(), CheckoutLabelNames[p]);
            QCOMPARE(Label(CheckoutLabelNames[p])->text(), QString("Out 100"));
            QCOMPARE(Label(RowNameNames[p])->text(), QString::fromStdString(Names[p]));
            QCOMPARE(Label(ScoreLabelNames[p])->text(), QString("100"));
        }

        // Three players: panels 4-8 lose name, score and checkout, rows 4-8 their names.
        Settings.PlayerCount = 3;
        form->RefreshBoard();
        for (int p = 0; p < MaxPlayers; ++p) {
            const bool inPlay = p < 3;
            QVERIFY2(Label(NameLabelNames[p])->isVisible() == inPlay, NameLabelNames[p]);
            QVERIFY2(Label(ScoreLabelNames[p])->isVisible() == inPlay, ScoreLabelNames[p]);
            QVERIFY2(Label(CheckoutLabelNames[p])->isVisible() == inPlay, CheckoutLabelNames[p]);
            QCOMPARE(Label(RowNameNames[p])->text(),
                     inPlay ? QString::fromStdString(Names[p]) : QString());
        }

        // Back to eight players standing at 501: all panels again, no checkout.
        PrepareGame(8);
        form->RefreshBoard();
        for (int p = 0; p < MaxPlayers; ++p) {
            QVERIFY2(Label(NameLabelNames[p])->isVisible(), NameLabelNames[p]);
            QVERIFY2(Label(ScoreLabelNames[p])->isVisible(), ScoreLabelNames[p]);
            QVERIFY2(!Label(CheckoutLabelNames[p])->isVisible(), CheckoutLabelNames[p]);
            QCOMPARE(Label(RowNameNames[p])->text(), QString::fromStdString(Names[p]));
            QCOMPARE(Label(ScoreLabelNames[p])->text(), QString("501"));
        }

        // Player 1's panel stays even without players (a settings record never filled).
        Settings.PlayerCount = 0;
        form->RefreshBoard();
        QVERIFY(Label("Label21")->isVisible());
        QVERIFY(Label("Label17")->isVisible());
        QVERIFY(!Label("Label22")->isVisible());
        QCOMPARE(Label("Label1")->text(), QString());
    }

    void rowsBeyondThePlayersInPlayAreEmptied() {
        PrepareGame(8);
        FillStatistics();
        form->RefreshBoard();
        QCOMPARE(Field("Edit94")->text(), QString("97"));
        Settings.PlayerCount = 3;
        form->RefreshBoard();
        for (int r = 0; r < MaxPlayers; ++r) {
            const QStringList expected = r < 3 ? ExpectedRow(r) : QStringList(12, QString());
            for (int c = 0; c < 12; ++c)
                QVERIFY2(Field(FieldName(r, c))->text() == expected[c],
                         qPrintable(FieldName(r, c) + ": " + Field(FieldName(r, c))->text()));
        }
    }

    // When RefreshBoard returns, the window holds exactly what a full repaint shows: every
    // change is painted, including the places a hidden or shrunk field left, and the observers
    // have heard of the view just drawn.
    void refreshBoardLeavesTheWindowFullyPainted() {
        auto drawn = std::make_shared<std::optional<TBoardView>>();
        form->AddBoardObserver([drawn](const TBoardView& view) { *drawn = view; });
        // What the window holds of the board; the score field, whose caret blinks, left out.
        auto shownBoard = [this] {
            const auto* store = dynamic_cast<const QImage*>(form->backingStore()->paintDevice());
            if (!store) return QImage();
            QWidget* board = form->centralWidget();
            QImage shown = store->copy(QRect(board->mapTo(form, QPoint(0, 0)), board->size()));
            QPainter(&shown).fillRect(form->Edit33->geometry(), Qt::black);
            return shown;
        };
        // Painting the whole window again changes nothing of what RefreshBoard left. Glyphs are
        // smoothed a shade differently the first time they are drawn, so the same redraws run
        // twice and only the second round is compared.
        bool compare = false;
        auto painted = [&] {
            const QImage shown = shownBoard();
            form->repaint();
            return !compare || (!shown.isNull() && shown == shownBoard());
        };
        FocusScoreField();
        for (int round = 0; round < 2; ++round) {
            compare = round == 1;
            PrepareGame(8);
            FillStatistics();
            form->RefreshBoard();
            QVERIFY(painted());
            QVERIFY(*drawn && (*drawn)->Players.size() == 8);
            QCOMPARE((*drawn)->Players[7].Row[10], std::string("-3"));

            Players[1].Remaining = 100; // a checkout below player 2's score
            ActivePlayer = 1;           // markers, colours and the big checkout move
            LegStarter = 2;
            ShowActivePlayer();
            form->RefreshBoard();
            QVERIFY(painted());
            QVERIFY(Label("Label42")->isVisible());

            Settings.PlayerCount = 3; // panels and rows 4-8 go
            form->RefreshBoard();
            QVERIFY(painted());
            QCOMPARE((*drawn)->Players.size(), size_t{3});

            PrepareGame(2); // shorter texts everywhere, the big checkout gone
            ShowActivePlayer();
            QTest::keyClicks(form->Edit33, "60");
            QTest::keyClick(form->Edit33, Qt::Key_Return);
            QCOMPARE(Players[0].Remaining, 441);
            QVERIFY(painted());
            QVERIFY(!Label("Label42")->isVisible());
            QCOMPARE((*drawn)->Players[0].Figures.Remaining, 441);
            QCOMPARE((*drawn)->ActivePlayer, 1);
        }
    }

    // ---- ShowActivePlayer ----------------------------------------------------------------------

    void activePlayerMarkersColoursAndStar() {
        PrepareGame(8);
        ActivePlayer = 5;
        LegStarter = 2;
        ShowActivePlayer();
        for (const auto& [name, left] : MarkerLefts) {
            QLabel* marker = Label(name);
            QCOMPARE(marker->text(), QString("*"));
            QCOMPARE(marker->pos(), QPoint(left, 564));
        }
        for (int p = 0; p < MaxPlayers; ++p) {
            QLabel* score = Label(ScoreLabelNames[p]);
            QVERIFY2(TextColour(score) == (p == 5 ? Red : Grey), ScoreLabelNames[p]);
            QVERIFY2(Label(StarNames[p])->isVisible() == (p == 2), StarNames[p]);
        }

        // A leg starter outside the eight players shows no star at all.
        LegStarter = 9;
        ShowActivePlayer();
        for (const char* star : StarNames)
            QVERIFY2(!Label(star)->isVisible(), star);

        // The index wraps before the board follows it.
        ActivePlayer = 8;
        LegStarter = 7;
        ShowActivePlayer();
        QCOMPARE(ActivePlayer, 0);
        for (const auto& [name, left] : MarkerLefts)
            QCOMPARE(Label(name)->pos(), QPoint(left, 444));
        QCOMPARE(TextColour(Label("Label17")), Red);
        QCOMPARE(TextColour(Label("Label61")), Grey);
        QVERIFY(Label("Label82")->isVisible());
    }

    // ---- ResetGame -----------------------------------------------------------------------------

    void resetGameShowsTheStartingLook() {
        PrepareGame(4);
        Settings.GameType = 3; // 701
        ActivePlayer = 2;
        LegStarter = 1;
        ShowActivePlayer();
        form->move(200, 100);
        form->StatusPanels[3]->setText("old");
        form->SetSpecialSetText("Tie Break");
        form->ProgressBar1->setValue(50);

        ResetGame();
        QTRY_COMPARE(form->pos(), QPoint(10, 5));
        QCOMPARE(form->StatusPanels[3]->text(), QString(" v3.2.6  18.MAY.2002"));
        for (int p = 0; p < MaxPlayers; ++p) {
            QCOMPARE(Label(ScoreLabelNames[p])->text(), QString("701"));
            QVERIFY2(TextColour(Label(ScoreLabelNames[p])) == Grey, ScoreLabelNames[p]);
            QVERIFY2(!Label(StarNames[p])->isVisible(), StarNames[p]);
        }
        QCOMPARE(Label("Label36")->text(), QString());
        QVERIFY(form->SpecialSetText().empty());
        QCOMPARE(form->ProgressBar1->value(), 0);
        QCOMPARE(Players[3].Remaining, 701);
    }

    // ---- The score field -----------------------------------------------------------------------

    void scoreFieldTakesAtMostThreeCharacters() {
        FocusScoreField();
        const TSnapshot before = Snapshot();
        QTest::keyClicks(form->Edit33, "1234");
        QCOMPARE(form->Edit33->text(), QString("123"));
        // Nothing is filtered while typing.
        form->Edit33->clear();
        QTest::keyClicks(form->Edit33, "a-x");
        QCOMPARE(form->Edit33->text(), QString("a-x"));
        form->Edit33->clear();
        QTest::keyClicks(form->Edit33, "60");
        QCOMPARE(form->Edit33->text(), QString("60"));
        QVERIFY(Same(before, Snapshot()));
        QCOMPARE(Thrower, 1);
    }

    void enterBooksTheVisit_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
        QTest::newRow("Shift+Enter") << int(Qt::Key_Return) << int(Qt::ShiftModifier);
        QTest::newRow("Ctrl+keypad Enter")
            << int(Qt::Key_Enter) << int(Qt::KeypadModifier | Qt::ControlModifier);
    }

    void enterBooksTheVisit() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        FocusScoreField();
        QTest::keyClicks(form->Edit33, "60");
        QTest::keyClick(form->Edit33, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(Players[0].Remaining, 441);
        QCOMPARE(Players[0].History[0], 60);
        QCOMPARE(ActivePlayer, 1);
        QCOMPARE(form->Edit33->text(), QString());
        QCOMPARE(Field("Edit1")->text(), QString("441"));
        QCOMPARE(Label("Label17")->text(), QString("441"));
        QCOMPARE(TextColour(Label("Label18")), Red);
        QCOMPARE(Label("Label56")->text(), QString("60"));
        QCOMPARE(Label("Label58")->text(), QString("Anna"));
        QCOMPARE(Field("Edit25")->text(), QString("60,000"));

        // The second player's visit, and the turn comes back.
        QTest::keyClicks(form->Edit33, "45");
        QTest::keyClick(form->Edit33, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(Players[1].Remaining, 456);
        QCOMPARE(ActivePlayer, 0);
        QCOMPARE(Field("Edit2")->text(), QString("456"));
        QCOMPARE(form->Edit36->text(), QString("60"));
    }

    void f5SavesTheGame() {
        FocusScoreField();
        QTest::keyClicks(form->Edit33, "60");
        const TSnapshot before = Snapshot();
        form->ProgressBar1->setValue(40);
        QTest::keyClick(form->Edit33, Qt::Key_F5);
        const QString slot = base.filePath("save/SaveA100.bx3");
        QVERIFY(QFileInfo::exists(slot));
        QCOMPARE(QFileInfo(slot).size(), qint64(14516));
        QCOMPARE(QDir::cleanPath(form->StatusPanels[1]->text()), slot);
        QCOMPARE(form->ProgressBar1->value(), 0);
        // F5 is not typed and books nothing.
        QCOMPARE(form->Edit33->text(), QString("60"));
        QVERIFY(Same(before, Snapshot()));

        // With a modifier held it saves as well, into the same file.
        QVERIFY(QFile::remove(slot));
        QTest::keyClick(form->Edit33, Qt::Key_F5, Qt::ShiftModifier);
        QVERIFY(QFileInfo::exists(slot));
        QVERIFY(!QFileInfo::exists(base.filePath("save/SaveA101.bx3")));
    }

    void nonNumberShowsTheErrorBox() {
        FocusScoreField();
        QTest::keyClicks(form->Edit33, "abc");
        const TSnapshot before = Snapshot();
        QTest::keyClick(form->Edit33, Qt::Key_Return);
        const TSeenWindow box = TakeSeen();
        QCOMPARE(box.title, QString("Brennix 3.2"));
        QCOMPARE(box.text, QString("'abc' is not a valid integer value."));
        QVERIFY(Same(before, Snapshot()));
        QCOMPARE(form->Edit33->text(), QString("abc"));
        // The focus goes back to the score field (the window takes it up when active again).
        QCOMPARE(form->focusWidget(), form->Edit33);

        // An empty field is no number either.
        form->Edit33->clear();
        QTest::keyClick(form->Edit33, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(TakeSeen().text, QString("'' is not a valid integer value."));
        QVERIFY(Same(before, Snapshot()));
    }

    // The error box shows the entry as typed, not as markup.
    void errorBoxShowsTheEntryAsPlainText() {
        FocusScoreField();
        QTest::keyClicks(form->Edit33, "<b>");
        QCOMPARE(form->Edit33->text(), QString("<b>"));
        QTest::keyClick(form->Edit33, Qt::Key_Return);
        const TSeenWindow box = TakeSeen();
        QCOMPARE(box.title, QString("Brennix 3.2"));
        QCOMPARE(box.text, QString("'<b>' is not a valid integer value."));
        QCOMPARE(box.format, Qt::PlainText);
    }

    void scoresOutsideTheRangeAndBustsAreIgnored() {
        FocusScoreField();
        Players[0].Remaining = 32;
        QTest::keyClicks(form->Edit33, "40");
        QTest::keyClick(form->Edit33, Qt::Key_Return);
        QCOMPARE(Players[0].Remaining, 32);
        QCOMPARE(ActivePlayer, 0);
        QCOMPARE(form->Edit33->text(), QString("40"));
        form->Edit33->clear();
        QTest::keyClicks(form->Edit33, "181");
        QTest::keyClick(form->Edit33, Qt::Key_Return);
        QCOMPARE(Players[0].Remaining, 32);
        QCOMPARE(form->Edit33->text(), QString("181"));
    }

    // ---- Layout --------------------------------------------------------------------------------

    void layoutFollowsTheDesign() {
        // A window that was never shown: nothing has started it yet.
        TForm1 fresh;
        QCOMPARE(fresh.objectName(), QString("Form1"));
        QCOMPARE(fresh.windowTitle(), QString("Brennix 3.2  [FINAL]"));
        QVERIFY(fresh.centralWidget());
        QCOMPARE(fresh.centralWidget()->size(), QSize(992, 675));
        QVERIFY(!(fresh.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(fresh.windowFlags() & Qt::WindowMinimizeButtonHint);

        QCOMPARE(fresh.findChild<QTimer*>("Timer1"), fresh.Timer1);
        QCOMPARE(fresh.Timer1->interval(), 3000);
        QVERIFY(!fresh.Timer1->isActive());

        auto* score = fresh.findChild<QLineEdit*>("Edit33");
        QVERIFY(score);
        QCOMPARE(score->geometry(), QRect(112, 512, 41, 28));
        QCOMPARE(score->maxLength(), 3);
        QCOMPARE(score->font().bold(), true);
        auto* darts = fresh.findChild<QLineEdit*>("Edit49");
        QVERIFY(darts);
        QCOMPARE(darts->geometry(), QRect(112, 544, 41, 28));
        QVERIFY(darts->maxLength() > 3);

        auto* bar = fresh.findChild<QProgressBar*>("ProgressBar1");
        QVERIFY(bar);
        QCOMPARE(bar->geometry(), QRect(752, 659, 118, 17));
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 101);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(bar->toolTip(), QString("AutoSaveTimer"));

        auto label = [&](const char* name) { return fresh.findChild<QLabel*>(name); };
        QVERIFY(label("Label17"));
        QCOMPARE(label("Label17")->pos(), QPoint(32, 18));
        QCOMPARE(label("Label17")->text(), QString("501"));
        QCOMPARE(label("Label81")->pos(), QPoint(776, 192));
        QCOMPARE(label("Label80")->pos(), QPoint(808, 176));
        QCOMPARE(label("Label55")->pos(), QPoint(776, 315));
        QCOMPARE(label("Label82")->pos(), QPoint(752, 200));
        QCOMPARE(label("Label33")->pos(), QPoint(16, 488));
        QCOMPARE(label("Label33")->text(), QString("Gametype"));
        QCOMPARE(label("Label42")->pos(), QPoint(24, 336));
        QVERIFY(label("Label42")->isHidden());
        QCOMPARE(label("Label104")->pos(), QPoint(248, 614));
        for (const auto& [name, left] : MarkerLefts)
            QCOMPARE(label(name)->pos(), QPoint(left, 444));

        for (int r = 0; r < MaxPlayers; ++r)
            for (int c = 0; c < 12; ++c) {
                auto* field = fresh.findChild<QLineEdit*>(FieldName(r, c));
                QVERIFY2(field, qPrintable(FieldName(r, c)));
                QCOMPARE(field->geometry(),
                         QRect(Columns[c].left, 442 + 24 * r, Columns[c].width, 21));
                QVERIFY(field->isReadOnly());
                QVERIFY(!(field->focusPolicy() & Qt::TabFocus));
            }
        for (const char* name : {"Edit36", "Edit35", "Edit34"}) {
            auto* box = fresh.findChild<QLineEdit*>(name);
            QVERIFY2(box, name);
            QVERIFY(!box->isEnabled());
            QCOMPARE(box->focusPolicy(), Qt::NoFocus);
        }
        QCOMPARE(fresh.findChild<QLineEdit*>("Edit36")->pos(), QPoint(24, 608));
        QCOMPARE(fresh.findChild<QLineEdit*>("Edit34")->pos(), QPoint(136, 608));

        const std::array<std::tuple<const char*, QString, QRect>, 2> buttons = {{
            {"Button1", "Refresh", QRect(88, 578, 49, 25)},
            {"Button2", "Undo", QRect(144, 578, 49, 25)},
        }};
        for (const auto& [name, text, geometry] : buttons) {
            auto* button = fresh.findChild<QPushButton*>(name);
            QVERIFY2(button, name);
            QCOMPARE(button->text(), text);
            QCOMPARE(button->geometry(), geometry);
            QVERIFY(!(button->focusPolicy() & Qt::TabFocus));
        }

        const std::array<std::pair<const char*, QString>, 9> actions = {{
            {"NewGame1", "&New Game"},
            {"LoadGame1", "&Load Game"},
            {"ResumeMatch1", "&Resume Interrupted Match"},
            {"SaveGame1", "&Save Game"},
            {"SaveAs1", "Save Game &As"},
            {"Exit1", "E&xit"},
            {"Settings2", "&Game Settings"},
            {"OutshotSettings1", "&Outshot Settings"},
            {"Info1", "&Info"},
        }};
        for (const auto& [name, text] : actions) {
            auto* action = fresh.findChild<QAction*>(name);
            QVERIFY2(action, name);
            QCOMPARE(action->text(), text);
            QVERIFY(action->shortcut().isEmpty());
        }
        QStringList menus;
        for (QAction* menu : fresh.menuBar()->actions())
            menus.append(menu->text());
        QCOMPARE(menus, (QStringList{"&File", "&Settings", "&Help"}));
        const QList<QAction*> file = fresh.menuBar()->actions().constFirst()->menu()->actions();
        QCOMPARE(file.size(), 7);
        QVERIFY(file[5]->isSeparator());

        const QStringList panels = {"Ready", "Not Saved", "AutoSave", ""};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(fresh.StatusPanels[i]->text(), panels[i]);
    }

    void resumeItemAndNoteFollowTheOffer() {
        QAction* item = Action("ResumeMatch1");
        QLabel* note = Label("ResumeNote");
        QVERIFY(!item->isEnabled()); // nothing offered without a history
        QVERIFY(note->isHidden());
        int resumed = 0;
        form->SetResumeHandler([&resumed] { ++resumed; });
        form->OfferResume(true);
        QVERIFY(item->isEnabled());
        QVERIFY(note->isVisible());
        QCOMPARE(note->text(), QString("An interrupted match can be resumed (File menu)"));
        QLabel* files = form->StatusPanels[1]; // at its right end
        QTRY_COMPARE(note->mapTo(files, QPoint(note->width(), 0)).x(), files->width() - 3);
        item->trigger();
        QCOMPARE(resumed, 1);
        form->OfferResume(false);
        QVERIFY(!item->isEnabled());
        QVERIFY(note->isHidden());
        form->SetResumeHandler({});
    }

    void theShownWindowCannotBeResized() {
        QCOMPARE(form->centralWidget()->size(), QSize(992, 675));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QCOMPARE(form->size(), form->minimumSize());
    }

    void tabGoesFromScoreToDartsAndBack() {
        FocusScoreField();
        QTest::keyClicks(form->Edit33, "60");
        QTest::keyClick(form->Edit33, Qt::Key_Tab);
        QTRY_VERIFY(form->Edit49->hasFocus());
        QTest::keyClick(form->Edit49, Qt::Key_Tab);
        QTRY_VERIFY(form->Edit33->hasFocus());
        // Coming back by Tab leaves the typed score unselected, so the next digit adds to it.
        QTRY_VERIFY(!form->Edit33->hasSelectedText());
        QTest::keyClick(form->Edit33, Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_VERIFY(form->Edit49->hasFocus());
        QCOMPARE(form->Edit33->text(), QString("60"));
    }

    // Enter in the darts field is not the score field's Enter: nothing is booked.
    void enterInTheDartsFieldDoesNothing() {
        FocusScoreField();
        QTest::keyClicks(form->Edit33, "60");
        const TSnapshot before = Snapshot();
        form->Edit49->setFocus();
        QTest::keyClick(form->Edit49, Qt::Key_Return);
        QTest::keyClick(form->Edit49, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(Same(before, Snapshot()));
        QCOMPARE(form->Edit33->text(), QString("60"));
        QCOMPARE(form->Edit49->text(), QString("3"));
    }

    // ---- Undo ----------------------------------------------------------------------------------

    void undoWithoutVisitsIsRefused() {
        FocusScoreField();
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        const TSeenWindow box = TakeSeen();
        QCOMPARE(box.title, QString("Information"));
        QCOMPARE(box.text, QString("Undo not possible "));
        QCOMPARE(ActivePlayer, 0);
        // The focus goes back to the score field (the window takes it up when active again).
        QCOMPARE(form->focusWidget(), form->Edit33);
    }

    void undoTakesBackTheLastVisit() {
        FocusScoreField();
        QTest::keyClicks(form->Edit33, "100");
        QTest::keyClick(form->Edit33, Qt::Key_Return);
        QCOMPARE(ActivePlayer, 1);
        QCOMPARE(Field("Edit17")->text(), QString("1"));
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(ActivePlayer, 0);
        QCOMPARE(Players[0].Remaining, 501);
        QCOMPARE(Field("Edit1")->text(), QString("501"));
        QCOMPARE(Field("Edit17")->text(), QString("0"));
        QCOMPARE(Label("Label17")->text(), QString("501"));
        QCOMPARE(form->Edit36->text(), QString("-"));
        QTRY_VERIFY(form->Edit33->hasFocus());
    }

    // Ctrl+Z in the score field: the field's own typing first, then the last visit, as Undo.
    void ctrlZTakesBackTypingThenTheVisit() {
        FocusScoreField();
        QTest::keyClicks(form->Edit33, "100");
        QTest::keyClick(form->Edit33, Qt::Key_Return);
        QTest::keyClicks(form->Edit33, "45");
        QTest::keyClick(form->Edit33, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(form->Edit33->text(), QString());
        QCOMPARE(Players[0].Remaining, 401);
        QCOMPARE(ActivePlayer, 1);
        QTest::keyClick(form->Edit33, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Players[0].Remaining, 501);
        QCOMPARE(ActivePlayer, 0);
        QCOMPARE(form->Button2->toolTip(),
                 QString("Takes back the last visit (Ctrl+Z in the score field does the same)"));
    }

    // ---- Game files ----------------------------------------------------------------------------

    // The save dialog starts afresh every time: after a new game it offers no name, whatever was
    // typed into it before.
    void saveAsAfterANewGameOffersNoName() {
        const QString folder = QDir::cleanPath(base.path());
        TFileDialogSeen first, second;
        fileAnswers = {[&](QFileDialog* dialog) {
            first = NoteFileDialog(dialog);
            if (QLineEdit* edit = FileNameEdit(dialog)) edit->setText("Mine");
            Accept(dialog);
        }};
        Action("SaveAs1")->trigger();
        QCOMPARE(first.name, QString("SaveDialog1"));
        QCOMPARE(first.folder, folder);
        QCOMPARE(first.fileName, QString());
        QCOMPARE(first.filters, QStringList{GameFilesFilter});
        const QString mine = base.filePath("Mine.bx3");
        QVERIFY(QFileInfo::exists(mine));
        QCOMPARE(form->StatusPanels[1]->text(), mine);

        Action("NewGame1")->trigger();
        QCOMPARE(TakeSeen().title, QString("Start Leg"));
        QVERIFY(GameFileName.empty());

        fileAnswers = {[&](QFileDialog* dialog) {
            second = NoteFileDialog(dialog);
            dialog->reject();
        }};
        Action("SaveAs1")->trigger();
        QCOMPARE(second.name, QString("SaveDialog1"));
        QCOMPARE(second.fileName, QString());
        QCOMPARE(second.folder, folder);
        QCOMPARE(second.filters, QStringList{GameFilesFilter});
        QVERIFY(QFile::remove(mine));
    }

    // Paths are the file system's own bytes: a folder name beyond ASCII is shown as it is and a
    // file chosen in it through the open dialog is loaded.
    void pathsBeyondAsciiAreShownAndOpened() {
        const QString folder = base.filePath(QStringLiteral("M\u00fcller"));
        QVERIFY(QDir().mkpath(folder + "/save"));
        SetBaseDir(QFile::encodeName(folder).toStdString());

        FocusScoreField();
        QTest::keyClick(form->Edit33, Qt::Key_F5);
        const QString slot = folder + "/save/SaveA100.bx3";
        QVERIFY(QFileInfo::exists(slot));
        QCOMPARE(form->StatusPanels[1]->text(), QDir::toNativeSeparators(slot));

        // The loaded file brings back the saved score.
        Players[0].Remaining = 123;
        TFileDialogSeen offered;
        fileAnswers = {[&](QFileDialog* dialog) {
            offered = NoteFileDialog(dialog);
            dialog->selectFile(slot);
            Accept(dialog);
        }};
        Action("LoadGame1")->trigger();
        QVERIFY2(seen.isEmpty(), qPrintable("unexpected window: " + seen.value(0).text));
        QCOMPARE(offered.name, QString("OpenDialog1"));
        QCOMPARE(offered.folder, QDir::cleanPath(folder + "/save"));
        QCOMPARE(offered.fileName, QString("SaveA100.bx3"));
        QCOMPARE(offered.filters, (QStringList{GameFilesFilter, "All Files (*)"}));
        QCOMPARE(GameFileName, QFile::encodeName(slot).toStdString());
        QCOMPARE(Players[0].Remaining, 501);
        QCOMPARE(form->StatusPanels[1]->text(), QDir::toNativeSeparators(slot));
        SetBaseDir(base.path().toStdString());
    }

    // ---- Closing (last: the window stays closed) ---------------------------------------------

    void closingWritesTheSettingsAndThinsTheAutosaves() {
        const QString settings = base.filePath("brnx3p.dat");
        QVERIFY(!QFileInfo::exists(settings));
        for (int n = 100; n < 112; ++n) {
            QFile slot(base.filePath(QStringLiteral("save/SaveA%1.bx3").arg(n)));
            QVERIFY(slot.open(QIODevice::WriteOnly));
        }
        Settings.KeepSaveFiles = 10;
        form->Timer1->start();

        QVERIFY(form->close());
        QVERIFY(QFileInfo::exists(settings));
        QCOMPARE(QFileInfo(settings).size(), qint64(8956));
        QVERIFY(!form->Timer1->isActive());
        QVERIFY(!QFileInfo::exists(base.filePath("save/SaveA100.bx3")));
        QVERIFY(!QFileInfo::exists(base.filePath("save/SaveA101.bx3")));
        for (int n = 102; n < 112; ++n)
            QVERIFY(QFileInfo::exists(base.filePath(QStringLiteral("save/SaveA%1.bx3").arg(n))));
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
