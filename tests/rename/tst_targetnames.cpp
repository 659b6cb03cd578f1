#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "rename/Renaming.h"
#include "rename/TargetNames.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/Workspace.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Extension = std::optional<QString>;

} // namespace

Q_DECLARE_METATYPE(Extension)

class TargetNamesTest : public QObject, protected RenameWorkspace
{
    Q_OBJECT

private slots:
    void init();
    void fileName_data();
    void fileName();
    void stripExtension_data();
    void stripExtension();
    void extension_data();
    void extension();
    void keepNameCharacters_data();
    void keepNameCharacters();
    void removeForbidden_data();
    void removeForbidden();
    void finishRename_data();
    void finishRename();
    void markChains_data();
    void markChains();
    void oneNameManyFiles();
    void failedCopyIsNotRemembered();
    void dryRunPlansWithoutWriting();
    void dryRunPredictsRefusals_data();
    void dryRunPredictsRefusals();
    void concurrentWriterIsNeverOverwritten_data() { temporaries_data(); }
    void concurrentWriterIsNeverOverwritten();
    void copyFailingMidwayLeavesNothing_data() { temporaries_data(); }
    void copyFailingMidwayLeavesNothing();
    void cleanup() { FileSystem::StagedCopy::setNamedTemporariesOnly(false); }

private:
    void temporaries_data();
};

void TargetNamesTest::init()
{
    makeWorkspace();
}

void TargetNamesTest::fileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("path") << "/a/b.htm"
                          << "b.htm";
    QTest::newRow("bare") << "b.htm"
                          << "b.htm";
    QTest::newRow("backslash is an ordinary character") << "/a/c\\b.htm"
                                                        << "c\\b.htm";
    QTest::newRow("trailing separator") << "/a/"
                                        << "";
}

void TargetNamesTest::fileName()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(GetFileName(path), name);
}

void TargetNamesTest::stripExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stripped");
    QTest::newRow("two dots") << "b.tar.gz"
                              << "b.tar";
    QTest::newRow("hidden") << ".hidden"
                            << ".hidden";
    QTest::newRow("no extension") << "noext"
                                  << "noext";
    QTest::newRow("ends in dot") << "name."
                                 << "name";
    QTest::newRow("empty") << ""
                           << "";
}

void TargetNamesTest::stripExtension()
{
    QFETCH(QString, name);
    QFETCH(QString, stripped);
    QCOMPARE(StripExtension(name), stripped);
}

void TargetNamesTest::extension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Extension>("extension");
    QTest::newRow("case kept") << "/a/b.HTM" << Extension("HTM");
    QTest::newRow("last dot") << "/a/b.tar.gz" << Extension("gz");
    QTest::newRow("ends in dot") << "/a/name." << Extension("");
    QTest::newRow("no dot in the file name") << "/a/readme" << Extension();
    QTest::newRow("dot only in a folder name") << "/pages.v2/readme" << Extension();
    QTest::newRow("hidden file") << "/a/.htaccess" << Extension();
    QTest::newRow("empty") << "" << Extension();
}

void TargetNamesTest::extension()
{
    QFETCH(QString, path);
    QFETCH(Extension, extension);
    QCOMPARE(GetExtension(path), extension);
}

void TargetNamesTest::keepNameCharacters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kept");
    QTest::newRow("plain") << "Hello World"
                           << "Hello World";
    QTest::newRow("Windows-1252 printables kept")
        << "\u201cQuote\u201d \u2018it\u2019 5\u20ac \u2013 more\u2026 \u0152uvre \u0160koda "
           "\u0178 \u2122 \u0192 \u02c6 \u2030 \u2039\u203a \u0153 \u017e \u2022"
        << "\u201cQuote\u201d \u2018it\u2019 5\u20ac \u2013 more\u2026 \u0152uvre \u0160koda "
           "\u0178 \u2122 \u0192 \u02c6 \u2030 \u2039\u203a \u0153 \u017e \u2022";
    QTest::newRow("C1 controls dropped, bytes 81 8D 8F 90 9D among them")
        << "a\u0080\u0081\u008d\u008f\u0090\u009d\u009fb"
        << "ab";
    QTest::newRow("bidirectional controls dropped")
        << "evil\u202elmth.exe\u202a\u202b\u202c\u202d\u2066\u2067\u2068\u2069"
        << "evillmth.exe";
    QTest::newRow("marks next to the bidirectional controls kept") << "a\u200e\u2029\u206ab"
                                                                   << "a\u200e\u2029\u206ab";
    QTest::newRow("accents and no-break space kept") << "Caf\u00e9\u00a0au lait"
                                                     << "Caf\u00e9\u00a0au lait";
    QTest::newRow("Greek and Cyrillic kept") << "\u03b1\u03b2 \u0416"
                                             << "\u03b1\u03b2 \u0416";
    QTest::newRow("controls dropped") << "a\tb\r\nc\u007fd\u0081\u001f"
                                      << "abcd";
    QTest::newRow("controls only") << "\t\r\n"
                                   << "";
    QTest::newRow("emoji kept whole") << "x\U0001F600"
                                      << "x\U0001F600";
}

void TargetNamesTest::keepNameCharacters()
{
    QFETCH(QString, name);
    QFETCH(QString, kept);
    QCOMPARE(KeepNameCharacters(name), kept);
}

void TargetNamesTest::removeForbidden_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("metadata");
    QTest::newRow("colon and question mark") << "Hello: World?"
                                             << "Hello World"
                                             << "Hello World";
    QTest::newRow("percent") << "Save 50% now"
                             << "Save 50% now"
                             << "Save 50 now";
    QTest::newRow("all of them") << "a\tb\rc\nd/e\\f*g:h?i<j>k|l=m\"n'o%p"
                                 << "abcdefghijklmno%p"
                                 << "abcdefghijklmnop";
    QTest::newRow("blanks left untrimmed") << " <b> "
                                           << " b "
                                           << " b ";
    QTest::newRow("only removed characters") << "???"
                                             << ""
                                             << "";
}

void TargetNamesTest::removeForbidden()
{
    QFETCH(QString, name);
    QFETCH(QString, content);
    QFETCH(QString, metadata);
    QCOMPARE(RemoveForbiddenCharacters(name, NameVariant::Content), content);
    QCOMPARE(RemoveForbiddenCharacters(name, NameVariant::Metadata), metadata);
}

void TargetNamesTest::finishRename_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("metadata");
    QTest::addColumn<QString>("cleaned");
    QTest::addColumn<QString>("expected"); // file name in the results folder; empty: nothing
    QTest::newRow("cleaned") << "page.htm"
                             << "Hello: World?" << false << "Hello World"
                             << "Hello World.htm";
    QTest::newRow("content keeps percent") << "page.htm"
                                           << "Save 50% now" << false << "Save 50% now"
                                           << "Save 50% now.htm";
    QTest::newRow("metadata drops percent") << "page.htm"
                                            << "Save 50% now" << true << "Save 50 now"
                                            << "Save 50 now.htm";
    QTest::newRow("controls only: passed over") << "page.htm"
                                                << "\t\r\n"
                                                << false << ""
                                                << "";
    QTest::newRow("empty: passed over") << "page.htm"
                                        << "" << true << ""
                                        << "";
    QTest::newRow("question marks only: passed over") << "page.htm"
                                                      << "???" << false << ""
                                                      << "";
    QTest::newRow("leading dots go") << "page.htm"
                                     << "..bashrc" << false << "bashrc"
                                     << "bashrc.htm";
    QTest::newRow("dots left leading by the clean-up go") << "page.htm"
                                                          << "?.:.profile" << true << "profile"
                                                          << "profile.htm";
    QTest::newRow("dots only: passed over") << "page"
                                            << ".." << false << ""
                                            << "";
    QTest::newRow("blank left by the clean-up kept") << "page.htm"
                                                     << "= x" << true << " x"
                                                     << " x.htm";
    QTest::newRow("extension case kept") << "PAGE.HTML"
                                         << "x" << false << "x"
                                         << "x.HTML";
    QTest::newRow("source without a dot") << "readme"
                                          << "Notes" << false << "Notes"
                                          << "Notes";
    QTest::newRow("source ending in a dot") << "odd."
                                            << "Notes" << true << "Notes"
                                            << "Notes.";
}

void TargetNamesTest::finishRename()
{
    QFETCH(QString, source);
    QFETCH(QString, name);
    QFETCH(bool, metadata);
    QFETCH(QString, cleaned);
    QFETCH(QString, expected);
    writeFile(path(source), "content of " + source.toUtf8());
    ResultsCopier copier(m_options);
    const auto copied =
        copier.FinishRename(path(source), name, GetExtension(path(source)),
                            metadata ? NameVariant::Metadata : NameVariant::Content,
                            NameOrigin::Page);
    if (expected.isEmpty()) {
        QVERIFY(!copied);
        QVERIFY(entries(m_out).isEmpty());
        return;
    }
    QVERIFY(copied);
    QCOMPARE(copied->name, cleaned);
    QCOMPARE(copied->target, m_out + "/" + expected);
    QCOMPARE(entries(m_out), QStringList({expected}));
    QCOMPARE(readFile(copied->target), "content of " + source.toUtf8());
    QCOMPARE(readFile(path(source)), "content of " + source.toUtf8());
}

void TargetNamesTest::markChains_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("written");
    QTest::newRow("two taken") << QStringList({"Report.htm", "Report!.htm"})
                               << QStringList({"Report!!.htm", "Report!!!.htm"});
    QTest::newRow("gap") << QStringList({"Report.htm", "Report!.htm", "Report!!!.htm"})
                         << QStringList({"Report!!.htm", "Report!!!!.htm"});
    QTest::newRow("none taken") << QStringList() << QStringList({"Report.htm", "Report!.htm"});
    QTest::newRow("a folder takes the name")
        << QStringList({"Report.htm/"}) << QStringList({"Report!.htm", "Report!!.htm"});
    QTest::newRow("other case is another name")
        << QStringList({"report.htm"}) << QStringList({"Report.htm", "Report!.htm"});
}

void TargetNamesTest::markChains()
{
    QFETCH(QStringList, existing);
    QFETCH(QStringList, written);
    for (const QString& name : existing) {
        if (name.endsWith('/'))
            QVERIFY(QDir(m_out).mkdir(name.chopped(1)));
        else
            writeFile(m_out + "/" + name, "existing " + name.toUtf8());
    }
    writeFile(path("a.htm"), "first");
    writeFile(path("b.htm"), "second");
    ResultsCopier copier(m_options);
    QCOMPARE(copier.CopyToResultsFolder(path("a.htm"), "Report", QStringLiteral("htm")),
             m_out + "/" + written.at(0));
    QCOMPARE(copier.CopyToResultsFolder(path("b.htm"), "Report", QStringLiteral("htm")),
             m_out + "/" + written.at(1));
    QCOMPARE(readFile(m_out + "/" + written.at(0)), QByteArray("first"));
    QCOMPARE(readFile(m_out + "/" + written.at(1)), QByteArray("second"));
    for (const QString& name : existing) {
        if (!name.endsWith('/'))
            QCOMPARE(readFile(m_out + "/" + name), "existing " + name.toUtf8());
    }
}

void TargetNamesTest::oneNameManyFiles()
{
    // The results folder text is used as typed: a trailing separator doubles.
    m_options.results = m_out + "/";
    writeFile(path("a.htm"), "a");
    ResultsCopier copier(m_options);
    const int files = 60;
    for (int i = 0; i < files; ++i) {
        const QString target = copier.CopyToResultsFolder(path("a.htm"), "Same", QString("htm"));
        QCOMPARE(target, m_out + "//Same" + QString(i, '!') + ".htm");
    }
    QCOMPARE(entries(m_out).size(), files);
    // A second run (a new copier) starts from the beginning and still finds the
    // first free name.
    ResultsCopier later(m_options);
    QCOMPARE(later.CopyToResultsFolder(path("a.htm"), "Same", QString("htm")),
             m_out + "//Same" + QString(files, '!') + ".htm");
}

void TargetNamesTest::failedCopyIsNotRemembered()
{
    writeFile(path("a.htm"), "a");
    ResultsCopier copier(m_options);
    m_options.results = path("missing-folder");
    QVERIFY_THROWS_EXCEPTION(Failure,
                             copier.CopyToResultsFolder(path("a.htm"), "X", QString("htm")));
    QVERIFY_THROWS_EXCEPTION(Failure,
                             copier.CopyToResultsFolder(path("gone.htm"), "X", QString("htm")));
    m_options.results = m_out;
    QVERIFY_THROWS_EXCEPTION(Failure,
                             copier.CopyToResultsFolder(path("gone.htm"), "X", QString("htm")));
    QCOMPARE(copier.CopyToResultsFolder(path("a.htm"), "X", QString("htm")), m_out + "/X.htm");
    QCOMPARE(entries(m_out), QStringList({"X.htm"}));
}

void TargetNamesTest::dryRunPlansWithoutWriting()
{
    writeFile(m_out + "/Report.htm", "existing");
    writeFile(path("a.htm"), "a");
    ResultsCopier copier(m_options);
    copier.setDryRun(true);
    QCOMPARE(copier.CopyToResultsFolder(path("a.htm"), "Report", QString("htm")),
             m_out + "/Report!.htm");
    QCOMPARE(copier.CopyToResultsFolder(path("a.htm"), "Report", QString("htm")),
             m_out + "/Report!!.htm");
    QCOMPARE(copier.CopyToResultsFolder(path("a.htm"), "Other", QString("htm")),
             m_out + "/Other.htm");
    // A source that could not be copied is not planned either.
    QVERIFY_THROWS_EXCEPTION(Failure,
                             copier.CopyToResultsFolder(path("gone.htm"), "Y", QString("htm")));
    QCOMPARE(entries(m_out), QStringList({"Report.htm"}));
}

void TargetNamesTest::temporaries_data()
{
    QTest::addColumn<bool>("namedOnly");
    QTest::newRow("unnamed where possible") << false;
    QTest::newRow("named temporaries") << true;
}

void TargetNamesTest::concurrentWriterIsNeverOverwritten()
{
    QFETCH(bool, namedOnly);
    FileSystem::StagedCopy::setNamedTemporariesOnly(namedOnly);
    // Another writer keeps creating files under the very names the copies are
    // about to take: the next one or two after the last name a copy used.
    m_options.tags = TagMode::IgnoreTags;
    m_options.method = ContentMethod::FirstWords;
    RecordingReporter reporter;
    Renaming renaming(m_options, reporter);

    std::atomic<int> lastMarks{-1};
    std::atomic<bool> done{false};
    std::atomic<int> passes{0};
    QStringList intruders;
    const QByteArray out = QFile::encodeName(m_out);
    std::thread writer([&] {
        while (!done.load()) {
            const int from = lastMarks.load() + 1;
            for (int marks = from; marks < from + 2; ++marks) {
                const QByteArray name = "Report" + QByteArray(marks, '!') + ".htm";
                const int fd = ::open((out + "/" + name).constData(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                if (fd < 0)
                    continue;
                const QByteArray content = "intruder " + name;
                const bool written =
                    ::write(fd, content.constData(), content.size()) == ssize_t(content.size());
                ::close(fd);
                if (written)
                    intruders.append(QString::fromUtf8(name));
            }
            ++passes;
        }
    });

    // Each copy moves about three names on, and a name holds at most 255 bytes.
    const int files = 70;
    QStringList targets;
    for (int i = 0; i < files; ++i) {
        const QString source = path(QStringLiteral("src%1.htm").arg(i));
        writeFile(source, "source " + QByteArray::number(i));
        // On a loaded machine the writer may not run at all before the copies are
        // done: let it take the next names first for a few files, so that the
        // copies surely meet names taken behind their back.
        if (i < 3) {
            const int seen = passes.load();
            QDeadlineTimer patience(2000);
            while (passes.load() < seen + 2 && !patience.hasExpired())
                std::this_thread::yield();
        }
        const NameResult result =
            renaming.RenameFile(source, NamingRequest::of(1, {}, {}), QStringLiteral("Report"));
        if (!result)
            break;
        targets.append(result.target);
        lastMarks.store(int(GetFileName(targets.last()).count('!')));
    }
    done.store(true);
    writer.join();

    for (const RecordedReport& report : std::as_const(reporter.reports))
        qWarning() << report.line << report.description;
    QCOMPARE(reporter.reports.size(), 0);
    QCOMPARE(targets.size(), files);
    for (int i = 0; i < files; ++i)
        QCOMPARE(readFile(targets.at(i)), "source " + QByteArray::number(i));
    for (const QString& name : std::as_const(intruders))
        QCOMPARE(readFile(m_out + "/" + name), "intruder " + name.toUtf8());
    QVERIFY2(!intruders.isEmpty(), "the writer never got a name in");
    QCOMPARE(entries(m_out).size(), files + intruders.size()); // no temporary files
}

void TargetNamesTest::copyFailingMidwayLeavesNothing()
{
    QFETCH(bool, namedOnly);
    FileSystem::StagedCopy::setNamedTemporariesOnly(namedOnly);
    // The copy hits the file-size limit half way: a stand-in for a full disk.
    QByteArray big(256 * 1024, 'x');
    writeFile(path("big.htm"), "<html><body>Big page " + big);
    m_options.tags = TagMode::IgnoreTags;

    const pid_t child = ::fork();
    if (child < 0)
        QSKIP("cannot start a child process here");
    if (child == 0) {
        struct rlimit limit = {64 * 1024, 64 * 1024};
        std::signal(SIGXFSZ, SIG_IGN);
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(10);
        RecordingReporter reporter;
        Renaming renaming(m_options, reporter);
        // Copied from the file (ignore tags), from the bytes already read (consider
        // tags) and by the metadata namer (its own name).
        if (renaming.RenameFile(path("big.htm"), NamingRequest::of(2, {}, {}),
                                QStringLiteral("Big page")))
            ::_exit(11);
        m_options.tags = TagMode::ConsiderTags;
        if (renaming.RenameFile(path("big.htm"), NamingRequest::of(2, {}, {}), {}))
            ::_exit(12);
        if (renaming.RenameMeta(path("big.htm"), QString()))
            ::_exit(13);
        if (reporter.reports.size() != 3)
            ::_exit(14);
        for (const RecordedReport& report : std::as_const(reporter.reports)) {
            if (report.description != QStringLiteral("File too large"))
                ::_exit(15);
        }
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(entries(m_out), QStringList());
}

QTEST_GUILESS_MAIN(TargetNamesTest)
#include "tst_targetnames.moc"

// Every refusal the real copy would meet and that can be seen without writing
// is a failure of the plan too, with the kind and code the copy would give.
void TargetNamesTest::dryRunPredictsRefusals_data()
{
    QTest::addColumn<QString>("source"); // "pipe", "folder", "missing" or a page
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code"); // 0: planned
    QTest::addColumn<int>("kind");

    const int target = int(Failure::Kind::TargetWrite);
    QTest::newRow("255 bytes fit") << "page" << QString(251, u'n') << 0 << 0;
    QTest::newRow("256 bytes do not") << "page" << QString(252, u'n') << ENAMETOOLONG << target;
    // The limit is in bytes of the system's encoding, not in characters.
    QTest::newRow("128 two-byte letters")
        << "page" << QString(126, u'\u00e9') << ENAMETOOLONG << target;
    QTest::newRow("127 two-byte letters") << "page" << QString(125, u'\u00e9') << 0 << 0;
    QTest::newRow("a pipe") << "pipe"
                            << "x" << 0 << int(Failure::Kind::NotRegularFile);
    QTest::newRow("a folder") << "folder"
                              << "x" << 0 << int(Failure::Kind::NotRegularFile);
    QTest::newRow("a missing source") << "missing"
                                      << "x" << ENOENT << int(Failure::Kind::SourceUnreadable);
}

void TargetNamesTest::dryRunPredictsRefusals()
{
    QFETCH(QString, source);
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(int, kind);

    const QString sourcePath = path(source + ".htm");
    if (source == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(sourcePath).constData(), 0644), 0);
    else if (source == "folder")
        QVERIFY(QDir().mkdir(sourcePath));
    else if (source != "missing")
        writeFile(sourcePath, "page");

    ResultsCopier copier(m_options);
    copier.setDryRun(true);
    try {
        const QString planned = copier.CopyToResultsFolder(sourcePath, name, QString("htm"));
        QVERIFY2(kind == 0, "planned a copy the real run refuses");
        QCOMPARE(planned, m_out + "/" + name + ".htm");
    } catch (const Failure& failure) {
        QVERIFY2(kind != 0, qPrintable(failure.description()));
        QCOMPARE(int(failure.kind()), kind);
        if (code != 0)
            QCOMPARE(failure.code(), code);
    }
    QCOMPARE(entries(m_out), QStringList());

    // What the plan refused, the real copy refuses the same way.
    if (kind == int(Failure::Kind::TargetWrite)) {
        ResultsCopier real(m_options);
        try {
            real.CopyToResultsFolder(sourcePath, name, QString("htm"));
            QFAIL("the real copy was made");
        } catch (const Failure& failure) {
            QCOMPARE(failure.code(), code);
        }
        QCOMPARE(entries(m_out), QStringList());
    }
}
