#include "filelist/ListedPaths.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

ListedFolder::ListedFolder(Ptr parent, QString name, QByteArray native, qsizetype pathBytes,
                           dev_t device, ino_t inode)
    : m_parent(std::move(parent)), m_name(std::move(name)), m_native(std::move(native)),
      m_pathBytes(pathBytes), m_device(device), m_inode(inode)
{
}

ListedFolder::Ptr ListedFolder::start(const QString& path, dev_t device, ino_t inode)
{
    QByteArray native = FileSystem::nativePath(path);
    const qsizetype bytes = native.size();
    return std::make_shared<const ListedFolder>(nullptr, path, std::move(native), bytes, device,
                                                inode);
}

ListedFolder::Ptr ListedFolder::below(Ptr parent, const QString& name, const QByteArray& native,
                                      dev_t device, ino_t inode)
{
    // The name and its separator.
    const qsizetype bytes = parent->pathBytes() + native.size() + 1;
    return std::make_shared<const ListedFolder>(std::move(parent), name, native, bytes, device,
                                                inode);
}

QString ListedFolder::path() const
{
    // Gathered leaf first, written root first, in one allocation.
    std::vector<const ListedFolder*> chain;
    qsizetype size = 0;
    for (const ListedFolder* folder = this; folder; folder = folder->parent()) {
        chain.push_back(folder);
        size += folder->m_name.size() + (folder->parent() ? 1 : 0);
    }
    QString text;
    text.reserve(size);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        text += (*it)->m_name;
        if ((*it)->parent())
            text += u'/';
    }
    return text;
}

QString ListedPath::path() const
{
    return folder ? folder->path() + name : name;
}

QStringList pathTexts(const ListedPaths& listed)
{
    QStringList texts;
    texts.reserve(qsizetype(listed.size()));
    // Files of one folder come together: its path is written once for them.
    const ListedFolder* last = nullptr;
    QString lastPath;
    for (const ListedPath& entry : listed) {
        if (!entry.folder) {
            texts.append(entry.name);
            continue;
        }
        if (entry.folder.get() != last) {
            last = entry.folder.get();
            lastPath = last->path();
        }
        texts.append(lastPath + entry.name);
    }
    return texts;
}

ListedPaths wholePaths(const QStringList& paths)
{
    ListedPaths listed;
    listed.reserve(std::size_t(paths.size()));
    for (const QString& path : paths)
        listed.push_back({nullptr, path});
    return listed;
}

FolderDescriptors::FolderDescriptors(std::size_t capacity) : m_capacity(std::max<std::size_t>(capacity, 2))
{
}

FolderDescriptors::~FolderDescriptors()
{
    clear();
}

void FolderDescriptors::clear()
{
    for (auto& [folder, held] : m_held)
        ::close(held.fd);
    m_held.clear();
}

int FolderDescriptors::open(const ListedFolder& folder)
{
    const auto found = m_held.find(&folder);
    if (found != m_held.end()) {
        found->second.used = ++m_clock;
        return found->second.fd;
    }
    const int fd = openUncached(folder);
    if (fd < 0)
        return -1;
    if (m_held.size() >= m_capacity)
        evictOne();
    m_held.emplace(&folder, Held{fd, folder.shared_from_this(), ++m_clock});
    return fd;
}

int FolderDescriptors::openUncached(const ListedFolder& folder)
{
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;
    if (!folder.parent())
        return ::open(folder.nativeName().constData(), kFlags);
    // Through the parent: one lookup however deep the folder lies.
    const int parent = open(*folder.parent());
    if (parent < 0)
        return -1;
    return ::openat(parent, folder.nativeName().constData(), kFlags);
}

void FolderDescriptors::evictOne()
{
    auto oldest = m_held.begin();
    for (auto it = m_held.begin(); it != m_held.end(); ++it) {
        if (it->second.used < oldest->second.used)
            oldest = it;
    }
    if (oldest == m_held.end())
        return;
    ::close(oldest->second.fd);
    m_held.erase(oldest);
}
