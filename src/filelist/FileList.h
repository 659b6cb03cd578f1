#pragma once

#include "filelist/ListedPaths.h"
#include "filelist/TextListModel.h"
#include "rename/FileEntries.h"

#include <QStringList>

// The files to rename, in the order they were added, shown by the window's file
// list. Entries are full paths kept exactly as added; duplicates are allowed and
// the list never sorts itself. Entries are numbered from 1, as the run reads them.
// A file found by a folder scan is kept as its folder and its own name, so that a
// deep tree costs no more than a wide one; its path is written out when asked for.
class FileList : public TextListModel, public FileEntries
{
    Q_OBJECT
public:
    explicit FileList(QObject* parent = nullptr);

    // The one way in for every adding command: appends the path unchanged.
    void AddFile(const QString& path);
    // Appends many paths in one step, so that 100,000 entries stay instant.
    void addFiles(const QStringList& paths);
    void addListed(ListedPaths listed);

    int count() const override;
    QString entry(int i) const override;       // throws Failure outside 1..count()
    void setEntry(int i, const QString& path); // replaces the text of entry i
    void removeEntry(int i);
    void clear();
    // Puts the entries in order of their own file names (then of their folders),
    // as people read names: letter case aside, numbers by their value. Only ever
    // on the user's command; the selection and a picked-up entry follow their
    // paths.
    void sortByName();
    // Every entry's path, in order.
    QStringList paths() const;

    // While one lives (a run), the list holds open the folder of the entry it
    // handed out last, so that the file routines reach that entry's file with
    // one lookup, however deep it lies (see FileSystem::locate). Only for the
    // length of a run: a folder held longer could have been replaced at its path.
    class FolderHold
    {
    public:
        explicit FolderHold(const FileList& list);
        ~FolderHold();
        FolderHold(const FolderHold&) = delete;
        FolderHold& operator=(const FolderHold&) = delete;

    private:
        const FileList& m_list;
    };

protected:
    int textCount() const override { return int(m_entries.size()); }
    QString displayText(int row) const override;

private:
    QString pathAt(std::size_t row) const;

    ListedPaths m_entries;
    // The folder whose path was written out last: the entries of one folder
    // usually follow one another.
    mutable ListedFolder::Ptr m_lastFolder;
    mutable QString m_lastFolderPath;
    // What a FolderHold keeps open.
    mutable int m_holds = 0;
    mutable ListedFolder::Ptr m_heldFolder;
    mutable FolderDescriptors m_descriptors;
};
