#pragma once

#include <QString>
#include <QStringView>

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

    // The line that holds position `pos` (which must not be a line break).
    QStringView lineAround(qsizetype pos, qsizetype* lineStart = nullptr) const;

    // Position of the first character that is not a line break, i.e. the start
    // of the first non-empty line; -1 when every line is empty.
    qsizetype firstNonEmptyLine() const;

private:
    QString m_text;
};
