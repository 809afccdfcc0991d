#pragma once

#include "secondarywindow.h"

class QTextEdit;
class TFlatPanel;
class TSelButton;
class TagLabel;

// The help window: fixed help texts in five sections, one shown at a
// time, chosen with the column of section buttons on the left. Hidden,
// not destroyed, by its Done button, so it keeps the section last chosen.
//
// Each section button's tag is its section's number; the section's text
// box is named "memo" followed by that number.
class Thelp : public SecondaryWindow {
    Q_OBJECT
public:
    Thelp();

    // The window the About button shows, centred over `centreOver` (over
    // this window when none is given) if it is hidden. Without one the
    // About button does nothing. Neither window is owned.
    void setAboutWindow(QWidget *about, const QWidget *centreOver = nullptr);

    // Brings memo1 to the front: the window opens on the Overview.
    void FormCreate();
    // Shared by the five section buttons: brings the text box of the
    // sender's section to the front and shows the sender's caption as the
    // heading. Does nothing for a sender without a section.
    void SelButton1Click(TSelButton *sender);
    // Shows the about window without making it modal; this window stays
    // open.
    void button_aboutClick();
    // Hides the window, which keeps its state.
    void button_doneClick();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildLayout();
    void layoutPanels();

    TFlatPanel *m_panelSide;
    TFlatPanel *m_panelMain;
    TagLabel *m_caption;
    QWidget *m_about = nullptr;
    const QWidget *m_aboutOver = nullptr;
};
