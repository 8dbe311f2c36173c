// The Outshot Settings dialog: the checkout texts for the remaining scores 1 to 170, edited as a
// text of one line per score under a heading line.
#pragma once

#include "dialog.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace brennix {

class TForm6 : public TModalDialog {
    Q_OBJECT
  public:
    static const QString Heading; // line 0 of the text, never stored

    explicit TForm6(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1; // line r holds the checkout text for a remaining score of r
    QPushButton* Button1;  // "Ok"
    QPushButton* Button2;  // "Cancel"

    // Runs on every showing: the heading line, then the stored texts for 1 ... 170.
    void FormActivate();
    // "Ok": stores lines 1 ... 170 as the texts for 1 ... 170 and closes.
    void Button1Click();
    // "Cancel": closes; nothing is stored.
    void Button2Click();

  protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace brennix
