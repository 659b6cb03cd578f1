// quenby-rename: the rename run of the window, driven from the command line.

#include "CliArguments.h"
#include "FolderArguments.h"
#include "Terminal.h"
#include "filelist/FileList.h"
#include "platform/pagetext/HelperPageText.h"
#include "rename/IsFolder.h"
#include "rename/RenameRun.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <unistd.h>

namespace {

// One JSON value as text ("null" for none), so that a line can keep its keys in
// the documented order.
QString json(const std::optional<QString>& value)
{
    if (!value)
        return QStringLiteral("null");
    const QByteArray array = QJsonDocument(QJsonArray{*value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString jsonLine(const RenameRun::FileResult& result, const QString& status)
{
    std::optional<QString> name, target;
    if (result.formed) {
        name = result.formed->name;
        target = result.formed->target;
    }
    return QStringLiteral("{\"source\":%1,\"name\":%2,\"target\":%3,\"status\":%4}")
        .arg(json(result.source), json(name), json(target), json(status));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quenby-rename"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUENBY_VERSION));

    const CliParse parse = parseCliArguments(QCoreApplication::arguments());
    if (!parse.arguments) {
        printLine(parse.exitCode == 0 ? stdout : stderr, parse.message);
        return parse.exitCode;
    }
    const CliArguments& args = *parse.arguments;

    TerminalProgress progress(args.progress.value_or(::isatty(STDERR_FILENO) == 1));
    StderrReporter reporter(progress);
    CoreEventPump events;

    QStringList files;
    for (const QString& path : args.paths) {
        if (Main::IsFolder(path))
            files += scanFolderArgument(path, args.extension, reporter, events);
        else
            files.append(path);
    }

    FileList entries;
    entries.addFiles(files);
    ArgumentBoxes boxes(args);
    NoPointer pointer;
    auto pageText = std::make_unique<HelperPageText>();
    RenameRun run(entries, args.options, {boxes, pointer, progress, events, *pageText, reporter});
    run.setDryRun(args.dryRun);
    run.onFileDone = [&](const RenameRun::FileResult& result) {
        const QString status = !result.renamed ? QStringLiteral("skipped")
                               : args.dryRun   ? QStringLiteral("planned")
                                               : QStringLiteral("renamed");
        progress.finishLine();
        if (args.json) {
            printLine(stdout, jsonLine(result, status));
        } else if (result.renamed && result.formed) {
            printLine(stdout, status + QStringLiteral(": ") + result.source +
                                  QStringLiteral(" -> ") + result.formed->target);
        } else {
            printLine(stdout, status + QStringLiteral(": ") + result.source);
        }
    };

    switch (run.start()) {
    case RenameRun::Outcome::NoFiles:
        printLine(stderr, boxes.lastMessage());
        return CliExit::NoFiles;
    case RenameRun::Outcome::NoResultsFolder:
        printLine(stderr, boxes.lastMessage());
        return CliExit::NoResultsFolder;
    default:
        break;
    }
    progress.finishLine();
    if (!args.json)
        printLine(stdout, terminalText(boxes.lastMessage()));
    return run.skipped().isEmpty() ? CliExit::AllRenamed : CliExit::SomeSkipped;
}
