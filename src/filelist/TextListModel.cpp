#include "filelist/TextListModel.h"

TextListModel::TextListModel(const char* header, QObject* parent)
    : QAbstractListModel(parent), m_header(header)
{
}

int TextListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : textCount();
}

QVariant TextListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.column() != 0 ||
        index.row() >= textCount())
        return {};
    return displayText(index.row());
}

QVariant TextListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QString::fromLatin1(m_header);
    return {};
}

Qt::ItemFlags TextListModel::flags(const QModelIndex& index) const
{
    // Selectable but never editable: the run takes a file entry's text as its path.
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}
