#pragma once

#include <QAbstractListModel>
#include <QString>

// A list of texts shown in one column under a header: selectable, never edited
// in place. The file list and the preview list differ only in how rows come and go.
class TextListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    TextListModel(const char* header, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

protected:
    // The rows, kept by each subclass as suits it, and changed inside the
    // model's begin/end calls.
    virtual int textCount() const = 0;
    // What row `row` shows.
    virtual QString displayText(int row) const = 0;

private:
    const char* m_header;
};
