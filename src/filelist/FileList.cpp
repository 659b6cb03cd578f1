#include "filelist/FileList.h"

#include "filelist/ListTexts.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <numeric>
#include <vector>

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

void FileList::sortByName()
{
    if (m_texts.size() < 2)
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
    std::vector<Key> keys;
    keys.reserve(m_texts.size());
    for (const QString& path : std::as_const(m_texts)) {
        const QString name = FileSystem::ownName(path);
        keys.push_back({collator.sortKey(FileSystem::displayPath(name)),
                        collator.sortKey(FileSystem::displayPath(path))});
    }
    std::vector<int> order(m_texts.size());
    std::iota(order.begin(), order.end(), 0);
    // Stable, so that equal paths keep the order they were added in.
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (const int byName = keys[a].name.compare(keys[b].name))
            return byName < 0;
        if (const int byPath = keys[a].folder.compare(keys[b].folder))
            return byPath < 0;
        return m_texts.at(a) < m_texts.at(b);
    });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRow(order.size());
    QStringList sorted;
    sorted.reserve(m_texts.size());
    for (int row = 0; row < int(order.size()); ++row) {
        newRow[order[row]] = row;
        sorted.append(m_texts.at(order[row]));
    }
    m_texts = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(index.isValid() ? this->index(newRow[index.row()], index.column())
                                     : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString FileList::displayText(int row) const
{
    return FileSystem::displayPath(
        m_texts.at(row)); // a byte of a name that is not UTF-8 shows as U+FFFD
}
