#include "FileSystem.h"

#include "Failure.h"

#include <QFile>
#include <QRandomGenerator>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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
        // A regular file ends at its size; only files that report no size
        // (or grow while being read) need a read that finds the end.
        if (filled == st.st_size && S_ISREG(st.st_mode))
            break;
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

namespace {

std::atomic<bool> namedTemporariesOnly{false};

// An unnamed file is linked in through its /proc entry (linking by descriptor
// alone needs a privilege).
bool canLinkUnnamedFiles()
{
    static const bool procMounted = ::access("/proc/self/fd", X_OK) == 0;
    return procMounted && !namedTemporariesOnly.load(std::memory_order_relaxed);
}

} // namespace

void StagedCopy::setNamedTemporariesOnly(bool namedOnly)
{
    namedTemporariesOnly.store(namedOnly);
}

// Opens a new, empty file in `folder`: unnamed where possible, else under a
// hidden name of its own.
StagedCopy StagedCopy::create(const QString& folder)
{
    StagedCopy copy;
    if (canLinkUnnamedFiles()) {
        copy.m_fd = ::open(nativePath(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (copy.m_fd >= 0)
            return copy;
        // Not supported by this kernel or file system: fall back to a name.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            throwErrno(errno);
    }
    for (int attempt = 0;; ++attempt) {
        const QString name = folder + QStringLiteral("/.quenby-") +
                             QString::number(QRandomGenerator::global()->generate64(), 36) +
                             QStringLiteral(".part");
        copy.m_fd =
            ::open(nativePath(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (copy.m_fd >= 0) {
            copy.m_temporary = name;
            return copy;
        }
        if (errno != EEXIST || attempt > 100)
            throwErrno(errno);
    }
}

// A named temporary is closed once written: some file systems only report a
// failed write when the file is closed. An unnamed one stays open to be linked.
void StagedCopy::finishWriting()
{
    if (m_temporary.isEmpty())
        return;
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0)
        throwErrno(errno);
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

    StagedCopy copy = create(folder); // vanishes again if what follows throws
    copyContent(source.get(), copy.m_fd, st);
    copy.finishWriting();
    return copy;
}

StagedCopy StagedCopy::fromBytes(const QByteArray& content, const QString& folder)
{
    StagedCopy copy = create(folder);
    writeAll(copy.m_fd, content.constData(), content.size());
    copy.finishWriting();
    return copy;
}

StagedCopy::StagedCopy(StagedCopy&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_temporary(std::exchange(other.m_temporary, QString())),
      m_published(std::exchange(other.m_published, false))
{
}

StagedCopy& StagedCopy::operator=(StagedCopy&& other) noexcept
{
    if (this != &other) {
        discard();
        m_fd = std::exchange(other.m_fd, -1);
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
    if (m_published || (m_temporary.isEmpty() && m_fd < 0))
        throwErrno(EINVAL);
    const QByteArray to = nativePath(target);

    if (m_temporary.isEmpty()) {
        // Linking never replaces an existing name.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, to.constData(), AT_SYMLINK_FOLLOW) !=
            0) {
            if (errno == EEXIST)
                return false;
            throwErrno(errno);
        }
        m_published = true;
        ::close(std::exchange(m_fd, -1));
        return true;
    }

    const QByteArray from = nativePath(m_temporary);
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
    const int saved = errno;
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if (!m_published && !m_temporary.isEmpty())
        ::unlink(nativePath(m_temporary).constData());
    m_temporary.clear();
    errno = saved;
}

} // namespace FileSystem
