#include "filelist/PreviewList.h"

#include "filelist/ListTexts.h"

PreviewList::PreviewList(QObject* parent) : TextListModel(kPreviewHeader, parent) {}

void PreviewList::append(const QString& line)
{
    const int row = m_texts.size();
    beginInsertRows({}, row, row);
    m_texts.append(line);
    endInsertRows();
}

void PreviewList::clear()
{
    if (m_texts.isEmpty())
        return;
    beginResetModel();
    m_texts.clear();
    endResetModel();
}
