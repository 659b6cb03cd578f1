#include "cli/FolderGone.h"

#include "platform/FileSystem.h"

#include <cerrno>

bool resultsFolderGone(const Failure& failure, const QString& resultsFolder)
{
    if (failure.kind() == Failure::Kind::ResultsFolderGone)
        return true;
    const bool mayBeTheFolder =
        failure.kind() == Failure::Kind::TargetWrite || failure.kind() == Failure::Kind::Other;
    return mayBeTheFolder && failure.code() == ENOENT && !FileSystem::isDirectory(resultsFolder);
}

bool resultsFolderRefuses(const Failure& failure)
{
    if (failure.kind() != Failure::Kind::TargetWrite)
        return false;
    switch (failure.code()) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOSPC:
    case EDQUOT:
        return true;
    default:
        return false;
    }
}
