#include "platform/FileSystem.h"
#include "platform/SystemErrors.h"

#include <fcntl.h>

namespace FileSystem {

using namespace detail;

namespace {

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
    return statPath(path, &st) == 0;
}

bool isRegularFile(const QString& path) noexcept
{
    if (path.isEmpty())
        return false;
    struct stat st;
    return statPath(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const QString& path) noexcept
{
    // A NUL would cut the path short at the system call and ask about another one.
    if (path.isEmpty() || path.contains(QChar(0)))
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
    SourceFile file = SourceFile::open(path);
    const qint64 size = file.stamp().size;
    QByteArray content;
    // One byte more than the size, so that the usual case ends with one read that
    // finds the end instead of a growing buffer.
    qsizetype capacity = size > 0 ? qsizetype(size) + 1 : 64 * 1024;
    content.resize(capacity);
    qsizetype filled = 0;
    for (;;) {
        if (filled == capacity) {
            capacity *= 2;
            content.resize(capacity);
        }
        const qsizetype got = file.read(content.data() + filled, capacity - filled);
        if (got == 0)
            break;
        filled += got;
        // A regular file ends at its size; only files that report no size
        // (or grow while being read) need a read that finds the end.
        if (filled == size)
            break;
    }
    content.resize(filled);
    return content;
}

void requireReadableFile(const QString& path)
{
    Source(path).requireOpenable();
}

} // namespace FileSystem
