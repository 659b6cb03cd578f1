#include "CliArguments.h"

#include "rename/RenameRun.h"
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
    return QStringLiteral(R"(Usage: quenby-rename [OPTIONS] PATH...
Copies each HTML file into a results folder under a new name taken from the page:
from its visible words or its source (by content), or from values within its tags
(by metadata). Source files are never changed; no file is ever overwritten: a name
that is taken gets "!" marks before its extension.

  PATH                     a file is taken as given; a folder is scanned with all its
                           subfolders as a dropped folder is (every file, breadth first,
                           the same skips), or with --ext as "Add All HTML File(s) In
                           Folder" scans it (pattern "*." + EXT)
  -o, --out DIR            results folder (required)
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
  --ext EXT                extension filter for folder arguments
  --dry-run                form every name and its free target path, copy nothing; names
                           planned earlier in the same run count as taken
  --json                   one JSON object a line on standard output for each file:
                           {"source": S, "name": N, "target": T, "status": X} where N is
                           the new name after the character clean-up, without "!" marks
                           and extension (null when skipped), T the target path (null
                           when skipped), X "renamed", "planned" (dry run) or "skipped"
  --progress, --no-progress
                           a progress bar on standard error (default: when it is a
                           terminal)
  -h, --help               show this help
  --version                show the version

Without --json, one line a file ("renamed: SOURCE -> TARGET", "planned: ..." or
"skipped: SOURCE"), then the run's closing message. Failures are reported on standard
error and the run goes on.

Exit status: 0 every file renamed; 1 at least one file skipped; 2 bad usage; 3 the
results folder does not exist; 4 no files.

Examples:
  quenby-rename -o ~/renamed -n 6 ~/saved-pages
  quenby-rename -o out --by metadata --pattern "%a - %t" --ext html site/
)");
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
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption progress(QStringLiteral("progress"));
    const QCommandLineOption noProgress(QStringLiteral("no-progress"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({out, by, tags, includeHead, method, words, positions, search, pattern, ext,
                       dryRun, json, progress, noProgress, help, version});

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
    a.options.method = *methodIndex;

    if (parser.isSet(words)) {
        a.words = parser.value(words);
        if (!TextRules::isNumeric(a.words))
            return usageError(QStringLiteral("--words must be numeric (got \"%1\")").arg(a.words));
    }
    if (parser.isSet(positions)) {
        a.positions = parser.value(positions);
        if (!RenameRun::acceptsWordNumbers(a.positions))
            return usageError(
                QStringLiteral("--positions must be numbers separated by \",\" (got \"%1\")")
                    .arg(a.positions));
    }
    if (parser.isSet(search)) {
        a.search = parser.value(search);
    } else if (a.options.by == RenameBy::Content && a.options.method >= 2) {
        return usageError(QStringLiteral("--search TEXT is required with --method %1")
                              .arg(methodChoices[a.options.method]));
    }
    if (parser.isSet(pattern))
        a.options.pattern = parser.value(pattern);
    if (parser.isSet(ext))
        a.extension = parser.value(ext);
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
