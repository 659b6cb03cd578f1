#pragma once

#include <QString>
#include <exception>

// A failed operation, carrying the platform's own description of what went wrong
// ("Permission denied", "No such file or directory", "Overflow", ...). Trapping
// routines show that description to the user unchanged.
class Failure : public std::exception
{
public:
    // What a failure meant for the file being renamed, where the thrower knows it,
    // so that the command line can say why a file was passed over.
    enum class Kind {
        Other,
        NotRegularFile,    // a folder, device, pipe or socket (or a link to one)
        SourceUnreadable,  // the source could not be opened or read
        SourceChanged,     // the source changed while it was being copied
        TargetWrite,       // the copy could not be created or written
        ResultsFolderGone, // the results folder no longer exists
        TooSlow,           // reading the page took longer than its reader may take
    };

    explicit Failure(QString description, int code = 0, Kind kind = Kind::Other)
        : m_description(std::move(description)), m_code(code), m_kind(kind),
          m_utf8(m_description.toUtf8())
    {
    }

    // The description the C library gives for errno value `err`.
    static Failure fromErrno(int err, Kind kind = Kind::Other);

    const QString& description() const { return m_description; }
    // The errno value, or another code the thrower documents; 0 when there is none.
    int code() const { return m_code; }
    Kind kind() const { return m_kind; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    int m_code;
    Kind m_kind;
    QByteArray m_utf8;
};
