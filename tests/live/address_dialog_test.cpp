// The live board's addresses in the window: the list as the server gives it, a QR code that a
// reader (zbarimg) turns back into the first address, and what the note says of the interfaces.
#include "live/address_dialog.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace brennix;

namespace {

// What a reader makes of the QR code a label shows.
QByteArray ReadBack(const QLabel& code) {
    const QString reader = QStandardPaths::findExecutable("zbarimg");
    if (reader.isEmpty()) return "zbarimg (zbar-tools) is needed to read the code back";
    QTemporaryDir dir;
    const QString png = dir.filePath("code.png");
    if (!code.pixmap().save(png)) return "not saved";
    QProcess zbar;
    zbar.start(reader, {"--quiet", "--raw", png});
    if (!zbar.waitForFinished(20000) || zbar.exitCode() != 0) return "not read";
    return zbar.readAllStandardOutput().trimmed();
}

// A server's keypads as the dialog sees them: a new code each time it is asked.
struct TKeypads : TLiveBoardModule {
    QString Listen(const QString&, quint16) override { return {}; }
    quint16 Port() const override { return 8010; }
    std::vector<std::string> Addresses() const override { return {}; }
    void Publish(const QByteArray&) override {}
    void PublishPlayers(const QByteArray&) override {}
    void PublishHall(const QByteArray&) override {}
    std::string KeypadAddress(const std::string& url) override {
        return url + "k/CODE" + std::to_string(++codes);
    }
    int KeypadCount() const override { return paired; }
    void ForgetKeypads() override { paired = 0; }
    int codes = 0;
    int paired = 2;
};

} // namespace

class AddressDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void theFirstAddressIsReadBackFromTheCode_data() {
        QTest::addColumn<bool>("everywhere");
        QTest::addColumn<QString>("note");
        QTest::newRow("every interface")
            << true
            << "The live board listens on every network interface of this computer, so that every "
               "screen in the room can reach it. Anyone in the network can watch; nobody can "
               "change anything.";
        QTest::newRow("one address") << false
                                     << "The live board listens on this address only. Anyone who "
                                        "can reach it can watch; nobody can change anything.";
    }

    void theFirstAddressIsReadBackFromTheCode() {
        QFETCH(bool, everywhere);
        QFETCH(QString, note);
        const std::vector<std::string> addresses = {"http://192.168.178.20:8010/",
                                                    "http://127.0.0.1:8010/ (this machine)"};
        TLiveAddressDialog dialog(nullptr, addresses, everywhere, everywhere);
        QCOMPARE(dialog.windowTitle(), QString("Live Board"));
        QCOMPARE(dialog.findChild<QLabel*>("Addresses")->text(),
                 QString("http://192.168.178.20:8010/\nhttp://127.0.0.1:8010/ (this machine)"));
        QCOMPARE(dialog.findChild<QLabel*>("Note")->text(), note);
        QCOMPARE(dialog.findChild<QLabel*>("Pages")->text(),
                 "/players  the players' standings, for the room's TV\n"
                 "/overlay  a scoreboard strip for a stream" +
                     QString(everywhere ? "\n/hall     every board of the club" : ""));

        QCOMPARE(ReadBack(*dialog.findChild<QLabel*>("QrCode")), "http://192.168.178.20:8010/");
        QVERIFY(!dialog.findChild<QLabel*>("KeypadCode"));
    }

    // With keypads: the pairing address of a fresh code, as text and as a code, and the paired.
    void theKeypadsPart() {
        TKeypads keypads;
        TLiveAddressDialog dialog(nullptr, {"http://192.168.178.20:8010/"}, false, false, &keypads);
        QCOMPARE(dialog.findChild<QLabel*>("Note")->text(),
                 "The live board listens on this address only. Anyone who can reach it can watch; "
                 "only the keypads paired here can score.");
        QCOMPARE(dialog.findChild<QLabel*>("KeypadAddress")->text(),
                 "http://192.168.178.20:8010/k/CODE1");
        QCOMPARE(ReadBack(*dialog.findChild<QLabel*>("KeypadCode")),
                 "http://192.168.178.20:8010/k/CODE1");
        QCOMPARE(dialog.findChild<QLabel*>("KeypadCount")->text(), "Keypads paired: 2");
        dialog.findChild<QPushButton*>("ForgetKeypads")->click();
        QCOMPARE(dialog.findChild<QLabel*>("KeypadCount")->text(), "Keypads paired: 0");
        QCOMPARE(keypads.codes, 1);
    }

    void aNoteAfterTheAddressIsNotPartOfIt() {
        QCOMPARE(UrlOf("http://127.0.0.1:8010/ (this machine)"), "http://127.0.0.1:8010/");
        QCOMPARE(UrlOf("http://[::1]:8010/"), "http://[::1]:8010/");
        // A code has a quiet zone of four light modules around its finder patterns.
        const QImage code = QrCodeImage("http://[::1]:8010/");
        QCOMPARE(code.size(), QSize(25 + 8, 25 + 8)); // version 2: 25 modules
        QCOMPARE(code.pixelIndex(3, 3), 0);
        QCOMPARE(code.pixelIndex(4, 4), 1);
        QCOMPARE(code.pixelIndex(5, 5), 0);
        QCOMPARE(code.pixelIndex(6, 6), 1);
    }
};

QTEST_MAIN(AddressDialogTest)
#include "address_dialog_test.moc"
