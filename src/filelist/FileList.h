#pragma once

#include "rename/FileEntries.h"

#include <QAbstractListModel>
#include <QStringList>

// The files to rename, in the order they were added, shown by the window's file
// list. Entries are full paths kept exactly as added; duplicates are allowed and
// the list never sorts itself. Entries are numbered from 1, as the run reads them.
class FileList : public QAbstractListModel, public FileEntries
{
    Q_OBJECT
public:
    explicit FileList(QObject* parent = nullptr);

    // The one way in for every adding command: appends the path unchanged.
    void AddFile(const QString& path);
    // Appends many paths in one step, so that 100,000 entries stay instant.
    void addFiles(const QStringList& paths);

    int count() const override;
    QString entry(int i) const override;       // throws Failure outside 1..count()
    void setEntry(int i, const QString& path); // replaces the text of entry i
    void removeEntry(int i);
    void clear();
    const QStringList& paths() const { return m_paths; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QStringList m_paths;
};
