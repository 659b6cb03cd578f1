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
