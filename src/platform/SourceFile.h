#pragma once

#include <QString>
#include <functional>
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

} // namespace FileSystem
