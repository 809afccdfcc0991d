#include "addresswindow.h"

#include "colors.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPointer<AddressWindow> &openWindow()
{
    static QPointer<AddressWindow> window;
    return window;
}

// Wide enough for a usual address at a glance; a longer one scrolls in
// its field.
constexpr int kFieldCharacters = 48;

} // namespace

AddressWindow::AddressWindow(QWidget *parent)
    : QDialog(parent)
    , m_address(new QLineEdit(this))
{
    setObjectName(QStringLiteral("AddressWindow"));
    setWindowTitle(QApplication::applicationName());
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette p = palette();
    p.setColor(QPalette::Window, pegcolors::background());
    setPalette(p);
    setAutoFillBackground(true);

    auto *message = new QLabel(QStringLiteral("No web browser could be started to open this link.\n"
                                              "Copy the address below into your browser to visit it."),
                               this);
    message->setObjectName(QStringLiteral("label_message"));

    m_address->setObjectName(QStringLiteral("edit_address"));
    m_address->setReadOnly(true);
    m_address->setMinimumWidth(m_address->fontMetrics().averageCharWidth() * kFieldCharacters);
    m_address->setAccessibleName(QStringLiteral("Address"));

    auto *copy = new QPushButton(QStringLiteral("&Copy"), this);
    copy->setObjectName(QStringLiteral("button_copy"));
    copy->setAutoDefault(false);
    connect(copy, &QPushButton::clicked, this, [this] {
        QApplication::clipboard()->setText(m_address->text());
        m_address->setFocus();
        m_address->selectAll();
    });
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("button_ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copy);
    buttons->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(message);
    layout->addWidget(m_address);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

AddressWindow *AddressWindow::showAddress(QWidget *parent, const QString &address)
{
    AddressWindow *window = openWindow();
    if (!window) {
        window = new AddressWindow(parent);
        openWindow() = window;
    }
    window->setAddress(address);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

QString AddressWindow::address() const
{
    return m_address->text();
}

void AddressWindow::setAddress(const QString &address)
{
    m_address->setText(address);
    m_address->setCursorPosition(0);
    m_address->selectAll();
    m_address->setFocus();
}
