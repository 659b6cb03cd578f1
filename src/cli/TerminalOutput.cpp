#include "TerminalOutput.h"

#include "platform/Failure.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <unistd.h>

QString terminalText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
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
        line += subject + QStringLiteral(": ");
    line += terminalText(description).replace(QLatin1Char('\n'), QLatin1Char(' '));
    m_printer.err(line);
}
