// Scoring the eight lines of a full board, and the breakdown view.
#include "mainform.h"

#include "cardslot.h"
#include "controls.h"
#include "imagecontrol.h"
#include "taglabel.h"

std::array<int, scoring::kHandSize> Tmain::lineCodes(int line) const
{
    std::array<int, scoring::kHandSize> codes{};
    for (int k = 1; k <= scoring::kHandSize; ++k) {
        // Rows 1 … 4 read across, columns 6 … 9 read down; k = 5 is the
        // starter cell at the end of the row or column.
        const ImageControl *c = line < 5 ? cell(line, k) : cell(k, line - 5);
        codes[k - 1] = c ? c->tag() : cards::kNoCard;
    }
    return codes;
}

int Tmain::getlinescore(int line)
{
    return figurescore(line, lineCodes(line));
}

int Tmain::figurescore(int line, const std::array<int, scoring::kHandSize> &codes)
{
    const scoring::LineBreakdown b = scoring::scoreHand(scoring::Hand::fromCodes(codes), m_starterSuit);
    m_breakdown.at(line) = b;
    return b.total();
}

void Tmain::label_linescore1Click(TagLabel *clicked)
{
    bool ok = false;
    const int line = clicked->hint().toInt(&ok);
    if (!ok || line < 1 || line > 9 || line == 5)
        return;
    auto *title = findControl<TagLabel>(this, QStringLiteral("label_ls1"));
    title->setText(QStringLiteral("Line Score:") + clicked->hint());
    findControl<TagLabel>(this, QStringLiteral("label_ls2"))->setText(title->text());

    const auto codes = lineCodes(line);
    for (int k = 1; k <= scoring::kHandSize; ++k)
        showCard(findControl<ImageControl>(this, QStringLiteral("card_ls%1").arg(k)), m_cards, codes[k - 1], false);

    findControl<TagLabel>(this, QStringLiteral("label_line6"))->setText(clicked->text());
    const scoring::LineBreakdown &b = m_breakdown.at(line);
    for (int k = 1; k <= scoring::kCategoryCount; ++k)
        findControl<TagLabel>(this, QStringLiteral("label_line%1").arg(k))->setText(QString::number(b.points[k - 1]));
    auto *panel = findControl<QWidget>(this, QStringLiteral("panel_linescore"));
    panel->show();
    panel->raise();
}
