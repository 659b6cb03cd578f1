#pragma once

#include "preview/NamePlanner.h"

#include <QAbstractTableModel>
#include <QList>

// The rows of the preview: one per list entry, in list order, filled in as the
// plan comes in. Sorting and filtering are the view's (a proxy), never this
// model's, so the list order stays the rows' own.
class PreviewModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NumberColumn, SourceColumn, NewNameColumn, ProblemColumn, ColumnCount };
    // True for a row whose entry would be passed over.
    static constexpr int ProblemRole = Qt::UserRole + 1;

    explicit PreviewModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // A new plan of the entries shown as `shown`: every row waits for its name.
    void start(const QStringList& shown);
    // Names as they come, in list order.
    void fill(const QList<PlannedName>& names);
    // Every row gets the same problem (a results folder that is not there).
    void markAll(const SkipReason& problem);

    int files() const { return int(m_rows.size()); }
    int planned() const { return m_planned; }
    int newNames() const { return m_newNames; }
    int problems() const { return m_planned - m_newNames; }
    const PlannedName& row(int r) const { return m_rows.at(r).name; }

private:
    struct Row
    {
        QString shown;
        PlannedName name;
        bool ready = false;
    };
    QList<Row> m_rows;
    int m_planned = 0;
    int m_newNames = 0;
};
