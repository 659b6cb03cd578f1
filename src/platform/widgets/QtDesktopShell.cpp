#include "platform/widgets/QtDesktopShell.h"

#include "platform/Failure.h"

#include <QDesktopServices>
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
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (folder.isEmpty())
        throw Failure(QStringLiteral("The desktop folder cannot be determined"));
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}
