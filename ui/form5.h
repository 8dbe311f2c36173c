// The Start Leg dialog: asks "Who may begin the leg?" and sets ActivePlayer to the chosen player.
// It has no Cancel button and no close box; the operator answers with Ok.
#pragma once

#include "dialog.h"

#include <QComboBox>
#include <QPushButton>

namespace brennix {

class TForm5 : public TModalDialog {
    Q_OBJECT
  public:
    explicit TForm5(QWidget* parent = nullptr);

    QLabel* Label1;       // "Who may begin the leg?"
    QComboBox* ComboBox1; // the players in play; outside a showing only the first one
    QPushButton* Button1; // "Ok"

    // Lists the players in play and selects ActivePlayer; runs on every showing.
    void FormActivate();
    // Ok: ActivePlayer becomes the chosen position, the list shrinks back to its first item and
    // the dialog closes.
    void Button1Click();

  protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace brennix
