#pragma once

#include "filelist/TextListModel.h"

// The lines of the previewed file, shown by the window's preview list.
class PreviewList : public TextListModel
{
    Q_OBJECT
public:
    explicit PreviewList(QObject* parent = nullptr);

    void append(const QString& line);
    void clear();
    const QStringList& lines() const { return m_texts; }
};
