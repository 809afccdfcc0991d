#pragma once

#include "review.h"
#include "secondarywindow.h"

#include <QPointer>

#include <array>
#include <atomic>
#include <optional>
#include <thread>

class CardImageList;
class ImageControl;
class QLabel;
class QProgressBar;
class TSelButton;

// Review Round: a finished round judged placement by placement. The board
// is shown as it stood before each card, with the player's cell and the
// advisor's best cell marked, the points lost and the mark, and the
// round's totals beside the advisor's own score on the same cards. The
// review is worked out on a thread of its own with a progress bar; closing
// the window stops it.
class ReviewWindow : public SecondaryWindow {
    Q_OBJECT
public:
    explicit ReviewWindow(const CardImageList &cards);
    ~ReviewWindow() override;

    // Starts reviewing `round` (stopping any review still running) and
    // shows the window; the first placement shows once the review is done.
    void review(const review::Round &round);

    // The review once worked out; none while it runs or after a stop.
    const std::optional<review::Review> &result() const { return m_result; }
    const review::Round &round() const { return m_round; }
    int step() const { return m_step; }
    // Shows placement `step` (0 … 15) of a finished review.
    void showStep(int step);

Q_SIGNALS:
    void reviewed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void stopWorker();
    void finished(std::optional<review::Review> result, unsigned generation);

    const CardImageList &m_cards;
    std::array<ImageControl *, review::kCards> m_cells{};
    std::array<QLabel *, review::kCards> m_frames{};
    ImageControl *m_card;
    QLabel *m_stepText;
    QLabel *m_judgement;
    QLabel *m_summary;
    QProgressBar *m_progress;
    TSelButton *m_previous;
    TSelButton *m_next;
    TSelButton *m_copy;

    review::Round m_round;
    std::optional<review::Review> m_result;
    int m_step = 0;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    // Answers of a review that was replaced or stopped are dropped.
    unsigned m_generation = 0;
};
