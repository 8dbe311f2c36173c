// The result dialog, shown when a match ends: the winner and, for every player, how many legs
// the player won in how many darts, for the five shortest leg lengths of the match.
#pragma once

#include "dialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <array>

namespace brennix {

class TForm3 : public TModalDialog {
    Q_OBJECT
  public:
    static constexpr int Rows = 8;    // one row per player record
    static constexpr int Columns = 5; // the five shortest leg lengths
    static constexpr int TopEdge = 125;
    static constexpr int LegLengthLimit = 10000; // leg lengths from here up are not listed

    explicit TForm3(QWidget* parent = nullptr);

    // Label1 ... Label14 by number: 1-8 the player names, 9-13 the column headings.
    QLabel* Label(int number) const { return labels_.at(number - 1); }
    // Edit1 ... Edit40 by number; player r, column j is number 5 * (r - 1) + j.
    QLineEdit* Edit(int number) const { return edits_.at(number - 1); }
    QLineEdit* Cell(int player, int column) const { return Edit(Columns * (player - 1) + column); }

    QLabel* LabelWin;
    QPushButton* Button1; // "Restart"

    // Fills the dialog from the match that has just ended; runs on every showing.
    void FormActivate();
    // "Restart": closes the dialog; the caller then resets the game.
    void Button1Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FillLegTable();

    std::array<QLabel*, 14> labels_{};
    std::array<QLineEdit*, Rows * Columns> edits_{};
};

} // namespace brennix
