#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// `quenby FILE|FOLDER...`, as a file manager's "Open With" starts it: the
// arguments are paths, in the system's bytes; relative ones are taken from
// `currentFolder`, so that another instance, started elsewhere, finds them too.
QStringList openArguments(const QList<QByteArray>& arguments, const QString& currentFolder);

// The folder the program was started in, its bytes kept.
QString currentFolder();
