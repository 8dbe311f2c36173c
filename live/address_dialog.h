// Where the live board can be opened, shown in the window: started from the desktop's menu there
// is no terminal to read the addresses from. The first address is also drawn as a QR code, for
// phones.
#pragma once

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

class TLiveAddressDialog : public QDialog {
  public:
    // `addresses` as the server gives them (see TLiveBoardModule::Addresses); `everywhere` when it
    // listens on every interface; `hall` when it serves the club's hall. The pages of each
    // address are listed below them.
    TLiveAddressDialog(QWidget* parent, const std::vector<std::string>& addresses, bool everywhere,
                       bool hall = false);
};

} // namespace brennix
