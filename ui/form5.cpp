#include "form5.h"

#include "engine/state.h"
#include "fonts.h"
#include "messages.h"

#include <QScreen>
#include <QShowEvent>
#include <QStyledItemDelegate>

namespace brennix {

namespace {

constexpr int ItemHeight = 24;

// Draws the items of the player list at a fixed height.
class TFixedHeightItems : public QStyledItemDelegate {
  public:
    TFixedHeightItems(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(height_);
        return size;
    }

  private:
    int height_;
};

// Removes every item after the first.
void KeepFirstItem(QComboBox* list) {
    while (list->count() > 1)
        list->removeItem(list->count() - 1);
}

} // namespace

TForm5::TForm5(QWidget* parent)
    : TModalDialog(parent, "Form5", QStringLiteral("Start Leg"), 297, 163) {
    // Ok is created first so that it leads the tab order and holds the focus when the dialog opens.
    Button1 = Place<QPushButton>(this, "Button1", 112, 112, 75, 25, QStringLiteral("Ok"));

    Label1 = Place<QLabel>(this, "Label1", 56, 32);
    Label1->setFont(SansSerif(16, true));
    SetLabelText(Label1, QStringLiteral("Who may begin the leg?"));

    // The list box is as high as one item plus its frame.
    ComboBox1 = Place<QComboBox>(this, "ComboBox1", 32, 64, 241, ItemHeight + 6);
    ComboBox1->setEditable(false);
    ComboBox1->setFont(SansSerif(19));
    ComboBox1->setItemDelegate(new TFixedHeightItems(ItemHeight, ComboBox1));
    ComboBox1->addItem(QStringLiteral("Player1"));

    setTabOrder(Button1, ComboBox1);
    connect(Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
}

void TForm5::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        CentreOnDesktop(this);
        FormActivate();
    }
    TModalDialog::showEvent(event);
}

void TForm5::FormActivate() {
    const QString first = ToQt(Settings.PlayerNames[0]);
    if (ComboBox1->count() == 0)
        ComboBox1->addItem(first);
    else
        ComboBox1->setItemText(0, first);
    // The list is normally back to its first item here; this keeps it at exactly the players in
    // play even when the dialog was closed some other way than by Ok.
    KeepFirstItem(ComboBox1);
    for (int n = 1; n < PlayersInPlay(); ++n)
        ComboBox1->addItem(ToQt(Settings.PlayerNames[n]));
    // A position outside the list (never the case in play) proposes the first player, so Ok
    // always names somebody in play.
    ComboBox1->setCurrentIndex(ActivePlayer >= 0 && ActivePlayer < ComboBox1->count() ? ActivePlayer
                                                                                      : 0);
}

void TForm5::Button1Click() {
    ActivePlayer = ComboBox1->currentIndex();
    KeepFirstItem(ComboBox1);
    CloseDialog();
}

} // namespace brennix
