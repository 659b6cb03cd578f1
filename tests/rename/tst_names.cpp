// What names come out: the cut to fit, the Windows-safe form and the metadata
// pattern on their own, then one table of names through both namers and the
// dry run.

#include "platform/FileSystem.h"
#include "rename/MetaPattern.h"
#include "rename/Renaming.h"
#include "rename/TargetNames.h"
#include "support/Fakes.h"
#include "support/Files.h"

#include <QHash>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

enum Flags { Shorten = 1, WindowsSafe = 2 };
using Cause = Renaming::SkipCause;

// The file names in `folder`, as the file system has them.
QStringList namesIn(const QString& folder)
{
    QStringList names = FileSystem::entryNames(folder);
    names.sort();
    return names;
}

} // namespace

Q_DECLARE_METATYPE(Renaming::SkipCause)

class NamesTest : public QObject
{
    Q_OBJECT

private slots:
    void shortenName_data();
    void shortenName();
    void windowsSafe_data();
    void windowsSafe();
    void metaPattern_data();
    void metaPattern();
    void throughBothNamers_data();
    void throughBothNamers();
};

void NamesTest::shortenName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("shortened");
    QTest::newRow("fits") << "Annual Report" << 13 << "Annual Report";
    QTest::newRow("after the last whole word") << "Annual Report 2021" << 16 << "Annual Report";
    QTest::newRow("the cut falls just before a blank") << "Annual Report 2021" << 13
                                                       << "Annual Report";
    QTest::newRow("the cut falls on a blank") << "Annual Report 2021" << 14 << "Annual Report";
    QTest::newRow("trailing blanks go") << "Annual    Report" << 10 << "Annual";
    QTest::newRow("first word alone too long") << "Supercalifragilistic day" << 9
                                               << "Supercali";
    QTest::newRow("never inside a UTF-8 sequence") << "\u00e9\u00e9\u00e9\u00e9" << 7
                                                   << "\u00e9\u00e9\u00e9";
    QTest::newRow("three-byte characters") << "\u20ac\u20ac\u20ac" << 8 << "\u20ac\u20ac";
    QTest::newRow("never inside a surrogate pair") << "ab\U0001F600\U0001F600" << 9
                                                   << "ab\U0001F600";
    QTest::newRow("an escaped byte is one byte")
        << QString("ab") + QChar(0xDCE9) + QChar(0xDCE9) + "c" << 4
        << QString("ab") + QChar(0xDCE9) + QChar(0xDCE9);
    QTest::newRow("words of wide characters")
        << "\u00c9t\u00e9 \u00e0 Paris" << 9 << "\u00c9t\u00e9 \u00e0";
    QTest::newRow("leading blank before one long word") << " Longword" << 5 << " Long";
    QTest::newRow("nothing fits") << "\u20ac" << 2 << "";
}

void NamesTest::shortenName()
{
    QFETCH(QString, name);
    QFETCH(int, maxBytes);
    QFETCH(QString, shortened);
    QCOMPARE(ShortenName(name, maxBytes), shortened);
}

void NamesTest::windowsSafe_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("safe");
    QTest::newRow("ordinary") << "Annual Report"
                              << "Annual Report";
    QTest::newRow("device") << "CON"
                            << "CON_";
    QTest::newRow("any case") << "nul"
                              << "nul_";
    QTest::newRow("numbered") << "Com7"
                              << "Com7_";
    QTest::newRow("LPT9") << "LPT9"
                          << "LPT9_";
    QTest::newRow("COM0 is no device") << "COM0"
                                       << "COM0";
    QTest::newRow("COM10 is no device") << "COM10"
                                        << "COM10";
    QTest::newRow("with an extension") << "aux.tar"
                                       << "aux_.tar";
    QTest::newRow("device within a word") << "CONFIG"
                                          << "CONFIG";
    QTest::newRow("trailing dots and blanks") << "Report. . "
                                              << "Report";
    QTest::newRow("a device after trailing dots go") << "PRN..."
                                                     << "PRN_";
    QTest::newRow("leading blank kept") << " x"
                                        << " x";
    QTest::newRow("dots only") << "..."
                               << "";
}

void NamesTest::windowsSafe()
{
    QFETCH(QString, name);
    QFETCH(QString, safe);
    QCOMPARE(WindowsSafeName(name), safe);
}

void NamesTest::metaPattern_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("values"); // letters with a value: a=Ann, t=Annual Report, d=2021
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("fields");
    const QStringList at{"Author", "Title"};
    QTest::newRow("codes") << "%a - %t"
                           << "at"
                           << "Ann - Annual Report" << at;
    QTest::newRow("later value empty: separator stays") << "%a - %t"
                                                        << "a"
                                                        << "Ann - " << at;
    QTest::newRow("earlier value empty") << "%a - %t"
                                         << "t"
                                         << "Annual Report" << at;
    QTest::newRow("no values") << "%a - %t"
                               << ""
                               << "" << at;
    QTest::newRow("literal before a code") << "Saved %t"
                                           << "t"
                                           << "Saved Annual Report" << QStringList{"Title"};
    QTest::newRow("two codes in a token") << "%t (%d)"
                                          << "td"
                                          << "Annual Report (2021)"
                                          << QStringList{"Title", "CreationDate"};
    QTest::newRow("one of two codes empty") << "%t (%d)"
                                            << "t"
                                            << "Annual Report ()"
                                            << QStringList{"Title", "CreationDate"};
    QTest::newRow("codes all empty: token and separator go")
        << "Saved %t - by %a"
        << "a"
        << "by Ann" << QStringList{"Title", "Author"};
    QTest::newRow("token without codes is text") << "Report - %a"
                                                 << ""
                                                 << "Report - " << QStringList{"Author"};
    QTest::newRow("capital letter makes no code") << "%T"
                                                  << "t"
                                                  << "%T" << QStringList();
    QTest::newRow("empty token adds nothing") << "%a -- %t"
                                              << "at"
                                              << "Ann - Annual Report" << at;
    QTest::newRow("blanks around tokens go, inside kept") << "  Saved   %t  "
                                                          << "t"
                                                          << "Saved   Annual Report"
                                                          << QStringList{"Title"};
    QTest::newRow("codes side by side") << "%a%t"
                                        << "at"
                                        << "AnnAnnual Report" << at;
    QTest::newRow("lone percent at the end is text") << "50%"
                                                     << ""
                                                     << "50%" << QStringList();
    QTest::newRow("a code used twice is searched once") << "%t - %t"
                                                        << "t"
                                                        << "Annual Report - Annual Report"
                                                        << QStringList{"Title"};
}

void NamesTest::metaPattern()
{
    QFETCH(QString, pattern);
    QFETCH(QString, values);
    QFETCH(QString, name);
    QFETCH(QStringList, fields);
    const QHash<QChar, QString> known{
        {u'a', "Ann"}, {u't', "Annual Report"}, {u'd', "2021"}};
    const MetaPattern parsed(pattern);
    QStringList asked;
    const QString composed = parsed.compose([&](const MetaPattern::Field& field) {
        asked.append(field.name);
        return values.contains(field.letter) ? known.value(field.letter) : QString();
    });
    QCOMPARE(composed, name);
    QCOMPARE(parsed.fieldNames(), fields);
    QVERIFY(asked.size() >= fields.size());
}

void NamesTest::throughBothNamers_data()
{
    // `page` is both the page's visible text, for the content namer, and its
    // title, for the metadata namer with `pattern`; the content namer takes
    // part only where the pattern is "%t". With an empty page and pattern,
    // both keep the source's own name. `expected` empty: the file is passed over
    // with `cause`, and nothing is written.
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<Cause>("cause");
    const QString t = QStringLiteral("%t");
    const QByteArray page = "page.htm";
    const auto row = [&](const char* name, const QString& text, const QString& expected,
                         int flags = 0, int maxLength = 0, const QStringList& existing = {},
                         Cause cause = Cause::None) {
        QTest::newRow(name) << text << t << page << flags << maxLength << existing << expected
                            << cause;
    };

    // Letters kept, controls dropped, no hidden copies.
    row("Windows-1252 letters", "\u0152uvre compl\u00e8te \u0160koda", "\u0152uvre compl\u00e8te \u0160koda.htm");
    row("Windows-1252 signs", "5 \u20ac \u2013 \u201cA\u201d \u2018b\u2019 \u2026 \u2122 \u2020 \u0178",
        "5 \u20ac \u2013 \u201cA\u201d \u2018b\u2019 \u2026 \u2122 \u2020 \u0178.htm");
    row("C1 controls dropped", "a\u0081b\u008dc\u009d", "abc.htm");
    row("bidirectional override dropped", "evil\u202elmth.exe", "evillmth.exe.htm");
    row("leading dots go", "..bashrc", "bashrc.htm");
    row("cleaned to nothing", "???", "", 0, 0, {}, Cause::NoNameLeft);
    row("controls only", "\u0081\u202e\u0090", "", 0, 0, {}, Cause::NoNameLeft);
    row("dots only", "..", "", 0, 0, {}, Cause::NoNameLeft);

    // Cut to fit: 255 bytes, less ".htm" and room for eight marks, leave 243.
    const QString words = QStringLiteral("word ").repeated(60).trimmed(); // 299 bytes
    row("too long: passed over", words, "", 0, 0, {}, Cause::Failed);
    row("cut after a whole word", words, QStringLiteral("word ").repeated(48).trimmed() + ".htm",
        Shorten);
    const QString longWord = QString(300, u'x');
    row("one long word: cut at a character", longWord, QString(243, u'x') + ".htm", Shorten);
    const QString accents = QString(200, u'\u00e9');
    row("never inside a character", accents, QString(121, u'\u00e9') + ".htm", Shorten);
    row("a full name still takes marks", longWord, QString(243, u'x') + "!.htm", Shorten, 0,
        {QString(243, u'x') + ".htm"});
    row("a lower limit", "The quick brown fox jumps over the lazy dog", "The quick brown fox jumps.htm",
        Shorten, 40);
    row("a lower limit cuts a word", "Supercalifragilistic", "Supercalifr.htm", Shorten, 23);

    // Safe for Windows.
    row("device name", "CON", "CON_.htm", WindowsSafe);
    row("device name in any case", "lpt1", "lpt1_.htm", WindowsSafe);
    row("device name with an extension", "nul.tar", "nul_.tar.htm", WindowsSafe);
    row("trailing dots", "Report. .", "Report.htm", WindowsSafe);
    row("device names kept without the option", "CON", "CON.htm");
    row("trailing dots kept without the option", "Report..", "Report...htm");

    // Literal text in metadata patterns.
    const auto meta = [&](const char* name, const QString& title, const QString& pattern,
                          const QString& expected, Cause cause = Cause::None) {
        QTest::newRow(name) << title << pattern << page << 0 << 0 << QStringList() << expected
                            << cause;
    };
    meta("text before a code", "Annual Report", "Saved %t", "Saved Annual Report.htm");
    meta("two codes in one part", "Annual Report", "%t (%d)", "Annual Report (2021-03-04).htm");
    meta("a part whose codes are empty goes", "Annual Report", "by %a - %t", "Annual Report.htm");
    meta("the separator before an empty last part stays", "Annual Report", "%t - by %a",
         "Annual Report -.htm");
    meta("a part without codes", "Annual Report", "Report - %t", "Report - Annual Report.htm");
    meta("codes only: the worked pattern", "Annual Report", "%t - %d",
         "Annual Report - 2021-03-04.htm");
    meta("codes only: later value empty", "Annual Report", "%t - %a", "Annual Report -.htm");
    meta("no name when every code is empty", "Annual Report", "Saved %a", "", Cause::EmptyName);

    // The source's own name, kept as it is, with bytes that are not UTF-8.
    QByteArray words5 = QByteArray("caf\xe9 ").repeated(48) + "\xe9\xe9\xe9\xe9\xe9"; // 245 bytes
    QTest::newRow("own name cut after a word, escaped bytes in it")
        << QString() << QString() << words5 + ".htm" << int(Shorten) << 0 << QStringList()
        << FileSystem::pathFromNative(words5.left(239) + ".htm") << Cause::None;
    const QByteArray mixed = "a" + QByteArray("\xe9\xc3\xa9").repeated(83); // 250 bytes
    QTest::newRow("own name cut between an escaped byte and a character")
        << QString() << QString() << mixed + ".htm" << int(Shorten) << 0 << QStringList()
        << FileSystem::pathFromNative(mixed.left(242) + ".htm") << Cause::None;
    QTest::newRow("own name kept whole when it fits")
        << QString() << QString() << QByteArray("caf\xe9.htm") << int(Shorten) << 0
        << QStringList() << FileSystem::pathFromNative("caf\xe9.htm") << Cause::None;
}

void NamesTest::throughBothNamers()
{
    QFETCH(QString, page);
    QFETCH(QString, pattern);
    QFETCH(QByteArray, source);
    QFETCH(int, flags);
    QFETCH(int, maxLength);
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    QFETCH(Cause, cause);

    QTemporaryDir dir;
    const QString sourcePath = dir.path() + "/" + FileSystem::pathFromNative(source);
    const QByteArray markup = "<html><head><title>" + page.toUtf8() +
                              "</title>\nCreationDate 2021-03-04\n</head><body>" +
                              page.toUtf8() + "</body></html>\n";
    {
        // By its bytes: the name need not be UTF-8.
        const int fd = ::open(FileSystem::nativePath(sourcePath).constData(),
                              O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, markup.constData(), size_t(markup.size())), ssize_t(markup.size()));
        ::close(fd);
    }
    QVERIFY(FileSystem::isOrdinaryFile(sourcePath));

    const int words = page.isEmpty() ? 1 : int(page.count(u' ')) + 1;
    int round = 0;
    for (const bool metadata : {false, true}) {
        if (!metadata && pattern != QLatin1String("%t") && !pattern.isEmpty())
            continue;
        for (const bool dryRun : {false, true}) {
            const QString label = QStringLiteral("%1%2").arg(metadata ? "metadata" : "content",
                                                            dryRun ? ", dry run" : "");
            const QString out = dir.filePath(QStringLiteral("out%1").arg(++round));
            QVERIFY(QDir().mkdir(out));
            for (const QString& name : existing)
                writeFile(out + "/" + name, "existing");
            FixedRenameOptions options;
            options.results = out;
            options.by = metadata ? RenameBy::Metadata : RenameBy::Content;
            options.names.shorten = flags & Shorten;
            options.names.windowsSafe = flags & WindowsSafe;
            options.names.maxLength = maxLength;
            RecordingReporter reporter;
            Renaming renaming(options, reporter);
            renaming.setDryRun(dryRun);
            const NameResult result =
                metadata ? renaming.RenameMeta(sourcePath, pattern)
                         : renaming.RenameFile(sourcePath, NamingRequest::of(words), page);
            QVERIFY2(result.renamed == !expected.isEmpty(), qPrintable(label));
            QStringList after = existing;
            if (result.renamed) {
                QCOMPARE(result.target, out + "/" + expected);
                if (!dryRun)
                    after.append(expected);
            } else {
                QVERIFY2(result.target.isEmpty(), qPrintable(label));
                // An empty title by content is too few words, by metadata no value.
                if (cause != Cause::EmptyName || metadata)
                    QCOMPARE(result.cause, cause);
                if (cause == Cause::Failed)
                    QCOMPARE(result.failure->code(), ENAMETOOLONG);
            }
            after.sort();
            QVERIFY2(namesIn(out) == after, qPrintable(label));
        }
    }
}

QTEST_GUILESS_MAIN(NamesTest)
#include "tst_names.moc"
