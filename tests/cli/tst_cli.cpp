#include "support/Files.h"
#include "support/Program.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <unistd.h>
#include <QTest>

namespace {

struct Result
{
    int exitCode;
    QString out;
    QString err;
};

} // namespace

// The command-line program as a script would use it: arguments in, lines, files
// and an exit status out.
class TestCli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_in;
    QString m_out;

    Result run(const QStringList& arguments)
    {
        const ProgramRun ran = runProgram(QStringLiteral(QUENBY_BIN_DIR "/quenby-rename"),
                                          arguments, {}, {}, m_dir.path());
        if (!ran.problem.isEmpty())
            QTest::qFail(qPrintable(ran.problem), __FILE__, __LINE__);
        return {ran.exitCode, QString::fromUtf8(ran.out), QString::fromUtf8(ran.err)};
    }

    QStringList outFiles() const { return QDir(m_out).entryList(QDir::Files, QDir::Name); }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        m_in = m_dir.filePath(QStringLiteral("in"));
        m_out = m_dir.filePath(QStringLiteral("out"));
        QDir().mkpath(m_out);
        writeFile(m_in + QStringLiteral("/report.html"),
                  "<html><head><title>Annual Report</title><meta name=\"author\" content=\"x\">\n"
                  "</head>\n<body>\r\n<Author>Ann Lee</Author> wrote this Chapter one two</body>"
                  "</html>\n");
        writeFile(m_in + QStringLiteral("/sub/notes.htm"),
                  "<html><body>Meeting notes for Monday</body></html>\n");
        writeFile(m_in + QStringLiteral("/sub/~draft.htm"), "<body>draft</body>");
        writeFile(m_in + QStringLiteral("/sub/deeper/plain.txt"), "plain words here");
    }

    void namesAndTargets_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("exitCode");

        QTest::newRow("visible text (the default)")
            << QStringList{"-n", "2"}
            << QStringList{"Meeting notes.htm", "Ann Lee.html", "plain words.txt"} << 0;
        // CR LF in the source becomes a blank; the markup's signs are cleaned out.
        QTest::newRow("consider tags, two words")
            << QStringList{"--tags", "consider", "-n", "2"}
            << QStringList{"Meeting notes.htm", "AuthorAnn LeeAuthor.html", "plain words.txt"} << 0;
        QTest::newRow("include head")
            << QStringList{"--tags", "consider", "--include-head", "--words", "1"}
            << QStringList{"htmlbodyMeeting.htm", "htmlheadtitleAnnual.html", "plain.txt"} << 0;
        QTest::newRow("positions")
            << QStringList{"--tags", "consider", "--method", "positions", "--positions", "2,3"}
            << QStringList{"notes for.htm", "LeeAuthor wrote.html", "words here.txt"} << 0;
        QTest::newRow("after") << QStringList{"--tags",   "consider", "--method", "after",
                                              "--search", "chapter",  "-n",       "2"}
                               << QStringList{"notes.htm", "one twobodyhtml.html", "plain.txt"}
                               << 0;
        QTest::newRow("before") << QStringList{"--tags",   "consider", "--method", "before",
                                               "--search", "Chapter",  "-n",       "2"}
                                << QStringList{"notes.htm", "AuthorAnn LeeAuthor.html", "plain.txt"}
                                << 0;
        // A three-letter extension also takes the longer ones that begin with it.
        QTest::newRow("extension filter") << QStringList{"--tags", "consider", "--ext", "htm"}
                                          << QStringList{"Meeting.htm", "AuthorAnn.html"} << 0;
        QTest::newRow("extension filter, four letters")
            << QStringList{"--tags", "consider", "--ext", "html"} << QStringList{"AuthorAnn.html"}
            << 0;
        // Pages without a title are passed over.
        QTest::newRow("metadata") << QStringList{"--by",     "metadata",  "--tags",
                                                 "consider", "--pattern", "%t"}
                                  << QStringList{"Annual Report.html"} << 1;
        QTest::newRow("metadata, empty pattern keeps the own names")
            << QStringList{"--by", "metadata", "--tags", "consider", "--pattern", " "}
            << QStringList{"report.html", "notes.htm", "plain.txt"} << 0;
        // The page's <meta name="author"> as a browser reads it, not the word in a line.
        QTest::newRow("metadata read as a browser does")
            << QStringList{"--by", "metadata", "--read", "html", "--pattern", "%a - %t"}
            << QStringList{"x - Annual Report.html"} << 1;
        QTest::newRow("text of its own in a pattern")
            << QStringList{"--by", "metadata", "--pattern", "Saved %t"}
            << QStringList{"Saved Annual Report.html"} << 1;
        QTest::newRow("a lower length limit")
            << QStringList{"-n", "3", "--max-length", "25"}
            << QStringList{"Meeting notes.htm", "Ann Lee.html", "plain words.txt"} << 0;
        QTest::newRow("windows-safe")
            << QStringList{"--by", "metadata", "--pattern", "Con", "--windows-safe"}
            << QStringList{"Con_.htm", "Con_.html", "Con_.txt"} << 0;
    }

    void namesAndTargets()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expected);
        QFETCH(int, exitCode);
        const Result result =
            run(QStringList{"-o", m_out, "--no-progress"} + arguments + QStringList{m_in});
        QCOMPARE(result.err, QString());
        QCOMPARE(result.exitCode, exitCode);
        expected.sort();
        QCOMPARE(outFiles(), expected);
        QVERIFY(result.out.contains(QStringLiteral("Done.")));
        QCOMPARE(result.out.count(QStringLiteral("renamed: ")), expected.size());
    }

    void copiesKeepTheContent()
    {
        const Result result = run({"-o", m_out, "--tags", "consider", m_in + "/report.html"});
        QCOMPARE(result.exitCode, 0);
        QFile copy(m_out + QStringLiteral("/AuthorAnn.html"));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QFile source(m_in + QStringLiteral("/report.html"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), source.readAll());
        QCOMPARE(result.out, QStringLiteral("renamed: %1/report.html -> %2/AuthorAnn.html\nDone.\n")
                                 .arg(m_in, m_out));
    }

    void dryRunPlansWithoutWriting()
    {
        writeFile(m_out + QStringLiteral("/Meeting.htm"), "taken");
        writeFile(m_in + QStringLiteral("/sub/again.htm"), "<body>Meeting again</body>");
        // "--ext htm" would take it too; only the two meeting pages are wanted here.
        QVERIFY(QFile::remove(m_in + QStringLiteral("/report.html")));
        const Result result =
            run({"-o", m_out, "--tags", "consider", "--dry-run", "--json", "--ext", "htm", m_in});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(outFiles(), QStringList{"Meeting.htm"});
        const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QStringList targets;
        for (const QString& line : lines) {
            const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
            QCOMPARE(object.value(QStringLiteral("status")).toString(), QStringLiteral("planned"));
            QCOMPARE(object.value(QStringLiteral("name")).toString(), QStringLiteral("Meeting"));
            targets.append(object.value(QStringLiteral("target")).toString());
        }
        // The existing file and the first plan both count as taken.
        targets.sort();
        QCOMPARE(targets, (QStringList{m_out + "/Meeting!!.htm", m_out + "/Meeting!.htm"}));
    }

    void jsonLines()
    {
        writeFile(m_in + QStringLiteral("/empty.htm"), "");
        const Result result = run({"-o", m_out, "--by", "metadata", "--tags", "consider", "--json",
                                   m_in + "/report.html", m_in + "/empty.htm"});
        QCOMPARE(result.exitCode, 1);
        const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        // Keys stand in the documented order. The author comes from a meta element's
        // attributes, cleaned of its quotes, "=" and ">".
        QCOMPARE(lines[0], QStringLiteral("{\"source\":\"%1/report.html\",\"name\":\" contentx - "
                                          "Annual Report\",\"target\":\"%2/ contentx - Annual "
                                          "Report.html\",\"status\":\"renamed\"}")
                               .arg(m_in, m_out));
        const QJsonObject skipped = QJsonDocument::fromJson(lines[1].toUtf8()).object();
        QCOMPARE(skipped.value(QStringLiteral("source")).toString(), m_in + "/empty.htm");
        QVERIFY(skipped.value(QStringLiteral("name")).isNull());
        QVERIFY(skipped.value(QStringLiteral("target")).isNull());
        QCOMPARE(skipped.value(QStringLiteral("status")).toString(), QStringLiteral("skipped"));
    }

    // JSON lines are written by hand: every character a file name may hold must
    // come back from a JSON parser as it was.
    void jsonLinesKeepOddNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("quote") << QByteArray("say \"hi\".htm");
        QTest::newRow("backslash") << QByteArray("a\\b.htm");
        QTest::newRow("tab and newline") << QByteArray("a\tb\nc.htm");
        QTest::newRow("other control characters") << QByteArray("a\x01\x1f\x7f.htm");
        QTest::newRow("accented") << QByteArray("caf\xc3\xa9.htm");
        QTest::newRow("outside the basic plane") << QByteArray("smile \xf0\x9f\x98\x80.htm");
        QTest::newRow("line separator") << QByteArray("a\xe2\x80\xa8.htm");
    }

    void jsonLinesKeepOddNames()
    {
        QFETCH(QByteArray, name);
        const QString folder = m_dir.filePath(QStringLiteral("odd"));
        const QString path = folder + u'/' + QString::fromUtf8(name);
        writeFile(path, "<body>x</body>");
        const Result result = run({"-o", m_out, "--dry-run", "--json", "--by", "metadata",
                                   "--pattern", "", "--ext", "htm", folder});
        QCOMPARE(result.exitCode, 0);
        const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(lines[0].toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(object.value(QStringLiteral("source")).toString(), path);
    }

    void skippedFilesAndExitOne()
    {
        const Result result = run({"-o", m_out, "--tags", "consider", "-n", "50", m_in});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.out.contains(
            QStringLiteral("skipped: %1/report.html (fewer words than asked)\n").arg(m_in)));
        QVERIFY(result.out.contains(
            QStringLiteral("Done.\nThe following files were skipped because they could not be "
                           "read or renamed:\n%1/report.html\n")
                .arg(m_in)));
        QVERIFY(outFiles().isEmpty());
    }

    void failuresArePrintedAndTheRunGoesOn()
    {
        const Result result = run({"-o", m_out, "--tags", "consider", "-n", "3000000000", m_in});
        QCOMPARE(result.exitCode, 1);
        // One line a file, naming it; nothing of the window's report box.
        QStringList lines = result.err.split(u'\n', Qt::SkipEmptyParts);
        lines.sort();
        QCOMPARE(lines, (QStringList{"quenby-rename: " + m_in + "/report.html: Overflow",
                                     "quenby-rename: " + m_in + "/sub/deeper/plain.txt: Overflow",
                                     "quenby-rename: " + m_in + "/sub/notes.htm: Overflow"}));
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("errorStart");

        QTest::newRow("no files") << QStringList{"-o", "out"} << 4 << "No files added.";
        QTest::newRow("empty folder") << QStringList{"-o", "out", "out"} << 4 << "No files added.";
        QTest::newRow("results folder below a file")
            << QStringList{"-o", "in/report.html/out", "in"} << 3
            << "quenby-rename: in/report.html/out: Not a directory";
        QTest::newRow("unknown option") << QStringList{"-o", "out", "--bogus", "in"} << 2
                                        << "quenby-rename: Unknown option 'bogus'";
        QTest::newRow("missing out") << QStringList{"in"} << 2 << "quenby-rename: --out";
        QTest::newRow("missing value")
            << QStringList{"in", "-o"} << 2 << "quenby-rename: Missing value after '-o'";
        QTest::newRow("words not numeric") << QStringList{"-o", "out", "-n", "ten", "in"} << 2
                                           << "quenby-rename: --words must be numeric";
        QTest::newRow("positions not numeric")
            << QStringList{"-o", "out", "--method", "positions", "--positions", "1,", "in"} << 2
            << "quenby-rename: --positions";
        QTest::newRow("method outside its choices")
            << QStringList{"-o", "out", "--method", "last", "in"} << 2
            << "quenby-rename: --method must be one of";
        QTest::newRow("by outside its choices") << QStringList{"-o", "out", "--by", "x", "in"} << 2
                                                << "quenby-rename: --by must be one of";
        QTest::newRow("tags outside its choices") << QStringList{"-o", "out", "--tags", "x", "in"}
                                                  << 2 << "quenby-rename: --tags must be one of";
        QTest::newRow("search needed") << QStringList{"-o", "out", "--method", "before", "in"} << 2
                                       << "quenby-rename: --search";
        QTest::newRow("read outside its choices")
            << QStringList{"-o", "out", "--by", "metadata", "--read", "xml", "in"} << 2
            << "quenby-rename: --read must be one of";
        QTest::newRow("read by content") << QStringList{"-o", "out", "--read", "html", "in"} << 2
                                         << "quenby-rename: --read is for --by metadata";
        QTest::newRow("max-length of nothing")
            << QStringList{"-o", "out", "--max-length", "0", "in"} << 2
            << "quenby-rename: --max-length must be";
        QTest::newRow("max-length not a number")
            << QStringList{"-o", "out", "--max-length", "big", "in"} << 2
            << "quenby-rename: --max-length must be";
    }

    void exitStatuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, errorStart);
        const Result result = run(arguments);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.err.startsWith(errorStart), qPrintable(result.err));
        QCOMPARE(result.err.count(u'\n'), 1); // one line
        QVERIFY(outFiles().isEmpty());
    }

    // A results folder that is not there is made with its parents, as mkdir -p
    // makes it; a dry run plans into it and takes away what it made.
    void missingResultsFolderIsMade_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("existing");
        QTest::addColumn<bool>("dryRun");
        QTest::newRow("one level") << "new" << "" << false;
        QTest::newRow("with its parents") << "new/deeper/still" << "" << false;
        QTest::newRow("with a trailing slash") << "new/deeper/" << "" << false;
        QTest::newRow("dry run") << "new/deeper" << "" << true;
        QTest::newRow("dry run, a parent there") << "new/deeper" << "new" << true;
    }

    void missingResultsFolderIsMade()
    {
        QFETCH(QString, folder);
        QFETCH(QString, existing);
        QFETCH(bool, dryRun);
        if (!existing.isEmpty())
            QVERIFY(QDir(m_dir.path()).mkpath(existing));
        const Result result = run({"-o", folder, "-n", "2", dryRun ? "--dry-run" : "--no-progress",
                                   "in/sub/notes.htm"});
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
        QCOMPARE(result.exitCode, 0);
        const QString made = m_dir.filePath(folder);
        if (dryRun) {
            QVERIFY2(result.out.startsWith("planned: in/sub/notes.htm -> " + folder),
                     qPrintable(result.out));
            QVERIFY(!QFileInfo::exists(made));
            QCOMPARE(QFileInfo::exists(m_dir.filePath("new")), !existing.isEmpty());
        } else {
            QCOMPARE(QDir(made).entryList(QDir::Files), QStringList{"Meeting notes.htm"});
        }
    }

    void resultsFolderThatCannotBeMade_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("description");
        QTest::newRow("a file in its place") << "in/report.html"
                                             << "Not a directory";
        QTest::newRow("in a folder closed to writing") << "closed/out"
                                                       << "Permission denied";
    }

    void resultsFolderThatCannotBeMade()
    {
        QFETCH(QString, folder);
        QFETCH(QString, description);
        if (folder.startsWith("closed")) {
            if (::geteuid() == 0)
                QSKIP("the superuser writes into any folder");
            QVERIFY(QDir(m_dir.path()).mkdir("closed"));
            QVERIFY(QFile::setPermissions(m_dir.filePath("closed"),
                                          QFile::ReadOwner | QFile::ExeOwner));
        }
        for (const char* mode : {"--dry-run", "--no-progress"}) {
            const Result result = run({"-o", folder, mode, "in"});
            QCOMPARE(result.exitCode, 3);
            QCOMPARE(result.err, "quenby-rename: " + folder + ": " + description + "\n");
            QVERIFY(result.out.isEmpty());
        }
        QVERIFY(!QFileInfo(m_dir.filePath(folder)).isDir());
    }

    void helpAndVersion()
    {
        const Result help = run({"--help"});
        QCOMPARE(help.exitCode, 0);
        for (const char* option : {"--out", "--by", "--tags", "--include-head", "--method",
                                   "--words", "--positions", "--search", "--pattern", "--ext",
                                   "--dry-run", "--json", "--progress", "--no-progress"})
            QVERIFY2(help.out.contains(QLatin1String(option)), option);
        const Result version = run({"--version"});
        QCOMPARE(version.exitCode, 0);
        QVERIFY(version.out.startsWith(QStringLiteral("quenby-rename ")));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
