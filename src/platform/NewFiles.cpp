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

QByteArray randomSuffix()
{
    return QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

} // namespace

ResultsFolder ResultsFolder::open(const QString& path)
{
    ResultsFolder folder;
    folder.m_path = path;
    // A path descriptor: it needs no read permission, and serves every *at() call.
    folder.m_fd = ::open(nativePath(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder.m_fd < 0)
        throwWriteErrno(errno);
    struct stat st;
    if (::fstat(folder.m_fd, &st) != 0)
        throwErrno(errno, Failure::Kind::TargetWrite);
    folder.m_device = st.st_dev;
    folder.m_inode = st.st_ino;
    return folder;
}

ResultsFolder::ResultsFolder(ResultsFolder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)),
      m_device(other.m_device), m_inode(other.m_inode)
{
}

ResultsFolder& ResultsFolder::operator=(ResultsFolder&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_device = other.m_device;
        m_inode = other.m_inode;
    }
    return *this;
}

ResultsFolder::~ResultsFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void ResultsFolder::requireStillAtPath() const
{
    struct stat st;
    if (::stat(nativePath(m_path).constData(), &st) != 0)
        throwErrno(errno, Failure::Kind::ResultsFolderGone);
    if (st.st_dev != m_device || st.st_ino != m_inode)
        throw Failure(QStringLiteral("Its path now leads to another folder"), ESTALE,
                      Failure::Kind::ResultsFolderGone);
}

void StagedCopy::setNamedTemporariesOnly(bool namedOnly)
{
    namedTemporariesOnly.store(namedOnly);
}

// Opens a new, empty file in the folder `dirFd`: unnamed where possible, else
// under a hidden name of its own.
StagedCopy StagedCopy::create(int dirFd)
{
    ignoreFileSizeSignal();
    StagedCopy copy;
    copy.m_dirFd = dirFd;
    if (canLinkUnnamedFiles()) {
        copy.m_fd = ::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (copy.m_fd >= 0)
            return copy;
        // Not supported by this kernel or file system: fall back to a name.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            throwWriteErrno(errno);
    }
    for (int attempt = 0;; ++attempt) {
        const QByteArray name = ".quenby-" + randomSuffix() + ".part";
        copy.m_fd =
            ::openat(dirFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (copy.m_fd >= 0) {
            copy.m_temporary = QString::fromLatin1(name);
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
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        throwWriteErrno(errno);
    m_written = stampFrom(st);
    if (m_temporary.isEmpty())
        return;
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0)
        throwWriteErrno(errno);
}

StagedCopy StagedCopy::fromFile(const QString& sourcePath, const QString& folder)
{
    SourceFile source = SourceFile::open(sourcePath);
    ResultsFolder opened = ResultsFolder::open(folder);
    StagedCopy copy = fromFile(source, opened);
    copy.m_ownedDirFd = std::exchange(opened.m_fd, -1);
    return copy;
}

StagedCopy StagedCopy::fromFile(SourceFile& source, const ResultsFolder& folder,
                                const BetweenChunks& between)
{
    StagedCopy copy = create(folder.fd()); // vanishes again if what follows throws
    copyContent(source, copy.m_fd, between);
    copy.finishWriting();
    return copy;
}

StagedCopy StagedCopy::fromBytes(const QByteArray& content, const ResultsFolder& folder)
{
    StagedCopy copy = create(folder.fd());
    writeAll(copy.m_fd, content.constData(), content.size());
    copy.finishWriting();
    return copy;
}

StagedCopy StagedCopy::fromBytes(const QByteArray& content, const QString& folder)
{
    ResultsFolder opened = ResultsFolder::open(folder);
    StagedCopy copy = fromBytes(content, opened);
    copy.m_ownedDirFd = std::exchange(opened.m_fd, -1);
    return copy;
}

StagedCopy::StagedCopy(StagedCopy&& other) noexcept
    : m_dirFd(std::exchange(other.m_dirFd, -1)), m_ownedDirFd(std::exchange(other.m_ownedDirFd, -1)),
      m_fd(std::exchange(other.m_fd, -1)), m_temporary(std::exchange(other.m_temporary, QString())),
      m_published(std::exchange(other.m_published, false)), m_written(other.m_written)
{
}

StagedCopy& StagedCopy::operator=(StagedCopy&& other) noexcept
{
    if (this != &other) {
        discard();
        if (m_ownedDirFd >= 0)
            ::close(m_ownedDirFd);
        m_dirFd = std::exchange(other.m_dirFd, -1);
        m_ownedDirFd = std::exchange(other.m_ownedDirFd, -1);
        m_fd = std::exchange(other.m_fd, -1);
        m_temporary = std::exchange(other.m_temporary, QString());
        m_published = std::exchange(other.m_published, false);
        m_written = other.m_written;
    }
    return *this;
}

StagedCopy::~StagedCopy()
{
    discard();
    if (m_ownedDirFd >= 0)
        ::close(m_ownedDirFd);
}

bool StagedCopy::publishAs(const QString& name)
{
    if (m_published || (m_temporary.isEmpty() && m_fd < 0))
        throwWriteErrno(EINVAL);
    const QByteArray to = nativePath(name);

    if (m_temporary.isEmpty()) {
        // Linking never replaces an existing name.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
        if (::linkat(AT_FDCWD, self.constData(), m_dirFd, to.constData(), AT_SYMLINK_FOLLOW) !=
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
    if (::renameat2(m_dirFd, from.constData(), m_dirFd, to.constData(), RENAME_NOREPLACE) == 0) {
        m_published = true;
        m_temporary.clear();
        return true;
    }
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        throwWriteErrno(errno);

    // No RENAME_NOREPLACE here: a hard link is just as exclusive.
    if (::linkat(m_dirFd, from.constData(), m_dirFd, to.constData(), 0) != 0) {
        if (errno == EEXIST)
            return false;
        throwWriteErrno(errno);
    }
    m_published = true;
    ::unlinkat(m_dirFd, from.constData(), 0);
    m_temporary.clear();
    return true;
}

void StagedCopy::discard() noexcept
{
    const int saved = errno;
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if (!m_published && !m_temporary.isEmpty())
        ::unlinkat(m_dirFd, nativePath(m_temporary).constData(), 0);
    m_temporary.clear();
    errno = saved;
}

bool copyToNewFile(SourceFile& source, const ResultsFolder& folder, const QString& name,
                   const BetweenChunks& between, FileStamp* written)
{
    ignoreFileSizeSignal();
    const QByteArray native = nativePath(name);
    const int fd =
        ::openat(folder.fd(), native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
        struct stat st;
        if (written && ::fstat(fd, &st) == 0)
            *written = stampFrom(st);
        if (guard.close() != 0)
            throwWriteErrno(errno);
    } catch (...) {
        const int saved = errno;
        guard.close();
        ::unlinkat(folder.fd(), native.constData(), 0);
        errno = saved;
        throw;
    }
    return true;
}

Publication publicationFor(const ResultsFolder& folder)
{
    StagedCopy probe = StagedCopy::fromBytes(QByteArray(), folder);
    const QString name = QStringLiteral(".quenby-probe-") + QString::fromLatin1(randomSuffix());
    try {
        if (probe.publishAs(name))
            ::unlinkat(folder.fd(), nativePath(name).constData(), 0);
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

Publication publicationFor(const QString& folder)
{
    return publicationFor(ResultsFolder::open(folder));
}

QStringList entryNames(const ResultsFolder& folder)
{
    // A descriptor of its own: closedir() closes the one it reads.
    const int fd = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throwErrno(errno);
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int err = errno;
        ::close(fd);
        throwErrno(err);
    }
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

QStringList entryNames(const QString& folder)
{
    return entryNames(ResultsFolder::open(folder));
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

bool ignoresLetterCase(const ResultsFolder& folder)
{
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
        return ::fstatat(folder.fd(), other.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    }
    // No name to tell by: ask with one of our own, removed at once.
    const QByteArray probe = ".quenby-case-" + randomSuffix().toLower();
    const int fd =
        ::openat(folder.fd(), probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    ::close(fd);
    const bool folds =
        ::fstatat(folder.fd(), swappedCase(probe).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    ::unlinkat(folder.fd(), probe.constData(), 0);
    return folds;
}

bool ignoresLetterCase(const QString& folder)
{
    try {
        return ignoresLetterCase(ResultsFolder::open(folder));
    } catch (const Failure&) {
        return false;
    }
}

} // namespace FileSystem
