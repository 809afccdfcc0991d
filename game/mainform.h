#pragma once

#include "cardimagelist.h"
#include "deck.h"
#include "gamesettings.h"
#include "lcgrandom.h"
#include "namedmutex.h"
#include "review.h"
#include "round.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>


class HintMark;
class HintRunner;
class ImageControl;
class QAction;
class QLineEdit;
class QTimer;
class TFlatPanel;
class TLbBackground;
class TagLabel;
class OnlineScores;
class PegBoard;
class ScaledLayout;
class ReviewWindow;
class TallyRecorder;
class WindowPlacement;
class UpdateService;

namespace platform {
class SoundPlayer;
}

namespace advisor {
struct Position;
}

// The main window: the board, the round flow and the program's menu.
// Game state lives in the controls (card codes in the cells' tags, totals
// in the labels' tags beside their captions), as the rest of the program
// reads it from there.
class Tmain : public QMainWindow {
    Q_OBJECT
public:
    // The other windows the main window opens; any may be null.
    struct Windows {
        QWidget *about = nullptr;
        QWidget *help = nullptr;
        QWidget *highscore = nullptr;
        QWidget *tallylist = nullptr;
        QWidget *multiplayer = nullptr;
    };

    static constexpr int kDefaultLeft = 3;
    static constexpr int kDefaultTop = 3;
    static constexpr int kDefaultWidth = 706;
    static constexpr int kDefaultHeight = 571;
    static constexpr int kMinClientWidth = 701;   // panel_board width + 5
    static constexpr int kMinClientHeight = 530;  // panel_board height + 5

    // `programFolder` holds the settings file (and, beside it, the tally).
    Tmain(platform::SoundPlayer &sound, const QString &programFolder);
    ~Tmain() override;

    // Wiring, done once by the program at start-up.
    void setWindows(const Windows &windows) { m_windows = windows; }
    void setTallyRecorder(TallyRecorder *tally) { m_tally = tally; }
    void setOnlineScores(OnlineScores *online) { m_online = online; }
    // The update check and the self-update, which fill the offer panel.
    void setUpdateService(UpdateService *update);
    // The server took the posted score: the game-over panel closes, also
    // when the answer comes after the wait was given up.
    void scorePosted();
    // A posting failed (`why`: a sentence saying what the server did): a
    // posting under way ends at once with "Posting Failed." and the
    // reason, and SEND SCORE is offered again for the same score (once a
    // new game has started there is none to offer, and the message says
    // only that the score was not posted). Ignored when no posting is under
    // way, as for a failure after the wait ran out.
    void postingFailed(const QString &why);
    // A newer version was offered: panel_update names it, in front, once
    // the name panel (if shown) has been answered.
    void showUpdateOffer(const QString &offered, const QString &own);

    // Window.
    void FormCreate();
    void FormShow();
    // Adjusts and remembers the placement, saves the settings; true when
    // the save succeeded (a failure is shown in the error box).
    bool FormClose();
    // Keeps the client area at least as large as the board plus a margin,
    // and scales the whole board (cards, labels, panels, pictures, fonts)
    // by the largest factor, in hundredths, at which it fits the client
    // area: at factor 1 it lies in the corner as designed, larger it is
    // centred. The window's own placement is not touched.
    void FormResize();
    // The factor the board is drawn at (1 as designed).
    qreal boardScale() const;

    // Board: the waiting card goes into the clicked cell.
    int getsuit(int code) const;
    void clearall();
    void shufflecards();
    void card_11Click(ImageControl *cell);

    // Round and game flow. getlinescore gives the points of line 1 … 4
    // (rows) or 6 … 9 (columns) of the scored round.
    void button_startClick();
    void button_start2Click();
    void endgame();
    void Timer2Timer();
    int getlinescore(int line) const { return m_round.lineScore(line); }
    void label_linescore1Click(TagLabel *label);

    // Score posting and the online list. A posting waits with a countdown
    // for an answer that does not come; a fetch that failed ends the wait
    // at once (postingFailed).
    static constexpr int kPostingTicks = 40;  // seconds before a posting is given up
    void button_sendscoreClick();
    void Timer1Timer();
    // Whether a posting is waiting for its answer.
    bool postingUnderWay() const { return m_postingUnderWay; }
    void button_highscoresClick();
    void ViewHighScoreList1Click();

    // Update: the menu command asks for the vendor's version. Accepting the
    // offer hides its buttons and runs the download, whose status texts
    // appear in label_update; a failed update gives the buttons back.
    void CheckforUpdateNow1Click();
    void updatecheckClick();
    void button_updatecancelClick();
    void button_updateyesClick();
    void downloadit();

    // Hint: "Show Hint" asks the placement advisor, off the GUI thread,
    // where the waiting card should go and marks that cell. It never
    // places a card. Available only while a card waits (a round under way,
    // fewer than sixteen cards placed) and no panel lies over the board.
    // Asking again while the advice for the same card is being worked out
    // starts nothing new; advice that arrives after the card was placed or
    // the round changed is dropped. The mark goes with every placement and
    // whenever the board is cleared.
    void ShowHint1Click();

    // Review Round (View menu, and the button beside the outcome): opens
    // the review of the last round scored, the last of a game too. Does
    // nothing before a round has been scored. The round is the generator's
    // state before its shuffle and the cell each card went to.
    void ReviewRound1Click();
    std::optional<review::Round> lastRound() const { return m_lastRound; }
    ReviewWindow *reviewWindow() const { return m_review.get(); }

    // Menu, name panel and pictures.
    void StartGame1Click();
    void Exit1Click();
    void Help2Click();
    void About1Click();
    void TallyList1Click();
    void Pegclub1Click();
    void image_logoClick();
    void button_cancelClick();
    void Image1Click();
    void PlaySounds1Click();
    void ChangeName1Click();
    void button_namedoneClick();
    void button_namecancelClick();
    void ResetScreenLocation1Click();

    // Sounds: plays `name` when "Play Sounds" is ticked.
    void playsounds(const QString &name);

    // Settings: read at creation, written when a switch is toggled and
    // when the window closes, each time with one read or one replacement
    // of the whole file. A stored placement is kept on the desktop (see
    // platform::reachablePlacement). saveinifile throws
    // platform::IniWriteError, also for a settings file too large to read,
    // which it never replaces.
    void loadinifile();
    void saveinifile();
    // What saveinifile writes, read from the window now, and the file and
    // section it goes to: plain data that writeGameSettings can write
    // later without touching the window.
    struct SettingsCopy {
        std::string path;
        std::string section;
        GameSettings settings;
    };
    SettingsCopy settingsToSave() const;
    // Places the window by its outer bounds (frame included), as a player
    // sees them and as the settings keep them.
    void setOuterBounds(int left, int top, int width, int height);
    QRect outerBounds() const;
    // Placement read from the settings file, as it was given to the window.
    QRect rememberedPlacement() const { return m_remembered; }

    // What the window shows, for the tools and tests that drive it.
    const QString &programname() const { return m_programname; }
    LcgRandom &random() { return m_random; }
    const Deck &deck() const { return m_deck; }
    bool gameInProgress() const { return m_gameInProgress; }
    const square::Round &round() const { return m_round; }
    const CardImageList &imagelist_cards() const { return m_cards; }
    // The CRIBBAGE board: front peg at the running total, back peg at the
    // total before the last scored round, both at the start in a new game.
    const PegBoard &pegs() const { return *m_pegs; }
    // The background tiler whose picture every window shows.
    const TLbBackground &background() const { return *m_background; }
    int resultCountdown() const { return m_countdown; }
    // The marked cell's index ((row − 1) × 4 + column − 1); −1 with no mark.
    int hintCell() const { return m_hintCell; }

Q_SIGNALS:
    // An advisor run started (once per run, however often it was asked for).
    void hintRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    // The arrow keys move the focus over the sixteen cells; Enter and
    // Escape answer the panel that holds the focus.
    void keyPressEvent(QKeyEvent *event) override;
    // Panels: one shown takes the focus, one hidden gives it back to the
    // board, so a hidden box never takes what a player types.
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Tab passes over what a shown panel covers, as the mouse cannot reach
    // it either, and over the board's cells but one: the board is a single
    // stop, entered at its first empty cell.
    bool focusNextPrevChild(bool next) override;

private:
    void buildClientArea();
    void buildPlayingArea(QWidget *board);
    void buildPanels(QWidget *board);
    void buildMenu();
    // Scales and places the board for the client area's size.
    void fitBoard();
    void buildUpdate();
    void showNextCard();
    void hideRoundPanels();
    void greet();
    void setCounter(const QString &labelName, int value);
    void saveSettingsShowingErrors();
    // Ends the wait for a posting: the timer stops, and the wait panel
    // gives SEND SCORE back with its starting caption.
    void endPostingWait();
    // What a message about a posting that did not go through ends with:
    // `offered` while the game-over panel offers SEND SCORE, `gone` once a
    // new game has taken it away.
    QString postingRemedy(const QString &offered, const QString &gone) const;
    QString inifilePath() const;
    // The name in use: the game-over box's text, "Guest" when it is blank.
    QString playerName() const;
    int counter(const QString &labelName) const;
    ImageControl *cell(int row, int column) const;
    void setUpKeyboard();
    // Tab order: the board, the line scores, the buttons and the panels'
    // controls, the footer link.
    void orderTabStops();
    bool isLineScore(const QWidget *w) const;
    // Where Tab enters the board: the first empty cell not under a panel.
    QWidget *boardEntryCell() const;
    // Hint: the menu item's state, the mark's removal (which also outdates
    // any advice still being worked out), the start and the end of one
    // advisor run.
    void setUpHint();
    bool hintAvailable() const;
    // What the player sees: the sixteen cells' cards and the waiting card.
    advisor::Position hintPosition() const;
    void refreshHintAction();
    void dismissHint();
    void markAdvisedCell(int cell);
    // Names the board's cells, next card, line scores and totals for
    // screen readers after the game has changed them.
    void describeBoard();
    // True when a shown panel lies over `w` (w not inside it).
    bool covered(const QWidget *w) const;

    platform::SoundPlayer &m_sound;
    QString m_programname;
    QString m_programFolder;
    QRect m_remembered;
    platform::NamedMutexHandle m_mutex;
    int m_defaultWidth = kDefaultWidth;
    int m_defaultHeight = kDefaultHeight;
    LcgRandom m_random;
    Deck m_deck;
    CardImageList m_cards;
    bool m_gameInProgress = false;
    square::Round m_round;
    int m_countdown = 0;
    bool m_firstShow = true;
    WindowPlacement *m_placement = nullptr;

    Windows m_windows;
    TallyRecorder *m_tally = nullptr;
    OnlineScores *m_online = nullptr;
    int m_postingCountdown = 0;
    int m_postingDots = 0;
    bool m_postingUnderWay = false;
    UpdateService *m_update = nullptr;
    // Where the focus was before each shown panel took it.
    QHash<const QObject *, QPointer<QWidget>> m_focusBefore;
    // An offer that arrived while the name panel asked (offered, own).
    QStringList m_pendingOffer;

    QWidget *m_client = nullptr;
    QWidget *m_board = nullptr;
    std::unique_ptr<ScaledLayout> m_scaledLayout;
    TLbBackground *m_background = nullptr;
    ImageControl *m_nextcard = nullptr;
    PegBoard *m_pegs = nullptr;
    QAction *m_playSounds = nullptr;
    QAction *m_updateCheck = nullptr;
    QAction *m_showHint = nullptr;
    QAction *m_reviewRound = nullptr;
    // The round under way (its generator state, each card's cell) and the
    // last one scored, for Review Round.
    std::uint32_t m_roundSeed = 0;
    std::array<int, square::kCells> m_roundCells{};
    std::optional<review::Round> m_lastRound;
    std::unique_ptr<ReviewWindow> m_review;
    HintMark *m_hintMark = nullptr;
    int m_hintCell = -1;
    HintRunner *m_hint = nullptr;
    QLineEdit *m_editName = nullptr;
    QLineEdit *m_editAname = nullptr;
    QTimer *m_timer1 = nullptr;
    QTimer *m_timer2 = nullptr;
};
