#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <cstdint>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

// Paths as the folder scan meets them: each file a shared folder and its own
// name, each folder its parent and its own name. A file 1,000 folders down then
// costs its name, not its whole path, and the full path is built only where it
// is shown or handed out.
class ListedFolder : public std::enable_shared_from_this<ListedFolder>
{
public:
    using Ptr = std::shared_ptr<const ListedFolder>;

    // The folder a scan starts from, as its path (normalized, ending in '/').
    static Ptr start(const QString& path, dev_t device, ino_t inode);
    // A folder inside `parent`, with its name as listed.
    static Ptr below(Ptr parent, const QString& name, const QByteArray& native, dev_t device,
                     ino_t inode);

    // The full path, ending in '/'.
    QString path() const;
    // The bytes of that path as the system takes it.
    qsizetype pathBytes() const { return m_pathBytes; }
    // The start folder's whole path, any other folder's own name.
    const QString& name() const { return m_name; }
    const QByteArray& nativeName() const { return m_native; }
    const ListedFolder* parent() const { return m_parent.get(); }
    dev_t device() const { return m_device; }
    ino_t inode() const { return m_inode; }

    ListedFolder(Ptr parent, QString name, QByteArray native, qsizetype pathBytes, dev_t device,
                 ino_t inode);

private:
    Ptr m_parent;
    QString m_name;
    QByteArray m_native;
    qsizetype m_pathBytes;
    dev_t m_device;
    ino_t m_inode;
};

// One listed file: its folder and its own name, or, without a folder, a path
// kept whole as it was given.
struct ListedPath
{
    ListedFolder::Ptr folder;
    QString name;

    QString path() const;
};

using ListedPaths = std::vector<ListedPath>;

// The paths written out, for callers that want text.
QStringList pathTexts(const ListedPaths& listed);
// Paths given whole (typed, dropped, read from a list), each kept as it is.
ListedPaths wholePaths(const QStringList& paths);

// Descriptors of listed folders, opened relative to their parent's where that
// is held, so that reaching a folder deep down is one lookup rather than a walk
// of its whole path. At most `capacity` stay open; the least recently used is
// closed first. Not shared between threads.
class FolderDescriptors
{
public:
    explicit FolderDescriptors(std::size_t capacity = 64);
    ~FolderDescriptors();
    FolderDescriptors(const FolderDescriptors&) = delete;
    FolderDescriptors& operator=(const FolderDescriptors&) = delete;

    // A descriptor of `folder` (O_DIRECTORY, readable), owned by this cache and
    // valid until the next call; -1 with errno set when it cannot be opened.
    int open(const ListedFolder& folder);
    void clear();

private:
    struct Held
    {
        int fd;
        ListedFolder::Ptr keep; // so that no other folder takes the address
        std::uint64_t used;
    };
    int openUncached(const ListedFolder& folder);
    void evictOne();

    std::size_t m_capacity;
    std::uint64_t m_clock = 0;
    std::unordered_map<const ListedFolder*, Held> m_held;
};
