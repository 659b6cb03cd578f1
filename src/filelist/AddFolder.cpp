#include "filelist/AddFolder.h"

#include "platform/EventPump.h"
#include "platform/FileDialogs.h"
#include "platform/FileSystem.h"
#include "platform/Trap.h"
#include "rename/PathRoutines.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace AddFolder {

namespace {

constexpr QChar kSeparator = u'/';

QByteArray nativePath(const QString& path)
{
    if (path.contains(QChar(0)))
        throw Failure(QStringLiteral("Bad file name or number"));
    return FileSystem::nativePath(path);
}

// The root folder, however many separators spell it.
bool isRoot(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    for (QChar c : folder) {
        if (c != kSeparator)
            return false;
    }
    return true;
}

bool sameCharacter(QChar a, QChar b)
{
    return a == b || a.toCaseFolded() == b.toCaseFolded();
}

bool wildcardMatch(QStringView name, QStringView pattern)
{
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || sameCharacter(pattern[p], name[n]))) {
            ++n;
            ++p;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// Closes a directory stream however the listing ends.
struct DirCloser
{
    DIR* dir;
    ~DirCloser()
    {
        if (dir)
            ::closedir(dir);
    }
};

// One entry of a folder listing, with the name it is shown and sorted by.
struct ListedEntry
{
    QString name;
    QByteArray native;
    unsigned char type;
};

// The entries of an open folder but "." and "..", those `keep` accepts, in name
// order without regard to letter case: the order a user's files had where the
// program comes from, and one that does not change from disk to disk as ext4's
// hash order does. Throws Failure when the listing breaks off.
template <typename Keep> std::vector<ListedEntry> sortedEntries(DIR* dir, Keep&& keep)
{
    std::vector<ListedEntry> listed;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                throw Failure::fromErrno(errno);
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        ListedEntry listedEntry{FileSystem::pathFromNative(QByteArrayView(name)), QByteArray(name),
                                entry->d_type};
        if (keep(listedEntry))
            listed.push_back(std::move(listedEntry));
    }
    std::sort(listed.begin(), listed.end(), [](const ListedEntry& a, const ListedEntry& b) {
        return NameOrderLess(a.name, b.name);
    });
    return listed;
}

using FolderKey = std::pair<dev_t, ino_t>;

bool isPathNotFound(int err)
{
    return err == ENOENT || err == ENOTDIR;
}

class FolderScan
{
public:
    FolderScan(ErrorReporter& reporter, EventPump& pump, const UnreadableFolder& unreadable)
        : m_reporter(reporter), m_pump(pump), m_unreadable(unreadable)
    {
    }

    // The folders the caller starts from count as entered already.
    void markStart(const QStringList& folders)
    {
        for (const QString& folder : folders) {
            struct stat info;
            if (!folder.contains(QChar(0)) &&
                ::stat(FileSystem::nativePath(folder).constData(), &info) == 0)
                m_seen.insert({info.st_dev, info.st_ino});
        }
    }

    // The folders below those of `level`, breadth first. Folders of `level`
    // that cannot be read or are gone are taken out of it, so that the caller
    // does not list their files either.
    QStringList below(QStringList& level, bool recurse)
    {
        Trap trap(m_reporter, QString::fromLatin1(kScanLabel));
        QStringList found;
        QStringList unreadable;

        // Collect the subfolders of every folder of the level.
        for (const QString& folder : std::as_const(level)) {
            if (!FileSystem::isDirectory(folder))
                continue;
            if (FileSystem::nativePath(folder).size() >= kMaxPathBytes) {
                if (m_unreadable)
                    m_unreadable(folder, Failure::fromErrno(ENAMETOOLONG));
                continue;
            }
            int attributes = 0;
            trap(10, [&] {
                m_pump.processEvents();
                attributes = FileSystem::attributes(folder);
            });
            if (!acceptable(folder, attributes))
                continue;
            try {
                listSubfolders(folder, found);
            } catch (const Failure& failure) {
                if (m_unreadable)
                    m_unreadable(folder, failure);
                if (failure.code() == EACCES || isPathNotFound(failure.code()))
                    unreadable.append(folder);
            }
        }
        for (const QString& folder : std::as_const(unreadable))
            level.removeOne(folder);

        // Descend first: the next level loses its unreadable folders on the way.
        QStringList deeper;
        if (recurse && !found.isEmpty())
            trap(20, [&] { deeper = below(found, true); });

        // Keep what is still a folder that may be entered. The folders further
        // down were tested by the call that kept them.
        QStringList kept;
        kept.reserve(found.size() + deeper.size());
        for (const QString& folder : std::as_const(found)) {
            if (!FileSystem::isDirectory(folder))
                continue;
            int attributes = 0;
            trap(30, [&] {
                m_pump.processEvents();
                attributes = FileSystem::attributes(folder);
            });
            if (acceptable(folder, attributes))
                kept.append(folder);
        }
        kept += deeper;
        return kept;
    }

private:
    static bool acceptable(const QString& folder, int attributes)
    {
        return isRoot(folder) || (attributes != kRefusedFolderAttributes &&
                                  attributes != kRefusedAliasFolderAttributes);
    }

    // Appends folder + name + '/' for each subfolder not entered before. Throws
    // Failure (with the errno value as its code) when the folder cannot be listed.
    void listSubfolders(const QString& folder, QStringList& found)
    {
        DirCloser dir{::opendir(nativePath(folder).constData())};
        if (!dir.dir)
            throw Failure::fromErrno(errno);
        const int fd = ::dirfd(dir.dir);
        const auto listed = sortedEntries(dir.dir, [](const ListedEntry& entry) {
            return entry.type == DT_DIR || entry.type == DT_LNK || entry.type == DT_UNKNOWN;
        });
        for (const ListedEntry& entry : listed) {
            struct stat info;
            if (::fstatat(fd, entry.native.constData(), &info, 0) != 0 || !S_ISDIR(info.st_mode))
                continue;
            m_pump.processEvents();
            const QString& name = entry.name;
            if (FileSystem::nativePath(name).size() > kMaxNameBytes || HasOddCharacters(name) ||
                name.contains(u'?'))
                continue;
            // A folder met again (through a link) is not entered a second time.
            if (!m_seen.insert({info.st_dev, info.st_ino}).second)
                continue;
            found.append(folder + name + kSeparator);
        }
    }

    ErrorReporter& m_reporter;
    EventPump& m_pump;
    std::set<FolderKey> m_seen;
    const UnreadableFolder& m_unreadable;
};

// Calls visit(dirFd, nativeName, name) for each file of the folder `prefix`
// (ending in '/') that matches the pattern and names a regular file, in listing
// order. A missing folder has no files; one that cannot be read throws Failure.
template <typename Visit>
void forEachPresentFile(const QString& prefix, const QString& pattern, Visit&& visit)
{
    DirCloser dir{::opendir(nativePath(prefix).constData())};
    if (!dir.dir) {
        if (isPathNotFound(errno))
            return;
        throw Failure::fromErrno(errno);
    }
    const int fd = ::dirfd(dir.dir);
    const auto listed = sortedEntries(dir.dir, [&](const ListedEntry& entry) {
        return entry.type != DT_DIR && MatchesPattern(entry.name, pattern);
    });
    for (const ListedEntry& entry : listed) {
        // The listing's own type answers for a plain file; anything else (a
        // link, an unknown type) is looked at through links.
        bool present = entry.type == DT_REG;
        if (!present) {
            struct stat info;
            present =
                ::fstatat(fd, entry.native.constData(), &info, 0) == 0 && S_ISREG(info.st_mode);
        }
        if (present)
            visit(fd, entry.native.constData(), entry.name);
    }
}

} // namespace

QString BrowseForFolder(FileDialogs& dialogs, const QString& prompt, const QString& startFolder)
{
    return dialogs.browseForFolder(prompt, startFolder);
}

void GetSubDirectories2016(QStringList& folders, bool recurse, ErrorReporter& reporter,
                           EventPump& pump, const UnreadableFolder& unreadable)
{
    FolderScan scan(reporter, pump, unreadable);
    scan.markStart(folders);
    folders += scan.below(folders, recurse);
}

QStringList GetFilesInFolder(const QString& folder, const QString& pattern)
{
    QStringList names;
    forEachPresentFile(WithTrailingSeparator(folder), pattern,
                       [&](int, const char*, const QString& name) { names.append(name); });
    return names;
}

bool HasOddCharacters(const QString& name)
{
    for (QChar c : name) {
        const char16_t code = c.unicode();
        if (code < 32 || (code >= 127 && code <= 159) || code == u'?')
            return true;
    }
    return false;
}

bool MatchesPattern(const QString& name, const QString& pattern)
{
    if (wildcardMatch(name, pattern))
        return true;
    // As the platform's listing has it, "*.*" also takes names without a dot.
    if (pattern.endsWith(QLatin1String(".*")) && !name.contains(u'.') &&
        wildcardMatch(name, QStringView(pattern).chopped(2)))
        return true;
    // A three-character extension also matches longer extensions that begin
    // with it, as the short names of the platform's file system made "*.htm"
    // list "page.html": users type "htm" and expect both.
    const qsizetype patternDot = pattern.lastIndexOf(u'.');
    if (patternDot < 0 || pattern.size() - patternDot - 1 != kShortExtension)
        return false;
    const qsizetype nameDot = name.lastIndexOf(u'.');
    if (nameDot < 0 || name.size() - nameDot - 1 <= kShortExtension)
        return false;
    return wildcardMatch(QStringView(name).first(nameDot + 1 + kShortExtension), pattern);
}

bool NameOrderLess(const QString& a, const QString& b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = a[i].toUpper().unicode();
        const char16_t y = b[i].toUpper().unicode();
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    // Names that differ in letter case only (ext4 holds both) in a fixed order.
    return a < b;
}

QString WithTrailingSeparator(const QString& folder)
{
    return folder.endsWith(kSeparator) ? folder : folder + kSeparator;
}

ListedPaths ListFilesBelow(const QString& folder, const QString& pattern, EventPump& pump,
                           Trap& trap, int listLine, int testLine,
                           const UnreadableFolder& unreadable)
{
    // The same folders in the same order as GetSubDirectories2016 followed by
    // a listing of each, but each folder is read once: its subfolders and its
    // files come from one listing, their kinds from the listing where it tells
    // them. No folder here can carry the refused attribute values (the system
    // bit is never set), so folders are not examined for them. Every folder is
    // opened relative to its parent, so that a tree 1,000 folders deep costs
    // what a wide one does.
    const QString startText = WithTrailingSeparator(folder);
    const QString startPath = Paths::NormalizePath(startText);
    std::set<FolderKey> seen;
    struct stat startInfo {};
    if (!startText.contains(QChar(0)) &&
        ::stat(FileSystem::nativePath(startText).constData(), &startInfo) == 0)
        seen.insert({startInfo.st_dev, startInfo.st_ino});
    // The start is opened by the text as given; what is shown is normalized.
    const ListedFolder::Ptr start = ListedFolder::start(startPath, startInfo.st_dev,
                                                        startInfo.st_ino);
    const auto told = [&](const ListedFolder& entry) {
        return startText + entry.path().mid(startPath.size());
    };

    FolderDescriptors folders;
    ListedPaths paths;
    std::vector<ListedFolder::Ptr> level{start};
    while (!level.empty()) {
        std::vector<ListedFolder::Ptr> next;
        for (const ListedFolder::Ptr& entry : level) {
            pump.processEvents();
            // A path this long cannot be opened by its name: not entered, as the
            // scan's own test has it.
            if (entry->pathBytes() >= kMaxPathBytes) {
                if (unreadable)
                    unreadable(told(*entry), Failure::fromErrno(ENAMETOOLONG));
                continue;
            }
            trap(listLine, [&] {
                if (startText.contains(QChar(0)))
                    throw Failure(QStringLiteral("Bad file name or number"));
                // The listing takes a descriptor of its own; the held one stays
                // for the subfolders.
                const int held = folders.open(*entry);
                const int fd = held < 0 ? -1 : ::fcntl(held, F_DUPFD_CLOEXEC, 0);
                const int err = errno;
                DirCloser dir{fd < 0 ? nullptr : ::fdopendir(fd)};
                if (!dir.dir) {
                    const int cause = fd < 0 ? err : errno;
                    if (fd >= 0)
                        ::close(fd);
                    // Unreadable or gone: passed over silently, as the scan does,
                    // unless the caller wants to hear of it.
                    if (cause == EACCES || isPathNotFound(cause)) {
                        if (unreadable)
                            unreadable(told(*entry), Failure::fromErrno(cause));
                        return;
                    }
                    throw Failure::fromErrno(cause);
                }
                const auto listed = sortedEntries(dir.dir, [&](const ListedEntry& e) {
                    return e.type == DT_DIR || e.type == DT_LNK || e.type == DT_UNKNOWN ||
                           MatchesPattern(e.name, pattern);
                });
                for (const ListedEntry& e : listed) {
                    bool isFolder = e.type == DT_DIR;
                    bool isFile = e.type == DT_REG;
                    struct stat info;
                    const bool examined = isFolder || (!isFolder && !isFile);
                    if (examined) {
                        if (::fstatat(fd, e.native.constData(), &info, 0) != 0)
                            continue;
                        isFolder = S_ISDIR(info.st_mode);
                        isFile = S_ISREG(info.st_mode);
                    }
                    const QString& name = e.name;
                    if (isFolder) {
                        pump.processEvents();
                        if (e.native.size() > kMaxNameBytes || HasOddCharacters(name) ||
                            name.contains(u'?'))
                            continue;
                        // A folder met again (through a link) is not entered a second time.
                        if (!seen.insert({info.st_dev, info.st_ino}).second)
                            continue;
                        pump.processEvents(); // the scan's yield for a folder it keeps
                        next.push_back(
                            ListedFolder::below(entry, name, e.native, info.st_dev, info.st_ino));
                        continue;
                    }
                    if (!isFile || name.startsWith(u'~') || !MatchesPattern(name, pattern))
                        continue;
                    // Only a name beginning with "." can be hidden, as kRefusedFileAttributes asks.
                    if (name.startsWith(u'.')) {
                        bool keep = false;
                        trap(testLine, [&] {
                            keep = FileSystem::attributesAt(fd, e.native) != kRefusedFileAttributes;
                        });
                        if (!keep)
                            continue;
                    }
                    paths.push_back({entry, name});
                }
            });
        }
        level.swap(next);
    }
    return paths;
}

QStringList FilesBelow(const QString& folder, const QString& pattern, ErrorReporter& scanReporter,
                       EventPump& pump, Trap& trap, int listLine, int testLine,
                       const UnreadableFolder& unreadable)
{
    (void)scanReporter;
    return pathTexts(ListFilesBelow(folder, pattern, pump, trap, listLine, testLine, unreadable));
}

} // namespace AddFolder
