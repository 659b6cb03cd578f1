#include "app/OpenArguments.h"

#include "platform/FileSystem.h"

#include <climits>
#include <unistd.h>

QStringList openArguments(const QList<QByteArray>& arguments, const QString& currentFolder)
{
    QStringList paths;
    for (const QByteArray& argument : arguments) {
        if (argument.isEmpty())
            continue;
        QString path = FileSystem::pathFromNative(argument);
        if (!path.startsWith(QLatin1Char('/'))) {
            // "./" only says "here"; ".." is kept, as a link in the way may
            // lead it elsewhere than the folder above.
            while (path.startsWith(QLatin1String("./")))
                path.remove(0, 2);
            if (path == QLatin1String("."))
                path.clear();
            QString folder = currentFolder;
            if (!folder.endsWith(QLatin1Char('/')))
                folder += QLatin1Char('/');
            path = path.isEmpty() ? currentFolder : folder + path;
        }
        paths.append(path);
    }
    return paths;
}

QString currentFolder()
{
    QByteArray buffer(PATH_MAX + 1, '\0');
    if (!::getcwd(buffer.data(), buffer.size()))
        return QStringLiteral("/");
    return FileSystem::pathFromNative(buffer.constData());
}
