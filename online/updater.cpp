#include "updater.h"

#include "vendorpaths.h"

#include "atomicfile.h"
#include "launch.h"
#include "messageboxes.h"
#include "minisign.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

namespace {
const QString kProgramName = QStringLiteral("pegsquare");
const QString kInstallerName = QLatin1String(vendor::kInstallerName);
// Executable by its owner only, like the private file it was downloaded to.
constexpr mode_t kDownloadMode = 0600;
constexpr mode_t kInstallerMode = 0700;
} // namespace

TUpdater::TUpdater(const QString &vendorHost)
    : programPath(QCoreApplication::applicationFilePath())
    , publicKey(QStringLiteral(PEGSQUARE_UPDATE_KEY))
    , Launch(platform::launchDetached)
    , Exit([](int code) { std::_Exit(code); })
    , m_host(vendorHost)
{
}

QString TUpdater::installerUrl() const
{
    return QStringLiteral("http://") + m_host + QLatin1String(vendor::kInstallerPath);
}

QString TUpdater::signatureUrl() const
{
    return QStringLiteral("http://") + m_host + QLatin1String(vendor::kSignaturePath);
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

QString TUpdater::expectedTrustedComment() const
{
    return kProgramName + QLatin1Char(' ') + m_offeredVersion + QLatin1Char(' ') + kInstallerName;
}

void TUpdater::status(const QString &text) const
{
    if (OnStatus)
        OnStatus(text);
}

void TUpdater::failed(const QString &message)
{
    restoreProgram();
    if (!message.isEmpty())
        showMessageBox(message);
    if (OnFailed)
        OnFailed();
}

void TUpdater::update()
{
    downloadit();
}

bool TUpdater::moveProgramAside()
{
    const QString backup = backupPath();
    if (QFile::exists(backup))
        QFile::remove(backup);
    m_movedAside = QFile::rename(programPath, backup);
    return m_movedAside;
}

void TUpdater::restoreProgram()
{
    if (m_movedAside && !QFile::exists(programPath))
        m_movedAside = !QFile::rename(backupPath(), programPath);
}

bool TUpdater::isSigned(int fd)
{
    if (m_offeredVersion.isEmpty())
        return false;
    const std::optional<online::MinisignKey> key = online::parseMinisignKey(publicKey.toStdString());
    if (!key)
        return false;
    QBuffer signature;
    signature.open(QIODevice::WriteOnly);
    m_getupdate.URL = signatureUrl();
    m_getupdate.BodyStream = &signature;
    m_getupdate.setMaxBodySize(kMaxSignatureBytes);
    m_getupdate.setDeadline(kSignatureDeadlineMs);
    bool fetched = true;
    try {
        m_getupdate.GetToStream();
    } catch (const EHttpException &) {
        fetched = false;
    }
    m_getupdate.BodyStream = nullptr;
    return fetched
        && online::checkMinisign(*key, fd, signature.data().toStdString(), expectedTrustedComment().toStdString())
               == online::SignatureCheck::Valid;
}

void TUpdater::downloadit()
{
    const QString path = installerPath();
    // A new private file: nothing planted in the folder can take the
    // bytes, and nothing there can be run before it has been checked.
    platform::TempFile download(path.toStdString(), kDownloadMode);
    if (!download.isOpen()) {
        failed();
        showErrorBox(QStringLiteral("Cannot create file ") + path);
        return;
    }
    bool aborted = false;
    {
        QFile file;
        file.open(download.fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
        m_getupdate.URL = installerUrl();
        m_getupdate.BodyStream = &file;
        m_getupdate.setMaxBodySize(maxInstallerBytes);
        m_getupdate.setDeadline(installerDeadlineMs);
        try {
            m_getupdate.GetToStream();
            aborted = !file.flush();
        } catch (const EHttpException &) {
            aborted = true;
        }
        m_getupdate.BodyStream = nullptr;
    }
    struct stat info {};
    if (aborted || ::fsync(download.fd()) != 0 || ::fstat(download.fd(), &info) != 0) {
        status(QStringLiteral("Download Aborted"));
        failed();
        return;
    }
    status(QStringLiteral("Received ") + QString::number(qint64(info.st_size)) + QStringLiteral(" bytes"));

    const QString manually = QStringLiteral(" Please download ") + kProgramName.toUpper()
                           + QStringLiteral(" manually from http://") + m_host + QLatin1Char('.');
    if (!isSigned(download.fd())) {
        status(QStringLiteral("Update not verified"));
        failed(QStringLiteral("The update could not be verified.") + manually);
        return;
    }
    // Only a verified installer moves the program aside and becomes
    // executable; the rename replaces whatever lay under its name.
    moveProgramAside();
    if (::fchmod(download.fd(), kInstallerMode) != 0 || !download.close()
        || !download.renameTo(path.toStdString())) {
        failed(QStringLiteral("There was an error in the update process.") + manually);
        return;
    }
    status(QStringLiteral("Installing"));
    if (Launch && Launch(path, {QStringLiteral("/SP-"), QStringLiteral("/silent"), QStringLiteral("/noicons")})) {
        Exit(0);
        return;
    }
    QFile::remove(path);
    failed(QStringLiteral("There was an error in the update process.") + manually);
}
