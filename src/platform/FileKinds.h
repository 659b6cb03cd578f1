#pragma once

#include <QByteArray>
#include <QString>

// What a path names: attributes, kinds, whole-file reads. Every failure is a
// Failure carrying the C library's description of errno.
namespace FileSystem {

// Attribute bits, numbered as the program has always numbered them. Here they
// mean: ReadOnly, the owner may not write; Hidden, the name begins with ".";
// System, never set; Directory, a folder; Archive, a regular file; Alias, a
// symbolic link (combined with Directory or Archive when the link resolves).
enum Attribute : int {
    ReadOnly = 1,
    Hidden = 2,
    System = 4,
    Directory = 16,
    Archive = 32,
    Alias = 1024,
};

// The attribute bits of `path`. A link's own presence gives Alias; the kind and
// the write permission are those of what it points to (a dangling link is Alias
// alone, plus Hidden by its name). Throws Failure when the path cannot be
// examined (missing, permission denied on a parent, empty, ...).
int attributes(const QString& path);

// The same for `name` inside the open folder `dirFd` (as for fstatat), for scans
// that walk folders by descriptor. `name` is the entry's own name, in the
// system's bytes.
int attributesAt(int dirFd, const QByteArray& name);

// True when `path` names an existing file of any kind (a folder too). Follows
// links, so a dangling link gives false. Never throws.
bool exists(const QString& path) noexcept;

// True when `path` names an existing regular file (through links). Never throws.
bool isRegularFile(const QString& path) noexcept;

// True when `path` names an existing folder (through links). Never throws.
bool isDirectory(const QString& path) noexcept;

// The "ordinary file" of a normal-attribute file search: an existing regular
// file that is neither hidden nor system. Never throws.
bool isOrdinaryFile(const QString& path) noexcept;

// The own name of `path`: the part after its last '/' (trailing separators of a
// folder path ignored). "/" and "" give "".
QString ownName(const QString& path);

// The whole content of the file at `path`. The file is closed before the call
// returns, also when reading fails. Throws Failure ("Is a directory" for a
// folder, NotRegularFile for a device, pipe or socket, ...).
QByteArray readWholeFile(const QString& path);

// Throws Failure unless `path` names a regular file (through links): "Is a
// directory" for a folder, NotRegularFile for a device, a pipe or a socket, the
// errno description when it cannot be examined. Cheaper than opening it.
void requireReadableFile(const QString& path);

} // namespace FileSystem
