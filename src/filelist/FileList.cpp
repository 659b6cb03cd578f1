#include "filelist/FileList.h"

#include "filelist/ListTexts.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"

FileList::FileList(QObject* parent) : QAbstractListModel(parent) {}

void FileList::AddFile(const QString& path)
{
    const int row = m_paths.size();
    beginInsertRows({}, row, row);
    m_paths.append(path);
    endInsertRows();
}

void FileList::addFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const int first = m_paths.size();
    beginInsertRows({}, first, first + paths.size() - 1);
    m_paths.append(paths);
    endInsertRows();
}

int FileList::count() const
{
    return m_paths.size();
}

QString FileList::entry(int i) const
{
    if (i < 1 || i > m_paths.size())
        throw Failure(QStringLiteral("Index out of bounds"));
    return m_paths.at(i - 1);
}

void FileList::setEntry(int i, const QString& path)
{
    if (i < 1 || i > m_paths.size())
        throw Failure(QStringLiteral("Index out of bounds"));
    m_paths[i - 1] = path;
    const QModelIndex changed = index(i - 1);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

void FileList::removeEntry(int i)
{
    if (i < 1 || i > m_paths.size())
        throw Failure(QStringLiteral("Index out of bounds"));
    beginRemoveRows({}, i - 1, i - 1);
    m_paths.removeAt(i - 1);
    endRemoveRows();
}

void FileList::clear()
{
    beginResetModel();
    m_paths.clear();
    endResetModel();
}

int FileList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_paths.size();
}

QVariant FileList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_paths.size() || index.column() != 0)
        return {};
    if (role == Qt::DisplayRole) // a byte of a name that is not UTF-8 shows as U+FFFD
        return FileSystem::displayPath(m_paths.at(index.row()));
    return {};
}

QVariant FileList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QString::fromLatin1(kFileListHeader);
    return {};
}

Qt::ItemFlags FileList::flags(const QModelIndex& index) const
{
    // Selectable but never editable: the run takes the text as the file's path.
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}
