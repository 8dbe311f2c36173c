#include "form3.h"

#include "engine/state.h"
#include "fonts.h"
#include "icon.h"
#include "messages.h"

#include <QScreen>
#include <QShowEvent>
#include <string>

namespace brennix {

namespace {

const QString NotAvailable = QStringLiteral("n/a");

std::string NumberedName(const char* prefix, int number) {
    return prefix + std::to_string(number);
}

} // namespace

TForm3::TForm3(QWidget* parent)
    : TModalDialog(parent, "Form3", QStringLiteral("Game, Shot and the Match"), 267, 311) {
    setWindowIcon(ProgramIcon());

    // Created first so that it leads the tab order and holds the focus when the dialog opens.
    Button1 = Place<QPushButton>(this, "Button1", 96, 280, 75, 25, QStringLiteral("Restart"));
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);

    for (int player = 1; player <= Rows; ++player) {
        const std::string name = NumberedName("Label", player);
        QLabel* label = PlaceLabel(this, name.c_str(), 16, 20 + 24 * (player - 1),
                                   ToQt(NumberedName("Player", player)));
        label->setTextFormat(Qt::PlainText); // names are shown exactly as typed
        labels_[player - 1] = label;
        for (int column = 1; column <= Columns; ++column) {
            const int number = Columns * (player - 1) + column;
            edits_[number - 1] =
                Place<QLineEdit>(this, NumberedName("Edit", number).c_str(), 88 + 32 * (column - 1),
                                 16 + 24 * (player - 1), 25, 21);
        }
    }
    for (int column = 1; column <= Columns; ++column) {
        const int number = Rows + column;
        labels_[number - 1] = PlaceLabel(this, NumberedName("Label", number).c_str(),
                                         93 + 32 * (column - 1), 208, NotAvailable);
    }
    labels_[13] = PlaceLabel(this, "Label14", 106, 224, QStringLiteral("Ammount of darts per Leg"));

    LabelWin = Place<QLabel>(this, "LabelWin", 9, 252, 187, 22);
    LabelWin->setTextFormat(Qt::PlainText);
    LabelWin->setAlignment(Qt::AlignCenter);
    LabelWin->setFont(SansSerif(19, true));
    LabelWin->setText(QStringLiteral("Winner : Player ?"));
}

void TForm3::showEvent(QShowEvent* event) {
    TModalDialog::showEvent(event);
    if (event->spontaneous()) return;
    CentreOnDesktop(this, TopEdge); // across the desktop, but always at the same height
    FormActivate();
}

void TForm3::FormActivate() {
    // Nothing of an earlier match may remain.
    for (int column = 1; column <= Columns; ++column)
        SetLabelText(Label(Rows + column), NotAvailable);
    for (QLineEdit* edit : edits_)
        edit->clear();

    // All eight names, whether or not the player took part.
    for (int player = 1; player <= Rows; ++player)
        SetLabelText(Label(player), ToQt(Settings.PlayerNames[player - 1]));

    FillLegTable();

    const bool known = Thrower >= 1 && Thrower <= MaxPlayers;
    const QString winner = known ? ToQt(Settings.PlayerNames[Thrower - 1]) : QString("Unknown");
    LabelWin->setText(QStringLiteral("Winner: ") + winner);
}

void TForm3::FillLegTable() {
    // Column by column the next larger leg length that anybody won a leg with; empty entries (0)
    // and lengths from LegLengthLimit up never count.
    int32_t lowerBound = 0;
    for (int column = 1; column <= Columns; ++column) {
        int32_t shortest = LegLengthLimit;
        for (const TPlayerStats& player : Players)
            for (const int32_t darts : player.WonLegDarts)
                if (darts > lowerBound && darts < shortest) shortest = darts;
        if (shortest == LegLengthLimit) return; // no further lengths: the rest stays "n/a"

        SetLabelText(Label(Rows + column), QString::number(shortest));
        for (int player = 1; player <= Rows; ++player) {
            int legs = 0;
            for (const int32_t darts : Players[player - 1].WonLegDarts)
                if (darts == shortest) ++legs;
            if (legs > 0) Cell(player, column)->setText(QString::number(legs));
        }
        lowerBound = shortest;
    }
}

void TForm3::Button1Click() {
    CloseDialog();
}

} // namespace brennix
