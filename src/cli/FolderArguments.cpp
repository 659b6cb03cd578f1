#include "FolderArguments.h"

#include "filelist/AddFolder.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Trap.h"

#include <QFile>
#include <QHash>
#include <cerrno>
#include <optional>
#include <sys/stat.h>

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
// is caught too; each folder is looked at once.
class InsideResults
{
public:
    InsideResults(const QString& scanRoot, const QString& resultsFolder)
        : m_root(scanRoot), m_results(folderId(resultsFolder))
    {
    }

    bool operator()(const QString& folder)
    {
        if (!m_results)
            return false;
        const auto known = m_known.constFind(folder);
        if (known != m_known.constEnd())
            return *known;
        bool inside = folderId(folder) == m_results;
        if (!inside) {
            // The scan never goes above its root, so neither does the search.
            const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
            if (folder.size() > m_root.size() && slash > 0)
                inside = (*this)(folder.left(slash));
        }
        m_known.insert(folder, inside);
        return inside;
    }

private:
    QString m_root;
    std::optional<FolderId> m_results;
    QHash<QString, bool> m_known;
};

} // namespace

QStringList scanFolderArgument(const QString& folder, const QStringList& extensions,
                               const QString& resultsFolder, ErrorReporter& reporter,
                               EventPump& events, const AddFolder::UnreadableFolder& unreadable)
{
    // A folder argument is a dropped folder, or with an extension the folder command's scan.
    const QString pattern =
        extensions.size() == 1 ? QStringLiteral("*.") + extensions.first() : QStringLiteral("*.*");
    Trap trap(reporter, QStringLiteral("in Orlesk2021/08/31.quenby-rename.ScanFolder "));
    QStringList found;
    trap(10, [&] {
        found = AddFolder::FilesBelow(folder, pattern, reporter, events, trap, 20, 30, unreadable);
    });

    InsideResults insideResults(folder, resultsFolder);
    QStringList files;
    files.reserve(found.size());
    // The scan gives the files folder by folder: each folder is judged once.
    QString lastFolder;
    bool lastInside = false;
    for (const QString& path : std::as_const(found)) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        const QStringView folderPart = QStringView(path).first(std::max<qsizetype>(slash, 1));
        if (lastFolder.isNull() || folderPart != lastFolder) {
            lastFolder = folderPart.toString();
            lastInside = insideResults(lastFolder);
        }
        if (lastInside)
            continue;
        if (extensions.size() > 1) {
            const QString name = path.mid(slash + 1);
            if (std::none_of(extensions.begin(), extensions.end(), [&](const QString& ext) {
                    return AddFolder::MatchesPattern(name, QStringLiteral("*.") + ext);
                }))
                continue;
        }
        files.append(path);
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
