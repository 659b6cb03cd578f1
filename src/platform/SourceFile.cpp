#include "platform/FileSystem.h"
#include "platform/SystemErrors.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <vector>

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
    from.rewind();
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

bool inGroup(gid_t group)
{
    if (group == ::getegid())
        return true;
    // Asked once: a run does not change its groups.
    static const std::vector<gid_t> groups = [] {
        std::vector<gid_t> all(size_t(std::max(0, ::getgroups(0, nullptr))));
        all.resize(size_t(std::max(0, ::getgroups(int(all.size()), all.data()))));
        return all;
    }();
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

} // namespace

void ignoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] { ::signal(SIGXFSZ, SIG_IGN); });
}

SourceFile SourceFile::open(const QString& path)
{
    Source source(path);
    return std::move(source.file());
}

SourceFile SourceFile::openLooked(const QString& path)
{
    SourceFile file;
    file.m_path = path;
    // Non-blocking only so that a pipe swapped in after the look cannot hang
    // the open; for the regular file it must be, the flag changes nothing.
    file.m_fd = openPath(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (file.m_fd < 0)
        throwErrno(errno, Failure::Kind::SourceUnreadable);
    struct stat st;
    if (::fstat(file.m_fd, &st) != 0)
        throwErrno(errno, Failure::Kind::SourceUnreadable);
    // Swapped for something else between the look and the open.
    if (!S_ISREG(st.st_mode))
        throwNotRegular(st.st_mode);
    file.m_stamp = stampFrom(st);
    return file;
}

SourceFile::SourceFile(SourceFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_position(other.m_position),
      m_path(std::move(other.m_path)), m_stamp(other.m_stamp)
{
}

SourceFile& SourceFile::operator=(SourceFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_position = other.m_position;
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
        const ssize_t got = ::pread(m_fd, data, size_t(size), off_t(m_position));
        if (got >= 0) {
            m_position += got;
            return got;
        }
        if (errno != EINTR)
            throwErrno(errno, Failure::Kind::SourceUnreadable);
    }
}

void SourceFile::requireUnchanged() const
{
    struct stat now;
    const bool same = ::fstat(m_fd, &now) == 0 && stampFrom(now) == m_stamp;
    if (!same)
        throw Failure(QStringLiteral("The file changed while it was being copied"), EAGAIN,
                      Failure::Kind::SourceChanged);
}

void Source::look() const
{
    if (m_looked)
        return;
    m_looked = true;
    struct stat st;
    if (m_path.isEmpty()) {
        m_lookError = ENOENT;
    } else if (statPath(m_path, &st) != 0) {
        m_lookError = errno;
    } else {
        m_mode = st.st_mode;
        m_owner = st.st_uid;
        m_group = st.st_gid;
    }
}

bool Source::isRegular() const
{
    look();
    return m_lookError == 0 && S_ISREG(m_mode);
}

bool Source::isOrdinary() const
{
    return isRegular() && !ownName(m_path).startsWith(QLatin1Char('.'));
}

bool Source::isSpecial() const
{
    look();
    return m_lookError == 0 && !S_ISREG(m_mode) && !S_ISDIR(m_mode);
}

void Source::refuseSpecial() const
{
    if (isSpecial())
        throwNotRegular(m_mode);
}

SourceFile& Source::file()
{
    if (m_file)
        return *m_file;
    if (!m_openFailure) {
        try {
            requireOpenable();
            m_file = SourceFile::openLooked(m_path);
            return *m_file;
        } catch (const Failure& failure) {
            m_openFailure = failure;
        }
    }
    throw *m_openFailure;
}

SourceFile* Source::tryFile()
{
    try {
        return &file();
    } catch (const Failure&) {
        return nullptr;
    }
}

void Source::requireOpenable() const
{
    look();
    if (m_lookError != 0)
        throwErrno(m_lookError, Failure::Kind::SourceUnreadable);
    if (!S_ISREG(m_mode))
        throwNotRegular(m_mode);
}

void Source::requireReadable() const
{
    if (m_file)
        return;
    if (m_openFailure)
        throw *m_openFailure;
    requireOpenable();
    static const uid_t me = ::geteuid(); // a run never changes who it is
    if (me == 0)
        return; // reads any file
    const bool readable = me == m_owner      ? (m_mode & S_IRUSR) != 0
                          : inGroup(m_group) ? (m_mode & S_IRGRP) != 0
                                             : (m_mode & S_IROTH) != 0;
    if (readable)
        return;
    // The bits say no; an access control list may still say yes.
    const PathAt at = locate(m_path);
    if (::faccessat(at.dirFd, at.name.constData(), R_OK, AT_EACCESS) != 0)
        throwErrno(errno, Failure::Kind::SourceUnreadable);
}

// Copies inside the kernel where it can (no round trip through user memory, and
// a reflink on file systems that have them); falls back to read and write.
void copyContent(SourceFile& source, int to, const BetweenChunks& between)
{
    ignoreFileSizeSignal();
    const qint64 size = source.stamp().size;
    if (size > 0) {
        bool first = true;
        // From the first byte whatever was read before; the size known from the
        // open ends the copy without a call that finds the end (a file that
        // grows or shrinks meanwhile fails the check for a changed source).
        loff_t from = 0;
        while (from < size) {
            const ssize_t copied = ::copy_file_range(source.fd(), &from, to, nullptr,
                                                     size_t(std::min(kCopyChunk, size - from)), 0);
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
        if (from >= size)
            return;
    }
    copyByReading(source, to, between);
}

} // namespace FileSystem
