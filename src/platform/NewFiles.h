#pragma once

#include "platform/SourceFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Putting new files into a folder without ever replacing one.
namespace FileSystem {

// A folder held open for as long as files are put into it. Every file made,
// published, probed, listed or removed there is named relative to this
// descriptor, so that copies land in the folder that was opened even when its
// path is moved or made to lead elsewhere meanwhile.
class ResultsFolder
{
public:
    // Opens the folder `path` names, following a link given as the folder
    // itself (as cp does). Throws Failure: ResultsFolderGone when nothing is
    // there, the errno description for anything else (a file: "Not a directory").
    static ResultsFolder open(const QString& path);

    ResultsFolder(ResultsFolder&& other) noexcept;
    ResultsFolder& operator=(ResultsFolder&& other) noexcept;
    ResultsFolder(const ResultsFolder&) = delete;
    ResultsFolder& operator=(const ResultsFolder&) = delete;
    ~ResultsFolder();

    int fd() const { return m_fd; }
    // The path as given, for what is shown: a copy's target is path/name.
    const QString& path() const { return m_path; }
    QString pathOf(const QString& name) const { return m_path + QLatin1Char('/') + name; }

    // Throws a ResultsFolderGone Failure, naming no file, unless the path still
    // leads to the folder that was opened ("No such file or directory" when
    // nothing is there now).
    void requireStillAtPath() const;

private:
    friend class StagedCopy; // a copy into a folder opened for it alone holds it
    ResultsFolder() = default;
    int m_fd = -1;
    QString m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

// How a folder takes new files without ever replacing one.
enum class Publication {
    Staged, // written aside, then published with a no-replace step
    Direct, // created under its final name with an exclusive create
};

// Finds out, by trying, how `folder` can take new files: Staged where an
// unnamed or hidden temporary file can be published by a step that never
// replaces (linkat, renameat2 with RENAME_NOREPLACE, link), else Direct (FAT,
// exFAT, most FUSE file systems, SMB). The probe's file is removed at once.
// Throws Failure when nothing can be written there at all.
Publication publicationFor(const ResultsFolder& folder);
Publication publicationFor(const QString& folder);

// Direct publication: creates `name` in `folder` exclusively and fills it with
// the whole of `source`, flushed to the disk. Answers false, writing nothing,
// when the name is taken; removes what it wrote and throws Failure when
// anything fails. A process killed in the middle leaves the part written so far
// under `name`. `written`, when given, receives the copy's own stamp.
bool copyToNewFile(SourceFile& source, const ResultsFolder& folder, const QString& name,
                   const BetweenChunks& between = {}, FileStamp* written = nullptr);

// True when `folder` treats names that differ in letter case only as one name,
// learnt from the file system itself: through a name the folder holds, else
// through a hidden probe file, removed at once. False when it cannot be told.
bool ignoresLetterCase(const ResultsFolder& folder);
bool ignoresLetterCase(const QString& folder);

// The names in `folder` (hidden ones too), as listed. Throws Failure when it
// cannot be listed.
QStringList entryNames(const ResultsFolder& folder);
QStringList entryNames(const QString& folder);

// Turns off the signal that kills a process writing past its file-size limit,
// so that the write fails (EFBIG) and only that copy is lost. Called by every
// copy; once is enough.
void ignoreFileSizeSignal();

// A copy being written into a folder, to be published under its real name only
// once it is complete. Publishing never replaces an existing file, and a copy
// that is never published (a failure, an exception, an early return) vanishes,
// so no reader ever sees a part-written file under a real name.
//
// Where the file system allows it the copy is an unnamed file in the folder
// (O_TMPFILE), published by linking it in: nothing is left behind even if the
// process dies. Elsewhere it is a hidden temporary file in the folder, published
// by renameat2(RENAME_NOREPLACE), or by link then unlink.
//
//     StagedCopy copy = StagedCopy::fromFile(source, folder);
//     while (!copy.publishAs(candidate()))
//         nextCandidate();
class StagedCopy
{
public:
    // Copies `source` into `folder`, which must stay open while the copy lives.
    // Throws Failure when the source cannot be read or the copy cannot be
    // written; nothing is left behind then.
    static StagedCopy fromFile(SourceFile& source, const ResultsFolder& folder,
                               const BetweenChunks& between = {});
    // The same into the folder at the path `folder`, opened for this copy.
    static StagedCopy fromFile(const QString& sourcePath, const QString& folder);

    // Writes `content` into `folder`. Throws as above.
    static StagedCopy fromBytes(const QByteArray& content, const ResultsFolder& folder);
    static StagedCopy fromBytes(const QByteArray& content, const QString& folder);

    StagedCopy(StagedCopy&& other) noexcept;
    StagedCopy& operator=(StagedCopy&& other) noexcept;
    StagedCopy(const StagedCopy&) = delete;
    StagedCopy& operator=(const StagedCopy&) = delete;
    ~StagedCopy();

    // Gives the copy the name `name` in its folder, atomically and only when
    // nothing exists under that name (not even a dangling link). Answers false
    // when the name is taken; the copy then stays staged for another try.
    // Throws Failure on any other error.
    bool publishAs(const QString& name);

    bool isPublished() const { return m_published; }
    // The copy as written: publishing keeps its inode, size and modification time.
    const FileStamp& written() const { return m_written; }
    // The temporary file's name in the folder while a named temporary is
    // staged; empty for an unnamed one.
    const QString& temporaryName() const { return m_temporary; }

    // Drops the copy now (done by the destructor otherwise).
    void discard() noexcept;

    // Always use named temporaries, even where unnamed files work: for file
    // systems that misreport their support, and for tests of that path.
    static void setNamedTemporariesOnly(bool namedOnly);

private:
    StagedCopy() = default;
    static StagedCopy create(int dirFd);
    void finishWriting();

    int m_dirFd = -1;      // the folder's descriptor, not owned...
    int m_ownedDirFd = -1; // ...unless the copy opened the folder itself
    int m_fd = -1;         // open while the content is written; kept for an unnamed file
    QString m_temporary;   // the named temporary, if that is what it is
    bool m_published = false;
    FileStamp m_written;
};

} // namespace FileSystem
