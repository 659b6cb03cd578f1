#include "platform/FileSystem.h"
#include "platform/SystemErrors.h"

#include <csignal>
#include <fcntl.h>
#include <mutex>

namespace FileSystem {

using namespace detail;

namespace {

// A chunk small enough that a long copy gives the window a turn several times a
// second, large enough that the calls cost nothing.
constexpr qint64 kCopyChunk = 8 * 1024 * 1024;

void copyByReading(SourceFile& from, int to, const BetweenChunks& between)
{
    static constexpr qsizetype kBuffer = 256 * 1024;
    QByteArray buffer(kBuffer, Qt::Uninitialized);
    qint64 sinceTurn = 0;
    for (;;) {
        const qsizetype got = from.read(buffer.data(), kBuffer);
        if (got == 0)
            return;
        writeAll(to, buffer.constData(), got);
        sinceTurn += got;
        if (sinceTurn >= kCopyChunk && between) {
            sinceTurn = 0;
            between();
        }
    }
}

} // namespace

void ignoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] { ::signal(SIGXFSZ, SIG_IGN); });
}

SourceFile SourceFile::open(const QString& path)
{
    requireReadableFile(path); // a pipe must never be opened: that waits for a writer
    SourceFile file;
    file.m_path = path;
    file.m_fd = openPath(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (file.m_fd < 0)
        throwErrno(errno, Failure::Kind::SourceUnreadable);
    struct stat st;
    if (::fstat(file.m_fd, &st) != 0)
        throwErrno(errno, Failure::Kind::SourceUnreadable);
    // Swapped for something else between the look and the open.
    if (!S_ISREG(st.st_mode))
        throwNotRegular(st.st_mode);
    const int flags = ::fcntl(file.m_fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(file.m_fd, F_SETFL, flags & ~O_NONBLOCK);
    file.m_stamp = stampFrom(st);
    return file;
}

SourceFile::SourceFile(SourceFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)), m_stamp(other.m_stamp)
{
}

SourceFile& SourceFile::operator=(SourceFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_stamp = other.m_stamp;
    }
    return *this;
}

SourceFile::~SourceFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

qsizetype SourceFile::read(char* data, qsizetype size)
{
    for (;;) {
        const ssize_t got = ::read(m_fd, data, size_t(size));
        if (got >= 0)
            return got;
        if (errno != EINTR)
            throwErrno(errno, Failure::Kind::SourceUnreadable);
    }
}

void SourceFile::rewind(qint64 offset)
{
    if (::lseek(m_fd, off_t(offset), SEEK_SET) != off_t(offset))
        throwErrno(errno, Failure::Kind::SourceUnreadable);
}

void SourceFile::requireUnchanged() const
{
    struct stat now;
    struct stat named;
    const bool same = ::fstat(m_fd, &now) == 0 && stampFrom(now) == m_stamp &&
                      statPath(m_path, &named) == 0 &&
                      stampFrom(named) == m_stamp;
    if (!same)
        throw Failure(QStringLiteral("The file changed while it was being copied"), EAGAIN,
                      Failure::Kind::SourceChanged);
}

// Copies inside the kernel where it can (no round trip through user memory, and
// a reflink on file systems that have them); falls back to read and write.
void copyContent(SourceFile& source, int to, const BetweenChunks& between)
{
    ignoreFileSizeSignal();
    if (source.stamp().size > 0) {
        bool first = true;
        for (;;) {
            const ssize_t copied =
                ::copy_file_range(source.fd(), nullptr, to, nullptr, size_t(kCopyChunk), 0);
            if (copied > 0) {
                first = false;
                if (between)
                    between();
                continue;
            }
            if (copied == 0)
                return;
            if (errno == EINTR)
                continue;
            const bool unsupported = errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                                     errno == EOPNOTSUPP || errno == EBADF;
            if (first && unsupported)
                break;
            // Which side failed is not said; a full disk or a size limit is the
            // usual cause, and reading a regular file seldom fails.
            throwWriteErrno(errno);
        }
    }
    copyByReading(source, to, between);
}

} // namespace FileSystem
