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
                           created, %m date modified, %g pages, separated by "-"
  --ext EXT                extension filter for folder arguments; may be given more
                           than once
  --dry-run                form every name and its free target path, copy nothing; names
                           planned earlier in the same run count as taken, and every
                           refusal that can be known without writing is reported
  --json                   one JSON object a line on standard output for each file:
                           {"source": S, "name": N, "target": T, "status": X} where N is
                           the new name after the character clean-up, without "!" marks
                           and extension, T the target path, X "renamed", "planned"
                           (dry run) or "skipped"; a skipped file's N and T are null and
                           its line ends with "reason": R, "error": E (below)
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
  name-too-long            the name is too long for the file system
  not-regular-file         a folder, device, pipe or socket
  hidden                   a hidden file (its name begins with ".")
  unreadable               the file is missing or could not be opened or read
  too-slow                 reading the page took longer than 5 seconds
  changed                  the file changed while it was being copied
  copy-failed              the copy could not be written

Exit status: 0 every file renamed; 1 at least one file skipped; 2 bad usage; 3 the
results folder does not exist or disappeared during the run; 4 no files; 128 + the
signal when stopped by Ctrl-C (130), SIGTERM (143), SIGHUP (129) or SIGQUIT (131),
after the file under way.

Examples:
  quenby-rename -o ~/renamed -n 6 ~/saved-pages
  quenby-rename -o out --by metadata --pattern "%a - %t" --ext htm --ext html site/
  find site -name '*.htm' -print0 | quenby-rename -0 --files-from - -o out --json
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
    const QCommandLineOption ext(QStringLiteral("ext"), {}, QStringLiteral("EXT"));
    const QCommandLineOption filesFrom(QStringLiteral("files-from"), {}, QStringLiteral("FILE"));
    const QCommandLineOption null(QStringList{QStringLiteral("0"), QStringLiteral("null")});
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption progress(QStringLiteral("progress"));
    const QCommandLineOption noProgress(QStringLiteral("no-progress"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("V"), QStringLiteral("version")});
    parser.addOptions({out, by, tags, includeHead, method, words, positions, search, pattern, ext,
                       filesFrom, null, dryRun, json, progress, noProgress, help, version});

    if (!parser.parse(argv))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return {std::nullopt, cliUsage(), 0};
    if (parser.isSet(version))
        return {std::nullopt,
                QStringLiteral("quenby-rename ") + QCoreApplication::applicationVersion(), 0};

    CliArguments a;
    a.paths = parser.positionalArguments();
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
