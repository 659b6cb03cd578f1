#pragma once

#include <QString>

// The open-file dialog and the folder browser.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;

    // Error code of the open-file dialog when the chosen names do not fit its buffer.
    static constexpr int kBufferTooSmall = 20476;
    static constexpr int kMaxFileNameSize = 30000;

    // Several existing files. Answers one full path when one file was chosen, or the
    // folder followed by the names, all separated by NUL characters, when several
    // were; the empty text on cancel. Throws Failure with code kBufferTooSmall when
    // that answer would exceed kMaxFileNameSize characters.
    virtual QString openFiles(const QString& title, const QString& filter) = 0;

    // A folder, starting at `startFolder`. The empty text on cancel; the root comes
    // back as "/", other folders without a trailing separator.
    virtual QString browseForFolder(const QString& prompt, const QString& startFolder) = 0;
};
