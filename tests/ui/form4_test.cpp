// The Info dialog: logo, icon, version text and release notes.
#include "ui/fonts.h"
#include "ui/form4.h"
#include "ui/icon.h"
#include "ui_test_support.h"

#include <QFontMetrics>
#include <QScrollBar>
#include <QtTest>
#include <memory>

using namespace brennix;
using namespace brennix::test;

class Form4Test : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { InstallFontSubstitutes(); }
    void init() { form = std::make_unique<TForm4>(); }
    void cleanup() { form.reset(); }

    void layoutFollowsTheDesign() {
        QCOMPARE(form->objectName(), QString("Form4"));
        QCOMPARE(form->windowTitle(), QString("Info"));
        QCOMPARE(form->size(), QSize(442, 253));
        QVERIFY(!(form->windowFlags() & Qt::WindowCloseButtonHint));

        QCOMPARE(form->findChild<QLabel*>("Image1"), form->Image1);
        QCOMPARE(form->Image1->pos(), QPoint(88, 24));

        QCOMPARE(form->findChild<QLabel*>("Label2"), form->Label2);
        QCOMPARE(form->Label2->pos(), QPoint(136, -8));
        QCOMPARE(form->Label2->text(), QString("Brennix "));
        QCOMPARE(form->Label2->font().pixelSize(), 64);
        QVERIFY(form->Label2->font().bold());
        QVERIFY(form->Label2->font().italic());
        QCOMPARE(form->Label2->font().family(), QString("Arial"));
        QCOMPARE(form->Label2->palette().color(QPalette::WindowText), QColor(Qt::white));

        QCOMPARE(form->findChild<QLabel*>("Label4"), form->Label4);
        QCOMPARE(form->Label4->y(), 0);
        QCOMPARE(form->Label4->text(), QString("3 "));
        QCOMPARE(form->Label4->font().pixelSize(), 37);
        QVERIFY(form->Label4->font().bold());
        QVERIFY(form->Label4->font().italic());
        QCOMPARE(form->Label4->palette().color(QPalette::WindowText), QColor(0, 0, 128));

        QCOMPARE(form->findChild<QLabel*>("Label5"), form->Label5);
        QCOMPARE(form->Label5->pos(), QPoint(8, 72));
        QCOMPARE(form->Label5->text(), QString("Versioninfo:"));

        QCOMPARE(form->findChild<QPlainTextEdit*>("Memo1"), form->Memo1);
        QCOMPARE(form->Memo1->geometry(), QRect(8, 88, 425, 129));
        QVERIFY(form->Memo1->isReadOnly());
        QCOMPARE(form->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

        QCOMPARE(form->findChild<QLabel*>("Label3"), form->Label3);
        QCOMPARE(form->Label3->pos(), QPoint(336, 236));
        QCOMPARE(form->Label3->text(), QString("Version"));

        QCOMPARE(form->findChild<QPushButton*>("Button1"), form->Button1);
        QCOMPARE(form->Button1->geometry(), QRect(184, 224, 75, 25));
        QCOMPARE(form->Button1->text(), QString("Close"));
    }

    // The "3" starts 19 pixels left of where "Brennix " (with its blank) ends.
    void logoThreeOverlapsTheEndOfBrennix() {
        const QFontMetrics metrics(form->Label2->font());
        const int end = 136 + metrics.horizontalAdvance(QStringLiteral("Brennix "));
        QVERIFY(metrics.horizontalAdvance(QStringLiteral("Brennix ")) >
                metrics.horizontalAdvance(QStringLiteral("Brennix")));
        QCOMPARE(form->Label4->x(), end - 19);
        // Label4 lies on top of Label2, so the overlap is visible.
        QVERIFY(form->children().indexOf(form->Label4) > form->children().indexOf(form->Label2));
    }

    void versionTextOnEveryShowing() {
        QCOMPARE(form->Label3->text(), QString("Version"));
        form->show();
        QCOMPARE(form->Label3->text(), QString(" v3.2.6  18.MAY.2002"));
        form->Button1Click();
        QVERIFY(!form->isVisible());
        form->Label3->setText("Version");
        form->show();
        QCOMPARE(form->Label3->text(), QString(" v3.2.6  18.MAY.2002"));
        // The whole text fits into the label.
        QVERIFY(form->Label3->width() >=
                QFontMetrics(form->Label3->font()).horizontalAdvance(TForm4::VersionText));
    }

    void iconIsThe32PixelPicture() {
        const QImage image = ProgramImage();
        QCOMPARE(image.size(), QSize(32, 32));
        QCOMPARE(ProgramPixmap().size(), QSize(32, 32));
        QVERIFY(!ProgramIcon().isNull());
        QCOMPARE(ProgramIcon().availableSizes().value(0), QSize(32, 32));
        // A round board: transparent corners, a red bull's eye, coloured rings.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(31, 31)), 0);
        const QColor bull = image.pixelColor(16, 16);
        QVERIFY(bull.red() > 150 && bull.green() < 80 && bull.blue() < 80);
        QCOMPARE(image.pixelColor(16, 16), image.pixelColor(15, 15));
        int opaque = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (qAlpha(image.pixel(x, y)) == 255) ++opaque;
        QVERIFY(opaque > 600);

        QCOMPARE(form->Image1->size(), QSize(32, 32));
        QCOMPARE(form->Image1->pixmap().size(), QSize(32, 32));
        QCOMPARE(form->Image1->pixmap().toImage().convertToFormat(image.format()), image);
        QVERIFY(!form->windowIcon().isNull());
    }

    void releaseNotesNewestFirst() {
        const QStringList lines = form->Memo1->toPlainText().split('\n');
        QVERIFY(lines.size() > 20);
        QCOMPARE(lines.first(), TForm4::VersionText);
        QStringList headers;
        for (const QString& line : lines)
            if (line.startsWith(" v")) headers << line.trimmed().section(QLatin1Char(' '), 0, 0);
        QVERIFY(headers.size() >= 4);
        QCOMPARE(headers.first(), QString("v3.2.6"));
        // Version numbers fall from block to block.
        for (int i = 1; i < headers.size(); ++i) {
            const auto version = [](const QString& text) {
                const QStringList parts = text.mid(1).split('.');
                return parts.value(0).toInt() * 10000 + parts.value(1).toInt() * 100 +
                       parts.value(2).toInt();
            };
            QVERIFY2(version(headers[i]) < version(headers[i - 1]), qPrintable(headers[i]));
        }
    }

    // Modal run as the main window does it: Close has the focus and Enter presses it.
    void modalRunEndsWithClose() {
        bool closeFocused = false;
        bool escapeKeptOpen = false;
        TDialogSafety safety;
        safety.Start(10000);
        RunModal(form.get(), TDriveStart::AtOnce, [&] {
            closeFocused = form->focusWidget() == form->Button1;
            QTest::keyClick(form.get(), Qt::Key_Escape);
            escapeKeptOpen = form->isVisible();
            QTest::keyClick(form->Button1, Qt::Key_Return);
        });
        QVERIFY(safety.Stop());
        QVERIFY(closeFocused);
        QVERIFY(escapeKeptOpen);
        QVERIFY(!form->isVisible());
    }

    void closeButtonCloses() {
        form->show();
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(!form->isVisible());
    }

  private:
    std::unique_ptr<TForm4> form;
};

QTEST_MAIN(Form4Test)
#include "form4_test.moc"
