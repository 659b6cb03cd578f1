#pragma once

#include "filelist/TextListModel.h"

#include <QStringList>

// The lines of the previewed file, shown by the window's preview list.
class PreviewList : public TextListModel
{
    Q_OBJECT
public:
    explicit PreviewList(QObject* parent = nullptr);

    void append(const QString& line);
    void clear();
    const QStringList& lines() const { return m_lines; }

protected:
    int textCount() const override { return int(m_lines.size()); }
    QString displayText(int row) const override { return m_lines.at(row); }

private:
    QStringList m_lines;
};
