#pragma once

#include <QObject>
#include <QString>

// A link opener: an address without its scheme and the kind of address it
// is. Execute() puts the scheme's prefix in front and hands the result to
// the desktop, which opens it in the user's default program.
class TURL : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString URL READ URL WRITE setURL)
    Q_PROPERTY(TURLType URLType READ URLType WRITE setURLType)
public:
    // The prefix of each: "file://", "ftp://", "gopher://", "http://",
    // "https://", "mailto:", "news:", "telnet:", "wais:", and none for
    // utnone (the address then carries its own scheme).
    enum TURLType { utFile, utFtp, utGopher, utHttp, utHttps, utMailto, utNews, utTelnet, utWais, utnone };
    Q_ENUM(TURLType)

    explicit TURL(QObject *parent = nullptr);

    // Both setters store the value and do nothing else.
    QString URL() const { return m_url; }
    void setURL(const QString &url);
    TURLType URLType() const { return m_urlType; }
    void setURLType(TURLType type);

    // The prefix that URLType puts before the address.
    static QString prefix(TURLType type);

    // Opens prefix + URL through platform::shellOpen(). Returns false, and
    // opens nothing, when URL is empty; otherwise whether the desktop
    // started an opener. When no opener could be started, or the one
    // started finds no browser, the address is shown in an AddressWindow
    // (over the active window) so that the player can copy it.
    bool Execute();

private:
    QString m_url;
    TURLType m_urlType = utHttp;
};
