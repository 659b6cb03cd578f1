#pragma once

#include <QAbstractListModel>
#include <QStringList>

// The lines of the previewed file, shown by the window's preview list.
class PreviewList : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit PreviewList(QObject* parent = nullptr);

    void append(const QString& line);
    void clear();
    const QStringList& lines() const { return m_lines; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QStringList m_lines;
};
