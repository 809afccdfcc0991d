#include "url.h"

#include "addresswindow.h"
#include "shellopen.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

TURL::TURL(QObject *parent)
    : QObject(parent)
{
}

void TURL::setURL(const QString &url)
{
    if (url != m_url)
        m_url = url;
}

void TURL::setURLType(TURLType type)
{
    if (type != m_urlType)
        m_urlType = type;
}

QString TURL::prefix(TURLType type)
{
    switch (type) {
    case utFile: return QStringLiteral("file://");
    case utFtp: return QStringLiteral("ftp://");
    case utGopher: return QStringLiteral("gopher://");
    case utHttp: return QStringLiteral("http://");
    case utHttps: return QStringLiteral("https://");
    case utMailto: return QStringLiteral("mailto:");
    case utNews: return QStringLiteral("news:");
    case utTelnet: return QStringLiteral("telnet:");
    case utWais: return QStringLiteral("wais:");
    case utnone: break;
    }
    return QString();
}

bool TURL::Execute()
{
    if (m_url.isEmpty())
        return false;
    const QString address = prefix(m_urlType) + m_url;
    // The window the link was clicked in may be gone by the time a
    // watched opener gives up.
    QPointer<QWidget> near = QApplication::activeWindow();
    if (!near)
        near = qobject_cast<QWidget *>(parent());
    auto showAddress = [near, address] { AddressWindow::showAddress(near, address); };
    if (platform::shellOpen(address, showAddress))
        return true;
    showAddress();
    return false;
}
