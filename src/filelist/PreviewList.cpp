#include "filelist/PreviewList.h"

#include "filelist/ListTexts.h"

PreviewList::PreviewList(QObject* parent) : TextListModel(kPreviewHeader, parent) {}

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
