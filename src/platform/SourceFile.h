#pragma once

#include "platform/Failure.h"

#include <QString>
#include <functional>
#include <optional>
#include <sys/types.h>

// Reading a source file: open once, know what it was, notice when it changes.
namespace FileSystem {

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
    // SourceUnreadable Failure. The position is this object's own (reads are
    // positioned), so readers that take turns on one file never disturb each
    // other, and going back costs no system call.
    qsizetype read(char* data, qsizetype size);
    // Goes to byte `offset` (the first byte by default).
    void rewind(qint64 offset = 0) { m_position = offset; }

    // Throws a SourceChanged Failure unless the open file is still the file as
    // it was when opened. What the path names meanwhile does not matter: every
    // byte read, named by and copied comes from this descriptor.
    void requireUnchanged() const;

private:
    friend class Source;
    SourceFile() = default;
    // Opens a path already known to name a regular file.
    static SourceFile openLooked(const QString& path);
    int m_fd = -1;
    qint64 m_position = 0;
    QString m_path;
    FileStamp m_stamp;
};

// One file of a run as the run meets it: looked at once (one stat), opened at
// most once, when its bytes are first needed, and known from then on by the
// identity taken from the open descriptor. The page-text service, the namer
// and the copier all work from this one object, so the file whose text names
// the copy is the file copied.
class Source
{
public:
    explicit Source(QString path) : m_path(std::move(path)) {}
    Source(Source&&) = default;
    Source& operator=(Source&&) = default;

    const QString& path() const { return m_path; }

    // What the look found; false for anything that could not be looked at.
    bool isRegular() const;
    // Regular and not hidden: a file the namers take.
    bool isOrdinary() const;
    // A device, pipe or socket (a folder is not special: it is not a file at all).
    bool isSpecial() const;
    // Throws a NotRegularFile Failure for a special file.
    void refuseSpecial() const;

    // Throws what the look alone rules out: a path that cannot be looked at
    // (SourceUnreadable), and anything but a regular file (NotRegularFile, "Is
    // a directory" for a folder). A pipe must never be opened, since that waits
    // for a writer, nor a device, whose driver acts on an open.
    void requireOpenable() const;

    // The open file, opened on the first call. Throws what the open threw, on
    // every call: a special file is never opened.
    SourceFile& file();
    // As file(), without throwing: nullptr where the file cannot be opened.
    SourceFile* tryFile();
    bool isOpen() const { return m_file.has_value(); }

    // For a plan that needs no bytes: throws what opening would throw, as far
    // as the look and the permission bits tell, without opening the file.
    void requireReadable() const;

private:
    void look() const;

    QString m_path;
    mutable bool m_looked = false;
    mutable int m_lookError = 0;
    mutable mode_t m_mode = 0;
    mutable uid_t m_owner = 0;
    mutable gid_t m_group = 0;
    std::optional<SourceFile> m_file;
    std::optional<Failure> m_openFailure;
};

// Called between the chunks of a long copy: the window lets events run there,
// and tests change the source in mid-copy.
using BetweenChunks = std::function<void()>;

// Copies what remains of `source` to the descriptor `to`, in chunks, calling
// `between` after each. Throws SourceUnreadable or TargetWrite Failures.
void copyContent(SourceFile& source, int to, const BetweenChunks& between = {});

} // namespace FileSystem
