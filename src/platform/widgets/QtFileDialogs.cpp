#include "platform/widgets/QtFileDialogs.h"

#include "platform/Failure.h"
#include "platform/FileSystem.h"

#include <QFileDialog>
#include <QFileInfo>

QString QtFileDialogs::openFiles(const QString& title, const QString& filter)
{
    QStringList chosen =
        QFileDialog::getOpenFileNames(m_owner, title, m_lastFolder, nameFilters(filter));
    // The dialog decodes names lossily; the list needs the names on disk.
    for (QString& path : chosen)
        path = FileSystem::recoverPath(path);
    if (!chosen.isEmpty())
        m_lastFolder = QFileInfo(chosen.first()).absolutePath();
    return answerFor(chosen);
}

QString QtFileDialogs::browseForFolder(const QString& prompt, const QString& startFolder)
{
    return FileSystem::recoverPath(QFileDialog::getExistingDirectory(
        m_owner, prompt, FileSystem::displayPath(startFolder), QFileDialog::ShowDirsOnly));
}

QString QtFileDialogs::answerFor(const QStringList& chosen)
{
    QString answer;
    if (chosen.size() == 1) {
        answer = chosen.first();
    } else if (chosen.size() > 1) {
        // All names come from the one folder the dialog was showing.
        const QString& first = chosen.first();
        const qsizetype cut = first.lastIndexOf(u'/');
        answer = cut <= 0 ? QStringLiteral("/") : first.left(cut);
        for (const QString& path : chosen)
            answer += QChar(0) + path.mid(path.lastIndexOf(u'/') + 1);
    }
    if (answer.size() > kMaxFileNameSize)
        throw Failure(QStringLiteral("The file name buffer is too small"), kBufferTooSmall);
    return answer;
}

QString QtFileDialogs::nameFilters(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        const qsizetype open = name.lastIndexOf(u'(');
        if (open > 0)
            name = name.left(open).trimmed();
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        filters.append(name + QStringLiteral(" (") + patterns + u')');
    }
    return filters.join(QStringLiteral(";;"));
}
