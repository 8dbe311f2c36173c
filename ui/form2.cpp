#include "form2.h"

#include "engine/convert.h"
#include "engine/errors.h"
#include "engine/state.h"
#include "fonts.h"
#include "messages.h"

#include <QLocale>
#include <QScreen>
#include <QShowEvent>
#include <QValidator>
#include <algorithm>

namespace brennix {

namespace {

// Names are stored one byte per character (ISO 8859-1): a name with any other character is
// refused with the character named, rather than stored with a "?" in its place.
void CheckNameCharacters(const QString& name) {
    for (qsizetype at = 0; at < name.size(); ++at) {
        if (name[at].unicode() <= 0xFF) continue;
        // A character beyond the first plane is a pair of halves; name it whole.
        const QString character = name.mid(at, name[at].isHighSurrogate() ? 2 : 1);
        throw EBrennixError(
            QStringLiteral("The name \"%1\" holds \"%2\", which game files cannot store: use "
                           "letters of Western European languages only")
                .arg(name, character)
                .toStdString());
    }
}

constexpr int EditHeight = 21;
constexpr int NameWidth = 121;
constexpr int NameTypingLimit = 15; // players 1-4; the fields of players 5-8 have none

// Place of the name field of player n + 1: two columns, four rows.
int NameLeft(int n) {
    return n % 2 == 0 ? 72 : 272;
}
int NameTop(int n) {
    return 160 + 32 * (n / 2);
}

// The number-of-players field. Only digits, signs and the decimal separator can be typed. The
// value follows the text at once: a whole number outside the range counts as the nearer end of
// it, anything else (an empty field included) as the minimum. When the field is left the text
// shows that value.
class TPlayerCountEdit : public QSpinBox {
  public:
    explicit TPlayerCountEdit(QWidget* parent) : QSpinBox(parent) {}

  protected:
    QValidator::State validate(QString& input, int& /*pos*/) const override {
        const QString decimalPoint = locale().decimalPoint();
        for (const QChar c : input) {
            const bool allowed =
                (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || decimalPoint.contains(c);
            if (!allowed) return QValidator::Invalid;
        }
        return QValidator::Acceptable;
    }

    int valueFromText(const QString& text) const override {
        const std::optional<int32_t> value = TryStrToInt(FromQt(text));
        return value ? std::clamp<int>(*value, minimum(), maximum()) : minimum();
    }

    void fixup(QString& /*input*/) const override {}
};

// The typing limit of a field, as the operator meets it: typing or pasting cannot make the text
// longer than the limit (or than it already was). Text that the program puts in with ShowText is
// shown whole, however long; Qt's own maxLength would cut it, and Ok would store the cut text.
class TTypingLimit : public QValidator {
  public:
    TTypingLimit(QLineEdit* edit, int limit) : QValidator(edit), limit_(limit) {
        edit->setValidator(this);
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString& text) { length_ = static_cast<int>(text.size()); });
    }

    State validate(QString& input, int& /*pos*/) const override {
        return input.size() <= std::max(limit_, length_) ? Acceptable : Invalid;
    }

  private:
    int limit_;
    int length_ = 0; // length of the text before the change that is being checked
};

void LimitTyping(QLineEdit* edit, int limit) {
    new TTypingLimit(edit, limit);
}

// Puts the program's text into a field, past its typing limit if need be.
void ShowText(QLineEdit* edit, const QString& text) {
    const QValidator* limit = edit->validator();
    edit->setValidator(nullptr);
    edit->setText(text);
    edit->setValidator(limit);
}

QLineEdit* PlaceEdit(QWidget* parent, const char* name, int left, int top, int width) {
    return Place<QLineEdit>(parent, name, left, top, width, EditHeight);
}

// A field that only shows a value: disabled, never in the tab order, one character to type.
QLineEdit* PlaceDisplayField(QWidget* parent, const char* name, int left, int top) {
    QLineEdit* edit = PlaceEdit(parent, name, left, top, 25);
    LimitTyping(edit, 1);
    edit->setEnabled(false);
    edit->setFocusPolicy(Qt::NoFocus);
    return edit;
}

QLabel* PlaceDisabledLabel(QWidget* parent, const char* name, int left, int top,
                           const QString& text) {
    QLabel* label = PlaceLabel(parent, name, left, top, text);
    label->setEnabled(false);
    return label;
}

QComboBox* PlaceList(QWidget* parent, const char* name, int left, int top, int width,
                     const auto& texts) {
    auto* list = Place<QComboBox>(parent, name, left, top, width, EditHeight);
    list->setEditable(false);
    for (const std::string_view text : texts)
        list->addItem(ToQt(std::string(text)));
    return list;
}

} // namespace

TForm2::TForm2(QWidget* parent)
    : TModalDialog(parent, "Form2", QStringLiteral("Game Settings"), 425, 326) {
    // The panels come first so that they lie beneath the controls they frame.
    Bevel1 = PlaceBevel(this, "Bevel1", 8, 8, 409, 73);
    Bevel2 = PlaceBevel(this, "Bevel2", 8, 88, 409, 57);
    Bevel3 = PlaceBevel(this, "Bevel3", 8, 152, 409, 137);

    // The controls that take the focus are created in tab order (Qt chains them so), Ok first
    // so that it holds the focus when the dialog opens.
    Button1 = Place<QPushButton>(this, "Button1", 264, 296, 60, 25, QStringLiteral("Ok"));
    SpinEdit1 = Place<TPlayerCountEdit>(this, "SpinEdit1", 28, 40, 49, 30);
    SpinEdit1->setFont(SansSerif(16));
    SpinEdit1->setRange(1, MaxPlayers);
    SpinEdit1->setValue(2);
    ComboBox1 = PlaceList(this, "ComboBox1", 48, 112, 145, GameTypeTexts);
    Button2 = Place<QPushButton>(this, "Button2", 336, 296, 60, 25, QStringLiteral("Cancel"));
    CheckBox1 = Place<QCheckBox>(this, "CheckBox1", 104, 41, 97, 15, QStringLiteral("AutoSave"));
    CheckBox2 = Place<QCheckBox>(this, "CheckBox2", 104, 19, 97, 17, QStringLiteral("Sound"));
    ComboBox2 = PlaceList(this, "ComboBox2", 240, 112, 137, MatchFormatTexts);

    // Name fields: players 1, 3, 5, 7 in the left column, 2, 4, 6, 8 in the right one, each with
    // its caption to the left.
    const std::array<const char*, MaxPlayers> editNames = {"Edit1", "Edit2", "Edit3",  "Edit4",
                                                           "Edit8", "Edit9", "Edit10", "Edit11"};
    for (int n = 0; n < MaxPlayers; ++n) {
        nameEdits_[n] = PlaceEdit(this, editNames[n], NameLeft(n), NameTop(n), NameWidth);
        if (n < 4) LimitTyping(nameEdits_[n], NameTypingLimit);
    }
    Edit1 = nameEdits_[0];
    Edit2 = nameEdits_[1];
    Edit3 = nameEdits_[2];
    Edit4 = nameEdits_[3];
    Edit8 = nameEdits_[4];
    Edit9 = nameEdits_[5];
    Edit10 = nameEdits_[6];
    Edit11 = nameEdits_[7];

    CheckBox4 = Place<QCheckBox>(this, "CheckBox4", 104, 56, 161, 17,
                                 QStringLiteral("Delete AutoSave files on exit"));
    Edit12 = PlaceEdit(this, "Edit12", 368, 56, 33);
    LimitTyping(Edit12, 3);

    // What takes no focus: the display fields, the captions and the confirmation mark.
    Edit7 = PlaceDisplayField(this, "Edit7", 272, 16);
    Edit5 = PlaceDisplayField(this, "Edit5", 320, 16);
    Edit6 = PlaceDisplayField(this, "Edit6", 368, 16);
    Label10 = PlaceDisabledLabel(this, "Label10", 269, 38, QStringLiteral("PlActive"));
    Label8 = PlaceDisabledLabel(this, "Label8", 316, 38, QStringLiteral("LegStart"));
    Label9 = PlaceDisabledLabel(this, "Label9", 366, 38, QStringLiteral("SetStart"));
    Label1 = PlaceLabel(this, "Label1", 16, 24, QStringLiteral("PlayerAmmount"));
    Label16 = PlaceLabel(this, "Label16", 294, 59, QStringLiteral("Keep Savefiles"));
    Label2 = PlaceLabel(this, "Label2", 56, 96, QStringLiteral("Game type"));
    Label3 = PlaceLabel(this, "Label3", 248, 96, QStringLiteral("Game Setting"));

    const std::array<const char*, MaxPlayers> labelNames = {
        "Label4", "Label5", "Label6", "Label7", "Label11", "Label12", "Label13", "Label14"};
    std::array<QLabel*, MaxPlayers> nameLabels{};
    for (int n = 0; n < MaxPlayers; ++n)
        nameLabels[n] = PlaceLabel(this, labelNames[n], NameLeft(n) - 56, NameTop(n) + 4,
                                   QStringLiteral("Player %1").arg(n + 1));
    Label4 = nameLabels[0];
    Label5 = nameLabels[1];
    Label6 = nameLabels[2];
    Label7 = nameLabels[3];
    Label11 = nameLabels[4];
    Label12 = nameLabels[5];
    Label13 = nameLabels[6];
    Label14 = nameLabels[7];

    Label15 = PlaceLabel(this, "Label15", 16, 304,
                         QStringLiteral("Changing settings will reset the game !"));
    Label15->setFont(SansSerif(11, true));
    Label15->adjustSize();

    CheckBox3 = Place<QCheckBox>(this, "CheckBox3", 408, 304, 97, 17, QStringLiteral("CheckBox3"));
    CheckBox3->setFocusPolicy(Qt::NoFocus);
    CheckBox3->hide();

    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
}

void TForm2::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        CentreOnDesktop(this);
        FormActivate();
    }
    TModalDialog::showEvent(event);
}

void TForm2::FormActivate() {
    CheckBox3->setChecked(false);
    SpinEdit1->setValue(Settings.PlayerCount);

    // A code outside its list leaves the list without a selection.
    const int format = Settings.MatchFormat - 2;
    ComboBox2->setCurrentIndex(format >= 0 && format < ComboBox2->count() ? format : -1);
    const int gameType = Settings.GameType - 1;
    ComboBox1->setCurrentIndex(gameType >= 0 && gameType < ComboBox1->count() ? gameType : -1);

    for (int n = 0; n < MaxPlayers; ++n)
        ShowText(nameEdits_[n], ToQt(Settings.PlayerNames[n]));

    // The starters are shown as indices, the player to throw as a player number.
    ShowText(Edit5, QString::number(NextLegStarter));
    ShowText(Edit6, QString::number(NextSetStarter));
    ShowText(Edit7, QString::number(ActivePlayer + 1));
    ShowText(Edit12, QString::number(Settings.KeepSaveFiles));

    CheckBox2->setChecked(Settings.Sound);
    CheckBox1->setChecked(Settings.AutoSave);
    CheckBox4->setChecked(Settings.DeleteAutoSaves);
}

void TForm2::Button1Click() {
    RunHandler(this, [this] {
        // "Keep Savefiles" and the names are read before anything is stored, so a wrong entry
        // leaves the settings as they were and the dialog open.
        const int32_t keepSaveFiles = StrToInt(FromQt(Edit12->text()));
        for (const QLineEdit* edit : nameEdits_)
            CheckNameCharacters(edit->text());

        CheckBox3->setChecked(true);
        Settings.PlayerCount = SpinEdit1->value();
        // No selection is position -1: MatchFormat 1, GameType 0.
        Settings.MatchFormat = ComboBox2->currentIndex() + 2;
        Settings.GameType = ComboBox1->currentIndex() + 1;
        for (int n = 0; n < MaxPlayers; ++n)
            Settings.PlayerNames[n] = ShortString(FromQt(nameEdits_[n]->text()), NameCapacity);
        Settings.KeepSaveFiles = keepSaveFiles;
        Settings.Sound = CheckBox2->isChecked();
        Settings.AutoSave = CheckBox1->isChecked();
        Settings.DeleteAutoSaves = CheckBox4->isChecked();
        // ActivePlayer, NextLegStarter and NextSetStarter are only shown, never stored.
        CloseDialog();
    });
}

void TForm2::Button2Click() {
    CloseDialog();
}

} // namespace brennix
