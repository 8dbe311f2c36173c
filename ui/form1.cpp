#include "form1.h"

#include "big_digits.h"
#include "dialog.h"
#include "engine/board.h"
#include "engine/flow.h"
#include "engine/state.h"
#include "engine/visit.h"
#include "field_images.h"
#include "fonts.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "form5.h"
#include "form6.h"
#include "forms.h"
#include "messages.h"
#include "sound.h"
#include "storage/autosave.h"
#include "storage/game_file.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>

namespace brennix {

namespace {

constexpr int TimerInterval = 3000;
constexpr int MarkerTop = 444;
constexpr int RowHeight = 24;

struct TPanelPlace {
    const char* name;
    const char* score;
    const char* checkout;
    const char* star;
    int nameLeft, nameTop, scoreLeft, scoreTop, checkoutTop, starLeft, starTop;
};

// Players 1-4 above, 5-8 below.
constexpr std::array<TPanelPlace, 8> PanelPlaces = {{
    {"Label21", "Label17", "Label45", "Label37", 48, 8, 32, 18, 141, 8, 26},
    {"Label22", "Label18", "Label46", "Label38", 296, 8, 280, 18, 141, 256, 26},
    {"Label23", "Label19", "Label47", "Label39", 552, 8, 528, 18, 141, 504, 26},
    {"Label24", "Label20", "Label48", "Label40", 800, 8, 776, 18, 141, 752, 26},
    {"Label50", "Label51", "Label49", "Label52", 48, 176, 32, 192, 315, 8, 200},
    {"Label60", "Label61", "Label53", "Label62", 296, 176, 280, 192, 315, 256, 200},
    {"Label70", "Label71", "Label54", "Label72", 552, 176, 528, 192, 315, 504, 200},
    {"Label80", "Label81", "Label55", "Label82", 808, 176, 776, 192, 315, 752, 200},
}};

struct TGridColumn {
    int left, width;
    int firstUpper, firstLower; // field numbers of rows 1 and 5
    bool strong;                // Sets and Legs: navy and bold
};

constexpr std::array<TGridColumn, TForm1::GridColumns> GridPlaces = {{
    {336, 41, 1, 51, false},    // Score
    {392, 41, 5, 55, true},     // Sets
    {440, 41, 9, 59, true},     // Legs
    {496, 41, 101, 105, false}, // 40+
    {544, 41, 13, 63, false},   // 60+
    {592, 41, 17, 67, false},   // 100+
    {640, 41, 45, 71, false},   // 140+
    {688, 41, 21, 75, false},   // 180
    {744, 57, 25, 79, false},   // 3 Dart Leg
    {808, 57, 29, 83, false},   // 3 Dart Match
    {880, 41, 37, 87, false},   // Darts leg
    {928, 41, 41, 91, false},   // Darts total
}};

constexpr std::array<const char*, 8> RowNameLabels = {
    "Label1", "Label2", "Label3", "Label4", "Label101", "Label102", "Label103", "Label104"};

struct THeading {
    const char* text;
    int left, top;
};

constexpr std::array<THeading, 15> Headings = {{{"Score", 344, 426},
                                                {"Sets", 400, 426},
                                                {"Legs", 448, 426},
                                                {"40+", 510, 426},
                                                {"60+", 557, 426},
                                                {"100+", 600, 426},
                                                {"140+", 648, 426},
                                                {"180", 696, 426},
                                                {"3 Dart Leg", 747, 410},
                                                {"3 Dart Match", 808, 410},
                                                {"Average", 816, 426},
                                                {"Darts", 888, 410},
                                                {"leg", 893, 426},
                                                {"Darts", 936, 410},
                                                {"total", 938, 426}}};

constexpr std::array<std::pair<const char*, int>, 5> MarkerPlaces = {
    {{"Label15", 235}, {"Label26", 325}, {"Label41", 485}, {"Label27", 732}, {"Label28", 972}}};

void SetColour(QWidget* widget, QPalette::ColorRole role, QColor colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QLineEdit* PlaceField(QWidget* parent, const std::string& name, int left, int top, int width,
                      int height) {
    auto* field = Place<QLineEdit>(parent, name.c_str(), left, top, width, height);
    field->setObjectName(QString::fromStdString(name));
    return field;
}

// A dialog of the scoreboard, made the first time it is opened.
template <class TForm>
TForm& Made(TForm*& form, QWidget* scoreboard) {
    if (!form) form = new TForm(scoreboard);
    return *form;
}

// A whole number as the board shows it: plain digits, a minus sign for negatives.
QString Number(int32_t value) {
    return QString::number(value);
}

} // namespace

TForm1::TForm1(TRunOptions options) : options_(std::move(options)) {
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("Brennix 3.2  [FINAL]"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(SansSerif(11));

    auto* board = new QWidget(this);
    board->setObjectName("Board");
    board->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(board);

    // The read-only fields are painted from images of what they show, made once.
    fieldImages_ = new TFieldImages(this);
    BuildPlayerPanels(board);
    BuildGrid(board);
    BuildEntryPanel(board);
    BuildStatusBar(board);
    BuildMenu();

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(TimerInterval);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    // The window has the size of its board and menu, and cannot be resized or maximised.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    Edit33->setFocus();
}

void TForm1::BuildPlayerPanels(QWidget* board) {
    // The big scores are painted from images of their digits, made once.
    auto* bigDigits = new TBigDigits(this);
    for (int p = 0; p < MaxPlayers; ++p) {
        const TPanelPlace& place = PanelPlaces[p];
        NameLabels[p] = PlaceLabel(board, place.name, place.nameLeft, place.nameTop,
                                   QStringLiteral("Player %1").arg(p + 1));
        NameLabels[p]->setFont(SansSerif(19, true));
        NameLabels[p]->adjustSize();
        ScoreLabels[p] = Place<QLabel>(board, place.score, place.scoreLeft, place.scoreTop);
        ScoreLabels[p]->setFont(ArialBlack(96));
        SetLabelText(ScoreLabels[p], QStringLiteral("501"));
        bigDigits->Watch(ScoreLabels[p]);
        CheckoutLabels[p] = PlaceLabel(board, place.checkout, place.scoreLeft, place.checkoutTop,
                                       QStringLiteral("Outshot"));
        Stars[p] = Place<QLabel>(board, place.star, place.starLeft, place.starTop);
        Stars[p]->setFont(ArialBlack(37, true));
        SetLabelText(Stars[p], QStringLiteral("*"));
    }

    Label42 = Place<QLabel>(board, "Label42", 24, 336);
    Label42->setFont(Arial(48, true));
    SetColour(Label42, QPalette::WindowText, Qt::darkBlue);
    SetLabelText(Label42, QStringLiteral("OutShot"));
    Label42->hide();

    Label36 = Place<QLabel>(board, "Label36", 16, 407);
    Label36->setFont(SansSerif(13, true));
    SetColour(Label36, QPalette::WindowText, Qt::red);
    SetLabelText(Label36, QStringLiteral("Special Set"));

    PlaceLabel(board, "Label43", 8, 440, QStringLiteral("Highest score Game:"));
    Label56 = PlaceLabel(board, "Label56", 112, 440, QStringLiteral("0"));
    Label58 = PlaceLabel(board, "Label58", 136, 440, QStringLiteral("Player name"));
    PlaceLabel(board, "Label44", 8, 456, QStringLiteral("Highest score today:"));
    Label57 = PlaceLabel(board, "Label57", 112, 456, QStringLiteral("0"));
    Label59 = PlaceLabel(board, "Label59", 136, 456, QStringLiteral("Player name"));
    Label33 = PlaceLabel(board, "Label33", 16, 488, QStringLiteral("Gametype"));
}

void TForm1::BuildGrid(QWidget* board) {
    PlaceBevel(board, "Bevel2", 224, 400, 761, 249);
    for (const THeading& heading : Headings) {
        QLabel* label = PlaceLabel(board, "", heading.left, heading.top, heading.text);
        label->setObjectName(QStringLiteral("Heading%1_%2").arg(heading.left).arg(heading.top));
    }
    for (int r = 0; r < MaxPlayers; ++r) {
        const int top = 442 + RowHeight * r;
        RowNames[r] = PlaceLabel(board, RowNameLabels[r], 248, 446 + RowHeight * r,
                                 QStringLiteral("Player %1").arg(r + 1));
        for (int c = 0; c < GridColumns; ++c) {
            const TGridColumn& column = GridPlaces[c];
            const int number = r < 4 ? column.firstUpper + r : column.firstLower + r - 4;
            QLineEdit* field = PlaceField(board, "Edit" + std::to_string(number), column.left, top,
                                          column.width, 21);
            field->setReadOnly(true);
            field->setFocusPolicy(Qt::ClickFocus);
            fieldImages_->Watch(field);
            if (column.strong) {
                field->setFont(SansSerif(11, true));
                SetColour(field, QPalette::Text, Qt::darkBlue);
            }
            Grid[r][c] = field;
        }
    }
    for (size_t m = 0; m < Markers.size(); ++m) {
        Markers[m] = Place<QLabel>(board, MarkerPlaces[m].first, MarkerPlaces[m].second, MarkerTop);
        Markers[m]->setFont(SansSerif(19, true));
        SetLabelText(Markers[m], QStringLiteral("*"));
    }
}

void TForm1::BuildEntryPanel(QWidget* board) {
    PlaceBevel(board, "Bevel1", 8, 504, 201, 145);
    PlaceLabel(board, "Label16", 40, 519, QStringLiteral("3 Dart Score"));
    PlaceLabel(board, "Label35", 40, 551, QStringLiteral("Darts thrown"));
    QLabel* score = PlaceLabel(board, "Label25", 24, 581, QStringLiteral("Score"));
    score->setFont(SansSerif(13, true));
    score->adjustSize();

    auto entryField = [&](const char* name, int left, int top) {
        QLineEdit* field = PlaceField(board, name, left, top, 41, 28);
        field->setFont(SansSerif(16, true));
        return field;
    };
    Edit33 = entryField("Edit33", 112, 512);
    Edit33->setMaxLength(3);
    Edit33->installEventFilter(this);
    Edit49 = entryField("Edit49", 112, 544);
    Edit49->setText(QStringLiteral("3"));
    Edit36 = entryField("Edit36", 24, 608);
    Edit35 = entryField("Edit35", 80, 608);
    Edit34 = entryField("Edit34", 136, 608);
    for (QLineEdit* box : {Edit36, Edit35, Edit34}) {
        box->setEnabled(false);
        box->setFocusPolicy(Qt::NoFocus);
        fieldImages_->Watch(box);
    }
    setTabOrder(Edit33, Edit49);

    Button1 = Place<QPushButton>(board, "Button1", 88, 578, 49, 25, QStringLiteral("Refresh"));
    Button2 = Place<QPushButton>(board, "Button2", 144, 578, 49, 25, QStringLiteral("Undo"));
    Button2->setToolTip(
        QStringLiteral("Takes back the last visit (Ctrl+Z in the score field does the same)"));
    for (QPushButton* button : {Button1, Button2}) {
        button->setFocusPolicy(Qt::ClickFocus);
        button->setAutoDefault(false);
    }
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
}

namespace {

// The notes at the right end of the file panel, which a path rarely fills (over a long one they
// hide the path's end while they show): a row as wide as the notes showing, kept at the end
// whenever one of them changes.
class TStatusNotes : public QWidget {
  public:
    explicit TStatusNotes(QWidget* panel) : QWidget(panel) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(4);
        Fit();
    }

  protected:
    bool event(QEvent* event) override {
        const bool handled = QWidget::event(event);
        if (event->type() == QEvent::LayoutRequest) Fit();
        return handled;
    }

  private:
    void Fit() {
        adjustSize();
        setGeometry(parentWidget()->width() - width() - 3, 1, width(),
                    parentWidget()->height() - 2);
    }
};

} // namespace

void TForm1::BuildStatusBar(QWidget* board) {
    auto* bar = StatusBar1 =
        Place<QFrame>(board, "StatusBar1", 0, ClientHeight - 19, ClientWidth, 19);
    const std::array<std::pair<int, const char*>, 4> panels = {
        {{150, "Ready"}, {600, "Not Saved"}, {120, "AutoSave"}, {70, ""}}};
    int left = 0;
    for (size_t i = 0; i < panels.size(); ++i) {
        // As in any status bar, the last panel reaches to the right edge.
        const int width = i + 1 < panels.size() ? panels[i].first : ClientWidth - left;
        auto* panel = Place<QLabel>(bar, "", left, 2, width - 2, 17, panels[i].second);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        if (i == 3) panel->setAlignment(Qt::AlignCenter);
        StatusPanels[i] = panel;
        left += width;
    }
    statusNotes_ = new TStatusNotes(StatusPanels[1]);
    ResumeNote = AddStatusNote("ResumeNote");
    ResumeNote->setText(QStringLiteral("An interrupted match can be resumed (File menu)"));
    ProgressBar1 = Place<QProgressBar>(board, "ProgressBar1", 752, 659, 118, 17);
    ProgressBar1->setRange(0, 101);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setToolTip(QStringLiteral("AutoSaveTimer"));
}

void TForm1::BuildMenu() {
    QMenuBar* menu = menuBar();
    menu->setObjectName("MainMenu1");
    auto item = [&](QMenu* parent, const char* name, const QString& text,
                    void (TForm1::*handler)()) {
        QAction* action = parent->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu* file = menu->addMenu(QStringLiteral("&File"));
    item(file, "NewGame1", QStringLiteral("&New Game"), &TForm1::NewGame1Click);
    item(file, "LoadGame1", QStringLiteral("&Load Game"), &TForm1::LoadGame1Click);
    ResumeMatch1 = item(file, "ResumeMatch1", QStringLiteral("&Resume Interrupted Match"),
                        &TForm1::ResumeMatch1Click);
    ResumeMatch1->setEnabled(false);
    item(file, "SaveGame1", QStringLiteral("&Save Game"), &TForm1::SaveGame1Click);
    item(file, "SaveAs1", QStringLiteral("Save Game &As"), &TForm1::SaveAs1Click);
    file->addSeparator();
    item(file, "Exit1", QStringLiteral("E&xit"), &TForm1::Exit1Click);
    QMenu* settings = menu->addMenu(QStringLiteral("&Settings"));
    item(settings, "Settings2", QStringLiteral("&Game Settings"), &TForm1::Settings2Click);
    item(settings, "OutshotSettings1", QStringLiteral("&Outshot Settings"),
         &TForm1::OutshotSettings1Click);
    QMenu* help = HelpMenu = menu->addMenu(QStringLiteral("&Help"));
    item(help, "Info1", QStringLiteral("&Info"), &TForm1::Info1Click);
}

// ---- Handlers ----------------------------------------------------------------------------

void TForm1::Edit33KeyDown(int key) {
    const TKey pressed = key == Qt::Key_Return || key == Qt::Key_Enter ? TKey::Enter
                         : key == Qt::Key_F5                           ? TKey::F5
                                                                       : TKey::Other;
    RunHandler(this, [pressed] { BookVisit(pressed); });
}

void TForm1::Button1Click() {
    FocusScore();
    RefreshBoard();
}

void TForm1::Button2Click() {
    RunHandler(this, UndoVisit);
}
void TForm1::NewGame1Click() {
    RunHandler(this, NewGame);
}
void TForm1::LoadGame1Click() {
    RunHandler(this, LoadGameFile);
}
void TForm1::ResumeMatch1Click() {
    if (resume_) RunHandler(this, resume_);
}
void TForm1::SaveGame1Click() {
    RunHandler(this, brennix::SaveGameFile);
}
void TForm1::SaveAs1Click() {
    RunHandler(this, brennix::SaveAs1Click);
}
void TForm1::Exit1Click() {
    close();
}
void TForm1::Settings2Click() {
    RunHandler(this, ChangeSettings);
}
void TForm1::OutshotSettings1Click() {
    Made(Form6, this).exec();
}
void TForm1::Info1Click() {
    Made(Form4, this).exec();
}
void TForm1::Timer1Timer() {
    RunHandler(this, brennix::Timer1Timer);
}

void TForm1::FormActivate() {
    if (activated_) return;
    activated_ = true;
    const QSize screen = QGuiApplication::primaryScreen()->size();
    RunHandler(this, [&] { StartUp(options_, screen.width(), screen.height()); });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit33) {
        if (event->type() == QEvent::KeyPress) {
            const auto* press = static_cast<QKeyEvent*>(event);
            // Ctrl+Z with no typing of the field's own to take back takes back a visit, as the
            // Undo button does.
            if (press->matches(QKeySequence::Undo) && !Edit33->isUndoAvailable()) {
                Button2Click();
                return true;
            }
            const int key = press->key();
            Edit33KeyDown(key);
            // Enter and F5 are the program's; every other key still types into the field.
            return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F5;
        }
        if (event->type() == QEvent::FocusIn) {
            // The typed text is never selected when the field takes the focus.
            QTimer::singleShot(0, Edit33, [this] { Edit33->deselect(); });
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Start-up runs once, as soon as the window is on the screen.
    if (!activated_) QTimer::singleShot(0, this, &TForm1::FormActivate);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing is never refused; the game itself is not saved.
    Timer1->stop();
    RunHandler(this, ExitCleanup);
    event->accept();
}

// ---- Display ------------------------------------------------------------------------------

namespace {

// The board's writers: each changes a widget only when what it shows differs, and adds the area
// the widget covered before and after the change to `changed`, the part of the board that has
// to be painted again.
void ShowText(QLabel* label, const QString& text, QRegion& changed) {
    if (label->text() == text) return;
    changed += label->geometry();
    SetLabelText(label, text);
    changed += label->geometry();
}

void ShowText(QLineEdit* field, const QString& text, QRegion& changed) {
    if (field->text() == text) return;
    field->setText(text);
    changed += field->geometry();
}

void ShowVisible(QWidget* widget, bool visible, QRegion& changed) {
    if (widget->isHidden() != visible) return;
    widget->setVisible(visible);
    changed += widget->geometry();
}

void ShowColour(QLabel* label, int rgb, QRegion& changed) {
    const QColor colour = QColor::fromRgb(rgb);
    if (label->palette().color(QPalette::WindowText) == colour) return;
    SetColour(label, QPalette::WindowText, colour);
    changed += label->geometry();
}

void ShowAt(QWidget* widget, QPoint place, QRegion& changed) {
    if (widget->pos() == place) return;
    changed += widget->geometry();
    widget->move(place);
    changed += widget->geometry();
}

} // namespace

void TForm1::ShowActivePlayerDisplay() {
    const TBoardView view = BoardView();
    for (QLabel* marker : Markers)
        ShowAt(marker, {marker->x(), view.ActivePlayer * RowHeight + MarkerTop}, changed_);
    // Every big score grey but the one of the player to throw, red; the star at the leg starter.
    for (int p = 0; p < MaxPlayers; ++p) {
        ShowColour(ScoreLabels[p], p == view.ActivePlayer ? ColourRed : ColourGrey, changed_);
        ShowVisible(Stars[p], p == view.LegStarter, changed_);
    }
}

void TForm1::ResetGameWindow() {
    MoveFrame(this, QPoint(10, 5)); // the frame's corner, title bar included
    StatusPanels[3]->setText(TForm4::VersionText);
}

void TForm1::ResetGameBoard() {
    for (QLabel* score : ScoreLabels) {
        ShowColour(score, ColourGrey, changed_);
        ShowText(score, Number(StartScore), changed_);
    }
    for (QLabel* star : Stars)
        ShowVisible(star, false, changed_);
    ShowText(Label36, QString(), changed_);
    PaintChanges();
}

void TForm1::RefreshBoard() {
    const TBoardView view = BoardView();
    QRegion& changed = changed_;
    ShowText(Label33, ToQt(view.Caption), changed);
    ShowText(Edit49, QStringLiteral("3"), changed);
    ShowText(Edit36, ToQt(view.LastVisits[0]), changed);
    ShowText(Edit35, ToQt(view.LastVisits[1]), changed);
    ShowText(Edit34, ToQt(view.LastVisits[2]), changed);

    ShowText(Label56, Number(view.HighGame), changed);
    ShowText(Label57, Number(view.HighToday), changed);
    if (!view.HighGameName.empty()) ShowText(Label58, ToQt(view.HighGameName), changed);
    if (!view.HighTodayName.empty()) ShowText(Label59, ToQt(view.HighTodayName), changed);

    ShowVisible(Label42, view.Checkout.has_value(), changed);
    if (view.Checkout) ShowText(Label42, ToQt(*view.Checkout), changed);

    const int count = static_cast<int>(view.Players.size());
    for (int p = 0; p < count; ++p) {
        const TPlayerView& player = view.Players[p];
        const QString name = ToQt(player.Name);
        ShowText(RowNames[p], name, changed);
        ShowText(NameLabels[p], name, changed);
        ShowVisible(NameLabels[p], true, changed);
        ShowVisible(ScoreLabels[p], true, changed);
        ShowText(ScoreLabels[p], Number(player.Figures.Remaining), changed);
        for (int c = 0; c < GridColumns; ++c)
            ShowText(Grid[p][c], ToQt(player.Row[c]), changed);
        ShowVisible(CheckoutLabels[p], player.Figures.Checkout.has_value(), changed);
        if (player.Figures.Checkout)
            ShowText(CheckoutLabels[p], ToQt(*player.Figures.Checkout), changed);
    }
    // Panels and rows beyond the players in play show nothing from an earlier, larger game;
    // the first player's panel stays even when no player is in play.
    for (int p = count; p < MaxPlayers; ++p) {
        if (p > 0) {
            ShowVisible(NameLabels[p], false, changed);
            ShowVisible(ScoreLabels[p], false, changed);
        }
        ShowVisible(CheckoutLabels[p], false, changed);
        ShowText(RowNames[p], QString(), changed);
        for (QLineEdit* field : Grid[p])
            ShowText(field, QString(), changed);
    }

    PaintChanges();
    for (const TBoardObserver& observer : observers_)
        observer(view);
}

void TForm1::PaintChanges() {
    // Only what changed is painted, and at once. A repaint paints everything that waits to be
    // painted in the window, so a field changed elsewhere (the score field just emptied) goes
    // with it; when nothing of the board changed, whatever else waits is painted all the same.
    if (!changed_.isEmpty()) centralWidget()->repaint(changed_);
    changed_ = QRegion();
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
}

void TForm1::AddBoardObserver(TBoardObserver observer) {
    observers_.push_back(std::move(observer));
}

QLabel* TForm1::AddStatusNote(const char* name) {
    auto* note = new QLabel(statusNotes_);
    note->setObjectName(name);
    note->setTextFormat(Qt::PlainText);
    note->setContentsMargins(3, 0, 3, 0);
    note->setAutoFillBackground(true);
    note->hide();
    static_cast<QHBoxLayout*>(statusNotes_->layout())->insertWidget(0, note);
    return note;
}

void TForm1::SetResumeHandler(std::function<void()> resume) {
    resume_ = std::move(resume);
}

void TForm1::OfferResume(bool offered) {
    ResumeMatch1->setEnabled(offered);
    ResumeNote->setVisible(offered);
}

// ---- Fields, panels, timer ------------------------------------------------------------------

std::string TForm1::ScoreText() {
    return FromQt(Edit33->text());
}
std::string TForm1::DartsText() {
    return FromQt(Edit49->text());
}
void TForm1::ClearScore() {
    // Unlike clear(), a new text leaves nothing for the field's own undo: Ctrl+Z after a booked
    // visit is the Undo button's.
    Edit33->setText(QString());
}
void TForm1::FocusScore() {
    Edit33->setFocus();
}
std::string TForm1::SpecialSetText() {
    return FromQt(Label36->text());
}
void TForm1::SetSpecialSetText(const std::string& text) {
    SetLabelText(Label36, ToQt(text));
}
void TForm1::ShowFilePath(const std::string& path) {
    StatusPanels[1]->setText(PathToQt(path));
}
void TForm1::StartTimer() {
    Timer1->start();
}
void TForm1::StopTimer() {
    Timer1->stop();
}
int TForm1::ProgressPosition() {
    return ProgressBar1->value();
}
void TForm1::SetProgressPosition(int position) {
    ProgressBar1->setValue(position);
}
void TForm1::SetProgressHint(const std::string& hint) {
    ProgressBar1->setToolTip(ToQt(hint));
}

// ---- Dialogs, files, sounds -----------------------------------------------------------------

void TForm1::AskWhoBegins() {
    Form5->exec();
}

bool TForm1::ShowGameSettings() {
    Made(Form2, this).exec();
    return Form2->CheckBox3->isChecked();
}

void TForm1::ShowResult() {
    Made(Form3, this).exec();
}

std::optional<std::string> TForm1::RunFileDialog(TFileDialogKind kind, const std::string& fileName,
                                                 const std::string& folder) {
    // A fresh dialog every time, so it offers exactly the preset name and nothing typed before.
    const bool open = kind == TFileDialogKind::Open;
    QFileDialog dialog(this);
    dialog.setObjectName(open ? "OpenDialog1" : "SaveDialog1");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile); // the chosen file need not exist
    const QString games = QStringLiteral("Brennix Save Files (.bx3) (*.bx3)");
    if (open)
        dialog.setNameFilters({games, QStringLiteral("All Files (*)")});
    else
        dialog.setNameFilters({games});
    if (!open) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(QStringLiteral("bx3"));
    dialog.setDirectory(PathToQt(folder));
    if (!fileName.empty()) dialog.selectFile(PathToQt(fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return PathFromQt(dialog.selectedFiles().constFirst());
}

std::optional<std::string> TForm1::RunOpenDialog(const std::string& fileName,
                                                 const std::string& folder) {
    return RunFileDialog(TFileDialogKind::Open, fileName, folder);
}

std::optional<std::string> TForm1::RunSaveDialog(const std::string& fileName,
                                                 const std::string& folder) {
    return RunFileDialog(TFileDialogKind::Save, fileName, folder);
}

void TForm1::ShowMessage(TMessageKind kind, const std::string& text) {
    ShowMessageBox(this, kind, text);
}

void TForm1::SaveGameFile() {
    brennix::SaveGameFile();
}
void TForm1::PlayScoreSound(int32_t score) {
    brennix::PlayScoreSound(score);
}

} // namespace brennix
