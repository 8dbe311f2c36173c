// Where the live board can be opened, shown in the window: started from the desktop's menu there
// is no terminal to read the addresses from. The first address is also drawn as a QR code, for
// phones.
#pragma once

#include "live_module.h"

#include <QDialog>
#include <QImage>
#include <QString>
#include <string>
#include <vector>

namespace brennix {

// The menu item's text (Help menu, after the program's own items).
inline const QString LiveBoardMenuText = QStringLiteral("&Live Board...");

// A QR code of the text, one pixel per module with a quiet zone of four modules (black on
// white); a null image when the text cannot be encoded.
QImage QrCodeImage(const std::string& text);

// The first address of a list as the server gives it, without a note after it ("http://…/ (this
// machine)" is "http://…/").
std::string UrlOf(const std::string& address);

// The keypad part's texts.
inline const QString ForgetKeypadsText = QStringLiteral("&Forget All Keypads");
QString KeypadsPairedText(int count);

class TLiveAddressDialog : public QDialog {
  public:
    // `addresses` as the server gives them (see TLiveBoardModule::Addresses); `everywhere` when it
    // listens on every interface; `hall` when it serves the club's hall. The pages of each
    // address are listed below them. With `keypads`, a part for pairing keypads follows: the
    // pairing address of a fresh one-time code as a QR code and as text (a new code whenever the
    // last has expired), how many keypads are paired, and a button that forgets them all.
    TLiveAddressDialog(QWidget* parent, const std::vector<std::string>& addresses, bool everywhere,
                       bool hall = false, TLiveBoardModule* keypads = nullptr);

  private:
    void AddKeypadPart(QLayout& layout, const std::string& url, TLiveBoardModule& keypads);
};

} // namespace brennix
