#include "updater.h"

#include "launch.h"
#include "messageboxes.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

namespace {
const QString kProgramName = QStringLiteral("pegsquare");
} // namespace

TUpdater::TUpdater(const QString &vendorHost)
    : programPath(QCoreApplication::applicationFilePath())
    , Launch(platform::launchDetached)
    , Exit([](int code) { std::_Exit(code); })
    , m_host(vendorHost)
{
}

QString TUpdater::installerUrl() const
{
    return QStringLiteral("http://") + m_host + QLatin1Char('/') + kProgramName + QStringLiteral("/pegsetup.exe");
}

QString TUpdater::backupPath() const
{
    const QFileInfo program(programPath);
    const QString suffix = program.suffix();
    const QString base = suffix.isEmpty() ? programPath : programPath.chopped(suffix.size() + 1);
    return base + QStringLiteral(".BAK");
}

QString TUpdater::installerPath() const
{
    const QString url = installerUrl();
    return QFileInfo(programPath).absolutePath() + QLatin1Char('/') + url.mid(url.lastIndexOf(QLatin1Char('/')) + 1);
}

void TUpdater::status(const QString &text) const
{
    if (OnStatus)
        OnStatus(text);
}

void TUpdater::update()
{
    const QString backup = backupPath();
    if (QFile::exists(backup))
        QFile::remove(backup);
    m_movedAside = QFile::rename(programPath, backup);
    downloadit();
}

void TUpdater::restoreProgram()
{
    if (m_movedAside && !QFile::exists(programPath))
        m_movedAside = !QFile::rename(backupPath(), programPath);
}

void TUpdater::downloadit()
{
    m_getupdate.URL = installerUrl();
    const QString path = installerPath();
    bool failed = false;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            restoreProgram();
            showErrorBox(QStringLiteral("Cannot create file ") + path);
            return;
        }
        m_getupdate.BodyStream = &file;
        qint64 received = 0;
        try {
            m_getupdate.GetToStream();
            failed = !file.flush();
            received = file.size();
        } catch (const EHttpException &) {
            failed = true;
        }
        m_getupdate.BodyStream = nullptr;
        file.close();
        if (failed) {
            status(QStringLiteral("Download Aborted"));
            // Whatever part arrived is no installer to run.
            QFile::remove(path);
            restoreProgram();
            return;
        }
        status(QStringLiteral("Received ") + QString::number(received) + QStringLiteral(" bytes"));
    }
    status(QStringLiteral("Installing"));
    if (Launch && Launch(path, {QStringLiteral("/SP-"), QStringLiteral("/silent"), QStringLiteral("/noicons")})) {
        Exit(0);
        return;
    }
    restoreProgram();
    showMessageBox(QStringLiteral("There was an error in the update process. Please download ") + kProgramName.toUpper()
                   + QStringLiteral(" manually from http://") + m_host + QLatin1Char('.'));
}
