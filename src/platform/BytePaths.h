#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Paths are QStrings with '/' as the separator; on the way to and from the system
// they are bytes.
namespace FileSystem {

// File names are bytes. A path's bytes decode as UTF-8, and each byte that is
// not part of valid UTF-8 becomes the lone surrogate U+DC00 + byte (U+DC80 to
// U+DCFF), so that any name a disk holds survives the trip through a QString
// and encodes back to the very same bytes at the system call.
QByteArray nativePath(const QString& path);
QString pathFromNative(QByteArrayView bytes);

// `path` for people to read: each escaped byte shown as U+FFFD.
QString displayPath(const QString& path);

// A path that came through a lossy decoding (Qt's file dialogs show a byte that
// is not UTF-8 as U+FFFD) matched back to the names on disk: each component that
// holds U+FFFD is replaced by the one entry of its folder that decodes the same
// way. A component with no such entry, or with several, is left as it is.
QString recoverPath(const QString& lossyPath);

// Appends `text` to `out` as a JSON string in UTF-8, quotes included, escaped as
// QJsonDocument escapes it: an escaped byte of a name comes out as "\udcXX", the
// form that turns back into the same bytes on the way in.
void appendJsonString(QByteArray& out, QStringView text);

} // namespace FileSystem
