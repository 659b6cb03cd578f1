#pragma once

#include <QByteArray>
#include <QString>
#include <sys/stat.h>

// The folder of the file a run is on, held open by the list the file comes from.
// A path inside that folder is reached relative to its descriptor: one lookup
// instead of a walk through every folder above it (a page 1,000 folders down
// costs what a page at the top does), and what stands at the folder's path
// cannot change under the run. Held for the calling thread only; a path
// elsewhere is reached whole, as ever.
namespace FileSystem {

// A path as the *at() system calls take it: `name` relative to `dirFd`, or the
// whole path with AT_FDCWD.
struct PathAt
{
    int dirFd;
    QByteArray name;
};

PathAt locate(const QString& path);

// Holds `fd` (owned from then on) as the folder `folder`, its path ending in
// '/', for this thread, in place of what was held; -1 holds nothing.
void holdFolder(const QString& folder, int fd);

// stat() and open() of a path, through the held folder where the path lies in it.
int statPath(const QString& path, struct stat* info);
int openPath(const QString& path, int flags);

} // namespace FileSystem
