#include "cli/CliArguments.h"

#include "rename/TextRules.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

CliParse usageError(const QString& message)
{
    return {std::nullopt,
            QStringLiteral("quenby-rename: ") + message +
                QStringLiteral(" (see quenby-rename --help)"),
            CliExit::BadUsage};
}

} // namespace

QString cliUsage()
{
    return QStringLiteral(R"help(Usage: quenby-rename [OPTIONS] -o DIR PATH...
       quenby-rename [OPTIONS] -o DIR --files-from FILE
       quenby-rename --undo[=ID] [--dry-run] [--json]
       quenby-rename --list-runs [--json]
Copies each HTML file into a results folder under a new name taken from the page:
from its visible words or its source (by content), or from values within its tags
(by metadata). Source files are never changed; no file is ever overwritten: a name
that is taken gets "!" marks before its extension.

  PATH                     a file is taken as given; a folder is scanned with all its
                           subfolders as a dropped folder is (every file, breadth first,
                           the same skips), or with --ext as "Add All HTML File(s) In
                           Folder" scans it (pattern "*." + EXT); the results folder
                           and everything below it are left out of every scan
  -o, --out DIR            results folder (required)
  --files-from FILE        read more PATHs from FILE, one a line ("-" for standard
                           input)
  -0, --null               with --files-from: the PATHs are separated by NUL
                           characters, as find -print0 writes them
  --by content|metadata    rename by content or by metadata (default content)
  --tags ignore|consider   ignore tags and look at the visible text only, or consider the
                           HTML source with its tags (default ignore)
  --include-head           with --tags consider: include the tags before <BODY>
  --method first|positions|after|before
                           content method (default first): the first N words; the words
                           at the positions of --positions; N words after --search; N
                           words before --search
  -n, --words N            N, the number of words to take (default 1); must be numeric
  --positions LIST         word positions for --method positions, e.g. 10,11 (default);
                           the words from the first position to the last one listed
  --search TEXT            the text searched for by --method after|before (may be empty)
  --pattern PATTERN        metadata pattern (default "%a - %t"): %a author, %t title,
                           %s subject, %c creator, %p producer, %k keywords, %d date
                           created, %m date modified, %g pages, separated by "-"; other
                           text is kept as written ("Saved %t", "%t (%d)"), and a part
                           between "-" whose codes all find nothing is left out
  --read lines|html        with --by metadata: how the codes find their values (default
                           lines): in the page's lines, as above; or as a browser reads
                           the page: %t its title (else og:title, twitter:title), %a,
                           %s, %k the author, description and keywords <meta>
                           elements, %c and %p the generator, %d and %m the dates
                           created and modified (dc.date, dcterms.created,
                           article:published_time, date; dcterms.modified,
                           article:modified_time, last-modified), %g nothing
  --shorten                cut a name too long for the file system of the results
                           folder after its last whole word that fits (with room for
                           the extension and eight "!" marks), instead of skipping it
  --max-length N           with --shorten: keep file names within N bytes where the
                           file system allows more; implies --shorten
  --windows-safe           names for copies read on Windows: a reserved device name
                           (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, any case, with or
                           without an extension) gets "_" after it; trailing dots and
                           blanks are removed
  --ext EXT                extension filter for folder arguments; may be given more
                           than once
  --dry-run                form every name and its free target path, copy nothing; names
                           planned earlier in the same run count as taken, and every
                           refusal that can be known without writing is reported
  --json                   one JSON object a line on standard output for each file:
                           {"source": S, "name": N, "target": T, "status": X} where N is
                           the new name after the character clean-up (and the cut of
                           --shorten), without "!" marks and extension, T the target path, X "renamed", "planned"
                           (dry run) or "skipped"; a skipped file's N and T are null and
                           its line ends with "reason": R, "error": E (below)
  --undo[=ID]              take back the last run that copied something (or run ID of
                           --list-runs), from the window or the command line: removes
                           each of its copies that is still there unchanged; a copy
                           changed or replaced since is kept and named; nothing else
                           is removed, sources are never touched. With --dry-run only
                           tells; with --json one object a line: {"target": T,
                           "status": X, "error": E}, X "removed", "planned" (dry run),
                           "changed", "replaced", "gone" or "failed"
  --list-runs              list the recorded runs, oldest first: id, date, results
                           folder, number of copies (the last 20 runs are kept, in
                           $XDG_STATE_HOME/quenby, by default ~/.local/state/quenby)
  --progress, --no-progress
                           a progress bar on standard error (default: when it is a
                           terminal)
  -h, --help               show this help
  -V, --version            show the version

Without --json, one line a file ("renamed: SOURCE -> TARGET", "planned: ..." or
"skipped: SOURCE (REASON)"), then the run's closing message. Each failure is one line
on standard error, "quenby-rename: PATH: description", and the run goes on.

Reasons for a skipped file (R), with E the system's description of the failure
behind it, or null:
  too-few-words            the page has fewer words than asked
  no-name                  no name left after the character clean-up (by metadata:
                           no value found for the pattern)
  name-too-long            the name is too long for the file system (see --shorten)
  not-regular-file         a folder, device, pipe or socket
  hidden                   a hidden file (its name begins with ".")
  unreadable               the file is missing or could not be opened or read
  too-slow                 reading the page took longer than 5 seconds
  changed                  the file changed while it was being copied
  copy-failed              the copy could not be written

Exit status: 0 every file renamed; 1 at least one file skipped; 2 bad usage; 3 the
results folder does not exist or disappeared during the run; 4 no files; 128 + the
signal when stopped by Ctrl-C (130), SIGTERM (143), SIGHUP (129) or SIGQUIT (131),
after the file under way. For --undo: 0 every copy removed (or gone already, or the
run was undone before); 1 a copy kept; 3 the results folder is gone; 5 no such run,
or its journal is missing or damaged.

Examples:
  quenby-rename -o ~/renamed -n 6 ~/saved-pages
  quenby-rename -o out --by metadata --pattern "%a - %t" --ext htm --ext html site/
  find site -name '*.htm' -print0 | quenby-rename -0 --files-from - -o out --json
  quenby-rename --undo --dry-run
)help");
}

CliParse parseCliArguments(const QStringList& argv)
{
    QCommandLineParser parser;
    const QCommandLineOption out({QStringLiteral("o"), QStringLiteral("out")}, {},
                                 QStringLiteral("DIR"));
    const QCommandLineOption by(QStringLiteral("by"), {}, QStringLiteral("WHAT"));
    const QCommandLineOption tags(QStringLiteral("tags"), {}, QStringLiteral("MODE"));
    const QCommandLineOption includeHead(QStringLiteral("include-head"));
    const QCommandLineOption method(QStringLiteral("method"), {}, QStringLiteral("METHOD"));
    const QCommandLineOption words({QStringLiteral("n"), QStringLiteral("words")}, {},
                                   QStringLiteral("N"));
    const QCommandLineOption positions(QStringLiteral("positions"), {}, QStringLiteral("LIST"));
    const QCommandLineOption search(QStringLiteral("search"), {}, QStringLiteral("TEXT"));
    const QCommandLineOption pattern(QStringLiteral("pattern"), {}, QStringLiteral("PATTERN"));
    const QCommandLineOption read(QStringLiteral("read"), {}, QStringLiteral("HOW"));
    const QCommandLineOption shorten(QStringLiteral("shorten"));
    const QCommandLineOption maxLength(QStringLiteral("max-length"), {}, QStringLiteral("N"));
    const QCommandLineOption windowsSafe(QStringLiteral("windows-safe"));
    const QCommandLineOption ext(QStringLiteral("ext"), {}, QStringLiteral("EXT"));
    const QCommandLineOption filesFrom(QStringLiteral("files-from"), {}, QStringLiteral("FILE"));
    const QCommandLineOption null(QStringList{QStringLiteral("0"), QStringLiteral("null")});
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption progress(QStringLiteral("progress"));
    const QCommandLineOption noProgress(QStringLiteral("no-progress"));
    const QCommandLineOption undo(QStringLiteral("undo"), {}, QStringLiteral("ID"));
    const QCommandLineOption listRuns(QStringLiteral("list-runs"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("V"), QStringLiteral("version")});
    parser.addOptions({out,      by,         tags, includeHead, method, words,  positions,
                       search,   pattern,    ext,  filesFrom,   null,   dryRun, json,
                       progress, noProgress, undo, listRuns,    help,   version});
    parser.addOptions({read, shorten, maxLength, windowsSafe});

    // The parser has no optional values: a bare --undo stands for the last run.
    QStringList given = argv;
    for (qsizetype i = 1; i < given.size() && given.at(i) != QStringLiteral("--"); ++i) {
        if (given.at(i) == QStringLiteral("--undo"))
            given[i] = QStringLiteral("--undo=0");
    }
    if (!parser.parse(given))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return {std::nullopt, cliUsage(), 0};
    if (parser.isSet(version))
        return {std::nullopt,
                QStringLiteral("quenby-rename ") + QCoreApplication::applicationVersion(), 0};

    CliArguments a;
    a.paths = parser.positionalArguments();
    if (parser.isSet(undo) || parser.isSet(listRuns)) {
        if (parser.isSet(undo) && parser.isSet(listRuns))
            return usageError(QStringLiteral("--undo and --list-runs exclude each other"));
        if (!a.paths.isEmpty() || parser.isSet(out) || parser.isSet(filesFrom))
            return usageError(QStringLiteral("--undo and --list-runs take no files and no --out"));
        if (parser.isSet(undo)) {
            bool ok = false;
            const int id = parser.value(undo).toInt(&ok);
            if (!ok || id < 0 || parser.value(undo).startsWith(QLatin1Char('+')))
                return usageError(QStringLiteral("--undo=ID takes the number of a run, as "
                                                 "--list-runs shows it (got \"%1\")")
                                      .arg(parser.value(undo)));
            a.undo = id;
        }
        a.listRuns = parser.isSet(listRuns);
        a.dryRun = parser.isSet(dryRun);
        a.json = parser.isSet(json);
        return {a, QString(), 0};
    }
    if (!parser.isSet(out))
        return usageError(QStringLiteral("--out DIR is required"));
    a.options.results = parser.value(out);

    auto choice = [&](const QCommandLineOption& option, const QStringList& choices,
                      int fallback) -> std::optional<int> {
        if (!parser.isSet(option))
            return fallback;
        const int index = choices.indexOf(parser.value(option));
        if (index < 0)
            return std::nullopt;
        return index;
    };
    const QString name = QStringLiteral("--%1 must be one of: %2 (got \"%3\")");

    const QStringList byChoices{QStringLiteral("content"), QStringLiteral("metadata")};
    const auto byIndex = choice(by, byChoices, 0);
    if (!byIndex)
        return usageError(
            name.arg(QStringLiteral("by"), byChoices.join(QStringLiteral(", ")), parser.value(by)));
    a.options.by = *byIndex == 0 ? RenameBy::Content : RenameBy::Metadata;

    const QStringList tagChoices{QStringLiteral("ignore"), QStringLiteral("consider")};
    const auto tagIndex = choice(tags, tagChoices, 0);
    if (!tagIndex)
        return usageError(name.arg(QStringLiteral("tags"), tagChoices.join(QStringLiteral(", ")),
                                   parser.value(tags)));
    a.options.tags = *tagIndex == 0 ? TagMode::IgnoreTags : TagMode::ConsiderTags;
    a.options.includeHead = parser.isSet(includeHead);

    const QStringList methodChoices{QStringLiteral("first"), QStringLiteral("positions"),
                                    QStringLiteral("after"), QStringLiteral("before")};
    const auto methodIndex = choice(method, methodChoices, 0);
    if (!methodIndex)
        return usageError(name.arg(QStringLiteral("method"),
                                   methodChoices.join(QStringLiteral(", ")), parser.value(method)));
    a.options.method = ContentMethod(*methodIndex);

    if (parser.isSet(words)) {
        a.words = parser.value(words);
        if (!TextRules::isNumeric(a.words))
            return usageError(QStringLiteral("--words must be numeric (got \"%1\")").arg(a.words));
    }
    if (parser.isSet(positions)) {
        a.positions = WordNumbers::fromText(parser.value(positions));
        if (!a.positions.acceptable())
            return usageError(
                QStringLiteral("--positions must be numbers separated by \",\" (got \"%1\")")
                    .arg(a.positions.text()));
    }
    if (parser.isSet(search)) {
        a.search = parser.value(search);
    } else if (a.options.by == RenameBy::Content && searchesText(a.options.method)) {
        return usageError(QStringLiteral("--search TEXT is required with --method %1")
                              .arg(methodChoices[int(a.options.method)]));
    }
    if (parser.isSet(pattern))
        a.options.pattern = parser.value(pattern);

    const QStringList readChoices{QStringLiteral("lines"), QStringLiteral("html")};
    const auto readIndex = choice(read, readChoices, 0);
    if (!readIndex)
        return usageError(name.arg(QStringLiteral("read"), readChoices.join(QStringLiteral(", ")),
                                   parser.value(read)));
    if (parser.isSet(read) && a.options.by != RenameBy::Metadata)
        return usageError(QStringLiteral("--read is for --by metadata"));
    a.options.names.readHtml = *readIndex == 1;
    a.options.names.shorten = parser.isSet(shorten) || parser.isSet(maxLength);
    if (parser.isSet(maxLength)) {
        bool ok = false;
        const int n = parser.value(maxLength).toInt(&ok);
        if (!ok || n < 1)
            return usageError(
                QStringLiteral("--max-length must be a whole number of bytes, 1 or more (got \"%1\")")
                    .arg(parser.value(maxLength)));
        a.options.names.maxLength = n;
    }
    a.options.names.windowsSafe = parser.isSet(windowsSafe);
    a.extensions = parser.values(ext);
    if (parser.isSet(filesFrom))
        a.filesFrom = parser.value(filesFrom);
    a.nulSeparated = parser.isSet(null);
    if (a.nulSeparated && !a.filesFrom)
        return usageError(QStringLiteral("-0 is for the paths of --files-from"));
    a.dryRun = parser.isSet(dryRun);
    a.json = parser.isSet(json);
    if (parser.isSet(progress) && parser.isSet(noProgress))
        return usageError(QStringLiteral("--progress and --no-progress exclude each other"));
    if (parser.isSet(progress))
        a.progress = true;
    else if (parser.isSet(noProgress))
        a.progress = false;
    return {a, QString(), 0};
}
