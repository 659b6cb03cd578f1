#include "filelist/FileList.h"

#include "filelist/ListTexts.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"

FileList::FileList(QObject* parent) : TextListModel(kFileListHeader, parent) {}

void FileList::AddFile(const QString& path)
{
    const int row = m_texts.size();
    beginInsertRows({}, row, row);
    m_texts.append(path);
    endInsertRows();
}

void FileList::addFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const int first = m_texts.size();
    beginInsertRows({}, first, first + paths.size() - 1);
    m_texts.append(paths);
    endInsertRows();
}

int FileList::count() const
{
    return m_texts.size();
}

QString FileList::entry(int i) const
{
    if (i < 1 || i > m_texts.size())
        throw Failure(QStringLiteral("Index out of bounds"));
    return m_texts.at(i - 1);
}

void FileList::setEntry(int i, const QString& path)
{
    if (i < 1 || i > m_texts.size())
        throw Failure(QStringLiteral("Index out of bounds"));
    m_texts[i - 1] = path;
    const QModelIndex changed = index(i - 1);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

void FileList::removeEntry(int i)
{
    if (i < 1 || i > m_texts.size())
        throw Failure(QStringLiteral("Index out of bounds"));
    beginRemoveRows({}, i - 1, i - 1);
    m_texts.removeAt(i - 1);
    endRemoveRows();
}

void FileList::clear()
{
    beginResetModel();
    m_texts.clear();
    endResetModel();
}

QString FileList::displayText(int row) const
{
    return FileSystem::displayPath(
        m_texts.at(row)); // a byte of a name that is not UTF-8 shows as U+FFFD
}
