#pragma once

#include <QString>

class FileEntries;

// The program's own path routines, shared by the run, the folder scan and the
// command line.
namespace Paths {

// Reduces the doubled separators that joining a folder ending in '/' with a name
// leaves behind: a run of k separators becomes ceil(k/2), except a leading run
// of two or more, which becomes exactly two (a network path keeps its "//"). A
// single leading separator, the start of every absolute path, stays single.
QString NormalizePath(const QString& path);

// True when some entry of the list holds exactly this text (letter case counts).
bool IsInFileList(const FileEntries& list, const QString& path);

// Folder, one separator, name; a folder that already ends in the separator (the
// root "/") gets no second one, since a doubled separator at the very start
// would read as a network path.
QString JoinPath(const QString& folder, const QString& name);

} // namespace Paths
