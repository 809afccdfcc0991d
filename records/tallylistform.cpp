#include "tallylistform.h"

#include "colors.h"
#include "controls.h"
#include "flatpanel.h"
#include "fonts.h"
#include "imagecontrol.h"
#include "messageboxes.h"
#include "picturebutton.h"
#include "shortdate.h"
#include "tallyfile.h"
#include "taglabel.h"
#include "tallywriter.h"

#include <QDate>

#include <algorithm>
#include <exception>
#include <limits>

namespace {

constexpr int kStatistics = 3;       // total rounds, rounds cleared, clear percentage
constexpr int kRoundsColumn = 1;
constexpr int kClearedColumn = 2;
constexpr int kPercentColumn = 3;
constexpr int kFreeRankScore = -1000;
constexpr int kDateColumn = 0;
constexpr int kScoreColumn = 1;
constexpr int kNameColumn = 2;
constexpr int kRankTop = 136;
constexpr int kRankStep = 20;

const char *const kRankPrefixes[] = {"label_high", "label_date", "label_name", "label_num"};

TagLabel *makeLabel(QWidget *parent, const QString &name, const QString &caption, const QRect &geometry, int pixels,
                    bool bold, const QColor &color, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop)
{
    auto *l = new TagLabel(parent, name, caption, geometry);
    l->setPixelFont(pixels, bold);
    l->setTextColor(color);
    l->setAlignment(alignment);
    return l;
}

// What the player needs first (what happened, what was kept, what the
// game does now), then the container's own words for whoever looks into it.
QString damagedTallyMessage(const std::filesystem::path &aside, const QString &detail)
{
    const QString kept = aside.empty()
        ? QStringLiteral("The damaged file could not be kept aside; it will be replaced when the new tally is saved.")
        : QStringLiteral("The damaged file was kept as \"%1\" in %2.")
              .arg(QString::fromStdString(aside.filename().string()),
                   QString::fromStdString(aside.parent_path().string()));
    return QStringLiteral("Your tally could not be read, so a new tally was started.\n%1\n\nDetail: %2").arg(kept, detail);
}

int cellInt(const TallyGrid &grid, int column, int row, bool &ok)
{
    int value = 0;
    ok = parseTallyInt(grid.cell(column, row), value);
    return ok ? value : 0;
}

} // namespace

Ttallylist::Ttallylist(std::filesystem::path tallyFile)
    : SecondaryWindow(QStringLiteral("Ttallylist"), QStringLiteral("Pegsquare - Tally List"), QSize(342, 425),
                      Border::Dialog)
    , m_tallyFile(std::move(tallyFile))
{
    buildLayout();
    FormCreate();
    // A failed write is told as soon as it is known, from the GUI thread;
    // nothing posted outlives the window, whose destructor ends the writer.
    m_writer = std::make_unique<TallyWriter>(m_tallyFile, [this] {
        QMetaObject::invokeMethod(this, [this] { reportWrite(Report::Shown); }, Qt::QueuedConnection);
    });
}

Ttallylist::~Ttallylist()
{
    FormDestroy();
    m_writer.reset();
}

void Ttallylist::buildLayout()
{
    setFont(pegfonts::sans(11));
    auto *frame = new TFlatPanel(this, QStringLiteral("FlatPanel1"), QRect(8, 8, 326, 409));
    frame->setTransparent(true);
    frame->setBorderColors(pegcolors::maroon());

    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignTop;
    makeLabel(frame, QStringLiteral("Label1"), QStringLiteral("YOUR TALLY LIST"), QRect(0, 10, 326, 24), 19, true,
              pegcolors::shadowGrey(), centred);
    makeLabel(frame, QStringLiteral("Label2"), QStringLiteral("YOUR TALLY LIST"), QRect(1, 9, 326, 24), 19, true,
              pegcolors::maroon(), centred);

    static const char *const kCaptions[kStatistics] = {"Total Rounds:", "Rounds Cleared:", "Clear Percentage:"};
    for (int i = 0; i < kStatistics; ++i) {
        const int top = 42 + 20 * i;
        makeLabel(frame, QStringLiteral("Label%1").arg(3 + i), QString::fromLatin1(kCaptions[i]),
                  QRect(40, top, 150, 18), 14, true, pegcolors::maroon(), Qt::AlignRight | Qt::AlignTop);
        makeLabel(frame, QStringLiteral("mylabel_%1").arg(i + 1), QStringLiteral("0"), QRect(200, top, 80, 18), 14,
                  true, pegcolors::maroon());
    }

    makeLabel(frame, QStringLiteral("Label6"), QStringLiteral("HIGH SCORES"), QRect(0, 108, 326, 22), 17, true,
              pegcolors::shadowGrey(), centred);
    makeLabel(frame, QStringLiteral("Label7"), QStringLiteral("HIGH SCORES"), QRect(1, 107, 326, 22), 17, true,
              pegcolors::maroon(), centred);

    for (int rank = 1; rank <= TallyGrid::kRanks; ++rank) {
        const int top = kRankTop + kRankStep * (rank - 1);
        makeLabel(frame, QStringLiteral("label_num%1").arg(rank), QStringLiteral("%1.").arg(rank),
                  QRect(10, top, 28, 18), 13, true, pegcolors::maroon(), Qt::AlignRight | Qt::AlignTop);
        makeLabel(frame, QStringLiteral("label_date%1").arg(rank), QString(), QRect(44, top, 96, 18), 13, true,
                  pegcolors::maroon());
        makeLabel(frame, QStringLiteral("label_name%1").arg(rank), QString(), QRect(144, top, 104, 18), 13, true,
                  pegcolors::maroon());
        auto *high = makeLabel(frame, QStringLiteral("label_high%1").arg(rank), QString(), QRect(250, top, 62, 18),
                               13, true, pegcolors::maroon(), Qt::AlignRight | Qt::AlignTop);
        high->setTag(kFreeRankScore);
    }

    auto *reset = makePictureButton(frame, QStringLiteral("button_resettally"), QRect(26, 354, 126, 40),
                                    QStringLiteral("Reset Tally"));
    auto *done = makePictureButton(frame, QStringLiteral("button_done"), QRect(174, 354, 126, 40),
                                   QStringLiteral("Done"));
    connect(reset, &ImageControl::clicked, this, [this] { button_resetClick(); });
    connect(done, &ImageControl::clicked, this, [this] { button_doneClick(); });
}

void Ttallylist::FormCreate()
{
    m_grid.setEmptyContents();
    std::error_code error;
    if (std::filesystem::exists(m_tallyFile, error)) {
        try {
            tallyfile::load(m_tallyFile, m_grid);
        } catch (const std::exception &e) {
            // The program carries on with an empty tally. The damaged file
            // is moved aside before the player hears of it, so what the
            // message says has already happened, and a save (also one at a
            // quit request while the message is up) cannot destroy it.
            m_grid.setEmptyContents();
            showErrorBox(damagedTallyMessage(tallyfile::setAside(m_tallyFile), QString::fromStdString(e.what())));
        }
    }
    // Also with no file yet, so the window shows an empty tally.
    loadtally();
}

void Ttallylist::FormDestroy()
{
    // Written at every end, changed or not, as it always was; the player
    // hears of a failure only if something would be lost by it.
    saveTally();
}

bool Ttallylist::saveTally(Report report)
{
    // Behind any write still under way, so the file ends as the grid is.
    m_writer->write(m_grid);
    const TallyWriter::Outcome outcome = m_writer->waitUntilWritten();
    reportWrite(report);
    return outcome.error.empty();
}

void Ttallylist::waitForSaves()
{
    m_writer->waitUntilWritten();
    reportWrite(Report::Shown);
}

bool Ttallylist::hasUnsavedChanges() const
{
    const TallyWriter::Outcome outcome = m_writer->lastOutcome();
    const std::uint64_t written = outcome.error.empty() ? std::max(m_newestWritten, outcome.number) : m_newestWritten;
    return m_newestChange > written;
}

bool Ttallylist::saveCopyNow(const TallyGrid &grid)
{
    // Not through the worker: the program may be inside exit(), where the
    // write is best done here and now. Waiting first keeps an older write
    // from landing after this one.
    m_writer->waitUntilWritten();
    try {
        tallyfile::save(m_tallyFile, grid);
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

void Ttallylist::reportWrite(Report report)
{
    const TallyWriter::Outcome outcome = m_writer->lastOutcome();
    if (outcome.error.empty()) {
        m_newestWritten = std::max(m_newestWritten, outcome.number);
        return;
    }
    // The previous file is still in place. Said once: a player in a folder
    // that cannot be written would otherwise hear it every round.
    if (report == Report::Shown && m_newestChange > m_newestWritten && !m_saveFailureShown) {
        m_saveFailureShown = true;
        showErrorBox(QStringLiteral("Your tally could not be saved. %1").arg(QString::fromStdString(outcome.error)));
    }
}

void Ttallylist::beforeChange()
{
    // The previous change is on disk (or known to have failed) before the
    // next one is made, so the file never skips a state; between a
    // player's actions the write has long finished and this costs nothing.
    waitForSaves();
}

void Ttallylist::changed()
{
    m_newestChange = m_writer->write(m_grid);
}

TagLabel *Ttallylist::rankLabel(const char *prefix, int rank) const
{
    return findControl<TagLabel>(this, QString::fromLatin1(prefix) + QString::number(rank));
}

void Ttallylist::styleRank(int rank, const QColor &color, bool bold)
{
    for (const char *prefix : kRankPrefixes) {
        TagLabel *l = rankLabel(prefix, rank);
        l->setTextColor(color);
        l->setBold(bold);
    }
}

int Ttallylist::addit(int column, int row)
{
    bool ok = false;
    int value = cellInt(m_grid, column, row, ok);
    // A count stops at the largest the file's numbers can hold rather
    // than wrapping to a negative one.
    if (value < std::numeric_limits<int>::max())
        ++value;
    m_grid.setCell(column, row, std::to_string(value));
    return value;
}

void Ttallylist::addtomineincrease(int column)
{
    beforeChange();
    const int value = addit(column, 0);
    addtomineset(column, QString::number(value));
    if (column == kRoundsColumn || column == kClearedColumn)
        updatePercentage();
    changed();
}

void Ttallylist::updatePercentage()
{
    bool roundsOk = false;
    bool clearedOk = false;
    const int rounds = cellInt(m_grid, kRoundsColumn, 0, roundsOk);
    const int cleared = cellInt(m_grid, kClearedColumn, 0, clearedOk);
    long long percentage = 0;
    if (roundsOk && clearedOk && rounds != 0)
        percentage = static_cast<long long>(cleared) * 100 / rounds;
    // Counts edited or damaged outside the game still give a percentage.
    percentage = std::clamp(percentage, 0LL, 100LL);
    addtomineset(kPercentColumn, QString::number(percentage));
}

void Ttallylist::addtomineset(int column, const QString &text)
{
    m_grid.setCell(column, 0, text.toStdString());
    if (TagLabel *l = findControl<TagLabel>(this, QStringLiteral("mylabel_%1").arg(column)))
        l->setText(text);
}

bool Ttallylist::checkscore(int score, const QString &name)
{
    beforeChange();
    for (int rank = 1; rank <= TallyGrid::kRanks; ++rank)
        for (const char *prefix : kRankPrefixes)
            rankLabel(prefix, rank)->setTextColor(pegcolors::maroon());

    int place = 0;
    for (int rank = 1; rank <= TallyGrid::kRanks && place == 0; ++rank)
        if (rankLabel("label_high", rank)->tag() <= score)
            place = rank;
    m_newestRank = place;
    if (place == 0)
        return false;

    // Entries move down; colours and styles stay with the positions.
    for (int rank = TallyGrid::kRanks - 1; rank >= place; --rank) {
        TagLabel *fromHigh = rankLabel("label_high", rank);
        TagLabel *toHigh = rankLabel("label_high", rank + 1);
        toHigh->setTag(fromHigh->tag());
        toHigh->setText(fromHigh->text());
        rankLabel("label_date", rank + 1)->setText(rankLabel("label_date", rank)->text());
        rankLabel("label_name", rank + 1)->setText(rankLabel("label_name", rank)->text());
        for (int column : {kDateColumn, kScoreColumn, kNameColumn})
            m_grid.setCell(column, rank + 1, m_grid.cell(column, rank));
    }

    TagLabel *high = rankLabel("label_high", place);
    high->setTag(score);
    high->setText(QString::number(score));
    rankLabel("label_date", place)->setText(platform::shortDate(QDate::currentDate()));
    rankLabel("label_name", place)->setText(name);
    styleRank(place, pegcolors::white(), true);
    m_grid.setCell(kDateColumn, place, rankLabel("label_date", place)->text().toStdString());
    m_grid.setCell(kScoreColumn, place, high->text().toStdString());
    m_grid.setCell(kNameColumn, place, name.toStdString());
    changed();
    return true;
}

void Ttallylist::renameNewest(const QString &name)
{
    if (m_newestRank == 0 || rankLabel("label_name", m_newestRank)->text() == name)
        return;
    beforeChange();
    rankLabel("label_name", m_newestRank)->setText(name);
    m_grid.setCell(kNameColumn, m_newestRank, name.toStdString());
    changed();
}

void Ttallylist::loadtally()
{
    for (int column = 1; column <= kStatistics; ++column)
        findControl<TagLabel>(this, QStringLiteral("mylabel_%1").arg(column))
            ->setText(QString::fromStdString(m_grid.cell(column, 0)));
    for (int rank = 1; rank <= TallyGrid::kRanks; ++rank) {
        if (m_grid.cell(kScoreColumn, rank).empty())
            m_grid.setCell(kScoreColumn, rank, TallyGrid::kFreeRank);
        rankLabel("label_date", rank)->setText(QString::fromStdString(m_grid.cell(kDateColumn, rank)));
        rankLabel("label_name", rank)->setText(QString::fromStdString(m_grid.cell(kNameColumn, rank)));
        int score = kFreeRankScore;
        if (!parseTallyInt(m_grid.cell(kScoreColumn, rank), score))
            score = kFreeRankScore;
        TagLabel *high = rankLabel("label_high", rank);
        high->setTag(score);
        high->setText(score <= kFreeRankScore ? QString() : QString::fromStdString(m_grid.cell(kScoreColumn, rank)));
    }
}

void Ttallylist::button_resetClick()
{
    if (!askConfirmation(this, QStringLiteral("Confirm"), QStringLiteral("Are you sure you want to reset the Tally?")))
        return;
    beforeChange();
    m_grid.resize(m_grid.columnCount(), TallyGrid::kRows);
    for (int column = 1; column <= kStatistics; ++column)
        findControl<TagLabel>(this, QStringLiteral("mylabel_%1").arg(column))->setText(QStringLiteral("0"));
    for (int column = 1; column < TallyGrid::kColumns; ++column)
        m_grid.setCell(column, 0, "0");
    for (int row = 1; row < TallyGrid::kRows; ++row) {
        m_grid.setCell(kDateColumn, row, std::string());
        m_grid.setCell(kScoreColumn, row, TallyGrid::kFreeRank);
        m_grid.setCell(kNameColumn, row, std::string());
    }
    for (int rank = 1; rank <= TallyGrid::kRanks; ++rank) {
        rankLabel("label_date", rank)->clear();
        rankLabel("label_name", rank)->clear();
        TagLabel *high = rankLabel("label_high", rank);
        high->clear();
        high->setTag(kFreeRankScore);
        styleRank(rank, pegcolors::maroon(), false);
    }
    m_newestRank = 0;
    changed();
}

void Ttallylist::button_doneClick()
{
    hide();
}
