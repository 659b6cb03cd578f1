#include "cli/CommandLineRun.h"

#include "cli/CliArguments.h"
#include "cli/FolderGone.h"
#include "cli/StopSignals.h"
#include "cli/TerminalOutput.h"
#include "filelist/FileList.h"
#include "platform/FileSystem.h"
#include "rename/RunJournal.h"
#include "rename/SkipReasons.h"

#include <cerrno>
#include <optional>
#include <sys/stat.h>

namespace {

// One result as a JSON line, its keys in the documented order, written
// straight out: a JSON document a line costs more than renaming the file.
QByteArray jsonLine(const RenameRun::FileResult& result, const QString& status,
                    const std::optional<SkipReason>& skip)
{
    QByteArray line;
    line.reserve(3 * result.source.size() + 96);
    auto value = [&](const std::optional<QString>& text) {
        if (text)
            FileSystem::appendJsonString(line, *text);
        else
            line.append("null");
    };
    line.append("{\"source\":");
    value(result.source);
    line.append(",\"name\":");
    value(result.renamed ? std::optional(result.name) : std::nullopt);
    line.append(",\"target\":");
    value(result.renamed ? std::optional(result.target) : std::nullopt);
    line.append(",\"status\":");
    value(status);
    if (skip) {
        line.append(",\"reason\":");
        value(skip->key);
        line.append(",\"error\":");
        value(skip->error);
    }
    line.append('}');
    return line;
}

} // namespace

CommandLineRun::CommandLineRun(FileList& entries, const CliArguments& args, Printer& printer,
                               StderrReporter& reporter, TerminalProgress& progress,
                               EventPump& events)
    : m_entries(entries),
      m_args(args),
      m_printer(printer),
      m_reporter(reporter),
      m_progress(progress),
      m_answers(args),
      m_run(entries, args.options, {m_boxes, m_pointer, progress, events, m_pageText, reporter})
{
    m_run.setDryRun(args.dryRun);
    m_run.setPagesForMetadata(false);
    m_run.setAnswers(&m_answers);
    m_run.setJournal(RunJournal::defaultFolder(), QStringLiteral("quenby-rename"));
    watchResultsFolder();
    reportEachFile();
}

CommandLineRun::~CommandLineRun()
{
    m_reporter.filter = nullptr; // it asks this object
}

int CommandLineRun::run()
{
    const RenameRun::Outcome outcome = [&] {
        const FileList::FolderHold hold(m_entries);
        return m_run.start();
    }();
    m_progress.clear();
    if (m_run.journalFailure())
        m_printer.err(QStringLiteral("quenby-rename: ") + m_run.journalFailure()->description() +
                      QStringLiteral(" (the run is not recorded and cannot be undone)"));
    return finish(outcome);
}

// A stop signal, or a results folder gone, ends the run after the file under way.
void CommandLineRun::watchResultsFolder()
{
    m_run.stopRequested = [this] { return m_folderGone || StopSignals::received() != 0; };
    m_reporter.filter = [this](const Failure& failure, const QString& subject) {
        if (m_folderGone || StopSignals::received())
            return false; // the run is ending; what fails now fails because of that
        if (resultsFolderGone(failure, m_args.options.results)) {
            // Every later copy would fail the same way: one message at the end says it.
            m_folderGone = true;
            m_folderGoneError = failure.description();
            return false;
        }
        if (resultsFolderRefuses(failure)) {
            // Every copy fails the same way: the folder is named, once.
            if (!m_folderRefusals.contains(failure.description())) {
                m_folderRefusals.insert(failure.description());
                m_printer.err(QStringLiteral("quenby-rename: %1: %2")
                                  .arg(terminalName(m_args.options.results), failure.description()));
            }
            return false;
        }
        return !m_toldMissing.contains(subject);
    };
}

// One line a file, in file order.
void CommandLineRun::reportEachFile()
{
    m_run.onFileDone = [this](const RenameRun::FileResult& result) {
        ++m_done;
        const QString status = !result.renamed ? QStringLiteral("skipped")
                               : m_args.dryRun ? QStringLiteral("planned")
                                               : QStringLiteral("renamed");
        std::optional<SkipReason> skip;
        if (!result.renamed)
            skip = skipReason(result, m_args.options.renameBy());
        else
            ++m_renamed;
        if (m_args.json) {
            m_printer.out(jsonLine(result, status, skip));
        } else if (result.renamed) {
            m_printer.out(status + QStringLiteral(": ") + terminalName(result.source) +
                          QStringLiteral(" -> ") + terminalName(result.target));
        } else {
            m_printer.out(status + QStringLiteral(": ") + terminalName(result.source) +
                          QStringLiteral(" (") + skip->phrase + QLatin1Char(')'));
        }
    };
}

int CommandLineRun::finish(RenameRun::Outcome outcome)
{
    switch (outcome) {
    case RenameRun::Outcome::NoFiles:
        m_printer.err(m_boxes.lastMessage());
        return CliExit::NoFiles;
    case RenameRun::Outcome::NoResultsFolder:
        return resultsFolderMissing();
    case RenameRun::Outcome::Stopped:
        return stopped();
    default:
        break;
    }
    // Gone at the last file: the run ended by itself, but no better.
    if (m_folderGone)
        return stopped();
    if (!m_args.json)
        printClosingMessage();
    return m_run.skipped().isEmpty() ? CliExit::AllRenamed : CliExit::SomeSkipped;
}

// Made before the run, the results folder has gone before the run began.
int CommandLineRun::resultsFolderMissing()
{
    struct stat st;
    const Failure gone =
        ::stat(FileSystem::nativePath(m_args.options.results).constData(), &st) == 0
            ? Failure::fromErrno(ENOTDIR)
            : Failure::fromErrno(errno);
    m_printer.err(QStringLiteral("quenby-rename: %1: %2")
                      .arg(terminalName(m_args.options.results), gone.description()));
    return CliExit::NoResultsFolder;
}

// Stopped by a signal or by the results folder gone: how far the run got.
int CommandLineRun::stopped()
{
    const QString summary = QStringLiteral("%1 of %2 files: %3 renamed, %4 skipped")
                                .arg(m_done)
                                .arg(m_entries.count())
                                .arg(m_renamed)
                                .arg(m_done - m_renamed);
    if (m_folderGone) {
        m_printer.err(QStringLiteral("quenby-rename: %1: the results folder is gone (%2); "
                                     "stopped after %3")
                          .arg(terminalName(m_args.options.results), m_folderGoneError, summary));
        return CliExit::NoResultsFolder;
    }
    const int signal = StopSignals::received();
    m_printer.err(QStringLiteral("quenby-rename: interrupted after ") + summary);
    return 128 + signal;
}

// The window's closing message, ending with the skipped files, one a line:
// each is shown the terminal's way, so that no name can split a line.
void CommandLineRun::printClosingMessage()
{
    QString closing = m_boxes.lastMessage();
    QString listed, shown;
    for (const QString& path : m_run.skipped()) {
        listed += QStringLiteral("\r\n") + path;
        shown += QStringLiteral("\r\n") + terminalName(path);
    }
    if (!listed.isEmpty() && closing.endsWith(listed))
        closing = terminalText(closing.chopped(listed.size())) + terminalText(shown);
    else
        closing = terminalText(closing);
    m_printer.out(closing);
}
