#include "platform/FileSystem.h"
#include "rename/Renaming.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/Workspace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kLabel = QStringLiteral("in Orlesk2021/08/31.Renaming.RenameFile ");

// "w1 w2 ... wN"
QString numberedWords(int count)
{
    QStringList words;
    for (int i = 1; i <= count; ++i)
        words.append(QStringLiteral("w%1").arg(i));
    return words.join(QLatin1Char(' '));
}

} // namespace

class RenameFileTest : public QObject, protected RenameWorkspace
{
    Q_OBJECT

private slots:
    void init();
    void names_data();
    void names();
    void sourceNotOrdinary_data();
    void sourceNotOrdinary();
    void sourceWithoutDot();
    void wordNumberTooLarge();
    void unreadableSourceFallsBack();
    void failedCopyIsReported();
    void sameNameTwice();
    void optionsReadAtEachCall();
    void dryRun();

private:
    RecordingReporter m_reporter;
};

void RenameFileTest::init()
{
    makeWorkspace();
    m_reporter.reports.clear();
}

void RenameFileTest::names_data()
{
    QTest::addColumn<int>("tags"); // 0 ignore, 1 consider, 2 none
    QTest::addColumn<bool>("includeHead");
    QTest::addColumn<int>("method");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("pageText");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("numbers");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("expected"); // the copy's file name; empty: passed over

    const QByteArray html = "<p>ignored</p>";
    auto ignore = [&](const char* name, int method, const QString& text, int count,
                      const QString& numbers, const QString& search, const QString& expected) {
        QTest::newRow(name) << 0 << false << method << html << text << count << numbers << search
                            << expected;
    };
    auto consider = [&](const char* name, bool head, const QByteArray& file, int count,
                        const QString& expected) {
        QTest::newRow(name) << 1 << head << 0 << file << QString() << count << QString()
                            << QString() << expected;
    };

    // Method 0 and the word rules.
    ignore("first word", 0, "Hello big world", 1, {}, {}, "Hello.htm");
    ignore("first two", 0, "Hello big world", 2, {}, {}, "Hello big.htm");
    ignore("all words", 0, "Hello big world", 3, {}, {}, "Hello big world.htm");
    ignore("more than there are", 0, "one two", 3, {}, {}, "");
    ignore("zero words", 0, "one two", 0, {}, {}, "");
    ignore("negative count", 0, "one two", -1, {}, {}, "");
    ignore("CR LF lines", 0, "one\r\ntwo\r\nthree", 3, {}, {}, "one two three.htm");
    ignore("double line break is an empty word", 0, "one\r\n\r\ntwo", 2, {}, {}, "one.htm");
    ignore("double line break counts", 0, "one\r\n\r\ntwo", 3, {}, {}, "one  two.htm");
    ignore("LF alone joins lines", 0, "one\ntwo three", 1, {}, {}, "onetwo.htm");
    ignore("double blank", 0, "one  two three", 2, {}, {}, "one.htm");
    ignore("blanks trimmed first", 0, "  one two", 1, {}, {}, "one.htm");
    ignore("tab stays inside a word", 0, "a\tb c", 1, {}, {}, "ab.htm");
    ignore("empty text: own name", 0, "", 1, {}, {}, "page.htm");
    ignore("empty text, zero words: own name", 0, "", 0, {}, {}, "page.htm");
    ignore("blanks only: passed over", 0, "   ", 1, {}, {}, "");
    ignore("line breaks only: passed over", 0, "\r\n", 1, {}, {}, "");
    ignore("percent kept", 0, "Save 50% now", 3, {}, {}, "Save 50% now.htm");

    // Method 1.
    const QString ten = numberedWords(10);
    const QString twelve = numberedWords(12);
    ignore("positions 10,11 of ten", 1, ten, 10, "10,11", {}, "w10.htm");
    ignore("positions 12,10: nothing", 1, ten, 12, "12,10", {}, "");
    ignore("positions 10,12,11", 1, twelve, 10, "10,12,11", {}, "w10 w11.htm");
    ignore("text order whatever the entry order", 1, twelve, 1, "1,4,3,4", {}, "w1 w3 w4.htm");
    ignore("last below first", 1, twelve, 5, "5,2", {}, "");
    ignore("entry outside the range ignored", 1, twelve, 2, "2,9,3", {}, "w2 w3.htm");
    ignore("non-numeric entry ignored", 1, twelve, 1, "1,x,3", {}, "w1 w3.htm");
    ignore("blanks around entries", 1, twelve, 2, " 2 , 3 ", {}, "w2 w3.htm");
    ignore("halves round to even", 1, twelve, 2, "2.5,3.5", {}, "w2 w4.htm");
    ignore("position zero names nothing", 1, twelve, 0, "0,2", {}, "w2.htm");
    ignore("trailing comma: last is 0", 1, twelve, 1, "1,3,", {}, "");
    ignore("empty numbers", 1, twelve, 1, "", {}, "");
    ignore("blank numbers", 1, twelve, 1, "  ", {}, "");
    ignore("empty text: own name", 1, "", 1, "1,2", {}, "page.htm");
    ignore("empty numbers beat empty text", 1, "", 1, "", {}, "");
    ignore("fewer words than the first", 1, ten, 11, "11,12", {}, "");
    ignore("line breaks first", 1, "a\r\nb\nc", 1, "1,2", {}, "a bc.htm");

    // Methods 2 and 3.
    const QString intro = QStringLiteral("Intro text CHAPTER one two");
    ignore("after, case ignored", 2, intro, 2, {}, "Chapter", "one two.htm");
    ignore("after, more than there are", 2, intro, 3, {}, "Chapter", "");
    ignore("after, not found: own name", 2, intro, 2, {}, "Appendix", "page.htm");
    ignore("after, at the very end: own name", 2, "Intro Chapter", 1, {}, "chapter", "page.htm");
    ignore("after, empty search: passed over", 2, intro, 2, {}, "", "");
    ignore("after, empty search and text", 2, "", 2, {}, "", "");
    ignore("after, first occurrence", 2, "a X b X c", 1, {}, "x", "b.htm");
    ignore("before", 3, intro, 2, {}, "Chapter", "Intro text.htm");
    ignore("before, not the first letter of the match", 3, intro, 3, {}, "Chapter", "");
    ignore("before, first words of the page", 3, intro, 1, {}, "Chapter", "Intro.htm");
    ignore("before, at the very start: own name", 3, intro, 1, {}, "intro", "page.htm");
    ignore("before, not found: own name", 3, intro, 1, {}, "Appendix", "page.htm");
    ignore("before, empty search", 3, intro, 1, {}, "", "");
    ignore("other method: no cut", 7, intro, 2, {}, "Chapter", "Intro text.htm");
    ignore("other method, empty search", 7, intro, 2, {}, "", "");

    // Consider tags.
    consider("after BODY in capitals", false,
             "<html><head><title>T</title></head><BODY>Body words here</BODY></html>", 2,
             "Body words.htm");
    consider("body with attributes: whole file", false,
             "<html><body class=\"x\">Hello there</body>", 1, "htmlbody.htm");
    consider("head included", true, "<head><title>T</title></head><body>Text more", 1,
             "headtitleTtitleheadbodyText.htm");
    consider("tags glued to text keep their letters", false, "<body><p>Hi</p> you", 1, "pHip.htm");
    consider("first body tag only", false, "<body>a <body>b", 2, "a bodyb.htm");
    consider("line breaks in the source", false, "<body>\r\nOne\r\nTwo\n", 2, "One Two.htm");
    consider("empty file: own name", false, "", 1, "page.htm");
    consider("nothing after body: own name", false, "<html><body>", 1, "page.htm");
    consider("UTF-8 page", false, "<body>Caf\xc3\xa9 au lait", 1, "Café.htm");
    consider("UTF-8 page with mark", false, "\xef\xbb\xbf<body>Caf\xc3\xa9", 1, "Café.htm");
    consider("Windows-1252 page", false, "<body>Caf\xe9 \x93quoted\x94", 2, "Café \u201cquoted\u201d.htm");

    QTest::newRow("no tag mode: own name")
        << 2 << false << 0 << html << QStringLiteral("ignored") << 1 << QString() << QString()
        << QStringLiteral("page.htm");
}

void RenameFileTest::names()
{
    QFETCH(int, tags);
    QFETCH(bool, includeHead);
    QFETCH(int, method);
    QFETCH(QByteArray, file);
    QFETCH(QString, pageText);
    QFETCH(int, count);
    QFETCH(QString, numbers);
    QFETCH(QString, search);
    QFETCH(QString, expected);

    m_options.tags = tags == 0   ? TagMode::IgnoreTags
                     : tags == 1 ? TagMode::ConsiderTags
                                 : TagMode::None;
    m_options.includeHead = includeHead;
    m_options.method = ContentMethod(method);
    const QString source = path("page.htm");
    writeFile(source, file);

    Renaming renaming(m_options, m_reporter);
    const NameResult result =
        renaming.RenameFile(source, NamingRequest::of(count, numbers, search), pageText);

    QCOMPARE(m_reporter.reports.size(), 0);
    QCOMPARE(result.renamed, !expected.isEmpty());
    QCOMPARE(result.target.isEmpty(), !result.renamed);
    if (!result.renamed) {
        QCOMPARE(entries(m_out), QStringList());
        return;
    }
    QCOMPARE(entries(m_out), QStringList({expected}));
    QCOMPARE(readFile(m_out + "/" + expected), file);
    QCOMPARE(result.target, m_out + "/" + expected);
    QCOMPARE(result.name, expected.chopped(4));
    QCOMPARE(readFile(source), file);
}

void RenameFileTest::sourceNotOrdinary_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "missing.htm";
    QTest::newRow("folder") << "folder.htm";
    QTest::newRow("hidden") << ".hidden.htm";
}

void RenameFileTest::sourceNotOrdinary()
{
    QFETCH(QString, name);
    QVERIFY(QDir(m_dir->path()).mkdir("folder.htm"));
    writeFile(path(".hidden.htm"), "x");
    Renaming renaming(m_options, m_reporter);
    const NameResult result =
        renaming.RenameFile(path(name), NamingRequest::of(1, {}, {}), QStringLiteral("Name"));
    QVERIFY(!result);
    QCOMPARE(result.cause, SkipCause::NotOrdinary);
    QCOMPARE(m_reporter.reports.size(), 0);
    QCOMPARE(entries(m_out), QStringList());
}

void RenameFileTest::sourceWithoutDot()
{
    // The copy gets no trailing dot, and a dot in a folder name plays no part.
    QVERIFY(QDir(m_dir->path()).mkpath("v1.2"));
    writeFile(path("v1.2/notes"), "plain");
    writeFile(path("v1.2/odd."), "dot");
    Renaming renaming(m_options, m_reporter);
    const auto target = [&](const char* source, const QString& text) {
        return renaming.RenameFile(path(source), NamingRequest::of(1, {}, {}), text).target;
    };
    QCOMPARE(target("v1.2/notes", "Minutes"), m_out + "/Minutes");
    QCOMPARE(target("v1.2/notes", QString()), m_out + "/notes");
    QCOMPARE(target("v1.2/notes", "Minutes"), m_out + "/Minutes!");
    QCOMPARE(target("v1.2/odd.", QString()), m_out + "/odd.");
    QCOMPARE(entries(m_out), QStringList({"Minutes", "Minutes!", "notes", "odd."}));
    QCOMPARE(readFile(m_out + "/notes"), QByteArray("plain"));
    QCOMPARE(m_reporter.reports.size(), 0);
}

void RenameFileTest::wordNumberTooLarge()
{
    m_options.method = ContentMethod::WordPositions;
    writeFile(path("page.htm"), "x");
    Renaming renaming(m_options, m_reporter);
    QVERIFY(renaming.RenameFile(path("page.htm"),
                                NamingRequest::of(1, QStringLiteral("1,99999999999,2")),
                                numberedWords(5)));
    QCOMPARE(entries(m_out), QStringList({"w1 w2.htm"}));
    QCOMPARE(m_reporter.reports.size(), 1);
    QCOMPARE(m_reporter.reports.first().label, kLabel);
    QCOMPARE(m_reporter.reports.first().description, QStringLiteral("Overflow"));

    // The last entry too large: nothing is looked at.
    m_reporter.reports.clear();
    QVERIFY(!renaming.RenameFile(path("page.htm"), NamingRequest::of(1, QStringLiteral("1,2,3e10")),
                                 numberedWords(5)));
    QCOMPARE(m_reporter.reports.size(), 1);
    QCOMPARE(m_reporter.reports.first().description, QStringLiteral("Overflow"));
}

void RenameFileTest::unreadableSourceFallsBack()
{
    m_options.tags = TagMode::ConsiderTags;
    writeFile(path("page.htm"), "<body>Words");
    ::chmod(QFile::encodeName(path("page.htm")).constData(), 0);
    ::chmod(QFile::encodeName(m_dir->path()).constData(), 0755);
    ::chmod(QFile::encodeName(m_out).constData(), 0777);

    // Permissions do not stop the superuser: read as nobody in a child instead.
    const bool root = ::geteuid() == 0;
    const pid_t child = root ? ::fork() : 0;
    if (child < 0)
        QSKIP("cannot start a child process here");
    if (child == 0) {
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(20);
        if (!FileSystem::exists(path("page.htm")))
            ::_exit(25); // the test folder lies below one the user may not enter
        // The read is reported and the text is empty, so the own name is used;
        // the copy then fails the same way.
        Renaming renaming(m_options, m_reporter);
        int code = 0;
        if (renaming.RenameFile(path("page.htm"), NamingRequest::of(1, {}, {}), {}))
            code = 21;
        else if (m_reporter.reports.size() != 2)
            code = 22;
        else if (m_reporter.reports.at(0).description != QStringLiteral("Permission denied") ||
                 m_reporter.reports.at(1).description != QStringLiteral("Permission denied"))
            code = 23;
        else if (m_reporter.reports.at(0).line >= m_reporter.reports.at(1).line)
            code = 24;
        if (root)
            ::_exit(code);
        QCOMPARE(code, 0);
    } else {
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        if (WEXITSTATUS(status) == 20)
            QSKIP("cannot switch to an unprivileged user here");
        if (WEXITSTATUS(status) == 25)
            QSKIP("the unprivileged user cannot reach the temporary folder");
        QCOMPARE(WEXITSTATUS(status), 0);
    }
    QCOMPARE(entries(m_out), QStringList());
}

void RenameFileTest::failedCopyIsReported()
{
    writeFile(path("page.htm"), "x");
    m_options.results = path("no-such-folder");
    Renaming renaming(m_options, m_reporter);
    const NameResult result =
        renaming.RenameFile(path("page.htm"), NamingRequest::of(1, {}, {}), QStringLiteral("Name"));
    QVERIFY(!result);
    QCOMPARE(result.cause, SkipCause::Failed);
    QCOMPARE(result.failure->code(), ENOENT);
    QCOMPARE(m_reporter.reports.size(), 1);
    QCOMPARE(m_reporter.reports.first().label, kLabel);
    QCOMPARE(m_reporter.reports.first().description, QStringLiteral("No such file or directory"));
}

void RenameFileTest::sameNameTwice()
{
    writeFile(path("a.htm"), "first");
    writeFile(path("b.htm"), "second");
    Renaming renaming(m_options, m_reporter);
    QVERIFY(
        renaming.RenameFile(path("a.htm"), NamingRequest::of(1, {}, {}), QStringLiteral("Report")));
    const NameResult second =
        renaming.RenameFile(path("b.htm"), NamingRequest::of(1, {}, {}), QStringLiteral("Report"));
    QCOMPARE(second.name, QStringLiteral("Report"));
    QCOMPARE(second.target, m_out + "/Report!.htm");
    QCOMPARE(readFile(m_out + "/Report.htm"), QByteArray("first"));
    QCOMPARE(readFile(m_out + "/Report!.htm"), QByteArray("second"));
    const NameResult passed =
        renaming.RenameFile(path("a.htm"), NamingRequest::of(5, {}, {}), QStringLiteral("Report"));
    QVERIFY(!passed);
    QCOMPARE(passed.cause, SkipCause::EmptyName);
    QVERIFY(passed.target.isEmpty());
}

void RenameFileTest::optionsReadAtEachCall()
{
    writeFile(path("a.htm"), "<body>Source words");
    QVERIFY(QDir().mkdir(path("second")));
    Renaming renaming(m_options, m_reporter);
    QVERIFY(renaming.RenameFile(path("a.htm"), NamingRequest::of(1, {}, {}),
                                QStringLiteral("Page text")));
    m_options.results = path("second");
    m_options.tags = TagMode::ConsiderTags;
    QVERIFY(renaming.RenameFile(path("a.htm"), NamingRequest::of(1, {}, {}),
                                QStringLiteral("Page text")));
    QCOMPARE(entries(m_out), QStringList({"Page.htm"}));
    QCOMPARE(entries(path("second")), QStringList({"Source.htm"}));
}

void RenameFileTest::dryRun()
{
    writeFile(m_out + "/Report.htm", "existing");
    writeFile(path("a.htm"), "a");
    Renaming renaming(m_options, m_reporter);
    renaming.setDryRun(true);
    const NameResult first = renaming.RenameFile(path("a.htm"), NamingRequest::of(1, {}, {}),
                                                 QStringLiteral("Report: one"));
    QCOMPARE(first.name, QStringLiteral("Report"));
    QCOMPARE(first.target, m_out + "/Report!.htm");
    QCOMPARE(
        renaming.RenameFile(path("a.htm"), NamingRequest::of(1, {}, {}), QStringLiteral("Report"))
            .target,
        m_out + "/Report!!.htm");
    QVERIFY(!renaming.RenameFile(path("a.htm"), NamingRequest::of(3, {}, {}),
                                 QStringLiteral("Report")));
    QCOMPARE(entries(m_out), QStringList({"Report.htm"}));
    QCOMPARE(m_reporter.reports.size(), 0);
}

QTEST_GUILESS_MAIN(RenameFileTest)
#include "tst_renamefile.moc"
