#include "messageboxes.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

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
} // namespace

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
    if (errorHandler()) {
        errorHandler()(message);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), message, QMessageBox::Ok);
    box.exec();
}

void showMessageBox(const QString &message, const QString &detail, QWidget *over)
{
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
    box.exec();
}

bool askConfirmation(QWidget *parent, const QString &caption, const QString &question)
{
    if (confirmationHandler())
        return confirmationHandler()(caption, question);
    QMessageBox box(QMessageBox::Question, caption, question, QMessageBox::NoButton, parent);
    QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}
