#include "cli/TerminalOutput.h"

#include "platform/Failure.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <unistd.h>
#include <vector>

QString terminalText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

namespace {

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// A byte kept from a name that is not UTF-8 (see FileSystem::pathFromNative).
bool isEscapedByte(char32_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

void appendEscape(QString& out, char32_t c)
{
    switch (c) {
    case 0x07:
        out += QLatin1String("\\a");
        return;
    case 0x08:
        out += QLatin1String("\\b");
        return;
    case 0x09:
        out += QLatin1String("\\t");
        return;
    case 0x0A:
        out += QLatin1String("\\n");
        return;
    case 0x0B:
        out += QLatin1String("\\v");
        return;
    case 0x0C:
        out += QLatin1String("\\f");
        return;
    case 0x0D:
        out += QLatin1String("\\r");
        return;
    default:
        break;
    }
    QByteArray bytes;
    if (isEscapedByte(c))
        bytes.append(char(c - 0xDC00));
    else
        bytes = QString::fromUcs4(&c, 1).toUtf8();
    for (const char b : std::as_const(bytes))
        out += QStringLiteral("\\%1").arg(uint(uchar(b)), 3, 8, QLatin1Char('0'));
}

} // namespace

QString terminalName(const QString& name)
{
    // Code points, keeping the lone surrogates that stand for bytes that are not UTF-8.
    std::vector<char32_t> points;
    points.reserve(size_t(name.size()));
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            points.push_back(QChar::surrogateToUcs4(c, name.at(i + 1)));
            ++i;
        } else {
            points.push_back(c.unicode());
        }
    }
    if (std::none_of(points.begin(), points.end(), isControl))
        return name;
    QString out = QStringLiteral("'");
    bool escaping = false; // inside a $'...' part
    for (const char32_t c : points) {
        if (isControl(c) || isEscapedByte(c)) {
            if (!escaping)
                out += QLatin1String("'$'");
            escaping = true;
            appendEscape(out, c);
            continue;
        }
        if (escaping)
            out += QLatin1String("''");
        escaping = false;
        if (c == u'\'')
            out += QLatin1String("'\\''");
        else if (QChar::requiresSurrogates(c))
            out += QString::fromUcs4(&c, 1);
        else
            out += QChar(char16_t(c));
    }
    out += QLatin1Char('\'');
    return out;
}

void printLine(std::FILE* stream, const QString& text)
{
    // Paths keep the bytes they have on disk.
    QByteArray bytes = FileSystem::nativePath(text);
    bytes.append('\n');
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

void TerminalProgress::setValue(double percent)
{
    if (!m_enabled)
        return;
    if (percent <= 0.0) {
        // Set back after the last file: the bar has nothing more to say.
        m_over = true;
        clear();
        return;
    }
    if (m_over || (m_sinceDraw.isValid() && m_sinceDraw.elapsed() < 100))
        return;
    m_sinceDraw.restart();
    const int shown = std::clamp(int(percent), 0, 100);
    constexpr int width = 40;
    const int filled = shown * width / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%", QByteArray(filled, '#').constData(),
                 QByteArray(width - filled, ' ').constData(), shown);
    std::fflush(stderr);
    m_drawn = true;
}

void TerminalProgress::clear()
{
    if (m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
    }
}

Printer::Printer(TerminalProgress& progress)
    : m_progress(progress), m_blocks(::isatty(STDOUT_FILENO) != 1)
{
    std::setvbuf(stdout, nullptr, m_blocks ? _IOFBF : _IOLBF, m_blocks ? 65536 : 0);
    m_sinceFlush.start();
}

void Printer::flushWhenDue()
{
    if (m_blocks && m_sinceFlush.elapsed() >= kFlushMs) {
        std::fflush(stdout);
        m_sinceFlush.start();
    }
}

void Printer::out(const QString& line)
{
    m_progress.clear();
    printLine(stdout, line);
    flushWhenDue();
}

void Printer::out(const QByteArray& utf8Line)
{
    m_progress.clear();
    std::fwrite(utf8Line.constData(), 1, size_t(utf8Line.size()), stdout);
    std::fputc('\n', stdout);
    flushWhenDue();
}

void Printer::err(const QString& line)
{
    m_progress.clear();
    std::fflush(stdout);
    printLine(stderr, line);
}

void StderrReporter::reportError(const QString&, int, const QString& description)
{
    print(QString(), description);
}

void StderrReporter::reportFailure(const QString&, int, const Failure& failure,
                                   const QString& subject)
{
    if (filter && !filter(failure, subject))
        return;
    print(subject, failure.description());
}

void StderrReporter::print(const QString& subject, const QString& description)
{
    // One file can fail the same way twice (its page, then its copy, cannot be
    // read): once is enough to say so.
    if (!subject.isEmpty() && subject == m_lastSubject && description == m_lastDescription)
        return;
    m_lastSubject = subject;
    m_lastDescription = description;
    QString line = QStringLiteral("quenby-rename: ");
    if (!subject.isEmpty())
        line += terminalName(subject) + QStringLiteral(": ");
    line += terminalText(description).replace(QLatin1Char('\n'), QLatin1Char(' '));
    m_printer.err(line);
}
