#include "filelist/FileList.h"

#include "filelist/ListTexts.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"

#include <QCollator>
#include <fcntl.h>
#include <QLocale>
#include <algorithm>
#include <iterator>
#include <numeric>
#include <vector>

FileList::FileList(QObject* parent) : TextListModel(kFileListHeader, parent) {}

void FileList::AddFile(const QString& path)
{
    const int row = textCount();
    beginInsertRows({}, row, row);
    m_entries.push_back({nullptr, path});
    endInsertRows();
}

void FileList::addFiles(const QStringList& paths)
{
    addListed(wholePaths(paths));
}

void FileList::addListed(ListedPaths listed)
{
    if (listed.empty())
        return;
    const int first = textCount();
    beginInsertRows({}, first, first + int(listed.size()) - 1);
    if (m_entries.empty())
        m_entries = std::move(listed);
    else
        m_entries.insert(m_entries.end(), std::make_move_iterator(listed.begin()),
                         std::make_move_iterator(listed.end()));
    endInsertRows();
}

int FileList::count() const
{
    return textCount();
}

QString FileList::pathAt(std::size_t row) const
{
    const ListedPath& listed = m_entries[row];
    if (!listed.folder)
        return listed.name;
    if (listed.folder != m_lastFolder) {
        m_lastFolder = listed.folder;
        m_lastFolderPath = listed.folder->path();
    }
    return m_lastFolderPath + listed.name;
}

QString FileList::entry(int i) const
{
    if (i < 1 || i > count())
        throw Failure(QStringLiteral("Index out of bounds"));
    QString path = pathAt(std::size_t(i - 1));
    const ListedFolder::Ptr& folder = m_entries[std::size_t(i - 1)].folder;
    if (m_holds > 0 && folder && folder != m_heldFolder) {
        // Reached through the folder held before it where it can be: the next
        // folder of a scan is usually a neighbour or a child.
        m_heldFolder = folder;
        const int fd = m_descriptors.open(*folder);
        FileSystem::holdFolder(m_lastFolderPath,
                               fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    }
    return path;
}

FileList::FolderHold::FolderHold(const FileList& list) : m_list(list)
{
    ++m_list.m_holds;
}

FileList::FolderHold::~FolderHold()
{
    if (--m_list.m_holds > 0)
        return;
    FileSystem::holdFolder(QString(), -1);
    m_list.m_heldFolder.reset();
    m_list.m_descriptors.clear();
}

void FileList::setEntry(int i, const QString& path)
{
    if (i < 1 || i > count())
        throw Failure(QStringLiteral("Index out of bounds"));
    m_entries[std::size_t(i - 1)] = {nullptr, path};
    const QModelIndex changed = index(i - 1);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

void FileList::removeEntry(int i)
{
    if (i < 1 || i > count())
        throw Failure(QStringLiteral("Index out of bounds"));
    beginRemoveRows({}, i - 1, i - 1);
    m_entries.erase(m_entries.begin() + (i - 1));
    endRemoveRows();
}

void FileList::clear()
{
    beginResetModel();
    m_entries.clear();
    m_lastFolder.reset();
    m_lastFolderPath.clear();
    endResetModel();
}

void FileList::sortByName()
{
    if (m_entries.size() < 2)
        return;
    // The C locale would compare code points: capitals before every small
    // letter, "10" before "9". Names are then ordered as in English.
    const QLocale locale =
        QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    // One key a path instead of a collation per comparison keeps 100,000 entries quick.
    struct Key
    {
        QCollatorSortKey name;
        QCollatorSortKey folder;
    };
    const QStringList texts = paths();
    std::vector<Key> keys;
    keys.reserve(texts.size());
    for (const QString& path : texts) {
        const QString name = FileSystem::ownName(path);
        keys.push_back({collator.sortKey(FileSystem::displayPath(name)),
                        collator.sortKey(FileSystem::displayPath(path))});
    }
    std::vector<int> order(m_entries.size());
    std::iota(order.begin(), order.end(), 0);
    // Stable, so that equal paths keep the order they were added in.
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (const int byName = keys[a].name.compare(keys[b].name))
            return byName < 0;
        if (const int byPath = keys[a].folder.compare(keys[b].folder))
            return byPath < 0;
        return texts.at(a) < texts.at(b);
    });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRow(order.size());
    ListedPaths sorted;
    sorted.reserve(m_entries.size());
    for (int row = 0; row < int(order.size()); ++row) {
        newRow[order[row]] = row;
        sorted.push_back(std::move(m_entries[std::size_t(order[row])]));
    }
    m_entries = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(index.isValid() ? this->index(newRow[index.row()], index.column())
                                     : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QStringList FileList::paths() const
{
    return pathTexts(m_entries);
}

QString FileList::displayText(int row) const
{
    // a byte of a name that is not UTF-8 shows as U+FFFD
    return FileSystem::displayPath(pathAt(std::size_t(row)));
}
