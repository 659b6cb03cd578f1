#include "shell/Samples.h"

#include "filelist/AddFolder.h"
#include "filelist/FileList.h"
#include "platform/Boxes.h"
#include "platform/DesktopShell.h"
#include "platform/FileSystem.h"
#include "platform/KeyValueStore.h"
#include "platform/Trap.h"
#include "rename/PathRoutines.h"

namespace {

const QString kSnapshotKey = QStringLiteral("Snapshot");
constexpr QChar kPathSeparator = u'|';

} // namespace

Samples::Samples(KeyValueStore& store, FileList& list, Boxes& boxes, DesktopShell& shell,
                 QString programFolder)
    : m_store(store), m_list(list), m_boxes(boxes), m_shell(shell),
      m_programFolder(std::move(programFolder))
{
}

QString Samples::folder() const
{
    return m_programFolder + QStringLiteral("/Samples");
}

void Samples::record()
{
    const QStringList names = AddFolder::GetFilesInFolder(folder(), QStringLiteral("*.*"));
    QString snapshot;
    for (const QString& name : names)
        snapshot += folder() + u'/' + name + kPathSeparator;
    snapshot.chop(snapshot.isEmpty() ? 0 : 1);
    m_store.save(kSnapshotKey, snapshot);
}

void Samples::load()
{
    const QString snapshot = m_store.read(kSnapshotKey, QString());
    const QStringList paths = snapshot.isEmpty() ? QStringList() : snapshot.split(kPathSeparator);
    for (const QString& path : paths) {
        if (FileSystem::exists(path) && !Paths::IsInFileList(m_list, path))
            m_list.AddFile(path);
    }
    if (m_boxes.message(QString::fromLatin1(kOpenSamplesQuestion), {}, BoxIcon::None,
                        BoxButtons::YesNo) == BoxAnswer::Yes)
        m_shell.openFolder(folder() + u'/');
}

void Samples::PushButton6_Click(ErrorReporter& reporter)
{
    Trap trap(reporter, QString::fromLatin1(kSamplesLabel));
    trap(10, [&] { load(); });
}
