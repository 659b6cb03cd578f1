#include "rename/IsFolder.h"

#include "platform/FileSystem.h"

#include <sys/stat.h>

namespace Main {

bool IsFolder(const QString& path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    struct stat info;
    if (::stat(FileSystem::nativePath(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode);
}

} // namespace Main
