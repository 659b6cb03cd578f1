#pragma once

// Doubles for the services of the file-list commands, next to those of support/Fakes.h.

#include "platform/KeyValueStore.h"
#include "platform/DesktopShell.h"
#include "platform/Failure.h"
#include "platform/FileDialogs.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>

class MapStore : public KeyValueStore
{
public:
    QString read(const QString& key, const QString& defaultValue) override
    {
        ++reads;
        return values.contains(key) ? values.value(key) : defaultValue;
    }
    void save(const QString& key, const QString& value) override
    {
        saved.append(key);
        values.insert(key, value);
    }
    QMap<QString, QString> values;
    QStringList saved;
    int reads = 0;
};

struct BrowseCall
{
    QString prompt;
    QString startFolder;
};

// Answers the dialogs from a script; an exhausted script cancels.
class ScriptedDialogs : public FileDialogs
{
public:
    QString openFiles(const QString& title, const QString& filter) override
    {
        openTitles.append(title);
        openFilters.append(filter);
        if (failWith)
            throw Failure(QStringLiteral("dialog failed"), failWith);
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    QString browseForFolder(const QString& prompt, const QString& startFolder) override
    {
        browsed.append({prompt, startFolder});
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }
    QStringList fileAnswers;
    QStringList folderAnswers;
    QStringList openTitles;
    QStringList openFilters;
    QList<BrowseCall> browsed;
    int failWith = 0;
};

class RecordingShell : public DesktopShell
{
public:
    void openFolder(const QString& path) override { opened.append(path); }
    void openUrl(const QString& url) override { opened.append(url); }
    void startDetached(const QString&, const QStringList&) override {}
    QString desktopFolder() const override { return QDir::homePath() + u'/'; }
    QStringList opened;
};

// Writes a file (and its folders) below `root`; answers its full path.
inline QString writeFile(const QString& root, const QString& relative,
                         const QByteArray& content = "x")
{
    const QString path = root + u'/' + relative;
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write(content);
    return path;
}
