#include "platform/widgets/QtDesktopShell.h"

#include "platform/Failure.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

void QtDesktopShell::openFolder(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtDesktopShell::openUrl(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url));
}

void QtDesktopShell::startDetached(const QString& program, const QStringList& arguments)
{
    if (!QProcess::startDetached(program, arguments))
        throw Failure(QStringLiteral("File not found: ") + program);
}

QString QtDesktopShell::desktopFolder() const
{
    // The desktop folder as the desktop names it (XDG user dirs, in the user's
    // language); a system without one gets the home folder instead of a folder
    // that is not there.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    if (!QFileInfo(folder).isDir())
        throw Failure(QStringLiteral("The desktop folder cannot be determined"));
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}
