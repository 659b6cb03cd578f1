#pragma once

#include <QByteArray>
#include <QString>

// File-system helpers on POSIX. Paths are QStrings with '/' as the separator and
// are handed to the system as UTF-8 (QFile::encodeName). Every failure is a
// Failure carrying the C library's description of errno ("No such file or
// directory", "Permission denied", ...), so a trap can show it unchanged.
namespace FileSystem {

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
// folder, ...).
QByteArray readWholeFile(const QString& path);

// Throws Failure unless `path` names something that could be opened and read
// as a file: it exists and is not a folder. Cheaper than opening it.
void requireReadableFile(const QString& path);

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
