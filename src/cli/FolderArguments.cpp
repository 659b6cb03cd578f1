#include "cli/FolderArguments.h"

#include "filelist/AddFolder.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Trap.h"

#include <QFile>
#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <unordered_map>

namespace {

struct FolderId
{
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId&) const = default;
};

std::optional<FolderId> folderId(const QString& path)
{
    struct stat st;
    if (::stat(FileSystem::nativePath(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return FolderId{st.st_dev, st.st_ino};
}

// Tells whether a folder of the scan lies in the results folder. Folders are
// known by device and inode, so a link or another spelling of the results folder
// is caught too; each folder is judged once, from what the scan learnt of it.
class InsideResults
{
public:
    explicit InsideResults(const QString& resultsFolder) : m_results(folderId(resultsFolder)) {}

    bool operator()(const ListedFolder& folder)
    {
        if (!m_results)
            return false;
        const auto known = m_known.find(&folder);
        if (known != m_known.end())
            return known->second;
        // The scan never goes above its start, so neither does the search.
        const bool inside = FolderId{folder.device(), folder.inode()} == *m_results ||
                            (folder.parent() && (*this)(*folder.parent()));
        m_known.emplace(&folder, inside);
        return inside;
    }

private:
    std::optional<FolderId> m_results;
    // The scan's list keeps every folder alive while it is judged.
    std::unordered_map<const ListedFolder*, bool> m_known;
};

} // namespace

ListedPaths scanFolderArgument(const QString& folder, const QStringList& extensions,
                               const QString& resultsFolder, ErrorReporter& reporter,
                               EventPump& events, const AddFolder::UnreadableFolder& unreadable)
{
    // A folder argument is a dropped folder, or with an extension the folder command's scan.
    const QString pattern =
        extensions.size() == 1 ? QStringLiteral("*.") + extensions.first() : QStringLiteral("*.*");
    Trap trap(reporter, QStringLiteral("in Orlesk2021/08/31.quenby-rename.ScanFolder "));
    ListedPaths found;
    trap(10, [&] {
        found = AddFolder::ListFilesBelow(folder, pattern, events, trap, 20, 30, unreadable);
    });

    InsideResults insideResults(resultsFolder);
    ListedPaths files;
    files.reserve(found.size());
    for (ListedPath& path : found) {
        if (path.folder && insideResults(*path.folder))
            continue;
        if (extensions.size() > 1 &&
            std::none_of(extensions.begin(), extensions.end(), [&](const QString& ext) {
                return AddFolder::MatchesPattern(path.name, QStringLiteral("*.") + ext);
            }))
            continue;
        files.push_back(std::move(path));
    }
    return files;
}

QStringList splitPathList(const QByteArray& listing, bool nulSeparated)
{
    QStringList paths;
    for (const QByteArray& entry : listing.split(nulSeparated ? '\0' : '\n')) {
        if (!entry.isEmpty())
            paths.append(FileSystem::pathFromNative(entry));
    }
    return paths;
}

QStringList makeFolderWithParents(const QString& folder)
{
    const QByteArray native = FileSystem::nativePath(folder);
    struct stat st;
    if (::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return {};
    QStringList made;
    // Every prefix that ends a component, the whole path last.
    for (qsizetype end = 1; end <= native.size(); ++end) {
        if ((end < native.size() && native[end] != '/') || native[end - 1] == '/')
            continue;
        const QByteArray part = native.left(end);
        if (::mkdir(part.constData(), 0777) == 0) {
            made.append(FileSystem::pathFromNative(part));
            continue;
        }
        const int err = errno;
        if (::stat(part.constData(), &st) == 0) {
            if (S_ISDIR(st.st_mode))
                continue;
            throw Failure::fromErrno(ENOTDIR);
        }
        throw Failure::fromErrno(err);
    }
    return made;
}
