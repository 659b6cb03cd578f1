// Quenby: renames many HTML files at once, by their words or their metadata.

#include "app/OpenArguments.h"
#include "app/SingleInstance.h"
#include "shell/Form1.h"
#include "shell/SettingsStore.h"

#include <QApplication>

namespace {

void nameTheApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tessaly"));
    QCoreApplication::setApplicationName(QString::fromLatin1(kProductName));
    // Ties the window to its menu entry, for the desktop's task bar and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("quenby"));
}

// What remains once Qt has taken its own options are the files to open, in
// the system's bytes.
QStringList filesToOpen(int argc, char** argv)
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    return openArguments(arguments, currentFolder());
}

// A window that runs already takes the files: true. Otherwise `server` listens
// for later starts. Two starting at once: the one that lost the socket hands over.
bool handedToRunningWindow(InstanceServer& server, const QStringList& paths)
{
    const QString socket = SingleInstance::socketName();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (SingleInstance::handOver(socket, paths))
            return true;
        if (server.listen(socket))
            break;
    }
    return false;
}

// The files of a later start join the list, and the window comes to the front.
void openLaterFilesIn(Form1& form, InstanceServer& server)
{
    QObject::connect(&server, &InstanceServer::filesOpened, &form,
                     [&form](const QStringList& more) {
                         form.openFiles(more);
                         form.bringToFront();
                     });
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    nameTheApplication();
    const QStringList paths = filesToOpen(argc, argv);

    InstanceServer server;
    if (handedToRunningWindow(server, paths))
        return 0;

    SettingsStore settings;
    Form1Services services;
    services.settings = &settings;
    Form1 form(services);
    form.Form_Load();
    form.show();
    form.openFiles(paths);
    openLaterFilesIn(form, server);
    return app.exec();
}
