// quenby-rename: the rename run of the window, driven from the command line.

#include "cli/CliArguments.h"
#include "cli/CliSurface.h"
#include "cli/FolderArguments.h"
#include "cli/FolderGone.h"
#include "cli/StopSignals.h"
#include "cli/TerminalOutput.h"
#include "cli/UndoCommand.h"
#include "filelist/FileList.h"
#include "pagetext/service/HelperPageText.h"
#include "platform/FileSystem.h"
#include "rename/PathRoutines.h"
#include "rename/RenameRun.h"
#include "rename/RunJournal.h"
#include "rename/SkipReasons.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopeGuard>
#include <QSet>
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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
    value(result.formed ? std::optional(result.formed->name) : std::nullopt);
    line.append(",\"target\":");
    value(result.formed ? std::optional(result.formed->target) : std::nullopt);
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

// The paths of --files-from, or a usage message when the list cannot be read.
std::optional<QStringList> readPathList(const QString& from, bool nulSeparated, QString& error)
{
    QFile list;
    const bool opened = from == QStringLiteral("-")
                            ? list.open(stdin, QIODevice::ReadOnly)
                            : (list.setFileName(from), list.open(QIODevice::ReadOnly));
    if (!opened) {
        error = from + QStringLiteral(": ") + list.errorString();
        return std::nullopt;
    }
    return splitPathList(list.readAll(), nulSeparated);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quenby-rename"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUENBY_VERSION));

    QStringList argumentList; // as bytes: a name that is not UTF-8 must survive
    for (int i = 0; i < argc; ++i)
        argumentList.append(FileSystem::pathFromNative(argv[i]));
    const CliParse parse = parseCliArguments(argumentList);
    if (!parse.arguments) {
        printLine(parse.exitCode == 0 ? stdout : stderr, parse.message);
        return parse.exitCode;
    }
    const CliArguments& args = *parse.arguments;

    TerminalProgress progress(args.progress.value_or(::isatty(STDERR_FILENO) == 1));
    Printer printer(progress);
    StderrReporter reporter(printer);
    CoreEventPump events;
    if (args.undo)
        return undoCommand(args, printer);
    if (args.listRuns)
        return listRunsCommand(args, printer);

    QStringList paths = args.paths;
    if (args.filesFrom) {
        QString error;
        const auto listed = readPathList(*args.filesFrom, args.nulSeparated, error);
        if (!listed) {
            printer.err(QStringLiteral("quenby-rename: ") + error);
            return CliExit::BadUsage;
        }
        paths += *listed;
    }

    StopSignals::install();
    ListedPaths files;
    // A file listed twice is copied twice, as the list says; like cp, say so once.
    QSet<std::pair<dev_t, ino_t>> listed;
    QSet<std::pair<dev_t, ino_t>> warned;
    for (const QString& path : std::as_const(paths)) {
        const auto tell = [&](const QString& folder, const Failure& failure) {
            printer.err(QStringLiteral("quenby-rename: %1: %2")
                            .arg(terminalName(folder), failure.description()));
        };
        if (FileSystem::isDirectory(path)) {
            ListedPaths found = scanFolderArgument(path, args.extensions, args.options.results,
                                                   reporter, events, tell);
            files.insert(files.end(), std::make_move_iterator(found.begin()),
                         std::make_move_iterator(found.end()));
        } else {
            // Still listed, so that the run counts it as skipped and says why.
            struct stat st;
            if (::stat(FileSystem::nativePath(path).constData(), &st) != 0) {
                tell(path, Failure::fromErrno(errno));
            } else {
                const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
                if (!listed.contains(id))
                    listed.insert(id);
                else if (!warned.contains(id)) {
                    warned.insert(id);
                    printer.err(QStringLiteral("quenby-rename: %1: source file specified more "
                                               "than once")
                                    .arg(terminalName(path)));
                }
            }
            files.push_back({nullptr, path});
        }
    }

    // A missing results folder is made, with its parents; a dry run removes
    // again what it made, once the plan has been checked against it.
    QStringList madeFolders;
    if (!files.empty()) {
        try {
            madeFolders = makeFolderWithParents(args.options.results);
        } catch (const Failure& failure) {
            printer.err(QStringLiteral("quenby-rename: %1: %2")
                            .arg(terminalName(args.options.results), failure.description()));
            return CliExit::NoResultsFolder;
        }
    }
    const auto removeMadeFolders = qScopeGuard([&] {
        if (args.dryRun) {
            for (auto folder = madeFolders.crbegin(); folder != madeFolders.crend(); ++folder)
                ::rmdir(FileSystem::nativePath(*folder).constData());
        }
    });

    // From here a signal stops the run after the file under way.
    StopSignals::defer();

    FileList entries;
    entries.addListed(std::move(files));
    KeptMessages boxes;
    OptionAnswers answers(args);
    NoPointer pointer;
    auto pageText = std::make_unique<HelperPageText>();
    RenameRun run(entries, args.options, {boxes, pointer, progress, events, *pageText, reporter});
    run.setDryRun(args.dryRun);
    run.setPagesForMetadata(false);
    run.setAnswers(&answers);
    run.setJournal(RunJournal::defaultFolder(), QStringLiteral("quenby-rename"));

    bool folderGone = false;
    QString folderGoneError;
    run.stopRequested = [&] { return folderGone || StopSignals::received() != 0; };
    reporter.filter = [&](const Failure& failure, const QString&) {
        if (folderGone || StopSignals::received())
            return false; // the run is ending; what fails now fails because of that
        if (resultsFolderGone(failure, args.options.results)) {
            // Every later copy would fail the same way: one message at the end says it.
            folderGone = true;
            folderGoneError = failure.description();
            return false;
        }
        return true;
    };

    int done = 0, renamedCount = 0;
    run.onFileDone = [&](const RenameRun::FileResult& result) {
        ++done;
        const QString status = !result.renamed ? QStringLiteral("skipped")
                               : args.dryRun   ? QStringLiteral("planned")
                                               : QStringLiteral("renamed");
        std::optional<SkipReason> skip;
        if (!result.renamed)
            skip = skipReason(result, args.options.renameBy());
        else
            ++renamedCount;
        if (args.json) {
            printer.out(jsonLine(result, status, skip));
        } else if (result.renamed && result.formed) {
            printer.out(status + QStringLiteral(": ") + terminalName(result.source) +
                        QStringLiteral(" -> ") + terminalName(result.formed->target));
        } else {
            printer.out(status + QStringLiteral(": ") + terminalName(result.source) +
                        QStringLiteral(" (") + skip->phrase + QLatin1Char(')'));
        }
    };

    const RenameRun::Outcome outcome = [&] {
        const FileList::FolderHold hold(entries);
        return run.start();
    }();
    progress.clear();
    if (run.journalFailure())
        printer.err(QStringLiteral("quenby-rename: ") + run.journalFailure()->description() +
                    QStringLiteral(" (the run is not recorded and cannot be undone)"));
    switch (outcome) {
    case RenameRun::Outcome::NoFiles:
        printer.err(boxes.lastMessage());
        return CliExit::NoFiles;
    case RenameRun::Outcome::NoResultsFolder: {
        // Made above, it has gone before the run began.
        struct stat st;
        const Failure gone = ::stat(FileSystem::nativePath(args.options.results).constData(),
                                    &st) == 0
                                 ? Failure::fromErrno(ENOTDIR)
                                 : Failure::fromErrno(errno);
        printer.err(
            QStringLiteral("quenby-rename: %1: %2")
                .arg(terminalName(args.options.results), gone.description()));
        return CliExit::NoResultsFolder;
    }
    case RenameRun::Outcome::Stopped: {
        const QString summary = QStringLiteral("%1 of %2 files: %3 renamed, %4 skipped")
                                    .arg(done)
                                    .arg(entries.count())
                                    .arg(renamedCount)
                                    .arg(done - renamedCount);
        if (folderGone) {
            printer.err(QStringLiteral("quenby-rename: %1: the results folder is gone (%2); "
                                       "stopped after %3")
                            .arg(terminalName(args.options.results), folderGoneError, summary));
            return CliExit::NoResultsFolder;
        }
        const int signal = StopSignals::received();
        printer.err(QStringLiteral("quenby-rename: interrupted after ") + summary);
        return 128 + signal;
    }
    default:
        break;
    }
    if (!args.json) {
        // The closing message ends with the skipped files, one a line: each
        // is shown the terminal's way, so that no name can split a line.
        QString closing = boxes.lastMessage();
        QString listed, shown;
        for (const QString& path : run.skipped()) {
            listed += QStringLiteral("\r\n") + path;
            shown += QStringLiteral("\r\n") + terminalName(path);
        }
        if (!listed.isEmpty() && closing.endsWith(listed))
            closing = terminalText(closing.chopped(listed.size())) + terminalText(shown);
        else
            closing = terminalText(closing);
        printer.out(closing);
    }
    return run.skipped().isEmpty() ? CliExit::AllRenamed : CliExit::SomeSkipped;
}
