#include "filelist/AddingCommands.h"

#include "filelist/AddFolder.h"
#include "filelist/FileList.h"
#include "platform/Boxes.h"
#include "platform/FileDialogs.h"
#include "platform/FileSystem.h"
#include "platform/KeyValueStore.h"
#include "platform/Pointer.h"
#include "platform/Trap.h"
#include "rename/PathRoutines.h"

#include <QMimeData>
#include <QUrl>

namespace {

// Shows the hourglass and puts the normal pointer back however the command ends.
struct BusyPointer
{
    explicit BusyPointer(Pointer& p) : pointer(p) { pointer.setShape(PointerShape::Busy); }
    ~BusyPointer() { pointer.setShape(PointerShape::Default); }
    Pointer& pointer;
};

} // namespace

AddingCommands::AddingCommands(FileList& list, const FileListServices& services)
    : m_list(list), m_services(services)
{
}

void AddingCommands::PushButton1_Click()
{
    Trap trap(m_services.reporter, QString::fromLatin1(kAddFilesLabel));
    QString answer;
    try {
        answer = m_services.dialogs.openFiles(QString::fromLatin1(kAddFilesTitle),
                                              QString::fromLatin1(kAddFilesFilter));
    } catch (const Failure& failure) {
        if (failure.code() == FileDialogs::kBufferTooSmall) {
            m_services.boxes.message(QString::fromLatin1(kTooManyFiles));
            return;
        }
        m_services.reporter.reportError(trap.label(), 60, failure.description());
    }
    if (answer.isEmpty())
        return;

    const QStringList parts = answer.split(QChar(0));
    if (parts.size() == 1) {
        m_list.AddFile(parts.first());
        return;
    }
    const QString& folder = parts.first();
    for (qsizetype i = 1; i < parts.size(); ++i)
        trap(100, [&] { m_list.AddFile(Paths::NormalizePath(Paths::JoinPath(folder, parts[i]))); });
}

void AddingCommands::PushButton4_Click()
{
    Trap trap(m_services.reporter, QString::fromLatin1(kResultsFolderLabel));
    trap(10, [&] { m_lastFolderDot = m_services.store.read(QStringLiteral("LastFolderDot"), {}); });
    QString chosen;
    trap(20, [&] {
        chosen = AddFolder::BrowseForFolder(
            m_services.dialogs, QString::fromLatin1(kSelectFolderPrompt), m_lastFolderDot);
    });
    if (chosen.isEmpty())
        return;
    m_lastFolderDot = chosen;
    trap(30, [&] { m_services.store.save(QStringLiteral("LastFolderDot"), chosen); });
    trap(40, [&] {
        if (m_resultsFolderSink)
            m_resultsFolderSink(AddFolder::WithTrailingSeparator(chosen));
    });
}

void AddingCommands::PushButton5_Click()
{
    Trap trap(m_services.reporter, QString::fromLatin1(kAddFolderLabel));

    QString extension;
    trap(10, [&] {
        const QString stored =
            m_services.store.read(QStringLiteral("Extension"), QStringLiteral("htm"));
        extension = m_services.boxes.input(QString::fromLatin1(kExtensionPrompt), {}, stored);
    });
    if (extension.isEmpty())
        return;
    trap(20, [&] { m_services.store.save(QStringLiteral("Extension"), extension); });

    QString chosen;
    trap(30, [&] { m_lastFolder = m_services.store.read(QStringLiteral("LastFolder"), {}); });
    trap(35, [&] {
        chosen = AddFolder::BrowseForFolder(m_services.dialogs,
                                            QString::fromLatin1(kSelectFolderPrompt), m_lastFolder);
    });
    if (chosen.isEmpty())
        return;
    m_lastFolder = chosen;
    trap(40, [&] { m_services.store.save(QStringLiteral("LastFolder"), chosen); });

    BusyPointer busy(m_services.pointer);
    ListedPaths paths;
    trap(50, [&] {
        paths = AddFolder::ListFilesBelow(chosen, QStringLiteral("*.") + extension,
                                          m_services.pump, trap, 60, 70);
    });
    // The adding itself does not yield, so one bulk insertion is the same list.
    m_list.addListed(std::move(paths));
}

bool AddingCommands::acceptsDrop(const QMimeData* data)
{
    return !droppedPaths(data).isEmpty();
}

QStringList AddingCommands::droppedPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasFormat(QStringLiteral("text/uri-list")))
        return paths;
    for (const QUrl& url : data->urls()) {
        // Decoded from the URL's own bytes, so that a name that is not UTF-8
        // names the same file.
        if (url.isLocalFile())
            paths.append(FileSystem::pathFromNative(
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())));
    }
    return paths;
}

void AddingCommands::dropPaths(const QStringList& paths)
{
    Trap trap(m_services.reporter, QString::fromLatin1(kDropLabel));
    for (const QString& path : paths) {
        if (FileSystem::isDirectory(path)) {
            ListedPaths files;
            trap(10, [&] {
                files = AddFolder::ListFilesBelow(path, QStringLiteral("*.*"), m_services.pump,
                                                  trap, 20, 30);
            });
            m_list.addListed(std::move(files));
        } else {
            m_list.AddFile(path);
        }
    }
}
