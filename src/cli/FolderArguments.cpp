#include "FolderArguments.h"

#include "filelist/AddFolder.h"
#include "platform/Trap.h"

QStringList scanFolderArgument(const QString& folder, const std::optional<QString>& extension,
                               ErrorReporter& reporter, EventPump& events)
{
    // A folder argument is a dropped folder, or with an extension the folder command's scan.
    const QString pattern = QStringLiteral("*.") + extension.value_or(QStringLiteral("*"));
    Trap trap(reporter, QStringLiteral("in Orlesk2021/08/31.quenby-rename.ScanFolder "));
    QStringList files;
    trap(10,
         [&] { files = AddFolder::FilesBelow(folder, pattern, reporter, events, trap, 20, 30); });
    return files;
}
