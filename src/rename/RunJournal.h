#pragma once

#include "platform/Failure.h"
#include "platform/SourceFile.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

struct stat;

// The journal of the runs that copied something, so that a run can be taken
// back: one file a run under $XDG_STATE_HOME/quenby/ (~/.local/state/quenby/),
// named run-ID.journal, the last kKeptRuns of them kept. It lists the results
// folder and, for each copy, its name and what identifies its content. Undo
// removes only copies that still carry that identity; sources are never named
// in it, so they can never be removed by it.
//
// The file is text, one record a line, each appended with one write as the run
// goes, so that a run cut short leaves a journal of what it made so far:
//
//     quenby-journal 1
//     run ID STARTED PROGRAM
//     folder PATH
//     copy DEVICE INODE SIZE MTIME-SECONDS MTIME-NANOSECONDS NAME
//     undone WHEN
//
// Names and paths are the system's bytes, with control characters, spaces in
// no position that matters, and "\" written as \xHH.
namespace RunJournal {

constexpr int kKeptRuns = 20;

// $XDG_STATE_HOME/quenby, or ~/.local/state/quenby when it is unset or not an
// absolute path.
QString defaultFolder();

// The journal file of run `id` in `folder`.
QString journalPath(const QString& folder, int id);

} // namespace RunJournal

// What tells one copy from any other file that may later carry its name.
struct CopyIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeSeconds = 0;
    qint64 mtimeNanoseconds = 0;

    bool operator==(const CopyIdentity&) const = default;
    static CopyIdentity fromStat(const struct stat& st);
    static CopyIdentity fromStamp(const FileSystem::FileStamp& stamp);
    // The identity of the file `path` names (not following a final link).
    // Throws Failure.
    static CopyIdentity ofPath(const QString& path);
};

// Writes the journal of one run. Nothing is written until the first copy, so
// a run that copies nothing leaves no journal.
class RunRecorder
{
public:
    explicit RunRecorder(QString journalFolder, QString program);
    ~RunRecorder();
    RunRecorder(const RunRecorder&) = delete;
    RunRecorder& operator=(const RunRecorder&) = delete;

    // Records the copy at `target` (a full path) with its identity. Throws
    // Failure naming the journal file when the journal cannot be written; the
    // recorder then stays failed and records nothing more.
    void record(const QString& target, const CopyIdentity& identity);

    // The run's id once its journal exists; 0 before.
    int id() const { return m_id; }
    QString path() const;
    bool failed() const { return m_failed; }

private:
    void create();
    void append(const QByteArray& line);

    QString m_journalFolder;
    QString m_program;
    int m_fd = -1;
    int m_id = 0;
    bool m_failed = false;
    QString m_folder; // the results folder of the copies recorded last
    QString m_workingFolder; // where the run started, asked once
};

// One recorded run, as read back.
struct RecordedRun
{
    struct Copy
    {
        QString folder;
        QString name;
        CopyIdentity identity;
        QString target() const { return folder + QLatin1Char('/') + name; }
    };

    int id = 0;
    QString journal;
    QDateTime started;
    QString program;
    QList<Copy> copies;
    std::optional<QDateTime> undone;

    // The first results folder of the run (a window's run may change it midway).
    QString folder() const { return copies.isEmpty() ? QString() : copies.first().folder; }
};

// Reads the journals in one folder.
class RunJournals
{
public:
    explicit RunJournals(QString folder = RunJournal::defaultFolder());

    const QString& folder() const { return m_folder; }

    // The ids of the recorded runs, oldest first; empty when there are none.
    QList<int> ids() const;

    // Run `id` as recorded. Throws Failure naming the journal file when it is
    // missing, unreadable or damaged.
    RecordedRun read(int id) const;

private:
    QString m_folder;
};

// What undoing a run did, or would do, with each of its copies.
struct UndoResult
{
    enum class Status {
        Removed,  // still there unchanged: removed (or, in a dry run, to be removed)
        Changed,  // the same file, changed since: kept
        Replaced, // another file carries the name now: kept
        Gone,     // nothing carries the name any more
        Failed,   // could not be examined or removed: kept
    };
    struct Item
    {
        QString target;
        Status status = Status::Removed;
        std::optional<Failure> failure;
    };

    QList<Item> items;
    bool dryRun = false;
    // Set when the run had been undone before: nothing was looked at.
    std::optional<QDateTime> undoneBefore;
    // Set when the run could not be marked as undone afterwards.
    std::optional<Failure> markFailure;

    int count(Status status) const;
};

// Removes the copies of `run` that are still there unchanged, each by its name
// within its results folder opened once, and marks the run as undone. A dry run
// only tells what would happen. A run undone before is left alone. Throws
// Failure when a results folder cannot be opened, before anything is removed.
UndoResult undoRun(const RecordedRun& run, bool dryRun);

// The key of a status for scripts ("removed", "changed", ...).
QString undoStatusKey(UndoResult::Status status, bool dryRun);
