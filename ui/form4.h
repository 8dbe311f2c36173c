// The Info dialog: the program's icon and logo, the version and the release notes.
#pragma once

#include "dialog.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace brennix {

class TForm4 : public TModalDialog {
    Q_OBJECT
  public:
    // The version text, shown on every showing in Label3.
    static const QString VersionText;
    // The logo's "3" starts this many pixels left of the end of "Brennix " (blank included).
    static constexpr int LogoOverlap = 19;

    explicit TForm4(QWidget* parent = nullptr);

    QLabel* Image1;        // the program icon
    QLabel* Label2;        // logo "Brennix "
    QLabel* Label3;        // version text
    QLabel* Label4;        // logo "3 "
    QLabel* Label5;        // "Versioninfo:"
    QPlainTextEdit* Memo1; // release notes, read-only
    QPushButton* Button1;  // "Close"

    // Runs on every showing: puts the version text in place.
    void FormActivate();
    // "Close": closes the dialog.
    void Button1Click();

    // The release notes, one block per version, newest first.
    static QString ReleaseNotes();

  protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace brennix
