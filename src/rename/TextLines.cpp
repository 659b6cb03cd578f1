#include "rename/TextLines.h"

namespace {

bool isLineBreak(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

} // namespace

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
