#include "messageboxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {
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

void showMessageBox(const QString &message)
{
    if (messageHandler()) {
        messageHandler()(message);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), message, QMessageBox::Ok);
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
