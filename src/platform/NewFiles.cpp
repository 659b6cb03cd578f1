#include "platform/FileSystem.h"
#include "platform/SystemErrors.h"

#include <QRandomGenerator>
#include <QSet>
#include <atomic>
#include <dirent.h>
#include <fcntl.h>
#include <utility>

namespace FileSystem {

using namespace detail;

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
    ignoreFileSizeSignal();
    StagedCopy copy;
    if (canLinkUnnamedFiles()) {
        copy.m_fd = ::open(nativePath(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (copy.m_fd >= 0)
            return copy;
        // Not supported by this kernel or file system: fall back to a name.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            throwWriteErrno(errno);
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
            throwWriteErrno(errno);
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
        throwWriteErrno(errno);
}

StagedCopy StagedCopy::fromFile(const QString& sourcePath, const QString& folder)
{
    SourceFile source = SourceFile::open(sourcePath);
    return fromFile(source, folder);
}

StagedCopy StagedCopy::fromFile(SourceFile& source, const QString& folder,
                                const BetweenChunks& between)
{
    StagedCopy copy = create(folder); // vanishes again if what follows throws
    copyContent(source, copy.m_fd, between);
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
        throwWriteErrno(EINVAL);
    const QByteArray to = nativePath(target);

    if (m_temporary.isEmpty()) {
        // Linking never replaces an existing name.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, to.constData(), AT_SYMLINK_FOLLOW) !=
            0) {
            if (errno == EEXIST)
                return false;
            throwWriteErrno(errno);
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
        throwWriteErrno(errno);

    // No RENAME_NOREPLACE here: a hard link is just as exclusive.
    if (::link(from.constData(), to.constData()) != 0) {
        if (errno == EEXIST)
            return false;
        throwWriteErrno(errno);
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

bool copyToNewFile(SourceFile& source, const QString& target, const BetweenChunks& between)
{
    ignoreFileSizeSignal();
    const QByteArray native = nativePath(target);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            return false;
        throwWriteErrno(errno);
    }
    FdGuard guard(fd);
    try {
        source.rewind();
        copyContent(source, fd, between);
        // Flushed before it counts as written: a stick pulled later must not
        // turn a reported copy into a short one, and some file systems only
        // report a failed write here.
        if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
            throwWriteErrno(errno);
        if (guard.close() != 0)
            throwWriteErrno(errno);
    } catch (...) {
        const int saved = errno;
        guard.close();
        ::unlink(native.constData());
        errno = saved;
        throw;
    }
    return true;
}

Publication publicationFor(const QString& folder)
{
    StagedCopy probe = StagedCopy::fromBytes(QByteArray(), folder);
    const QString name = folder + QStringLiteral("/.quenby-probe-") +
                         QString::number(QRandomGenerator::global()->generate64(), 36);
    try {
        if (probe.publishAs(name))
            ::unlink(nativePath(name).constData());
        return Publication::Staged;
    } catch (const Failure& failure) {
        switch (failure.code()) {
        case EPERM:
        case EOPNOTSUPP:
        case ENOSYS:
        case EINVAL:
        case EXDEV:
        case EMLINK:
            return Publication::Direct; // no exclusive publication here
        default:
            throw;
        }
    }
}

QStringList entryNames(const QString& folder)
{
    DIR* dir = ::opendir(nativePath(folder).constData());
    if (!dir)
        throwErrno(errno);
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        names.append(pathFromNative(QByteArrayView(name)));
    }
    const int err = errno;
    ::closedir(dir);
    if (err != 0)
        throwErrno(err);
    return names;
}

namespace {

// The name with every letter's case turned over; the same text when it has no
// letter that changes.
QByteArray swappedCase(const QByteArray& name)
{
    QByteArray swapped = name;
    for (char& c : swapped) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return swapped;
}

} // namespace

bool ignoresLetterCase(const QString& folder)
{
    const QByteArray prefix = nativePath(folder) + '/';
    QStringList names;
    try {
        names = entryNames(folder);
    } catch (const Failure&) {
        return false;
    }
    QSet<QByteArray> listed;
    for (const QString& name : std::as_const(names))
        listed.insert(nativePath(name));
    struct stat st;
    for (const QByteArray& name : std::as_const(listed)) {
        const QByteArray other = swappedCase(name);
        if (other == name || listed.contains(other))
            continue;
        // A name the folder does not hold, found all the same.
        return ::stat((prefix + other).constData(), &st) == 0;
    }
    // No name to tell by: ask with one of our own.
    const QByteArray probe =
        prefix + ".quenby-case-" +
        QByteArray::number(QRandomGenerator::global()->generate64(), 36).toLower();
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    ::close(fd);
    const QByteArray upper = prefix + swappedCase(probe.mid(prefix.size()));
    const bool folds = ::stat(upper.constData(), &st) == 0;
    ::unlink(probe.constData());
    return folds;
}

} // namespace FileSystem
