#pragma once

#include <QString>
#include <exception>

// A failed operation, carrying the platform's own description of what went wrong
// ("Permission denied", "No such file or directory", "Overflow", ...). Trapping
// routines show that description to the user unchanged.
class Failure : public std::exception
{
public:
    explicit Failure(QString description, int code = 0)
        : m_description(std::move(description)), m_code(code), m_utf8(m_description.toUtf8())
    {
    }

    // The description the C library gives for errno value `err`.
    static Failure fromErrno(int err);

    const QString& description() const { return m_description; }
    // The errno value, or another code the thrower documents; 0 when there is none.
    int code() const { return m_code; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    int m_code;
    QByteArray m_utf8;
};
