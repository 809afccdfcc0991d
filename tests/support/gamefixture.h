#pragma once

#include "imagecontrol.h"
#include "mainform.h"
#include "soundplayer.h"
#include "tallyrecorder.h"
#include "taglabel.h"

#include <QAction>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

#include <memory>
#include <string>
#include <vector>

// Records every sound the game asks for.
class RecordingSound : public platform::SoundPlayer {
public:
    void play(const std::string &name) override { played.push_back(name); }
    std::vector<std::string> played;
};

// Records what the game reports to the tally.
class RecordingTally : public TallyRecorder {
public:
    void addtomineincrease(int column) override { increases.push_back(column); }
    bool checkscore(int score, const QString &name) override
    {
        finished.emplace_back(score, name);
        return true;
    }
    void renameNewest(const QString &name) override
    {
        if (!finished.empty())
            finished.back().second = name;
    }
    std::vector<int> increases;
    std::vector<std::pair<int, QString>> finished;
};

class GameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        window = std::make_unique<Tmain>(sound, folder.path());
        window->setTallyRecorder(&tally);
    }

    template<typename T = QWidget>
    T *control(const QString &name) const
    {
        T *found = window->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    ImageControl *cell(int row, int column) const
    {
        return control<ImageControl>(QStringLiteral("card_%1%2").arg(row).arg(column));
    }
    TagLabel *label(const QString &name) const { return control<TagLabel>(name); }
    QString caption(const QString &name) const { return label(name)->text(); }
    QAction *action(const QString &name) const { return control<QAction>(name); }

    // Places the next card on each empty cell in reading order.
    void fillBoard()
    {
        for (int row = 1; row <= 4; ++row)
            for (int column = 1; column <= 4; ++column)
                window->card_11Click(cell(row, column));
    }
    void startGame(std::uint32_t seed)
    {
        window->random().setSeed(seed);
        window->button_startClick();
    }
    void tickUntilOutcome()
    {
        for (int i = 0; i < 6; ++i)
            window->Timer2Timer();
    }

    QTemporaryDir folder;  // where the settings file lives
    RecordingSound sound;
    RecordingTally tally;
    std::unique_ptr<Tmain> window;
};
