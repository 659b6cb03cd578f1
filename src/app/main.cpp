// Quenby: renames many HTML files at once, by their words or their metadata.

#include "app/OpenArguments.h"
#include "app/SingleInstance.h"
#include "shell/Form1.h"
#include "shell/SettingsStore.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessaly"));
    QCoreApplication::setApplicationName(QString::fromLatin1(kProductName));
    // Ties the window to its menu entry, for the desktop's task bar and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("quenby"));

    // What remains once Qt has taken its own options are the files to open, in
    // the system's bytes.
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    const QStringList paths = openArguments(arguments, currentFolder());

    // A window that runs already takes the files; otherwise this one listens for
    // later starts. Two starting at once: the one that lost the socket hands over.
    const QString socket = SingleInstance::socketName();
    InstanceServer server;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (SingleInstance::handOver(socket, paths))
            return 0;
        if (server.listen(socket))
            break;
    }

    SettingsStore settings;
    Form1Services services;
    services.settings = &settings;

    Form1 form(services);
    form.Form_Load();
    form.show();
    form.openFiles(paths);
    QObject::connect(&server, &InstanceServer::filesOpened, &form,
                     [&form](const QStringList& more) {
                         form.openFiles(more);
                         form.bringToFront();
                     });
    return app.exec();
}
