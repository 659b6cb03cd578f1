#pragma once

// File systems mounted for one test: a FAT image through FUSE, a small tmpfs.

#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <sys/mount.h>
#include <unistd.h>

// The program's path, also where it lives in sbin; empty when it is not there.
inline QString tool(const char* name)
{
    return QStandardPaths::findExecutable(
        QString::fromLatin1(name), {"/usr/local/bin", "/usr/bin", "/bin", "/usr/sbin", "/sbin"});
}

// Runs a program quietly; its exit status, or -1.
inline int quietly(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// A file system mounted for one test, unmounted however the test ends.
struct Mounted
{
    QString point;
    bool fuse = false;
    ~Mounted()
    {
        if (point.isEmpty())
            return;
        if (fuse)
            quietly(QStringLiteral("fusermount"), {QStringLiteral("-u"), point});
        else
            ::umount(FileSystem::nativePath(point).constData());
    }
};

// Why a FAT stick cannot be had here, or an empty text when it can.
inline QString fatUnavailable()
{
    if (::access("/dev/fuse", R_OK | W_OK) != 0 || tool("fusefat").isEmpty() ||
        tool("mkfs.vfat").isEmpty())
        return QStringLiteral("needs /dev/fuse, fusefat and mkfs.vfat");
    return {};
}

// Formats a FAT image of `bytes` at `image` and mounts it at `point` (made
// here) through fusefat. False when it cannot be mounted.
inline bool mountFatStick(Mounted& mounted, const QString& image, const QString& point,
                          qint64 bytes)
{
    {
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(bytes))
            return false;
    }
    if (quietly(tool("mkfs.vfat"), {image}) != 0 || !QDir().mkpath(point))
        return false;
    if (quietly(tool("fusefat"), {QStringLiteral("-o"), QStringLiteral("rw+"), image, point}) != 0)
        return false;
    mounted.point = point;
    mounted.fuse = true;
    return true;
}
