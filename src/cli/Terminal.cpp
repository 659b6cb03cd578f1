#include "Terminal.h"

#include "CliArguments.h"
#include "platform/Failure.h"

#include <QCoreApplication>

QString terminalText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void printLine(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fputc('\n', stream);
}

BoxAnswer ArgumentBoxes::message(const QString& text, const QString&, BoxIcon, BoxButtons buttons)
{
    m_lastMessage = text;
    return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
}

QString ArgumentBoxes::input(const QString& prompt, const QString&, const QString&)
{
    // The arguments were checked before the run, so a prompt that asks again
    // ("Must be numeric.") cannot happen; a prompt nobody foresaw must not loop.
    if (m_lastMessage == QStringLiteral("Must be numeric."))
        throw Failure(QStringLiteral("No numeric answer for: ") + prompt);
    if (prompt.startsWith(QStringLiteral("Enter string to search for:")))
        return m_arguments.search;
    if (prompt.startsWith(QStringLiteral("Please enter word numbers")))
        return m_arguments.positions;
    return m_arguments.words;
}

void TerminalProgress::setValue(double percent)
{
    if (!m_enabled)
        return;
    const int shown = int(percent);
    if (shown == m_lastShown || (m_drawn && m_sinceDraw.isValid() && m_sinceDraw.elapsed() < 100 &&
                                 shown != 0 && shown != 100))
        return;
    m_lastShown = shown;
    m_sinceDraw.restart();
    constexpr int width = 40;
    const int filled = std::clamp(shown, 0, 100) * width / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%", QByteArray(filled, '#').constData(),
                 QByteArray(width - filled, ' ').constData(), shown);
    std::fflush(stderr);
    m_drawn = true;
}

void TerminalProgress::finishLine()
{
    if (m_drawn) {
        std::fputc('\n', stderr);
        m_drawn = false;
        m_lastShown = -1;
    }
}

void StderrReporter::reportError(const QString& label, int line, const QString& description)
{
    ++m_count;
    m_progress.finishLine();
    printLine(stderr, terminalText(errorReportText(label, line, description)));
}

void CoreEventPump::processEvents()
{
    // There is no window to keep responsive, and the page-text service needs no
    // event loop; each dispatch costs a poll() of the event sources, which on a
    // run of 100,000 files is more than the run's own work. A few times a second
    // is plenty for what may be posted.
    if (m_sinceDispatch.isValid() && m_sinceDispatch.elapsed() < 50)
        return;
    m_sinceDispatch.start();
    QCoreApplication::processEvents();
}
