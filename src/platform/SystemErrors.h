#pragma once

// Helpers shared by the file-system sources only: errno turned into failures,
// descriptors closed at the end of a scope, a file's stamp, whole writes.

#include "platform/Failure.h"
#include "platform/SourceFile.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace FileSystem::detail {

[[noreturn]] inline void throwErrno(int err, Failure::Kind kind = Failure::Kind::Other)
{
    throw Failure::fromErrno(err, kind);
}

// Where writing into a folder failed: a folder that has gone is told apart, so
// the rest of the run can be told why.
[[noreturn]] inline void throwWriteErrno(int err)
{
    throwErrno(err, err == ENOENT || err == ENOTDIR ? Failure::Kind::ResultsFolderGone
                                                    : Failure::Kind::TargetWrite);
}

inline qint64 nanoseconds(const struct timespec& t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

inline FileStamp stampFrom(const struct stat& st)
{
    return {st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

// The kind of a special file, for the report that refuses it.
[[noreturn]] inline void throwNotRegular(mode_t mode)
{
    if (S_ISDIR(mode))
        throwErrno(EISDIR, Failure::Kind::NotRegularFile);
    QString what;
    if (S_ISFIFO(mode))
        what = QStringLiteral("Is a named pipe, not a regular file");
    else if (S_ISSOCK(mode))
        what = QStringLiteral("Is a socket, not a regular file");
    else if (S_ISCHR(mode) || S_ISBLK(mode))
        what = QStringLiteral("Is a device, not a regular file");
    else
        what = QStringLiteral("Not a regular file");
    throw Failure(what, EINVAL, Failure::Kind::NotRegularFile);
}

// Closes a descriptor at the end of a scope, keeping errno intact.
class FdGuard
{
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard()
    {
        if (m_fd >= 0) {
            const int saved = errno;
            ::close(m_fd);
            errno = saved;
        }
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return m_fd; }
    // Closes now and reports the result: some file systems only report a failed
    // write when the file is closed.
    int close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd);
    }

private:
    int m_fd;
};

inline void writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throwWriteErrno(errno);
        }
        data += written;
        size -= written;
    }
}

} // namespace FileSystem::detail
