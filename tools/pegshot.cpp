// pegshot: renders the program's windows to PNG files for a look at them
// without a display. Developer tool, not installed.
//
//   pegshot OUT.png [start|dealing|hint|scored|breakdown|over|continue|
//                    tworounds|posting-failed|tally|about|help|scores|
//                    advert|link|review|uptodate] [SCALE [WxH]]
//
// WxH resizes the main window to W × H before the shot, so the board is
// seen scaled to fit it. "link" is the window a link shows when no web
// browser can be started. posting-failed sends the score to the vendor
// server the program was built for, which must not be running, and draws
// the message box that answers over the main window; uptodate does the
// same for Help → Check for Update Now against a running vendor server.
#include "aboutform.h"
#include "addresswindow.h"
#include "helpform.h"
#include "highscoreform.h"
#include "htmlview.h"
#include "httpget.h"
#include "imagecontrol.h"
#include "multiplayerform.h"
#include "tallylistform.h"
#include "mainform.h"
#include "program.h"
#include "reviewform.h"
#include "round.h"
#include "soundplayer.h"
#include "taglabel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// How long a scene waits for work done off the GUI thread (the advisor,
// the score list's fetch) before it is drawn anyway.
constexpr int kWaitMs = 5000;

template <typename Done>
void waitFor(Done done)
{
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < kWaitMs)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void placeAll(Tmain &w, int count)
{
    for (int i = 0; i < count; ++i) {
        const int row = i / 4 + 1;
        const int column = i % 4 + 1;
        w.card_11Click(w.findChild<ImageControl *>(QStringLiteral("card_%1%2").arg(row).arg(column)));
    }
}

void finishRound(Tmain &w)
{
    for (int i = 0; i < 6; ++i)
        w.Timer2Timer();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: pegshot OUT.png [scene] [scale [WxH]]\n");
        return 2;
    }
    if (argc > 3)
        ::setenv("QT_SCALE_FACTOR", argv[3], 1);
    QApplication app(argc, argv);
    platform::SilentSoundPlayer sound;
    // A folder of its own: the pictures never depend on, or change, a
    // player's settings and tally.
    QTemporaryDir folder;
    Program program(sound, folder.path());
    Tmain &w = program.mainWindow();
    w.show();
    const QString scene = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("start");
    w.random().setSeed(12345);
    if (scene != QLatin1String("start")) {
        w.button_startClick();
        if (scene == QLatin1String("tworounds")) {
            // Seed 3 deals a round of 65, then one of 45: the pegs at 110
            // and 65.
            w.random().setSeed(3);
            w.button_startClick();
            placeAll(w, 16);
            finishRound(w);
            w.button_start2Click();
            placeAll(w, 16);
        } else if (scene == QLatin1String("dealing") || scene == QLatin1String("hint")) {
            placeAll(w, 7);
            if (scene == QLatin1String("hint")) {
                w.ShowHint1Click();
                waitFor([&w] { return w.hintCell() >= 0; });
            }
        } else {
            // Find a seed whose first round gives the wanted outcome.
            const bool wantContinue = scene == QLatin1String("continue");
            const bool wantOver = scene == QLatin1String("over") || scene == QLatin1String("posting-failed");
            for (std::uint32_t seed = 1; seed < 5000; ++seed) {
                w.random().setSeed(seed);
                w.button_startClick();
                placeAll(w, 16);
                const int hands = w.findChild<TagLabel *>(QStringLiteral("label_score"))->tag();
                if (!wantOver && !wantContinue)
                    break;
                if (square::continuesGame(hands) == wantContinue)
                    break;
            }
            if (scene == QLatin1String("over") || scene == QLatin1String("continue")
                || scene == QLatin1String("posting-failed"))
                finishRound(w);
            if (scene == QLatin1String("breakdown"))
                w.label_linescore1Click(w.findChild<TagLabel *>(QStringLiteral("label_linescore7")));
        }
    }
    if (argc > 4) {
        const QStringList size = QString::fromLocal8Bit(argv[4]).split(QLatin1Char('x'));
        if (size.size() == 2)
            w.resize(size[0].toInt(), size[1].toInt());
    }
    QWidget *target = &w;
    if (scene == QLatin1String("tally")) {
        program.tallylist().addtomineincrease(1);
        program.tallylist().addtomineincrease(2);
        program.tallylist().addtomineincrease(1);
        program.tallylist().checkscore(158, QStringLiteral("Robin"));
        program.tallylist().checkscore(96, QStringLiteral("Guest"));
        target = &program.tallylist();
    } else if (scene == QLatin1String("about")) {
        target = &program.about();
    } else if (scene == QLatin1String("help")) {
        target = &program.help();
    } else if (scene == QLatin1String("scores")) {
        // The list as the vendor server the program was built for serves it
        // (start one first, e.g. with scripts/play.sh); blank without one.
        program.highscore().loadit();
        waitFor([&program] {
            return !program.highscore().getit().isBusy() && !program.highscore().displayhtml().isLoading();
        });
        target = &program.highscore();
    } else if (scene == QLatin1String("advert")) {
        target = &program.multiplayer();
    } else if (scene == QLatin1String("review")) {
        // The first round of the seed reviewed, at its third card.
        w.ReviewRound1Click();
        ReviewWindow *review = w.reviewWindow();
        if (!review) {
            std::fprintf(stderr, "pegshot: no round to review\n");
            return 1;
        }
        QElapsedTimer waited;
        waited.start();
        while (!review->result() && waited.elapsed() < 4 * kWaitMs)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        review->showStep(2);
        target = review;
    } else if (scene == QLatin1String("link")) {
        target = AddressWindow::showAddress(&program.about(), QStringLiteral("http://127.0.0.1:8080"));
    } else if (scene == QLatin1String("posting-failed") || scene == QLatin1String("uptodate")) {
        // The box is a window of its own: drawn into the main window's
        // picture where it stands, then answered.
        QPixmap composed;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget *box = QApplication::activeModalWidget();
            if (!box || !composed.isNull())
                return;
            composed = w.grab();
            QPainter painter(&composed);
            const QPoint at = box->geometry().topLeft() - w.geometry().topLeft();
            painter.drawPixmap(at, box->grab());
            painter.setPen(Qt::black);
            painter.drawRect(QRect(at, box->size()).adjusted(-1, -1, 0, 0));
            box->close();
        });
        poll.start(50);
        if (scene == QLatin1String("uptodate"))
            w.CheckforUpdateNow1Click();
        else
            w.button_sendscoreClick();
        waitFor([&] { return !composed.isNull(); });
        if (composed.isNull() || !composed.save(QString::fromLocal8Bit(argv[1]))) {
            std::fprintf(stderr, "pegshot: no message box to draw, or cannot write %s\n", argv[1]);
            return 1;
        }
        return 0;
    }
    target->show();
    QApplication::processEvents();
    const QPixmap shot = target->grab();
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "pegshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
