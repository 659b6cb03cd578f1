#pragma once

#include "filelist/AddFolder.h"

#include <QString>
#include <QStringList>

class ErrorReporter;
class EventPump;

// The files a folder argument stands for: every file below it as a dropped folder
// gives them, or, with extensions, as the folder command lists them (a file
// matching any of them). The results folder and everything below it are left
// out, so that a run never renames its own output. Each file is kept as its
// folder and its own name.
ListedPaths scanFolderArgument(const QString& folder, const QStringList& extensions,
                               const QString& resultsFolder, ErrorReporter& reporter,
                               EventPump& events,
                               const AddFolder::UnreadableFolder& unreadable = {});

// The paths listed in `listing`: one a line, or NUL-separated. Empty entries
// are dropped; the bytes are the system's, as names on the command line are.
QStringList splitPathList(const QByteArray& listing, bool nulSeparated);

// Makes `folder` with every missing parent, as `mkdir -p` does, and answers the
// folders it made, outermost first. Throws a Failure with the system's reason
// when a part cannot be made or is not a folder.
QStringList makeFolderWithParents(const QString& folder);
