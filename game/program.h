#pragma once

#include "gamesettings.h"
#include "tallygrid.h"

#include <QString>

#include <filesystem>
#include <memory>

class Tabout;
class Thelp;
class Thighscore;
class Tmain;
class Tmultiplayer;
class Ttallylist;
class UpdateCheck;

namespace platform {
class SoundPlayer;
}

// The program's six windows, created once in their fixed order (the main
// window first, so its creation handler runs before any other window
// exists) and destroyed together when the program ends.
class Program {
public:
    // `programFolder` is where the settings and tally files live: the
    // folder of the executable for the real program. `vendorHost` is the
    // vendor web server's host[:port]; empty means the one the program was
    // built for. While the program exists, a message no one saw (see
    // setQuitting) is kept in its note file, and a note left by the last
    // run is shown once the windows exist.
    Program(platform::SoundPlayer &sound, const QString &programFolder, const QString &vendorHost = QString());
    ~Program();

    // Whether a save shows its failure to the player.
    enum class Report { Shown, Quietly };

    // Writes the settings and the tally now, as the end of the program
    // does, without ending it: for a desktop session about to end, or a
    // program that lost its display (then `Quietly`, since nothing can be
    // shown). True when both were written.
    bool saveAll(Report report);

    // What saveAll writes, as plain data: read from the windows now, on the
    // GUI thread.
    struct SaveCopy {
        std::string settingsPath;
        std::string settingsSection;
        GameSettings settings;
        TallyGrid tally;
    };
    SaveCopy saveCopy() const;
    // Writes a copy taken earlier without touching any window, quietly:
    // for the exit after the display was lost, when the windows can no
    // longer be used. Never throws; true when both files were written.
    bool saveFromCopy(const SaveCopy &copy);

    Tmain &mainWindow() { return *m_main; }
    Tabout &about() { return *m_about; }
    Thelp &help() { return *m_help; }
    Thighscore &highscore() { return *m_highscore; }
    Ttallylist &tallylist() { return *m_tallylist; }
    Tmultiplayer &multiplayer() { return *m_multiplayer; }
    // The update check and the self-update the main window offers.
    UpdateCheck &updateCheck() { return *m_update; }

private:
    // Keeps unseen messages in the note file from before the first window
    // is made until after the last one is gone.
    class UnseenMessages {
    public:
        explicit UnseenMessages(std::filesystem::path notePath);
        ~UnseenMessages();
        UnseenMessages(const UnseenMessages &) = delete;
        UnseenMessages &operator=(const UnseenMessages &) = delete;
        // What the last run left to say; empty when nothing.
        const std::string &lastNote() const { return m_lastNote; }

    private:
        std::string m_lastNote;
    };

    QString m_host;
    UnseenMessages m_unseen;
    std::unique_ptr<Tmain> m_main;
    std::unique_ptr<Tabout> m_about;
    std::unique_ptr<Thelp> m_help;
    std::unique_ptr<Thighscore> m_highscore;
    std::unique_ptr<Ttallylist> m_tallylist;
    std::unique_ptr<Tmultiplayer> m_multiplayer;
    std::unique_ptr<UpdateCheck> m_update;
};
