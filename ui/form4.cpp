#include "form4.h"

#include "fonts.h"
#include "icon.h"

#include <QColor>
#include <QFontMetrics>
#include <QGraphicsDropShadowEffect>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>

namespace brennix {

namespace {

const QColor Navy(0, 0, 128);

void SetTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

// BRENNIX_VERSION_TEXT comes from the build, made from the program's one version and release day.
const QString TForm4::VersionText = QStringLiteral(BRENNIX_VERSION_TEXT);

TForm4::TForm4(QWidget* parent) : TModalDialog(parent, "Form4", QStringLiteral("Info"), 442, 253) {
    setWindowIcon(ProgramIcon());

    // Created first so that it leads the tab order and holds the focus when the dialog opens.
    Button1 = Place<QPushButton>(this, "Button1", 184, 224, 75, 25, QStringLiteral("Close"));
    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);

    Image1 = Place<QLabel>(this, "Image1", 88, 24, ProgramIconSize, ProgramIconSize);
    Image1->setPixmap(ProgramPixmap());

    // The logo "Brennix 3": a big white "Brennix " and a smaller navy "3 " tucked into its end.
    Label2 = Place<QLabel>(this, "Label2", 136, -8);
    Label2->setTextFormat(Qt::PlainText);
    Label2->setFont(Arial(64, true, true));
    SetTextColour(Label2, Qt::white);
    // A thin dark shadow keeps the white letters readable on a light dialog face.
    auto* shadow = new QGraphicsDropShadowEffect(Label2);
    shadow->setOffset(1, 1);
    shadow->setBlurRadius(2);
    shadow->setColor(QColor(0, 0, 0, 160));
    Label2->setGraphicsEffect(shadow);
    SetLabelText(Label2, QStringLiteral("Brennix "));

    const int logoEnd =
        Label2->x() + QFontMetrics(Label2->font()).horizontalAdvance(Label2->text());
    Label4 = Place<QLabel>(this, "Label4", logoEnd - LogoOverlap, 0);
    Label4->setTextFormat(Qt::PlainText);
    Label4->setFont(Arial(37, true, true));
    SetTextColour(Label4, Navy);
    SetLabelText(Label4, QStringLiteral("3 "));

    Label5 = PlaceLabel(this, "Label5", 8, 72, QStringLiteral("Versioninfo:"));

    Memo1 = Place<QPlainTextEdit>(this, "Memo1", 8, 88, 425, 129);
    Memo1->setReadOnly(true);
    Memo1->setTabChangesFocus(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setPlainText(ReleaseNotes());

    Label3 = PlaceLabel(this, "Label3", 336, 236, QStringLiteral("Version"));
    Label3->setTextFormat(Qt::PlainText);
}

void TForm4::showEvent(QShowEvent* event) {
    TModalDialog::showEvent(event);
    if (event->spontaneous()) return;
    CentreOnDesktop(this);
    FormActivate();
}

void TForm4::FormActivate() {
    SetLabelText(Label3, VersionText);
}

void TForm4::Button1Click() {
    CloseDialog();
}

QString TForm4::ReleaseNotes() {
    return VersionText +
           QStringLiteral(
               "\n"
               "- Match result: the table of darts per leg lists the five shortest legs of the "
               "match "
               "and how many legs each player won with them.\n"
               "- Outshot Settings: checkout texts longer than 50 characters are cut instead of "
               "being "
               "refused.\n"
               "- Fixed: the highest visit of the day was lost when a new game was started.\n"
               "\n"
               " v3.2.5  21.APR.2002\n"
               "- Autosave: at exit only the newest save files are kept; the number is set in Game "
               "Settings (\"Keep Savefiles\").\n"
               "- New command line switch /safe: starts without sound and without saving.\n"
               "- Fixed: undoing the last visit of a leg gave the next leg to the wrong starter.\n"
               "\n"
               " v3.2.0  03.MAR.2002\n"
               "- Score sounds: a wave file for every visit score (sound\\Score0.wav ... "
               "Score180.wav) "
               "is played when present.\n"
               "- Autosave about every five minutes into numbered files in the folder \"save\".\n"
               "- The game is saved before every entry that could finish a leg.\n"
               "\n"
               " v3.1.0  12.JAN.2002\n"
               "- Tie break and sudden death when two players meet in the deciding set.\n"
               "- New game types 1001, 1101, 1301 and 1501.\n"
               "- Highest visit of the game and of the day.\n"
               "\n"
               " v3.0.0  24.NOV.2001\n"
               "- Up to eight players, each with his own name.\n"
               "- Matches of best of 1 to 11 sets.\n"
               "- Averages and darts for the leg and the match; counts of 40+, 60+, 100+, 140+ and "
               "180.\n"
               "- Checkout suggestions for 170 and less, editable in Outshot Settings.\n"
               "- Games are saved to and loaded from .bx3 files.\n"
               "\n"
               " v2.1  30.JUN.2001\n"
               "- Single out games.\n"
               "- Undo of the last visit.\n"
               "\n"
               " v2.0  02.MAR.2001\n"
               "- First release with a graphical scoreboard: two players, 301 and 501 double "
               "out.\n");
}

} // namespace brennix
