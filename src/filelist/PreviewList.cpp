#include "filelist/PreviewList.h"

#include "filelist/ListTexts.h"

PreviewList::PreviewList(QObject* parent) : QAbstractListModel(parent) {}

void PreviewList::append(const QString& line)
{
    const int row = m_lines.size();
    beginInsertRows({}, row, row);
    m_lines.append(line);
    endInsertRows();
}

void PreviewList::clear()
{
    if (m_lines.isEmpty())
        return;
    beginResetModel();
    m_lines.clear();
    endResetModel();
}

int PreviewList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_lines.size();
}

QVariant PreviewList::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.column() != 0 ||
        index.row() >= m_lines.size())
        return {};
    return m_lines.at(index.row());
}

QVariant PreviewList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QString::fromLatin1(kPreviewHeader);
    return {};
}

Qt::ItemFlags PreviewList::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}
