// The breakdown view of a scored line.
#include "mainform.h"

#include "cardslot.h"
#include "controls.h"
#include "imagecontrol.h"
#include "taglabel.h"

void Tmain::label_linescore1Click(TagLabel *clicked)
{
    bool ok = false;
    const int line = clicked->hint().toInt(&ok);
    if (!ok || !square::isLineNumber(line))
        return;
    auto *title = findControl<TagLabel>(this, QStringLiteral("label_ls1"));
    title->setText(QStringLiteral("Line Score:") + clicked->hint());
    findControl<TagLabel>(this, QStringLiteral("label_ls2"))->setText(title->text());

    const auto codes = m_round.lineCodes(line);
    for (int k = 1; k <= scoring::kHandSize; ++k)
        showCard(findControl<ImageControl>(this, QStringLiteral("card_ls%1").arg(k)), m_cards, codes[k - 1], false);

    findControl<TagLabel>(this, QStringLiteral("label_line6"))->setText(clicked->text());
    const scoring::LineBreakdown &b = m_round.breakdown(line);
    for (int k = 1; k <= scoring::kCategoryCount; ++k)
        findControl<TagLabel>(this, QStringLiteral("label_line%1").arg(k))->setText(QString::number(b.points[k - 1]));
    auto *panel = findControl<QWidget>(this, QStringLiteral("panel_linescore"));
    panel->show();
    panel->raise();
}
