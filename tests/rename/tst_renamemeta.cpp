#include "rename/Renaming.h"
#include "rename/TextLines.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/Workspace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kLabel = QStringLiteral("in Orlesk2021/08/31.Renaming.RenameMeta ");

} // namespace

class RenameMetaTest : public QObject, protected RenameWorkspace
{
    Q_OBJECT

private slots:
    // A page that cannot be read (here: the kernel answers every read with an
    // I/O error) is passed over for that failure, which names the file.
    void unreadableSource()
    {
        const QString source = QStringLiteral("/proc/self/mem");
        if (!QFileInfo(source).isFile())
            QSKIP("no /proc/self/mem here");
        Renaming renaming(m_options, m_reporter);
        const NameResult result = renaming.RenameMeta(source, QStringLiteral("Page %t"));
        QVERIFY(!result);
        QCOMPARE(result.cause, SkipCause::Failed);
        QCOMPARE(result.failure->kind(), Failure::Kind::SourceUnreadable);
        QCOMPARE(m_reporter.reports.size(), 1);
        QCOMPARE(m_reporter.subjects.value(0), source);
        QCOMPARE(entries(m_out), QStringList());
    }

    void init();
    void names_data();
    void names();
    void emptyPatternUsesOwnName_data();
    void emptyPatternUsesOwnName();
    void sourceNotOrdinary_data();
    void sourceNotOrdinary();
    void clashes();
    void dryRun();

private:
    RecordingReporter m_reporter;
};

void RenameMetaTest::init()
{
    makeWorkspace();
    m_options.by = RenameBy::Metadata;
    m_reporter.reports.clear();
}

void RenameMetaTest::names_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected"); // the copy's file name; empty: passed over

    const QByteArray report = "<html>\n<Author>Ann Lee</Author>\n<p>x</p>\n"
                              "<title>Annual Report</title>\n</html>\n";
    const QByteArray authorOnly = "<Author>Ann Lee</Author>\n<p>no heading</p>\n";
    QTest::newRow("worked example") << "%a - %t" << report << "Ann Lee - Annual Report.htm";
    QTest::newRow("author only") << "%a - %t" << authorOnly << "Ann Lee -.htm";
    QTest::newRow("title only") << "%a - %t" << QByteArray("<title>Annual Report</title>\n")
                                << "Annual Report.htm";
    QTest::newRow("no values") << "%a - %t" << QByteArray("<p>nothing</p>\n") << "";
    QTest::newRow("empty file") << "%a - %t" << QByteArray() << "";
    QTest::newRow("Subtitle matches title, empty value")
        << "%a - %t" << QByteArray("<Author>Ann</Author>\n<p>Subtitle</p>\n<title>Real</title>\n")
        << "Ann -.htm";
    QTest::newRow("Subtitle alone")
        << "%t" << QByteArray("<p>Subtitle</p>\n<title>Real</title>\n") << "";
    QTest::newRow("meta element in attributes")
        << "%a" << QByteArray("<meta name=\"author\" content=\"Ann Lee\">\n")
        << " contentAnn Lee.htm";
    QTest::newRow("case of the field ignored") << "%a" << QByteArray("AUTHOR Bob\n") << "Bob.htm";
    QTest::newRow("value ends at the first </")
        << "%t" << QByteArray("<title>Big <b>one</b> here</title>\n") << "Big bone.htm";
    QTest::newRow("first line holding the field only")
        << "%t" << QByteArray("<title></title>\n<title>Second</title>\n") << "";
    QTest::newRow("capital code is no code: text")
        << "%T" << QByteArray("<h1>Head</h1>\n") << "T.htm";
    QTest::newRow("capital code after a code is text")
        << "%a - %T" << authorOnly << "Ann Lee - T.htm";
    QTest::newRow("non-code token after a code is text")
        << "%a - x" << authorOnly << "Ann Lee - x.htm";
    QTest::newRow("non-code token first is text")
        << "x - %t" << QByteArray("\n\n<h1>Head</h1>\n<title>T</title>\n") << "x - T.htm";
    QTest::newRow("empty token between two hyphens adds nothing")
        << "%a -- %t" << report << "Ann Lee - Annual Report.htm";
    QTest::newRow("text and a code in one token")
        << "Saved %t" << report << "Saved Annual Report.htm";
    QTest::newRow("a token whose code is empty goes with its text")
        << "by %a - %t" << QByteArray("<title>Annual Report</title>\n") << "Annual Report.htm";
    QTest::newRow("pattern without hyphen") << "%t" << report << "Annual Report.htm";
    QTest::newRow("blanks around codes") << "  %t  " << report << "Annual Report.htm";
    QTest::newRow("every code")
        << "%s-%c-%p-%k-%d-%m-%g"
        << QByteArray("<Subject>S</Subject>\n<Creator>C</Creator>\n<Producer>P</Producer>\n"
                      "<Keywords>K</Keywords>\n<CreationDate>D</CreationDate>\n"
                      "<ModDate>M</ModDate>\n<Pages>G</Pages>\n")
        << "S - C - P - K - D - M - G.htm";
    QTest::newRow("no date formatting")
        << "%d" << QByteArray("CreationDate: D:20210831120000+02'00'\n")
        << " D20210831120000+0200.htm";
    QTest::newRow("percent removed")
        << "%t" << QByteArray("<title>50% off</title>\n") << "50 off.htm";
    QTest::newRow("cleaned to nothing") << "%t" << QByteArray("<title>?\?\?</title>\n") << "";
    QTest::newRow("lone CR ends a line")
        << "%a - %t" << QByteArray("Author Ann\rTitle T\r") << "Ann - T.htm";
    QTest::newRow("CR LF lines") << "%a - %t" << QByteArray("Author Ann\r\nTitle T\r\n")
                                 << "Ann - T.htm";
    QTest::newRow("tabs are not blanks")
        << "%t" << QByteArray("<title>\tTabbed </title>\n") << "Tabbed.htm";
    QTest::newRow("UTF-8 page") << "%t" << QByteArray("<title>Caf\xc3\xa9</title>\n") << "Café.htm";
    QTest::newRow("Windows-1252 page")
        << "%t" << QByteArray("<title>Caf\xe9</title>\n") << "Café.htm";
    QTest::newRow("typographic quotes kept")
        << "%t" << QByteArray("<title>\x93Quoted\x94 \x80 5</title>\n") << "\u201cQuoted\u201d \u20ac 5.htm";
}

void RenameMetaTest::names()
{
    QFETCH(QString, pattern);
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    const QString source = path("page.htm");
    writeFile(source, file);

    Renaming renaming(m_options, m_reporter);
    const NameResult result = renaming.RenameMeta(source, pattern);

    QCOMPARE(m_reporter.reports.size(), 0);
    QCOMPARE(result.renamed, !expected.isEmpty());
    QCOMPARE(result.target.isEmpty(), !result.renamed);
    if (!result.renamed) {
        QCOMPARE(entries(m_out), QStringList());
        return;
    }
    QCOMPARE(entries(m_out), QStringList({expected}));
    QCOMPARE(result.name, expected.chopped(4));
    QCOMPARE(result.target, m_out + "/" + expected);
    QCOMPARE(readFile(m_out + "/" + expected), file);
    QCOMPARE(readFile(source), file);
}

void RenameMetaTest::emptyPatternUsesOwnName_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << ""
                           << "Annual: Report.html"
                           << "Annual Report.html";
    QTest::newRow("blanks") << "   "
                            << "page.htm"
                            << "page.htm";
    QTest::newRow("percent removed") << ""
                                     << "50%.htm"
                                     << "50.htm";
    QTest::newRow("hidden file is copied too") << ""
                                               << ".page.htm"
                                               << ".page.htm";
    QTest::newRow("no dot in the name") << ""
                                        << "notes"
                                        << "notes";
}

void RenameMetaTest::emptyPatternUsesOwnName()
{
    QFETCH(QString, pattern);
    QFETCH(QString, source);
    QFETCH(QString, expected);
    writeFile(path(source), "<title>Not read</title>");
    Renaming renaming(m_options, m_reporter);
    QVERIFY(renaming.RenameMeta(path(source), pattern));
    QCOMPARE(entries(m_out), QStringList({expected}));
    QCOMPARE(m_reporter.reports.size(), 0);
}

void RenameMetaTest::sourceNotOrdinary_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("reports");
    QTest::newRow("missing") << "%t"
                             << "missing.htm" << 0;
    QTest::newRow("hidden") << "%t"
                            << ".hidden.htm" << 0;
    QTest::newRow("folder") << "%t"
                            << "folder.htm" << 0;
    // Without a pattern nothing is tested first: the copy itself fails.
    QTest::newRow("missing, empty pattern") << ""
                                            << "missing.htm" << 1;
    QTest::newRow("folder, empty pattern") << ""
                                           << "folder.htm" << 1;
}

void RenameMetaTest::sourceNotOrdinary()
{
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(int, reports);
    writeFile(path(".hidden.htm"), "<title>Hidden</title>");
    QVERIFY(QDir(m_dir->path()).mkdir("folder.htm"));
    Renaming renaming(m_options, m_reporter);
    const NameResult result = renaming.RenameMeta(path(name), pattern);
    QVERIFY(!result);
    QVERIFY(result.target.isEmpty());
    QCOMPARE(entries(m_out), QStringList());
    QCOMPARE(m_reporter.reports.size(), reports);
    for (const RecordedReport& report : std::as_const(m_reporter.reports))
        QCOMPARE(report.label, kLabel);
}

void RenameMetaTest::clashes()
{
    writeFile(m_out + "/Annual Report.htm", "existing");
    writeFile(path("a.htm"), "<title>Annual Report</title>");
    writeFile(path("b.htm"), "<title>Annual Report</title>\n<!-- b -->");
    Renaming renaming(m_options, m_reporter);
    QVERIFY(renaming.RenameMeta(path("a.htm"), QStringLiteral("%t")));
    QVERIFY(renaming.RenameMeta(path("b.htm"), QStringLiteral("%t")));
    QCOMPARE(readFile(m_out + "/Annual Report.htm"), QByteArray("existing"));
    QCOMPARE(readFile(m_out + "/Annual Report!.htm"), readFile(path("a.htm")));
    QCOMPARE(readFile(m_out + "/Annual Report!!.htm"), readFile(path("b.htm")));
}

void RenameMetaTest::dryRun()
{
    writeFile(path("a.htm"), "<title>T</title>");
    Renaming renaming(m_options, m_reporter);
    renaming.setDryRun(true);
    QCOMPARE(renaming.RenameMeta(path("a.htm"), QStringLiteral("%t")).target, m_out + "/T.htm");
    QCOMPARE(renaming.RenameMeta(path("a.htm"), QStringLiteral("%t")).target, m_out + "/T!.htm");
    QCOMPARE(renaming.RenameMeta(path("a.htm"), QString()).target, m_out + "/a.htm");
    // A missing source cannot be planned either.
    QVERIFY(!renaming.RenameMeta(path("gone.htm"), QString()));
    QCOMPARE(m_reporter.reports.size(), 1);
    QCOMPARE(entries(m_out), QStringList());
}

QTEST_GUILESS_MAIN(RenameMetaTest)
#include "tst_renamemeta.moc"
