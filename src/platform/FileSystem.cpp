#include "FileSystem.h"

#include "Failure.h"

#include <QRandomGenerator>
#include <QSet>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace FileSystem {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscapedByte(char16_t u)
{
    return u >= 0xDC80 && u <= 0xDCFF;
}

// Length of the valid UTF-8 sequence at p (at most n bytes), 0 when there is none.
qsizetype validSequence(const unsigned char* p, qsizetype n, char32_t* codePoint)
{
    const unsigned char b = p[0];
    if (b < 0x80) {
        *codePoint = b;
        return 1;
    }
    qsizetype length;
    char32_t min;
    char32_t cp;
    if (b >= 0xC2 && b <= 0xDF)
        length = 2, min = 0x80, cp = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF)
        length = 3, min = 0x800, cp = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4)
        length = 4, min = 0x10000, cp = b & 0x07;
    else
        return 0;
    if (length > n)
        return 0;
    for (qsizetype k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    *codePoint = cp;
    return length;
}

[[noreturn]] void throwErrno(int err, Failure::Kind kind = Failure::Kind::Other)
{
    throw Failure::fromErrno(err, kind);
}

// Where writing into a folder failed: a folder that has gone is told apart, so
// the rest of the run can be told why.
[[noreturn]] void throwWriteErrno(int err)
{
    throwErrno(err, err == ENOENT || err == ENOTDIR ? Failure::Kind::ResultsFolderGone
                                                    : Failure::Kind::TargetWrite);
}

qint64 nanoseconds(const struct timespec& t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileStamp stampFrom(const struct stat& st)
{
    return {st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

// The kind of a special file, for the report that refuses it.
[[noreturn]] void throwNotRegular(mode_t mode)
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
            throwWriteErrno(errno);
        }
        data += written;
        size -= written;
    }
}

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
    requireReadableFile(path);
    FdGuard fd(::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0)
        throwErrno(errno, Failure::Kind::SourceUnreadable);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        throwErrno(errno, Failure::Kind::SourceUnreadable);
    if (!S_ISREG(st.st_mode))
        throwNotRegular(st.st_mode);

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
            throwErrno(errno, Failure::Kind::SourceUnreadable);
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
        throwErrno(ENOENT, Failure::Kind::SourceUnreadable);
    struct stat st;
    if (::stat(nativePath(path).constData(), &st) != 0)
        throwErrno(errno, Failure::Kind::SourceUnreadable);
    if (!S_ISREG(st.st_mode))
        throwNotRegular(st.st_mode);
}

void refuseSpecialFile(const QString& path)
{
    struct stat st;
    if (path.isEmpty() || ::stat(nativePath(path).constData(), &st) != 0)
        return;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throwNotRegular(st.st_mode);
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

QByteArray nativePath(const QString& path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = path.at(i).unicode();
        if (u < 0x80) {
            bytes.append(char(u));
            continue;
        }
        if (isEscapedByte(u)) {
            bytes.append(char(u - kEscapeBase));
            continue;
        }
        char32_t cp = u;
        if (QChar::isHighSurrogate(u) && i + 1 < n && path.at(i + 1).isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(u, path.at(i + 1).unicode());
            ++i;
        } else if (QChar::isSurrogate(u)) {
            cp = 0xFFFD; // no name holds it; it cannot come from a disk
        }
        if (cp < 0x800) {
            bytes.append(char(0xC0 | (cp >> 6)));
        } else if (cp < 0x10000) {
            bytes.append(char(0xE0 | (cp >> 12)));
            bytes.append(char(0x80 | ((cp >> 6) & 0x3F)));
        } else {
            bytes.append(char(0xF0 | (cp >> 18)));
            bytes.append(char(0x80 | ((cp >> 12) & 0x3F)));
            bytes.append(char(0x80 | ((cp >> 6) & 0x3F)));
        }
        bytes.append(char(0x80 | (cp & 0x3F)));
    }
    return bytes;
}

QString pathFromNative(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    QString path;
    path.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        char32_t cp;
        const qsizetype length = validSequence(p + i, n - i, &cp);
        if (length == 0) {
            path.append(QChar(char16_t(kEscapeBase + p[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            path.append(QChar(QChar::highSurrogate(cp)));
            path.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            path.append(QChar(char16_t(cp)));
        }
        i += length;
    }
    return path;
}

QString displayPath(const QString& path)
{
    QString shown = path;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const char16_t u = shown.at(i).unicode();
        const bool paired = QChar::isLowSurrogate(u) && i > 0 && shown.at(i - 1).isHighSurrogate();
        if (isEscapedByte(u) && !paired)
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

QString recoverPath(const QString& lossyPath)
{
    if (!lossyPath.contains(QChar::ReplacementCharacter))
        return lossyPath;
    const QStringList parts = lossyPath.split(u'/');
    QString path = parts.first();
    for (qsizetype k = 1; k < parts.size(); ++k) {
        const QString& part = parts.at(k);
        QString chosen = part;
        if (part.contains(QChar::ReplacementCharacter)) {
            const QByteArray folder = nativePath(path.isEmpty() ? QStringLiteral("/") : path);
            if (DIR* dir = ::opendir(folder.constData())) {
                int matches = 0;
                while (const dirent* entry = ::readdir(dir)) {
                    const QByteArrayView name(entry->d_name);
                    if (QString::fromUtf8(name) == part && ++matches == 1)
                        chosen = pathFromNative(name);
                }
                ::closedir(dir);
                if (matches != 1)
                    chosen = part;
            }
        }
        path += u'/' + chosen;
    }
    return path;
}

void appendJsonString(QByteArray& out, QStringView text)
{
    static const char hex[] = "0123456789abcdef";
    auto escaped = [&](char16_t c) {
        const char code[] = {
            '\\', 'u', hex[(c >> 12) & 15], hex[(c >> 8) & 15], hex[(c >> 4) & 15], hex[c & 15]};
        out.append(code, sizeof code);
    };
    out.append('"');
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            switch (c) {
            case u'"':
                out.append("\\\"", 2);
                break;
            case u'\\':
                out.append("\\\\", 2);
                break;
            case u'\b':
                out.append("\\b", 2);
                break;
            case u'\f':
                out.append("\\f", 2);
                break;
            case u'\n':
                out.append("\\n", 2);
                break;
            case u'\r':
                out.append("\\r", 2);
                break;
            case u'\t':
                out.append("\\t", 2);
                break;
            default:
                if (c < 0x20)
                    escaped(c);
                else
                    out.append(char(c));
            }
        } else if (c < 0x800) {
            out.append(char(0xC0 | (c >> 6)));
            out.append(char(0x80 | (c & 0x3F)));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            const char32_t u = QChar::surrogateToUcs4(c, text[i + 1].unicode());
            ++i;
            out.append(char(0xF0 | (u >> 18)));
            out.append(char(0x80 | ((u >> 12) & 0x3F)));
            out.append(char(0x80 | ((u >> 6) & 0x3F)));
            out.append(char(0x80 | (u & 0x3F)));
        } else if (QChar::isSurrogate(c)) {
            escaped(c);
        } else {
            out.append(char(0xE0 | (c >> 12)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        }
    }
    out.append('"');
}

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
    file.m_fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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
                      ::stat(nativePath(m_path).constData(), &named) == 0 &&
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
