// The scoreboard, the program's main window: eight player panels, the statistics grid, the
// score entry, the high scores, the menu, the status bar and the autosave bar. It keeps no game
// data of its own: every field is a copy of the match state, written by the display routines the
// engine calls through TEngineOps.
#pragma once

#include "engine/board.h"
#include "engine/operations.h"
#include "engine/run_options.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRegion>
#include <QTimer>
#include <array>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QMenu;

namespace brennix {

class TFieldImages;

class TForm1 : public QMainWindow, public TEngineOps {
    Q_OBJECT
  public:
    static constexpr int ClientWidth = 992;
    static constexpr int ClientHeight = 675;
    static constexpr int GridColumns = 12;
    static constexpr int ColourGrey = 0x999999; // scores of the players not to throw
    static constexpr int ColourRed = 0xDD0000;  // the score of the player to throw

    // The run's options, for the "/safe" switch applied at start-up.
    explicit TForm1(TRunOptions options = {});

    // Player panels, players 1-8.
    std::array<QLabel*, 8> NameLabels{};     // Label21 ... Label80
    std::array<QLabel*, 8> ScoreLabels{};    // Label17 ... Label81, the big remaining scores
    std::array<QLabel*, 8> CheckoutLabels{}; // Label45 ... Label55
    std::array<QLabel*, 8> Stars{};          // Label37 ... Label82, the leg starter's star
    // Statistics grid: row names (Label1 ... Label104) and fields by row and column (Score,
    // Sets, Legs, 40+, 60+, 100+, 140+, 180, 3 Dart Leg, 3 Dart Match, Darts leg, Darts total).
    std::array<QLabel*, 8> RowNames{};
    std::array<std::array<QLineEdit*, GridColumns>, 8> Grid{};
    std::array<QLabel*, 5> Markers{}; // Label15, Label26, Label41, Label27, Label28

    QLabel* Label42;      // the big checkout text of the player to throw
    QLabel* Label36;      // the special-set text: "Tie Break", "Sudden Death" or empty
    QLabel* Label56;      // highest visit of the game
    QLabel* Label57;      // highest visit today
    QLabel* Label58;      // its thrower
    QLabel* Label59;      // its thrower
    QLabel* Label33;      // the game-type caption
    QLineEdit* Edit33;    // the score of the visit
    QLineEdit* Edit49;    // the darts of the visit
    QLineEdit* Edit36;    // newest visit of the player to throw
    QLineEdit* Edit35;    // the one before
    QLineEdit* Edit34;    // the third newest
    QPushButton* Button1; // "Refresh"
    QPushButton* Button2; // "Undo"
    QFrame* StatusBar1;   // the status bar
    std::array<QLabel*, 4> StatusPanels{}; // its four panels
    QMenu* HelpMenu;                       // "&Help", the menu bar's last
    QAction* ResumeMatch1; // "&Resume Interrupted Match", enabled while there is one
    QLabel* ResumeNote;    // says so at the free end of the status bar (a status note)
    QProgressBar* ProgressBar1;
    QTimer* Timer1;

    // Whatever only watches the board (the live board for spectators) hears of every redraw,
    // with the view the window has just drawn. Observers must not change the state.
    // A note of its own at the free end of the status bar, hidden until given a text and shown;
    // a note added later stands left of those before it. The panels stay as they are.
    QLabel* AddStatusNote(const char* name);

    using TBoardObserver = std::function<void(const TBoardView&)>;
    void AddBoardObserver(TBoardObserver observer);

    // What "&Resume Interrupted Match" does (history/resume.h), and whether there is a match to
    // resume; without a history there never is.
    void SetResumeHandler(std::function<void()> resume);
    void OfferResume(bool offered);

    // Handlers.
    void Edit33KeyDown(int key);
    void Button1Click();
    void Button2Click();
    void NewGame1Click();
    void LoadGame1Click();
    void ResumeMatch1Click();
    void SaveGame1Click();
    void SaveAs1Click();
    void Exit1Click();
    void Settings2Click();
    void OutshotSettings1Click();
    void Info1Click();
    void Timer1Timer();
    void FormActivate();

    // What the engine asks of the window.
    void ShowActivePlayerDisplay() override;
    void ResetGameWindow() override;
    void ResetGameBoard() override;
    void RefreshBoard() override;
    std::string ScoreText() override;
    std::string DartsText() override;
    void ClearScore() override;
    void FocusScore() override;
    std::string SpecialSetText() override;
    void SetSpecialSetText(const std::string& text) override;
    void ShowFilePath(const std::string& path) override;
    void StartTimer() override;
    void StopTimer() override;
    int ProgressPosition() override;
    void SetProgressPosition(int position) override;
    void SetProgressHint(const std::string& hint) override;
    void AskWhoBegins() override;
    bool ShowGameSettings() override;
    void ShowResult() override;
    std::optional<std::string> RunOpenDialog(const std::string& fileName,
                                             const std::string& folder) override;
    std::optional<std::string> RunSaveDialog(const std::string& fileName,
                                             const std::string& folder) override;
    void ShowMessage(TMessageKind kind, const std::string& text) override;
    void SaveGameFile() override;
    void PlayScoreSound(int32_t score) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildPlayerPanels(QWidget* board);
    void BuildGrid(QWidget* board);
    void BuildEntryPanel(QWidget* board);
    void BuildStatusBar(QWidget* board);
    void BuildMenu();
    enum class TFileDialogKind { Open, Save }; // OpenDialog1, SaveDialog1
    std::optional<std::string> RunFileDialog(TFileDialogKind kind, const std::string& fileName,
                                             const std::string& folder);
    // Paints the changed part of the board at once.
    void PaintChanges();

    TRunOptions options_;
    std::vector<TBoardObserver> observers_;
    std::function<void()> resume_;
    QWidget* statusNotes_ = nullptr;
    QRegion changed_; // the part of the board changed since it was last painted
    TFieldImages* fieldImages_ = nullptr;
    bool activated_ = false;
};

} // namespace brennix
