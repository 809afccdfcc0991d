// The real message box, opened and read while it is up: sized to show its
// title and text, centred on the window it speaks for.
#include "messageboxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

TEST(messageBox, IsWideEnoughForItsTitleAndCentredOnItsWindow)
{
    QApplication::setApplicationName(QStringLiteral("Pegsquare"));
    QWidget window;
    window.setGeometry(120, 80, 706, 571);
    window.show();
    const struct {
        const char *name;
        QString message;
        QString detail;
    } rows[] = {
        {"short, alone", "Posting Failed.", {}},
        {"short, with a reason",
         "Posting Failed.",
         "The vendor's server refused the connection. Your score has not been posted; press SEND SCORE to try "
         "again."},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QRect shown;
        QString text;
        QString detail;
        // Read once the box is up, then answered as a player would.
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shown = box->geometry();
            text = box->text();
            detail = box->informativeText();
            box->accept();
        });
        showMessageBox(row.message, row.detail, &window);
        EXPECT_EQ(text, row.message);
        EXPECT_EQ(detail, row.detail);
        // Room for the title beside a frame's buttons.
        EXPECT_GE(shown.width(), window.fontMetrics().horizontalAdvance(QStringLiteral("Pegsquare")) + 120);
        EXPECT_LE((shown.center() - window.geometry().center()).manhattanLength(), 4)
            << shown.center().x() << "," << shown.center().y();
    }
}

} // namespace
