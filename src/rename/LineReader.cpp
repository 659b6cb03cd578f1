#include "LineReader.h"

#include "platform/FileSystem.h"
#include "rename/TextRules.h"

namespace Main {

namespace {

bool isLineBreak(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

} // namespace

QStringList TextLines::lines() const
{
    QStringList result;
    const qsizetype n = m_text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = m_text.at(i);
        if (!isLineBreak(c)) {
            ++i;
            continue;
        }
        result.append(m_text.mid(start, i - start));
        i += (c == QLatin1Char('\r') && i + 1 < n && m_text.at(i + 1) == QLatin1Char('\n')) ? 2 : 1;
        start = i;
    }
    if (start < n)
        result.append(m_text.mid(start));
    return result;
}

QStringView TextLines::lineAround(qsizetype pos, qsizetype* lineStart) const
{
    qsizetype start = pos;
    while (start > 0 && !isLineBreak(m_text.at(start - 1)))
        --start;
    qsizetype end = pos;
    while (end < m_text.size() && !isLineBreak(m_text.at(end)))
        ++end;
    if (lineStart)
        *lineStart = start;
    return QStringView(m_text).mid(start, end - start);
}

qsizetype TextLines::firstNonEmptyLine() const
{
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        if (!isLineBreak(m_text.at(i)))
            return i;
    }
    return -1;
}

TextLines ReadFileLines(const QString& path, ErrorReporter& reporter, QByteArray* bytes)
{
    Trap trap(reporter, QStringLiteral("in Orlesk2021/08/31.Main.ReadFileToStringFSOLine "));
    QByteArray content;
    TextLines lines;
    // One failed open ends the reader: nothing after it can fail on its own.
    if (trap(10, [&] { content = FileSystem::readWholeFile(path); }))
        trap(20, [&] { lines = TextLines(TextRules::decodeText(content)); });
    if (bytes)
        *bytes = std::move(content);
    return lines;
}

QStringList ReadFileToStringFSOLine(const QString& path, ErrorReporter& reporter)
{
    return ReadFileLines(path, reporter).lines();
}

} // namespace Main
