// The Game Settings dialog: number of players, game type, match format, the eight player names,
// sound and save options. It fills itself from the settings every time it is shown and writes
// them back only on Ok; the hidden check box CheckBox3 tells the caller whether Ok was pressed.
#pragma once

#include "dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <array>

namespace brennix {

class TForm2 : public TModalDialog {
    Q_OBJECT
  public:
    explicit TForm2(QWidget* parent = nullptr);

    // The three raised panels that group the top row, the game lists and the names.
    QFrame* Bevel1;
    QFrame* Bevel2;
    QFrame* Bevel3;

    // Top group.
    QLabel* Label1;       // "PlayerAmmount"
    QSpinBox* SpinEdit1;  // number of players, 1-8
    QCheckBox* CheckBox2; // "Sound"
    QCheckBox* CheckBox1; // "AutoSave"
    QCheckBox* CheckBox4; // "Delete AutoSave files on exit"
    QLineEdit* Edit7;     // player to throw (a player number), display only
    QLabel* Label10;      // "PlActive"
    QLineEdit* Edit5;     // who begins the next leg (an index), display only
    QLabel* Label8;       // "LegStart"
    QLineEdit* Edit6;     // who begins the next set (an index), display only
    QLabel* Label9;       // "SetStart"
    QLabel* Label16;      // "Keep Savefiles"
    QLineEdit* Edit12;    // autosave files kept at exit

    // Game group. Item texts are read by position for the scoreboard caption.
    QLabel* Label2;       // "Game type"
    QComboBox* ComboBox1; // game type: GameType = position + 1
    QLabel* Label3;       // "Game Setting"
    QComboBox* ComboBox2; // match format: MatchFormat = position + 2

    // Names group: the fields of players 1-8 and their captions "Player 1" ... "Player 8".
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QLineEdit* Edit8;
    QLineEdit* Edit9;
    QLineEdit* Edit10;
    QLineEdit* Edit11;
    QLabel* Label4;  // "Player 1"
    QLabel* Label5;  // "Player 2"
    QLabel* Label6;  // "Player 3"
    QLabel* Label7;  // "Player 4"
    QLabel* Label11; // "Player 5"
    QLabel* Label12; // "Player 6"
    QLabel* Label13; // "Player 7"
    QLabel* Label14; // "Player 8"

    // Bottom row.
    QLabel* Label15;      // "Changing settings will reset the game !"
    QPushButton* Button1; // "Ok"
    QPushButton* Button2; // "Cancel"
    QCheckBox* CheckBox3; // never visible: set by Ok, cleared on every showing

    // The name field of a player (1-8).
    QLineEdit* NameEdit(int player) const { return nameEdits_.at(player - 1); }

    // Fills every field from the settings and the turn indices; runs on every showing.
    void FormActivate();
    // Ok: stores the fields into the settings, marks CheckBox3 and closes. A "Keep Savefiles"
    // entry that is not a whole number is reported in the error box and nothing is stored.
    void Button1Click();
    // Cancel: closes without storing anything.
    void Button2Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::array<QLineEdit*, 8> nameEdits_{};
};

} // namespace brennix
