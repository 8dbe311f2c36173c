#include "form6.h"

#include "engine/state.h"
#include "icon.h"
#include "messages.h"

#include <QShowEvent>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

namespace brennix {

const QString TForm6::Heading = QStringLiteral("OutShots");

TForm6::TForm6(QWidget* parent)
    : TModalDialog(parent, "Form6", QStringLiteral("Outshot Settings"), 241, 302) {
    setWindowIcon(ProgramIcon());

    // Tab order: Ok (which holds the focus when the dialog opens), Cancel, then the text.
    Button1 = Place<QPushButton>(this, "Button1", 112, 272, 57, 25, QStringLiteral("Ok"));
    Button2 = Place<QPushButton>(this, "Button2", 176, 272, 57, 25, QStringLiteral("Cancel"));
    connect(Button1, &QPushButton::clicked, this, &TForm6::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm6::Button2Click);

    Memo1 = Place<QPlainTextEdit>(this, "Memo1", 8, 8, 225, 257);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Long lines scroll sideways instead of wrapping, so a line on the screen is one score.
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Tab leaves the text (a checkout text has no use for tab characters); Enter, which the
    // text field takes for itself, starts a new line.
    Memo1->setTabChangesFocus(true);
}

void TForm6::showEvent(QShowEvent* event) {
    TModalDialog::showEvent(event);
    if (!event->spontaneous()) FormActivate();
}

void TForm6::FormActivate() {
    QStringList lines{Heading};
    for (int remaining = 1; remaining <= MaxCheckout; ++remaining)
        lines << ToQt(Settings.Outshots[remaining - 1]);
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    Memo1->moveCursor(QTextCursor::Start);
}

void TForm6::Button1Click() {
    // Lines are matched to scores by position: line r is the text for r, line 0 is the heading
    // and lines after 170 are ignored. Missing lines give empty texts. Entry 171 stays as it is.
    const QTextDocument* document = Memo1->document();
    for (int remaining = 1; remaining <= MaxCheckout; ++remaining) {
        const QTextBlock line = document->findBlockByNumber(remaining);
        const std::string text = line.isValid() ? FromQt(line.text()) : std::string();
        Settings.Outshots[remaining - 1] = ShortString(text, OutshotCapacity);
    }
    CloseDialog();
}

void TForm6::Button2Click() {
    CloseDialog();
}

} // namespace brennix
