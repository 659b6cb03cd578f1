#pragma once

#include "platform/Trap.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace Main {

// A text seen as lines, as the line reader cuts it: a line ends at CR LF, at LF
// or at a CR alone, and a terminator at the very end starts no further line.
// Works on the text in place, so looking something up in a large file does not
// cost a string per line.
class TextLines
{
public:
    TextLines() = default;
    explicit TextLines(QString text) : m_text(std::move(text)) {}

    const QString& text() const { return m_text; }
    bool isEmpty() const { return m_text.isEmpty(); }

    // All lines, without their line breaks.
    QStringList lines() const;

    // The line that holds position `pos` (which must not be a line break).
    QStringView lineAround(qsizetype pos, qsizetype* lineStart = nullptr) const;

    // Position of the first character that is not a line break, i.e. the start
    // of the first non-empty line; -1 when every line is empty.
    qsizetype firstNonEmptyLine() const;

private:
    QString m_text;
};

// Reads the file at `path` and cuts it into lines. A file that cannot be read is
// reported once, under the line reader's own label, and gives no lines. When
// `bytes` is given it receives the file's raw content (empty after a failure).
TextLines ReadFileLines(const QString& path, ErrorReporter& reporter, QByteArray* bytes = nullptr);

// The file's lines in file order, each without its line break, read through the
// shared single-byte decoder. An empty file, or one that cannot be read
// (reported), gives an empty list.
QStringList ReadFileToStringFSOLine(const QString& path, ErrorReporter& reporter);

} // namespace Main
