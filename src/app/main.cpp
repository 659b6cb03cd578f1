// Quenby: renames many HTML files at once, by their words or their metadata.

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

    SettingsStore settings;
    Form1Services services;
    services.settings = &settings;

    Form1 form(services);
    form.Form_Load();
    form.show();
    return app.exec();
}
