#include "FileSystem.h"

#include "Failure.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileSystem {

namespace {

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

[[noreturn]] void throwErrno(int err)
{
    throw Failure::fromErrno(err);
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

bool nameIsHidden(const QByteArray& name)
{
    return name.startsWith('.');
}

int attributesFrom(const struct stat& own, const struct stat* target, bool hidden)
{
    int bits = 0;
    if (S_ISLNK(own.st_mode))
        bits |= Alias;
    const struct stat& kind = target ? *target : own;
    if (S_ISDIR(kind.st_mode))
        bits |= Directory;
    else if (S_ISREG(kind.st_mode))
        bits |= Archive;
    if (!S_ISLNK(kind.st_mode) && !(kind.st_mode & S_IWUSR))
        bits |= ReadOnly;
    if (hidden)
        bits |= Hidden;
    return bits;
}

void writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno);
        }
        data += written;
        size -= written;
    }
}

void copyByReading(int from, int to)
{
    static constexpr size_t kChunk = 256 * 1024;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), kChunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno);
        }
        if (got == 0)
            return;
        writeAll(to, buffer.constData(), got);
    }
}

// Copies inside the kernel where it can (no round trip through user memory, and
// a reflink on file systems that have them); falls back to read and write.
void copyContent(int from, int to, const struct stat& source)
{
    if (source.st_size > 0) {
        bool first = true;
        for (;;) {
            const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
            if (copied > 0) {
                first = false;
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
            throwErrno(errno);
        }
    }
    copyByReading(from, to);
}

} // namespace

int attributes(const QString& path)
{
    if (path.isEmpty())
        throwErrno(ENOENT);
    const QByteArray native = nativePath(path);
    struct stat own;
    if (::lstat(native.constData(), &own) != 0)
        throwErrno(errno);
    struct stat target;
    const bool resolves = S_ISLNK(own.st_mode) && ::stat(native.constData(), &target) == 0;
    return attributesFrom(own, resolves ? &target : nullptr,
                          nameIsHidden(nativePath(ownName(path))));
}

int attributesAt(int dirFd, const QByteArray& name)
{
    struct stat own;
    if (::fstatat(dirFd, name.constData(), &own, AT_SYMLINK_NOFOLLOW) != 0)
        throwErrno(errno);
    struct stat target;
    const bool resolves =
        S_ISLNK(own.st_mode) && ::fstatat(dirFd, name.constData(), &target, 0) == 0;
    return attributesFrom(own, resolves ? &target : nullptr, nameIsHidden(name));
}

bool exists(const QString& path) noexcept
{
    if (path.isEmpty())
        return false;
    struct stat st;
    return ::stat(nativePath(path).constData(), &st) == 0;
}

bool isRegularFile(const QString& path) noexcept
{
    if (path.isEmpty())
        return false;
    struct stat st;
    return ::stat(nativePath(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const QString& path) noexcept
{
    if (path.isEmpty())
        return false;
    struct stat st;
    return ::stat(nativePath(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isOrdinaryFile(const QString& path) noexcept
{
    return isRegularFile(path) && !ownName(path).startsWith(QLatin1Char('.'));
}

QString ownName(const QString& path)
{
    qsizetype end = path.size();
    while (end > 0 && path.at(end - 1) == QLatin1Char('/'))
        --end;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'), end - 1);
    return path.mid(slash + 1, end - slash - 1);
}

QByteArray readWholeFile(const QString& path)
{
    FdGuard fd(::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throwErrno(errno);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        throwErrno(errno);
    if (S_ISDIR(st.st_mode))
        throwErrno(EISDIR);

    QByteArray content;
    // One byte more than the size, so that the usual case ends with one read that
    // finds the end instead of a growing buffer.
    qsizetype capacity = st.st_size > 0 ? qsizetype(st.st_size) + 1 : 64 * 1024;
    content.resize(capacity);
    qsizetype filled = 0;
    for (;;) {
        if (filled == capacity) {
            capacity *= 2;
            content.resize(capacity);
        }
        const ssize_t got = ::read(fd.get(), content.data() + filled, size_t(capacity - filled));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno);
        }
        if (got == 0)
            break;
        filled += got;
    }
    content.resize(filled);
    return content;
}

void requireReadableFile(const QString& path)
{
    if (path.isEmpty())
        throwErrno(ENOENT);
    struct stat st;
    if (::stat(nativePath(path).constData(), &st) != 0)
        throwErrno(errno);
    if (S_ISDIR(st.st_mode))
        throwErrno(EISDIR);
}

// Opens a new, empty temporary file in `folder` under a hidden name of its own.
StagedCopy StagedCopy::create(const QString& folder, int& fd)
{
    for (int attempt = 0;; ++attempt) {
        const QString name = folder + QStringLiteral("/.quenby-") +
                             QString::number(QRandomGenerator::global()->generate64(), 36) +
                             QStringLiteral(".part");
        fd = ::open(nativePath(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            StagedCopy copy;
            copy.m_temporary = name;
            return copy;
        }
        if (errno != EEXIST || attempt > 100)
            throwErrno(errno);
    }
}

StagedCopy StagedCopy::fromFile(const QString& sourcePath, const QString& folder)
{
    FdGuard source(::open(nativePath(sourcePath).constData(), O_RDONLY | O_CLOEXEC));
    if (source.get() < 0)
        throwErrno(errno);
    struct stat st;
    if (::fstat(source.get(), &st) != 0)
        throwErrno(errno);
    if (S_ISDIR(st.st_mode))
        throwErrno(EISDIR);

    int fd = -1;
    StagedCopy copy = create(folder, fd); // removes its file if what follows throws
    FdGuard target(fd);
    copyContent(source.get(), target.get(), st);
    if (target.close() != 0)
        throwErrno(errno);
    return copy;
}

StagedCopy StagedCopy::fromBytes(const QByteArray& content, const QString& folder)
{
    int fd = -1;
    StagedCopy copy = create(folder, fd);
    FdGuard target(fd);
    writeAll(target.get(), content.constData(), content.size());
    if (target.close() != 0)
        throwErrno(errno);
    return copy;
}

StagedCopy::StagedCopy(StagedCopy&& other) noexcept
    : m_temporary(std::exchange(other.m_temporary, QString())),
      m_published(std::exchange(other.m_published, false))
{
}

StagedCopy& StagedCopy::operator=(StagedCopy&& other) noexcept
{
    if (this != &other) {
        discard();
        m_temporary = std::exchange(other.m_temporary, QString());
        m_published = std::exchange(other.m_published, false);
    }
    return *this;
}

StagedCopy::~StagedCopy()
{
    discard();
}

bool StagedCopy::publishAs(const QString& target)
{
    if (m_published || m_temporary.isEmpty())
        throwErrno(EINVAL);
    const QByteArray from = nativePath(m_temporary);
    const QByteArray to = nativePath(target);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        m_published = true;
        m_temporary.clear();
        return true;
    }
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        throwErrno(errno);

    // No RENAME_NOREPLACE here: a hard link is just as exclusive.
    if (::link(from.constData(), to.constData()) != 0) {
        if (errno == EEXIST)
            return false;
        throwErrno(errno);
    }
    m_published = true;
    ::unlink(from.constData());
    m_temporary.clear();
    return true;
}

void StagedCopy::discard() noexcept
{
    if (!m_published && !m_temporary.isEmpty()) {
        const int saved = errno;
        ::unlink(nativePath(m_temporary).constData());
        errno = saved;
    }
    m_temporary.clear();
}

} // namespace FileSystem
