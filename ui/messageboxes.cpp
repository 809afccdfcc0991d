#include "messageboxes.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpacerItem>

#include <cstdio>
#include <vector>

namespace {
// Room a window frame's title bar takes beside the title: its icon and its
// close, minimise and maximise buttons, with some margin.
constexpr int kFrameButtonsWidth = 160;

std::function<void(const QString &)> &errorHandler()
{
    static std::function<void(const QString &)> handler;
    return handler;
}
std::function<void(const QString &)> &messageHandler()
{
    static std::function<void(const QString &)> handler;
    return handler;
}
std::function<bool(const QString &, const QString &)> &confirmationHandler()
{
    static std::function<bool(const QString &, const QString &)> handler;
    return handler;
}
std::function<void(const QString &)> &unseenHandler()
{
    static std::function<void(const QString &)> handler;
    return handler;
}

bool g_quitting = false;
// The boxes running their own message loop, innermost last: a quit request
// arrives through that loop and must end every one of them.
std::vector<QPointer<QMessageBox>> &openBoxes()
{
    static std::vector<QPointer<QMessageBox>> boxes;
    return boxes;
}

void reportUnseen(const QString &message)
{
    std::fprintf(stderr, "Pegsquare: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
    if (unseenHandler())
        unseenHandler()(message);
}

// Runs `box` unless the program is quitting; false when the player never
// answered it (then its text has gone to the unseen-message handler).
bool runBox(QMessageBox &box)
{
    if (g_quitting) {
        reportUnseen(box.text());
        return false;
    }
    openBoxes().emplace_back(&box);
    box.exec();
    std::erase_if(openBoxes(), [&box](const QPointer<QMessageBox> &open) { return open.isNull() || open == &box; });
    if (g_quitting) {
        reportUnseen(box.text());
        return false;
    }
    return true;
}
} // namespace

void setQuitting(bool quitting)
{
    g_quitting = quitting;
    if (!quitting)
        return;
    // Each box's exec() returns once its own loop gets control back.
    for (const QPointer<QMessageBox> &box : openBoxes())
        if (box)
            box->done(QMessageBox::Cancel);
}

bool isQuitting()
{
    return g_quitting;
}

void setUnseenMessageHandler(std::function<void(const QString &)> handler)
{
    unseenHandler() = std::move(handler);
}

void setErrorBoxHandler(std::function<void(const QString &)> handler)
{
    errorHandler() = std::move(handler);
}

void setMessageBoxHandler(std::function<void(const QString &)> handler)
{
    messageHandler() = std::move(handler);
}

void setConfirmationHandler(std::function<bool(const QString &, const QString &)> handler)
{
    confirmationHandler() = std::move(handler);
}

void showErrorBox(const QString &message)
{
    if (g_quitting) {
        reportUnseen(message);
        return;
    }
    if (errorHandler()) {
        errorHandler()(message);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), message, QMessageBox::Ok);
    runBox(box);
}

void showMessageBox(const QString &message, const QString &detail, QWidget *over)
{
    if (g_quitting) {
        reportUnseen(message);
        return;
    }
    if (messageHandler()) {
        messageHandler()(detail.isEmpty() ? message : message + QStringLiteral("\n\n") + detail);
        return;
    }
    // A dialog with a parent opens centred on it.
    QWidget *parent = over ? over->window() : QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), message, QMessageBox::Ok, parent);
    box.setInformativeText(detail);
    // The box sizes itself to its text alone, so a short message gave a box
    // whose frame cut its own title; a spacer across its grid holds it open.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
        const int titleWidth = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kFrameButtonsWidth;
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                      1, grid->columnCount());
    }
    runBox(box);
}

bool askConfirmation(QWidget *parent, const QString &caption, const QString &question)
{
    // Nothing is done on the player's behalf while the program is ending.
    if (g_quitting)
        return false;
    if (confirmationHandler())
        return confirmationHandler()(caption, question);
    QMessageBox box(QMessageBox::Question, caption, question, QMessageBox::NoButton, parent);
    QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    openBoxes().emplace_back(&box);
    box.exec();
    std::erase_if(openBoxes(), [&box](const QPointer<QMessageBox> &open) { return open.isNull() || open == &box; });
    return !g_quitting && box.clickedButton() == yes;
}
