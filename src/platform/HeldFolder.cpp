#include "platform/HeldFolder.h"

#include "platform/BytePaths.h"

#include <fcntl.h>
#include <unistd.h>

namespace FileSystem {

namespace {

struct Held
{
    QString folder;
    int fd = -1;

    ~Held()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

thread_local Held t_held;

} // namespace

PathAt locate(const QString& path)
{
    const Held& held = t_held;
    const qsizetype folderSize = held.folder.size();
    // Only a file of the folder itself: a path further down, or the folder's own
    // path, is reached whole.
    if (held.fd >= 0 && path.size() > folderSize && path.startsWith(held.folder) &&
        path.indexOf(u'/', folderSize) < 0)
        return {held.fd, nativePath(QStringView(path).sliced(folderSize).toString())};
    return {AT_FDCWD, nativePath(path)};
}

void holdFolder(const QString& folder, int fd)
{
    Held& held = t_held;
    if (held.fd >= 0)
        ::close(held.fd);
    held.fd = folder.endsWith(u'/') ? fd : -1;
    if (held.fd < 0 && fd >= 0)
        ::close(fd);
    held.folder = held.fd >= 0 ? folder : QString();
}

int statPath(const QString& path, struct stat* info)
{
    const PathAt at = locate(path);
    return ::fstatat(at.dirFd, at.name.constData(), info, 0);
}

int openPath(const QString& path, int flags)
{
    const PathAt at = locate(path);
    return ::openat(at.dirFd, at.name.constData(), flags);
}

} // namespace FileSystem
