// The big scores and the read-only fields painted from images: the same pixels as the widgets
// paint themselves, and the images used once made.
#include "ui/big_digits.h"
#include "ui/dialog.h"
#include "ui/field_images.h"
#include "ui/fonts.h"

#include <QLineEdit>
#include <QtTest>

using namespace brennix;

namespace {

// Counts the paints the widget does itself.
template <class W>
class TCounted : public W {
  public:
    using W::W;
    int Paints = 0;

  protected:
    void paintEvent(QPaintEvent* event) override {
        ++Paints;
        W::paintEvent(event);
    }
};

void SetTextColour(QWidget* widget, QRgb colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgb(colour));
    widget->setPalette(palette);
}

} // namespace

class PaintedImagesTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { InstallFontSubstitutes(); }

    // Digits are learnt from the texts shown and put together for others: "401" from "441"
    // and "501"; a minus sign is not a digit, and the label paints itself.
    void bigScoresAsTheLabelPaintsThem_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QRgb>("colour");
        QTest::addColumn<int>("selfPaints"); // of the last text
        QTest::newRow("learnt") << QStringList{"501"} << QRgb(0x999999) << 0;
        QTest::newRow("put together") << QStringList{"441", "501", "401"} << QRgb(0xDD0000) << 0;
        QTest::newRow("one digit") << QStringList{"7", "0"} << QRgb(0x999999) << 0;
        QTest::newRow("not digits") << QStringList{"-5"} << QRgb(0x999999) << 1;
    }
    void bigScoresAsTheLabelPaintsThem() {
        QFETCH(QStringList, texts);
        QFETCH(QRgb, colour);
        QFETCH(int, selfPaints);
        QWidget board;
        auto* plain = new QLabel(&board);
        auto* watched = new TCounted<QLabel>(&board);
        TBigDigits digits(&board);
        digits.Watch(watched);
        for (QLabel* label : {plain, static_cast<QLabel*>(watched)}) {
            label->setFont(ArialBlack(96));
            SetTextColour(label, colour);
        }
        for (const QString& text : texts) {
            SetLabelText(plain, text);
            SetLabelText(watched, text);
            watched->Paints = 0;
            QCOMPARE(watched->grab().toImage(), plain->grab().toImage());
        }
        QCOMPARE(watched->Paints, selfPaints);
    }

    // A read-only or disabled field is drawn into an image once the event loop is free; an
    // editable one always paints itself.
    void fieldsAsTheyPaintThemselves_data() {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("selfPaints"); // of the second paint
        QTest::newRow("read-only") << true << true << 0;
        QTest::newRow("disabled") << false << false << 0;
        QTest::newRow("editable") << false << true << 1;
    }
    void fieldsAsTheyPaintThemselves() {
        QFETCH(bool, readOnly);
        QFETCH(bool, enabled);
        QFETCH(int, selfPaints);
        QWidget board;
        auto* plain = new QLineEdit(&board);
        auto* watched = new TCounted<QLineEdit>(&board);
        TFieldImages images(&board);
        images.Watch(watched);
        for (QLineEdit* field : {plain, static_cast<QLineEdit*>(watched)}) {
            field->setGeometry(0, 0, 57, 21);
            field->setReadOnly(readOnly);
            field->setEnabled(enabled);
            field->setText(QStringLiteral("63,500"));
        }
        const QImage expected = plain->grab().toImage();
        QCOMPARE(watched->grab().toImage(), expected);
        QCoreApplication::processEvents(); // the image is made
        watched->Paints = 0;
        QCOMPARE(watched->grab().toImage(), expected);
        QCOMPARE(watched->Paints, selfPaints);
    }
};

QTEST_MAIN(PaintedImagesTest)
#include "painted_images_test.moc"
