#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>
#include <sys/types.h>

// File-system helpers on POSIX. Paths are QStrings with '/' as the separator.
// Every failure is a Failure carrying the C library's description of errno ("No
// such file or directory", "Permission denied", ...), so a trap can show it
// unchanged.
namespace FileSystem {

// File names are bytes. A path's bytes decode as UTF-8, and each byte that is
// not part of valid UTF-8 becomes the lone surrogate U+DC00 + byte (U+DC80 to
// U+DCFF), so that any name a disk holds survives the trip through a QString
// and encodes back to the very same bytes at the system call.
QByteArray nativePath(const QString& path);
QString pathFromNative(QByteArrayView bytes);

// `path` for people to read: each escaped byte shown as U+FFFD.
QString displayPath(const QString& path);

// A path that came through a lossy decoding (Qt's file dialogs show a byte that
// is not UTF-8 as U+FFFD) matched back to the names on disk: each component that
// holds U+FFFD is replaced by the one entry of its folder that decodes the same
// way. A component with no such entry, or with several, is left as it is.
QString recoverPath(const QString& lossyPath);

// Appends `text` to `out` as a JSON string in UTF-8, quotes included, escaped as
// QJsonDocument escapes it: an escaped byte of a name comes out as "\udcXX", the
// form that turns back into the same bytes on the way in.
void appendJsonString(QByteArray& out, QStringView text);

// Attribute bits, numbered as the program has always numbered them. Here they
// mean: ReadOnly, the owner may not write; Hidden, the name begins with ".";
// System, never set; Directory, a folder; Archive, a regular file; Alias, a
// symbolic link (combined with Directory or Archive when the link resolves).
enum Attribute : int {
    ReadOnly = 1,
    Hidden = 2,
    System = 4,
    Directory = 16,
    Archive = 32,
    Alias = 1024,
};

// The attribute bits of `path`. A link's own presence gives Alias; the kind and
// the write permission are those of what it points to (a dangling link is Alias
// alone, plus Hidden by its name). Throws Failure when the path cannot be
// examined (missing, permission denied on a parent, empty, ...).
int attributes(const QString& path);

// The same for `name` inside the open folder `dirFd` (as for fstatat), for scans
// that walk folders by descriptor. `name` is the entry's own name, in the
// system's bytes.
int attributesAt(int dirFd, const QByteArray& name);

// True when `path` names an existing file of any kind (a folder too). Follows
// links, so a dangling link gives false. Never throws.
bool exists(const QString& path) noexcept;

// True when `path` names an existing regular file (through links). Never throws.
bool isRegularFile(const QString& path) noexcept;

// True when `path` names an existing folder (through links). Never throws.
bool isDirectory(const QString& path) noexcept;

// The "ordinary file" of a normal-attribute file search: an existing regular
// file that is neither hidden nor system. Never throws.
bool isOrdinaryFile(const QString& path) noexcept;

// The own name of `path`: the part after its last '/' (trailing separators of a
// folder path ignored). "/" and "" give "".
QString ownName(const QString& path);

// The whole content of the file at `path`. The file is closed before the call
// returns, also when reading fails. Throws Failure ("Is a directory" for a
// folder, NotRegularFile for a device, pipe or socket, ...).
QByteArray readWholeFile(const QString& path);

// Throws Failure unless `path` names a regular file (through links): "Is a
// directory" for a folder, NotRegularFile for a device, a pipe or a socket, the
// errno description when it cannot be examined. Cheaper than opening it.
void requireReadableFile(const QString& path);

// Throws a NotRegularFile Failure when `path` names a device, a pipe or a
// socket (or a link to one); a regular file, a folder and a missing path pass.
void refuseSpecialFile(const QString& path);

// What tells one state of a file's content from another.
struct FileStamp
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// A regular file open for reading. Opening never blocks (a pipe is refused
// before it could be waited on) and never reads anything but a regular file.
class SourceFile
{
public:
    // Throws Failure: NotRegularFile for a folder, device, pipe or socket,
    // SourceUnreadable when it cannot be opened.
    static SourceFile open(const QString& path);

    SourceFile(SourceFile&& other) noexcept;
    SourceFile& operator=(SourceFile&& other) noexcept;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile();

    int fd() const { return m_fd; }
    const QString& path() const { return m_path; }
    // The file as it was when opened.
    const FileStamp& stamp() const { return m_stamp; }

    // Reads up to `size` bytes at the current position; 0 at the end. Throws a
    // SourceUnreadable Failure.
    qsizetype read(char* data, qsizetype size);
    // Goes to byte `offset` (the first byte by default).
    void rewind(qint64 offset = 0);

    // Throws a SourceChanged Failure unless the open file and the file the path
    // names now are still the file as it was when opened.
    void requireUnchanged() const;

private:
    SourceFile() = default;
    int m_fd = -1;
    QString m_path;
    FileStamp m_stamp;
};

// Called between the chunks of a long copy: the window lets events run there,
// and tests change the source in mid-copy.
using BetweenChunks = std::function<void()>;

// Copies what remains of `source` to the descriptor `to`, in chunks, calling
// `between` after each. Throws SourceUnreadable or TargetWrite Failures.
void copyContent(SourceFile& source, int to, const BetweenChunks& between = {});

// How a folder takes new files without ever replacing one.
enum class Publication {
    Staged, // written aside, then published with a no-replace step
    Direct, // created under its final name with an exclusive create
};

// Finds out, by trying, how `folder` can take new files: Staged where an
// unnamed or hidden temporary file can be published by a step that never
// replaces (linkat, renameat2 with RENAME_NOREPLACE, link), else Direct (FAT,
// exFAT, most FUSE file systems, SMB). Throws Failure when nothing can be
// written there at all (TargetWrite, or ResultsFolderGone).
Publication publicationFor(const QString& folder);

// Direct publication: creates `target` exclusively and fills it with the whole
// of `source`, flushed to the disk. Answers false, writing nothing, when the
// name is taken; removes what it wrote and throws Failure when anything fails.
// A process killed in the middle leaves the part written so far under `target`.
bool copyToNewFile(SourceFile& source, const QString& target, const BetweenChunks& between = {});

// True when `folder` treats names that differ in letter case only as one name,
// learnt from the file system itself: through a name the folder holds, else
// through a short-lived hidden probe file. False when it cannot be told.
bool ignoresLetterCase(const QString& folder);

// The names in `folder` (hidden ones too), as listed. Throws Failure when it
// cannot be listed.
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
    // Copies the file at `sourcePath` into the folder `folder`. Throws Failure
    // when the source cannot be read or the copy cannot be written; nothing is
    // left behind then.
    static StagedCopy fromFile(const QString& sourcePath, const QString& folder);
    static StagedCopy fromFile(SourceFile& source, const QString& folder,
                               const BetweenChunks& between = {});

    // Writes `content` into the folder `folder`. Throws as above.
    static StagedCopy fromBytes(const QByteArray& content, const QString& folder);

    StagedCopy(StagedCopy&& other) noexcept;
    StagedCopy& operator=(StagedCopy&& other) noexcept;
    StagedCopy(const StagedCopy&) = delete;
    StagedCopy& operator=(const StagedCopy&) = delete;
    ~StagedCopy();

    // Gives the copy the name `target`, atomically and only when nothing exists
    // under that name (not even a dangling link). Answers false when the name is
    // taken; the copy then stays staged for another try. Throws Failure on any
    // other error. `target` must be on the file system of the staging folder.
    bool publishAs(const QString& target);

    bool isPublished() const { return m_published; }
    // The temporary file's path while a named temporary is staged; empty for an
    // unnamed one.
    const QString& temporaryPath() const { return m_temporary; }

    // Drops the copy now (done by the destructor otherwise).
    void discard() noexcept;

    // Always use named temporaries, even where unnamed files work: for file
    // systems that misreport their support, and for tests of that path.
    static void setNamedTemporariesOnly(bool namedOnly);

private:
    StagedCopy() = default;
    static StagedCopy create(const QString& folder);
    void finishWriting();

    int m_fd = -1;       // open while the content is written; kept for an unnamed file
    QString m_temporary; // the named temporary, if that is what it is
    bool m_published = false;
};

} // namespace FileSystem
