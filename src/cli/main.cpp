// quenby-rename: the rename run of the window, driven from the command line.

#include "cli/CliArguments.h"
#include "cli/CliSurface.h"
#include "cli/CommandLineRun.h"
#include "cli/FolderArguments.h"
#include "cli/StopSignals.h"
#include "cli/TerminalOutput.h"
#include "cli/UndoCommand.h"
#include "filelist/FileList.h"
#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopeGuard>
#include <QSet>
#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// The command line as paths: a name that is not UTF-8 must survive.
QStringList argumentsAsPaths(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(FileSystem::pathFromNative(argv[i]));
    return arguments;
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

// The paths given: the arguments, then those of --files-from; none when that
// list cannot be read, which is said.
std::optional<QStringList> pathsGiven(const CliArguments& args, Printer& printer)
{
    QStringList paths = args.paths;
    if (args.filesFrom) {
        QString error;
        const auto listed = readPathList(*args.filesFrom, args.nulSeparated, error);
        if (!listed) {
            printer.err(QStringLiteral("quenby-rename: ") + error);
            return std::nullopt;
        }
        paths += *listed;
    }
    return paths;
}

// The files to rename: each folder scanned, each other path kept as it is,
// even one that cannot be found, so that the run counts it as skipped and says
// why. A file listed twice is copied twice, as the list says; like cp, say so once.
ListedPaths filesToRename(const QStringList& paths, const CliArguments& args, Printer& printer,
                          ErrorReporter& reporter, EventPump& events, QSet<QString>& missing)
{
    ListedPaths files;
    QSet<std::pair<dev_t, ino_t>> listed;
    QSet<std::pair<dev_t, ino_t>> warned;
    for (const QString& path : paths) {
        const auto tell = [&](const QString& folder, const Failure& failure) {
            printer.err(QStringLiteral("quenby-rename: %1: %2")
                            .arg(terminalName(folder), failure.description()));
        };
        if (FileSystem::isDirectory(path)) {
            ListedPaths found = scanFolderArgument(path, args.extensions, args.options.results,
                                                   reporter, events, tell);
            files.insert(files.end(), std::make_move_iterator(found.begin()),
                         std::make_move_iterator(found.end()));
            continue;
        }
        struct stat st;
        if (::stat(FileSystem::nativePath(path).constData(), &st) != 0) {
            tell(path, Failure::fromErrno(errno));
            missing.insert(path);
        } else {
            const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
            if (!listed.contains(id)) {
                listed.insert(id);
            } else if (!warned.contains(id)) {
                warned.insert(id);
                printer.err(QStringLiteral("quenby-rename: %1: source file specified more "
                                           "than once")
                                .arg(terminalName(path)));
            }
        }
        files.push_back({nullptr, path});
    }
    return files;
}

// The results folder made, with its parents, when it does not exist: the
// folders made, outermost first, or none when it cannot be made, which is said.
std::optional<QStringList> makeResultsFolder(const QString& folder, Printer& printer)
{
    try {
        return makeFolderWithParents(folder);
    } catch (const Failure& failure) {
        printer.err(QStringLiteral("quenby-rename: %1: %2")
                        .arg(terminalName(folder), failure.description()));
        return std::nullopt;
    }
}

void removeFolders(const QStringList& madeOutermostFirst)
{
    for (auto folder = madeOutermostFirst.crbegin(); folder != madeOutermostFirst.crend();
         ++folder)
        ::rmdir(FileSystem::nativePath(*folder).constData());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quenby-rename"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUENBY_VERSION));

    const CliParse parse = parseCliArguments(argumentsAsPaths(argc, argv));
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

    const std::optional<QStringList> paths = pathsGiven(args, printer);
    if (!paths)
        return CliExit::BadUsage;

    StopSignals::install();
    QSet<QString> missing;
    ListedPaths files = filesToRename(*paths, args, printer, reporter, events, missing);

    // A dry run removes again what it made, once the plan has been checked against it.
    QStringList madeFolders;
    if (!files.empty()) {
        const std::optional<QStringList> made = makeResultsFolder(args.options.results, printer);
        if (!made)
            return CliExit::NoResultsFolder;
        madeFolders = *made;
    }
    const auto removeMadeFolders = qScopeGuard([&] {
        if (args.dryRun)
            removeFolders(madeFolders);
    });

    // From here a signal stops the run after the file under way.
    StopSignals::defer();

    FileList entries;
    entries.addListed(std::move(files));
    CommandLineRun run(entries, args, printer, reporter, progress, events);
    run.setToldMissing(std::move(missing));
    return run.run();
}
