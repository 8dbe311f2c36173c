#include "address_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <qrencode.h>

namespace brennix {

namespace {

constexpr int QuietZone = 4;   // modules of white around the code, as readers expect
constexpr int ShownModule = 6; // screen pixels per module

constexpr int KeypadCodeMs = 110 * 1000; // a new code before the shown one expires (two minutes)
constexpr int KeypadCountMs = 1000;       // how often the count of paired keypads is looked at

// The QR code of a text, as the dialog shows it.
QPixmap ShownCode(const std::string& text) {
    const QImage code = QrCodeImage(text);
    return QPixmap::fromImage(
        code.scaled(code.size() * ShownModule, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

} // namespace

QString KeypadsPairedText(int count) {
    return QStringLiteral("Keypads paired: %1").arg(count);
}

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
                                       bool everywhere, bool hall, TLiveBoardModule* keypads)
    : QDialog(parent) {
    setObjectName("LiveAddressDialog");
    setWindowTitle(QStringLiteral("Live Board"));
    // The board's addresses on the left, the keypad's pairing on the right: low enough for a
    // screen of 768 lines.
    auto* whole = new QVBoxLayout(this);
    whole->setSizeConstraint(QLayout::SetFixedSize); // nothing to gain from another size
    auto* columns = new QHBoxLayout;
    whole->addLayout(columns);
    auto* layout = new QVBoxLayout;
    columns->addLayout(layout);
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
        auto* picture = new QLabel(this);
        picture->setObjectName("QrCode");
        picture->setPixmap(ShownCode(UrlOf(addresses.front())));
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
    const QString changes = keypads ? QStringLiteral("only the keypads paired here can score.")
                                    : QStringLiteral("nobody can change anything.");
    auto* note = new QLabel(
        everywhere ? QStringLiteral("The live board listens on every network interface of this "
                                    "computer, so that every screen in the room can reach it. "
                                    "Anyone in the network can watch; ") + changes
                   : QStringLiteral("The live board listens on this address only. Anyone who "
                                    "can reach it can watch; ") + changes,
        this);
    note->setObjectName("Note");
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch();
    if (keypads && !addresses.empty()) {
        auto* keypad = new QVBoxLayout;
        columns->addSpacing(24);
        columns->addLayout(keypad);
        AddKeypadPart(*keypad, UrlOf(addresses.front()), *keypads);
        keypad->addStretch();
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    whole->addWidget(buttons);
}

void TLiveAddressDialog::AddKeypadPart(QLayout& layout, const std::string& url,
                                       TLiveBoardModule& keypads) {
    auto* heading = new QLabel(QStringLiteral("<b>Keypad</b>"), this);
    layout.addWidget(heading);
    auto* intro = new QLabel(
        QStringLiteral("Score from a phone or tablet at the board: open this address on it "
                       "(scan the code). It works once, within two minutes, and pairs that "
                       "browser with this board until Brennix ends."),
        this);
    intro->setWordWrap(true);
    layout.addWidget(intro);
    auto* picture = new QLabel(this);
    picture->setObjectName("KeypadCode");
    layout.addWidget(picture);
    layout.setAlignment(picture, Qt::AlignHCenter);
    auto* address = new QLabel(this);
    address->setObjectName("KeypadAddress");
    address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    address->setFont(QFont(QStringLiteral("Liberation Mono"), 11));
    layout.addWidget(address);
    auto* count = new QLabel(this);
    count->setObjectName("KeypadCount");
    layout.addWidget(count);
    auto* forget = new QPushButton(ForgetKeypadsText, this);
    forget->setObjectName("ForgetKeypads");
    forget->setAutoDefault(false);
    layout.addWidget(forget);
    layout.setAlignment(forget, Qt::AlignLeft);

    const auto newCode = [=, &keypads] {
        const std::string pairing = keypads.KeypadAddress(url);
        picture->setPixmap(ShownCode(pairing));
        address->setText(QString::fromStdString(pairing));
    };
    const auto counted = [=, &keypads] { count->setText(KeypadsPairedText(keypads.KeypadCount())); };
    newCode();
    counted();
    auto* codes = new QTimer(this);
    connect(codes, &QTimer::timeout, this, newCode);
    codes->start(KeypadCodeMs);
    auto* counts = new QTimer(this);
    connect(counts, &QTimer::timeout, this, counted);
    counts->start(KeypadCountMs);
    connect(forget, &QPushButton::clicked, this, [=, &keypads] {
        keypads.ForgetKeypads();
        counted();
    });
}

} // namespace brennix
