#include "cli/UndoCommand.h"

#include "cli/CliArguments.h"
#include "cli/TerminalOutput.h"
#include "platform/FileSystem.h"
#include "rename/RunJournal.h"

namespace {

const QString kPrefix = QStringLiteral("quenby-rename: ");

QByteArray jsonLine(std::initializer_list<std::pair<const char*, std::optional<QString>>> fields)
{
    QByteArray line("{");
    for (const auto& [key, value] : fields) {
        if (line.size() > 1)
            line.append(',');
        line.append('"').append(key).append("\":");
        if (value)
            FileSystem::appendJsonString(line, *value);
        else
            line.append("null");
    }
    line.append('}');
    return line;
}

QString phrase(const UndoResult::Item& item)
{
    switch (item.status) {
    case UndoResult::Status::Changed:
        return QStringLiteral("kept: %1 (changed since the run)");
    case UndoResult::Status::Replaced:
        return QStringLiteral("kept: %1 (another file has its name now)");
    case UndoResult::Status::Gone:
        return QStringLiteral("gone: %1 (no longer there)");
    case UndoResult::Status::Failed:
        return QStringLiteral("kept: %1 (") + item.failure->description() + QLatin1Char(')');
    case UndoResult::Status::Removed:
        break;
    }
    return QString();
}

QString localTime(const QDateTime& when)
{
    return when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString copies(int n)
{
    return n == 1 ? QStringLiteral("1 copy") : QStringLiteral("%1 copies").arg(n);
}

} // namespace

int undoCommand(const CliArguments& args, Printer& printer)
{
    const RunJournals journals;
    int id = *args.undo;
    if (id == 0) {
        const QList<int> ids = journals.ids();
        if (ids.isEmpty()) {
            printer.err(kPrefix + FileSystem::displayPath(journals.folder()) +
                        QStringLiteral(": no run recorded, nothing to undo"));
            return CliExit::NoRunToUndo;
        }
        id = ids.last();
    }
    RecordedRun run;
    UndoResult result;
    try {
        run = journals.read(id);
        result = undoRun(run, args.dryRun);
    } catch (const Failure& failure) {
        printer.err(kPrefix + failure.description());
        return failure.kind() == Failure::Kind::ResultsFolderGone ? CliExit::NoResultsFolder
                                                                  : CliExit::NoRunToUndo;
    }
    if (result.undoneBefore) {
        const QString note = QStringLiteral("run %1 was undone already (%2); nothing to do")
                                 .arg(id)
                                 .arg(localTime(*result.undoneBefore));
        if (args.json)
            printer.err(kPrefix + note);
        else
            printer.out(QStringLiteral("Run ") + note.mid(4));
        return CliExit::AllRenamed;
    }

    using Status = UndoResult::Status;
    for (const UndoResult::Item& item : std::as_const(result.items)) {
        if (item.failure)
            printer.err(kPrefix + item.target + QStringLiteral(": ") + item.failure->description());
        if (args.json) {
            printer.out(
                jsonLine({{"target", item.target},
                          {"status", undoStatusKey(item.status, args.dryRun)},
                          {"error", item.failure ? std::optional(item.failure->description())
                                                 : std::nullopt}}));
        } else if (item.status == Status::Removed) {
            printer.out(undoStatusKey(item.status, args.dryRun) + QStringLiteral(": ") +
                        item.target);
        } else {
            printer.out(phrase(item).arg(item.target));
        }
    }
    if (result.markFailure)
        printer.err(kPrefix + result.markFailure->description() +
                    QStringLiteral(" (the run could not be marked as undone)"));

    const int kept = result.count(Status::Changed) + result.count(Status::Replaced) +
                     result.count(Status::Failed);
    if (!args.json) {
        const int removed = result.count(Status::Removed);
        printer.out(QStringLiteral("Run %1 of %2 in %3: %4 %5, %6 kept, %7 gone already.")
                        .arg(id)
                        .arg(localTime(run.started), run.folder(), copies(removed),
                             args.dryRun ? QStringLiteral("to remove") : QStringLiteral("removed"))
                        .arg(kept)
                        .arg(result.count(Status::Gone)));
    }
    return kept == 0 ? CliExit::AllRenamed : CliExit::SomeSkipped;
}

int listRunsCommand(const CliArguments& args, Printer& printer)
{
    const RunJournals journals;
    int status = CliExit::AllRenamed;
    if (!args.json)
        printer.out(QStringLiteral("   ID  STARTED              COPIES  FOLDER"));
    for (const int id : journals.ids()) {
        RecordedRun run;
        try {
            run = journals.read(id);
        } catch (const Failure& failure) {
            printer.err(kPrefix + failure.description());
            status = CliExit::NoRunToUndo;
            continue;
        }
        if (args.json) {
            QByteArray line = "{\"id\":" + QByteArray::number(id) + ",\"started\":";
            FileSystem::appendJsonString(line, run.started.toString(Qt::ISODateWithMs));
            line += ",\"program\":";
            FileSystem::appendJsonString(line, run.program);
            line += ",\"folder\":";
            FileSystem::appendJsonString(line, run.folder());
            line += ",\"copies\":" + QByteArray::number(run.copies.size()) + ",\"undone\":";
            if (run.undone)
                FileSystem::appendJsonString(line, run.undone->toString(Qt::ISODateWithMs));
            else
                line += "null";
            line += '}';
            printer.out(line);
        } else {
            printer.out(
                QStringLiteral("%1  %2  %3  %4%5")
                    .arg(id, 5)
                    .arg(localTime(run.started))
                    .arg(run.copies.size(), 6)
                    .arg(run.folder(), run.undone ? QStringLiteral(" (undone)") : QString()));
        }
    }
    return status;
}
