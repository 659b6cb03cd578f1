#include "Terminal.h"

#include "CliArguments.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <algorithm>
#include <csignal>
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

BoxAnswer KeptMessages::message(const QString& text, const QString&, BoxIcon, BoxButtons buttons)
{
    m_lastMessage = text;
    return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
}

QString KeptMessages::input(const QString&, const QString&, const QString&)
{
    // The run takes its answers from OptionAnswers; anything else asking would
    // otherwise wait for an answer nobody can type.
    throw Failure(QStringLiteral("No answer can be typed on the command line"));
}

QString OptionAnswers::searchString()
{
    return m_arguments.search;
}

QString OptionAnswers::wordCount(ContentMethod)
{
    return m_arguments.words;
}

QString OptionAnswers::wordNumbers()
{
    return m_arguments.positions;
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

namespace StopSignals {
namespace {
volatile std::sig_atomic_t g_received = 0;
volatile std::sig_atomic_t g_deferred = 0;

void noteSignal(int signal)
{
    if (!g_deferred) {
        static const char message[] = "quenby-rename: interrupted before any file was renamed\n";
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, message, sizeof message - 1);
        ::_exit(128 + signal);
    }
    if (g_received == 0)
        g_received = signal;
}
} // namespace

void defer()
{
    g_deferred = 1;
}

void install()
{
    struct sigaction action = {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // the copy under way goes on undisturbed
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int received()
{
    return g_received;
}
} // namespace StopSignals
