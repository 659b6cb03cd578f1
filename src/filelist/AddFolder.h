#pragma once

#include "filelist/ListedPaths.h"
#include "platform/FileKinds.h"

#include <QString>
#include <QStringList>
#include <functional>

class Failure;

class ErrorReporter;
class EventPump;
class FileDialogs;
class Trap;

// The folder picker, the folder scan and the file listing behind the folder
// command, dropped folders, the sample files and the command line.
namespace AddFolder {

inline constexpr char kScanLabel[] = "in Vantry2021/08/31.AddFolder.GetSubDirectories2016 ";

// The exact attribute values refused; a value with any other bit set passes.
// Folders the scan refuses to enter or keep: hidden + system + directory, also
// with alias (System is never set here, so no folder meets them). Files the
// adding commands refuse: hidden + archive, a hidden regular file its owner may
// write.
inline constexpr int kRefusedFolderAttributes =
    FileSystem::Hidden | FileSystem::System | FileSystem::Directory;
inline constexpr int kRefusedAliasFolderAttributes = kRefusedFolderAttributes | FileSystem::Alias;
inline constexpr int kRefusedFileAttributes = FileSystem::Hidden | FileSystem::Archive;
static_assert(kRefusedFolderAttributes == 22 && kRefusedAliasFolderAttributes == 1046 &&
              kRefusedFileAttributes == 34);

// The platform's own limits: a folder path the scan enters holds fewer bytes than
// PATH_MAX (the terminating NUL counts), a name at most NAME_MAX bytes.
inline constexpr int kMaxPathBytes = 4096;
inline constexpr int kMaxNameBytes = 255;

// The folder browser, with `startFolder` preselected; the empty text on cancel.
QString BrowseForFolder(FileDialogs& dialogs, const QString& prompt, const QString& startFolder);

// Appends to `folders` (each ending in '/') every folder below them, breadth
// first, the subfolders of one folder in name order. Yields to `pump` once per folder and once per
// subfolder name. A folder whose subfolders cannot be listed is passed over silently and, when it
// is unreadable or gone, taken out of `folders`; other failures are reported with kScanLabel. No
// folder is entered twice (device and inode), so link loops end.
//
// `unreadable`, when given, hears of every folder passed over that way (and of
// one whose path is too long to enter), so that the command line can name it;
// the window keeps the silence.
using UnreadableFolder = std::function<void(const QString& folder, const Failure& failure)>;
void GetSubDirectories2016(QStringList& folders, bool recurse, ErrorReporter& reporter,
                           EventPump& pump, const UnreadableFolder& unreadable = {});

// The names of the files of `folder` matching the wildcard `pattern` (see
// MatchesPattern), hidden files included, folders left out, in name order (see
// NameOrderLess). A missing folder has no files; a folder that cannot be read
// throws Failure.
QStringList GetFilesInFolder(const QString& folder, const QString& pattern);

// True when the name holds a control character (U+0000 to U+001F, U+007F to
// U+009F) or a question mark.
bool HasOddCharacters(const QString& name);

// Wildcard match, '*' and '?', letter case ignored. A trailing ".*" also matches
// a name without a dot, and a pattern whose extension has exactly three
// characters also matches longer extensions that begin with them ("*.htm"
// takes "page.html", "*.txt" takes "notes.txta").
bool MatchesPattern(const QString& name, const QString& pattern);
inline constexpr qsizetype kShortExtension = 3;

// The order of the folder listing: names compared character by character
// without regard to letter case, a shorter name before a longer one it begins.
bool NameOrderLess(const QString& a, const QString& b);

// `folder` with exactly one trailing separator added unless it has one already.
QString WithTrailingSeparator(const QString& folder);

// What every folder command adds: the files of `folder` and of every folder below
// it, breadth first, matching `pattern`, except names beginning with "~" and files
// whose attribute value is exactly kRefusedFileAttributes, each path normalized. A failure while
// listing one folder's files or testing one file is reported through `trap` with
// `listLine` or `testLine`, and the rest is still collected.
QStringList FilesBelow(const QString& folder, const QString& pattern, ErrorReporter& scanReporter,
                       EventPump& pump, Trap& trap, int listLine, int testLine,
                       const UnreadableFolder& unreadable = {});

// The same files, each kept as its folder and its own name: what the lists hold.
ListedPaths ListFilesBelow(const QString& folder, const QString& pattern, EventPump& pump,
                           Trap& trap, int listLine, int testLine,
                           const UnreadableFolder& unreadable = {});

} // namespace AddFolder
