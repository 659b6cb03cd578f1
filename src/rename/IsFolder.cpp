#include "rename/IsFolder.h"

#include <QFile>

#include <sys/stat.h>

namespace Main {

bool IsFolder(const QString& path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode);
}

} // namespace Main
