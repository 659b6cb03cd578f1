#include "preview/PreviewModel.h"

#include "platform/FileSystem.h"

#include <QBrush>

PreviewModel::PreviewModel(QObject* parent) : QAbstractTableModel(parent) {}

int PreviewModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PreviewModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows.at(index.row());
    const PlannedName& name = row.name;
    if (role == ProblemRole)
        return row.ready && name.problem.has_value();
    if (role == Qt::ForegroundRole && index.column() == ProblemColumn)
        return QBrush(Qt::darkRed);
    if (role == Qt::ToolTipRole && index.column() == NewNameColumn && row.ready)
        return FileSystem::displayPath(name.target);
    // A long reason elided in its column can still be read whole.
    if (role == Qt::ToolTipRole && index.column() == ProblemColumn)
        return data(index, Qt::DisplayRole);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case NumberColumn:
        return index.row() + 1;
    case SourceColumn:
        return row.shown;
    case NewNameColumn:
        return row.ready ? FileSystem::displayPath(name.fileName) : QString();
    case ProblemColumn:
        if (!row.ready || !name.problem)
            return QString();
        return name.problem->error ? name.problem->phrase + QStringLiteral(": ") + *name.problem->error
                                   : name.problem->phrase;
    default:
        return {};
    }
}

QVariant PreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NumberColumn:
        return QStringLiteral("No.");
    case SourceColumn:
        return QStringLiteral("Source");
    case NewNameColumn:
        return QStringLiteral("New Name");
    case ProblemColumn:
        return QStringLiteral("Problem");
    default:
        return {};
    }
}

void PreviewModel::start(const QStringList& shown)
{
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(shown.size());
    for (const QString& text : shown)
        m_rows.append({text, {}, false});
    m_planned = 0;
    m_newNames = 0;
    endResetModel();
}

void PreviewModel::fill(const QList<PlannedName>& names)
{
    int first = -1, last = -1;
    for (const PlannedName& name : names) {
        const int r = name.number - 1;
        if (r < 0 || r >= m_rows.size())
            continue;
        Row& row = m_rows[r];
        if (row.ready) {
            --m_planned;
            if (!row.name.problem)
                --m_newNames;
        }
        ++m_planned;
        if (!name.problem)
            ++m_newNames;
        row.name = name;
        row.ready = true;
        first = first < 0 ? r : std::min(first, r);
        last = std::max(last, r);
    }
    if (first >= 0)
        emit dataChanged(index(first, NewNameColumn), index(last, ProblemColumn));
}

void PreviewModel::markAll(const SkipReason& problem)
{
    QList<PlannedName> names;
    names.reserve(m_rows.size());
    for (int r = 0; r < m_rows.size(); ++r) {
        PlannedName name;
        name.number = r + 1;
        name.problem = problem;
        names.append(name);
    }
    fill(names);
}
