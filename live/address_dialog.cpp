#include "address_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>
#include <qrencode.h>

namespace brennix {

namespace {

constexpr int QuietZone = 4;   // modules of white around the code, as readers expect
constexpr int ShownModule = 6; // screen pixels per module

} // namespace

QImage QrCodeImage(const std::string& text) {
    QRcode* code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (code == nullptr) return {};
    const int side = code->width + 2 * QuietZone;
    QImage image(side, side, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(0);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                image.setPixel(x + QuietZone, y + QuietZone, 1);
    QRcode_free(code);
    return image;
}

std::string UrlOf(const std::string& address) {
    return address.substr(0, address.find(' '));
}

TLiveAddressDialog::TLiveAddressDialog(QWidget* parent, const std::vector<std::string>& addresses,
                                       bool everywhere, bool hall)
    : QDialog(parent) {
    setObjectName("LiveAddressDialog");
    setWindowTitle(QStringLiteral("Live Board"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize); // nothing to gain from another size
    auto* intro = new QLabel(
        QStringLiteral("Open the live board in a browser on a TV or phone in this network:"), this);
    layout->addWidget(intro);
    auto* list = new QLabel(this);
    list->setObjectName("Addresses");
    QStringList lines;
    for (const std::string& address : addresses)
        lines << QString::fromStdString(address);
    list->setText(lines.join(u'\n'));
    list->setTextInteractionFlags(Qt::TextSelectableByMouse);
    list->setFont(QFont(QStringLiteral("Liberation Mono"), 11));
    layout->addWidget(list);
    if (!addresses.empty()) {
        const QImage code = QrCodeImage(UrlOf(addresses.front()));
        auto* picture = new QLabel(this);
        picture->setObjectName("QrCode");
        picture->setPixmap(QPixmap::fromImage(
            code.scaled(code.size() * ShownModule, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
        picture->setToolTip(QString::fromStdString(UrlOf(addresses.front())));
        layout->addWidget(picture, 0, Qt::AlignHCenter);
    }
    // What each address serves besides the match.
    layout->addWidget(new QLabel(QStringLiteral("More pages, at the end of the address:"), this));
    QString pages = QStringLiteral("/players  the players' standings, for the room's TV\n"
                                   "/overlay  a scoreboard strip for a stream");
    if (hall) pages += QStringLiteral("\n/hall     every board of the club");
    auto* more = new QLabel(pages, this);
    more->setObjectName("Pages");
    more->setFont(list->font());
    layout->addWidget(more);
    auto* note = new QLabel(
        everywhere ? QStringLiteral("The live board listens on every network interface of this "
                                    "computer, so that every screen in the room can reach it. "
                                    "Anyone in the network can watch; nobody can change anything.")
                   : QStringLiteral("The live board listens on this address only. Anyone who "
                                    "can reach it can watch; nobody can change anything."),
        this);
    note->setObjectName("Note");
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace brennix
