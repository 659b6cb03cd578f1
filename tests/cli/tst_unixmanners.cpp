#include "support/Files.h"
#include "support/Program.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral(QUENBY_BIN_DIR "/quenby-rename");

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

QJsonObject jsonObject(const QString& line)
{
    return QJsonDocument::fromJson(line.toUtf8()).object();
}

// Sixty words of eight letters: fifty of them make a name of 449 bytes.
QByteArray longPage()
{
    QByteArray body = "<body>";
    for (int i = 0; i < 60; ++i)
        body += "longword" + QByteArray(i < 59 ? " " : "");
    return body + "</body>";
}

} // namespace

// The command line as Unix users and their scripts meet it: messages that name
// the file, a reason for every skipped file, a dry run that tells the truth, a
// terminal left tidy, clean stops, and paths from pipelines.
class TestUnixManners : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_in;
    QString m_out;

    QString in(const QString& name) const { return m_in + QLatin1Char('/') + name; }

    Result run(const QStringList& arguments, const QByteArray& input = {},
               const std::function<void()>& inChild = {}, const QString& program = kProgram)
    {
        const ProgramRun ran = runProgram(program, arguments, input, inChild, m_dir->path());
        if (!ran.problem.isEmpty())
            QTest::qFail(qPrintable(ran.problem), __FILE__, __LINE__);
        return {ran.exitCode, QString::fromUtf8(ran.out), QString::fromUtf8(ran.err)};
    }

    QStringList outEntries() const { return entries(m_out); }

    // `count` pages, each named by its own number, listed one a line.
    QByteArray manyPages(int count)
    {
        QByteArray list;
        for (int i = 0; i < count; ++i) {
            const QString path = in(QStringLiteral("many/p%1.htm").arg(i, 5, 10, QLatin1Char('0')));
            writeFile(path, "<body>page " + QByteArray::number(i) + "</body>");
            list += QFile::encodeName(path) + '\n';
        }
        return list;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_in = m_dir->filePath(QStringLiteral("in"));
        m_out = m_dir->filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(m_in));
        QVERIFY(QDir().mkpath(m_out));
    }

    // The way these tests run the program: one that does not start fails the
    // test that ran it, with the reason, and the test program goes on.
    void programThatDoesNotStartIsAFailedResult_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no such program") << "missing";
        QTest::newRow("not executable") << "plain file";
        QTest::newRow("in a folder the user cannot enter") << "closed folder";
    }

    void programThatDoesNotStartIsAFailedResult()
    {
        QFETCH(QString, kind);
        QString program = m_dir->filePath("missing/quenby-rename");
        std::function<void()> inChild;
        const QString closed = m_dir->filePath("closed");
        if (kind == "plain file") {
            program = m_dir->filePath("plain");
            writeFile(program, "#!/bin/sh\n");
        } else if (kind == "closed folder") {
            QVERIFY(!copyProgramsForEveryone(QStringLiteral(QUENBY_BIN_DIR), {"quenby-rename"},
                                             closed)
                         .isEmpty());
            ::chmod(QFile::encodeName(closed).constData(), 0);
            program = closed + QStringLiteral("/quenby-rename");
            // The superuser enters any folder: the program is started as nobody.
            if (::geteuid() == 0) {
                inChild = [] {
                    if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                        ::_exit(99);
                };
            }
        }
        // Opened again however the test ends, so that the temporary folder goes.
        const auto reopen =
            qScopeGuard([&] { ::chmod(QFile::encodeName(closed).constData(), 0700); });
        const ProgramRun ran = runProgram(program, {"-V"}, {}, inChild);
        if (ran.started && ran.exitCode == 99)
            QSKIP("cannot switch to an unprivileged user here");
        QVERIFY(!ran.started);
        QVERIFY(!ran.finished);
        QCOMPARE(ran.exitCode, -1);
        QVERIFY2(ran.problem.startsWith(program + QStringLiteral(" did not start: ")),
                 qPrintable(ran.problem));

        // Through the tests' own runner: a failure of this test, not an abort.
        QEXPECT_FAIL("", "the program cannot start", Continue);
        const Result result = run({"-V"}, {}, inChild, program);
        QCOMPARE(result.exitCode, -1);
    }

    void refusedNameIsOneLineNamingTheFile()
    {
        writeFile(in("long.htm"), longPage());
        writeFile(in("short.htm"), "<body>short words</body>");
        const Result result =
            run({"-o", m_out, "--no-progress", "-n", "50", in("long.htm"), in("short.htm")});
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err, "quenby-rename: " + in("long.htm") + ": File name too long\n");
        QVERIFY(result.out.startsWith("skipped: " + in("long.htm") +
                                      " (name too long for the file system)\n"));
        QVERIFY(outEntries().isEmpty());
    }

    // Each kind of skip, in a real run and in a dry run: the plan gives the same
    // reason as the run itself.
    void jsonReasons_data()
    {
        QTest::addColumn<QString>("source"); // how the source is made
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("error");

        QTest::newRow("fewer words than asked")
            << "page" << QStringList{"-n", "3"} << "too-few-words"
            << "";
        QTest::newRow("control characters only")
            << "controls" << QStringList{"--tags", "consider"} << "no-name"
            << "";
        QTest::newRow("no value for the pattern")
            << "page" << QStringList{"--by", "metadata", "--pattern", "%t", "--tags", "consider"}
            << "no-name"
            << "";
        QTest::newRow("name too long") << "long" << QStringList{"-n", "50"} << "name-too-long"
                                       << "File name too long";
        // Whether the system's description comes along depends on where the pipe is
        // first refused; the reason does not.
        QTest::newRow("a pipe") << "pipe" << QStringList{} << "not-regular-file"
                                << "*";
        QTest::newRow("a pipe, own name kept")
            << "pipe" << QStringList{"--by", "metadata", "--pattern", " ", "--tags", "consider"}
            << "not-regular-file"
            << "*";

        QTest::newRow("hidden") << "hidden" << QStringList{} << "hidden"
                                << "";
        QTest::newRow("missing") << "missing" << QStringList{} << "unreadable"
                                 << "No such file or directory";
    }

    void jsonReasons()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, arguments);
        QFETCH(QString, reason);
        QFETCH(QString, error);

        QString path = in("page.htm");
        if (source == "page")
            writeFile(path, "<body>two words</body>");
        else if (source == "controls")
            writeFile(path, "\x01\x02");
        else if (source == "long")
            writeFile(path, longPage());
        else if (source == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        else if (source == "hidden")
            writeFile(path = in(".page.htm"), "<body>two words</body>");

        for (const bool dryRun : {true, false}) {
            QStringList all = QStringList{"-o", m_out, "--json"} + arguments;
            if (dryRun)
                all.append("--dry-run");
            const Result result = run(all + QStringList{path});
            QCOMPARE(result.exitCode, 1);
            const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), 1);
            const QJsonObject line = jsonObject(lines[0]);
            QCOMPARE(line.value("source").toString(), path);
            QCOMPARE(line.value("status").toString(), QStringLiteral("skipped"));
            QCOMPARE(line.value("reason").toString(), reason);
            if (error.isEmpty())
                QVERIFY(line.value("error").isNull());
            else if (error != "*")
                QCOMPARE(line.value("error").toString(), error);
            QVERIFY(outEntries().isEmpty());
        }
    }

    // A copy the file-size limit cuts short fails that file, says so, leaves
    // nothing behind, and the run goes on.
    void copyFailedReason()
    {
        writeFile(in("big.htm"), "<body>big</body>" + QByteArray(64 * 1024, ' '));
        writeFile(in("small.htm"), "<body>small</body>");
        const Result result = run(
            {"-o", m_out, "--json", "--tags", "consider", in("big.htm"), in("small.htm")}, {}, [] {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{16 * 1024, 16 * 1024};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            });
        QCOMPARE(result.exitCode, 1);
        const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(jsonObject(lines[0]).value("reason").toString(), QStringLiteral("copy-failed"));
        QCOMPARE(jsonObject(lines[0]).value("error").toString(), QStringLiteral("File too large"));
        QCOMPARE(jsonObject(lines[1]).value("status").toString(), QStringLiteral("renamed"));
        QCOMPARE(outEntries(), QStringList{"smallbody.htm"});
        QCOMPARE(result.err, "quenby-rename: " + in("big.htm") + ": File too large\n");
    }

    // What the user may not do, the plan says as the real run does, file by
    // file, instead of planning copies: write to a closed results folder, or
    // read a closed page (known from its permission bits where the plan needs
    // none of its bytes).
    void dryRunPredictsRefusals_data()
    {
        QTest::addColumn<QString>("closed");
        QTest::addColumn<QStringList>("mode");
        QTest::addColumn<QString>("reason");
        QTest::newRow("results folder") << "out" << QStringList{"--tags", "consider"}
                                        << "copy-failed";
        QTest::newRow("page, words") << "a.htm" << QStringList{"--tags", "consider"}
                                     << "unreadable";
        QTest::newRow("page, own name")
            << "a.htm" << QStringList{"--by", "metadata", "--pattern", ""} << "unreadable";
    }

    void dryRunPredictsRefusals()
    {
        QFETCH(QString, closed);
        QFETCH(QStringList, mode);
        QFETCH(QString, reason);
        writeFile(in("a.htm"), "<body>alpha</body>");
        writeFile(in("b.htm"), "<body>beta</body>");
        const bool root = ::geteuid() == 0;
        // The superuser reads and writes anywhere: run as nobody, for whom the
        // closed one is closed.
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0755);
        ::chmod(QFile::encodeName(m_in).constData(), 0755);
        ::chmod(QFile::encodeName(m_out).constData(), closed == u"out" ? 0555 : 0777);
        const QString closedPage = closed == u"out" ? QString() : in(closed);
        if (!closedPage.isEmpty())
            ::chmod(QFile::encodeName(closedPage).constData(), 0);
        // The build folder may lie below one that nobody cannot enter: nobody
        // runs a copy of the programs placed in the temporary folder.
        QString program = kProgram;
        if (root) {
            const QString folder = copyProgramsForEveryone(
                QStringLiteral(QUENBY_BIN_DIR), {"quenby-rename", "quenby-pagetext"},
                m_dir->filePath("programs"));
            QVERIFY(!folder.isEmpty());
            program = folder + QStringLiteral("/quenby-rename");
        }
        const QByteArray reachable = QFile::encodeName(program);
        // The real run records its copies where nobody may write.
        const QByteArray state = QFile::encodeName(m_dir->filePath("state"));
        QVERIFY(::mkdir(state.constData(), 0777) == 0 && ::chmod(state.constData(), 0777) == 0);
        const auto asNobody = [root, reachable, state] {
            if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(99);
            if (::access(reachable.constData(), X_OK) != 0)
                ::_exit(98);
            ::setenv("XDG_STATE_HOME", state.constData(), 1);
        };
        const ProgramRun probe = runProgram(program, {"-V"}, {}, asNobody);
        QVERIFY2(probe.started && probe.finished, qPrintable(probe.problem));
        if (probe.exitCode == 99)
            QSKIP("cannot switch to an unprivileged user here");
        if (probe.exitCode == 98)
            QSKIP(qPrintable("the unprivileged user cannot reach the temporary folder " +
                             m_dir->path()));
        QCOMPARE(probe.exitCode, 0);

        // The plan first, then the real run: the same lines for the refused files.
        for (const char* run : {"--dry-run", "--json"}) {
            const Result result =
                this->run(QStringList{"-o", m_out, "--json", run} + mode + QStringList{m_in}, {},
                          asNobody, program);
            QCOMPARE(result.exitCode, 1);
            const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), 2);
            for (const QString& text : lines) {
                const QJsonObject line = jsonObject(text);
                if (!closedPage.isEmpty() && !line.value("source").toString().endsWith("a.htm")) {
                    QCOMPARE(line.value("status").toString(),
                             QLatin1String(run == std::string_view("--dry-run") ? "planned"
                                                                                : "renamed"));
                    continue;
                }
                QCOMPARE(line.value("reason").toString(), reason);
                QCOMPARE(line.value("error").toString(), QStringLiteral("Permission denied"));
            }
            // The folder refused both copies, the page its own: each is named, once.
            const QString refused = closedPage.isEmpty() ? m_out : closedPage;
            QCOMPARE(result.err, "quenby-rename: " + QFile::encodeName(refused) +
                                     ": Permission denied\n");
            if (run == std::string_view("--dry-run"))
                QVERIFY(outEntries().isEmpty());
        }
        if (closedPage.isEmpty())
            QVERIFY(outEntries().isEmpty());
    }

    // Under a terminal the bar is one line redrawn in place: it adds no line of
    // its own, is wiped before the closing message and never drawn after it.
    void progressBarUnderATerminal()
    {
        if (QStandardPaths::findExecutable("script").isEmpty())
            QSKIP("script(1) is not installed");
        const int files = 1500;
        for (int i = 0; i < files; ++i)
            writeFile(in(QStringLiteral("p%1.htm").arg(i)),
                      "<body>page " + QByteArray::number(i) + "</body>");
        QProcess process;
        QElapsedTimer timer;
        timer.start();
        process.start(
            "script",
            {"-qfec", QStringLiteral("%1 -o %2 --tags consider -n 2 %3").arg(kProgram, m_out, m_in),
             "/dev/null"});
        QVERIFY(process.waitForFinished(120000));
        const double seconds = timer.elapsed() / 1000.0;
        const QByteArray output = process.readAllStandardOutput();
        QCOMPARE(process.exitCode(), 0);

        QCOMPARE(output.count('\n'), files + 1); // a line a file, and "Done."
        const qsizetype draws = output.count("\r[");
        QVERIFY(draws >= 1);
        QVERIFY2(draws <= 2 + qsizetype(seconds * 10), QByteArray::number(draws));
        // The last drawing is wiped, and nothing is drawn after the closing message.
        QVERIFY(output.lastIndexOf("\r\x1b[K") > output.lastIndexOf("\r["));
        QVERIFY(output.endsWith("\nDone.\r\n"));
        for (const QByteArray& line : output.split('\n')) {
            // What is left of a line once the bar's drawing and wiping are taken out.
            QByteArray text = line;
            text.replace("\r\x1b[K", "");
            static const QRegularExpression bar(QStringLiteral("\r\\[[# ]{40}\\] +\\d+%"));
            const QString rest = QString::fromUtf8(text).remove(bar).remove(u'\r');
            QVERIFY2(rest.isEmpty() || rest.startsWith("renamed: ") || rest == "Done.",
                     qPrintable(rest));
        }
        QCOMPARE(QDir(m_out).count() - 2, uint(files));
    }

    void progressBarOnlyOnATerminal_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("bar");
        QTest::newRow("not a terminal") << QStringList{} << false;
        QTest::newRow("asked for") << QStringList{"--progress"} << true;
    }

    void progressBarOnlyOnATerminal()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, bar);
        writeFile(in("a.htm"), "<body>alpha</body>");
        const Result result = run(QStringList{"-o", m_out} + arguments + QStringList{m_in});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.err.contains("\r["), bar);
        QVERIFY(!result.err.contains(u'\n'));
    }

    // Failures go to standard error and results to standard output, each as it
    // happens: read together they stand in file order.
    void resultsAndFailuresInterleave()
    {
        writeFile(in("1.htm"), "<body>first page</body>");
        writeFile(in("2.htm"), longPage());
        writeFile(in("3.htm"), "<body>third page</body>");
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(kProgram, {"-o", m_out, "-n", "50", "--tags", "consider", in("1.htm"),
                                 in("2.htm"), in("3.htm")});
        QVERIFY(process.waitForFinished(60000));
        const QStringList lines =
            QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() >= 4);
        QVERIFY(lines[0].startsWith("skipped: " + in("1.htm")));
        QCOMPARE(lines[1], "quenby-rename: " + in("2.htm") + ": File name too long");
        QVERIFY(lines[2].startsWith("skipped: " + in("2.htm")));
        QVERIFY(lines[3].startsWith("skipped: " + in("3.htm")));
    }

    void stopSignals_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("Ctrl-C") << int(SIGINT) << 130;
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
        QTest::newRow("SIGHUP") << int(SIGHUP) << 129;
        QTest::newRow("SIGQUIT") << int(SIGQUIT) << 131;
    }

    // Stopped mid-run: the copy under way is finished or dropped, nothing half
    // made is left, and the closing line says how far the run got.
    void stopSignals()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        const int total = 6000;
        const QByteArray list = manyPages(total);
        QProcess process;
        process.setWorkingDirectory(m_dir->path());
        process.start(kProgram, {"-o", m_out, "--files-from", "-", "-n", "2"});
        QVERIFY(process.waitForStarted());
        process.write(list);
        process.closeWriteChannel();
        QByteArray out;
        while (!out.contains('\n') && process.waitForReadyRead(60000))
            out += process.readAllStandardOutput();
        QCOMPARE(::kill(process.processId(), signal), 0);
        QVERIFY(process.waitForFinished(60000));
        out += process.readAllStandardOutput();
        const QString err = QString::fromUtf8(process.readAllStandardError());

        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const qsizetype renamed = out.count("renamed: ");
        QVERIFY2(renamed < total, "the run ended before the signal came");
        QVERIFY(!out.contains("Done."));
        QCOMPARE(err, QStringLiteral("quenby-rename: interrupted after %1 of %2 files: %1 "
                                     "renamed, 0 skipped\n")
                          .arg(renamed)
                          .arg(total));
        // Every copy there is complete and reported; no temporary is left.
        const QStringList left = outEntries();
        QCOMPARE(left.size(), renamed);
        for (const QString& name : left)
            QVERIFY2(name.startsWith("page "), qPrintable(name));
    }

    // A results folder that disappears ends the run at once, with one message.
    void resultsFolderGone()
    {
        const QByteArray list = manyPages(6000);
        QProcess process;
        process.setWorkingDirectory(m_dir->path());
        process.start(kProgram, {"-o", m_out, "--files-from", "-", "--json", "-n", "2"});
        QVERIFY(process.waitForStarted());
        process.write(list);
        process.closeWriteChannel();
        QByteArray out;
        while (!out.contains('\n') && process.waitForReadyRead(60000))
            out += process.readAllStandardOutput();
        QVERIFY(QDir().rename(m_out, m_dir->filePath("moved")));
        QVERIFY(process.waitForFinished(60000));
        out += process.readAllStandardOutput();
        const QStringList err =
            QString::fromUtf8(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);

        QCOMPARE(process.exitCode(), 3);
        QCOMPARE(err.size(), 1);
        QVERIFY2(err[0].startsWith("quenby-rename: " + m_out +
                                   ": the results folder is gone (No such file or directory)"),
                 qPrintable(err[0]));
        const QList<QByteArray> lines = out.trimmed().split('\n');
        QVERIFY(lines.size() < 6000);
        QCOMPARE(jsonObject(QString::fromUtf8(lines.last())).value("reason").toString(),
                 QStringLiteral("copy-failed"));
    }

    // Run after run into a results folder inside the scanned folder: each run
    // copies the pages once, never the copies of the runs before.
    void resultsFolderInsideTheScan_data()
    {
        QTest::addColumn<QString>("results");
        QTest::newRow("below the scanned folder") << "in/out";
        QTest::newRow("reached through a link") << "in/link";
    }

    void resultsFolderInsideTheScan()
    {
        QFETCH(QString, results);
        writeFile(in("a.htm"), "<body>alpha</body>");
        writeFile(in("sub/b.htm"), "<body>beta</body>");
        QVERIFY(QDir().mkpath(in("out")));
        QVERIFY(QFile::link(in("out"), in("link")));
        const QString folder = m_dir->filePath(results);
        for (int runs = 1; runs <= 3; ++runs) {
            const Result result = run({"-o", folder, m_in});
            QCOMPARE(result.exitCode, 0);
            QCOMPARE(result.out.count("renamed: "), 2);
            QCOMPARE(entries(in("out")).size(), 2 * runs);
        }
    }

    void filesFromWithNulSeparators()
    {
        const QString odd = in(QStringLiteral("new\nline.htm"));
        writeFile(odd, "<body>odd name</body>");
        writeFile(in("plain.htm"), "<body>plain name</body>");
        writeFile(in("other.htm"), "<body>other name</body>");
        QByteArray list = QFile::encodeName(odd) + '\0' + QFile::encodeName(in("plain.htm")) + '\0';
        const Result result = run({"-0", "--files-from", "-", "-o", m_out, "--json"}, list);
        QCOMPARE(result.exitCode, 0);
        const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(jsonObject(lines[0]).value("source").toString(), odd);
        QCOMPARE(outEntries(), (QStringList{"odd.htm", "plain.htm"}));

        // One a line from a file, after the paths of the arguments.
        writeFile(m_dir->filePath("list"), QFile::encodeName(in("other.htm")) + "\n\n");
        const Result fromFile =
            run({"--files-from", m_dir->filePath("list"), "-o", m_out, in("plain.htm")});
        QCOMPARE(fromFile.out.count("renamed: "), 2);
        QVERIFY(fromFile.out.indexOf("plain.htm") < fromFile.out.indexOf("other.htm"));
    }

    void extensionsMayRepeat()
    {
        writeFile(in("a.htm"), "<body>alpha</body>");
        writeFile(in("b.html"), "<body>beta</body>");
        writeFile(in("c.txt"), "<body>gamma</body>");
        const Result result = run({"-o", m_out, "--ext", "htm", "--ext", "txt", m_in});
        QCOMPARE(result.exitCode, 0);
        // "htm" takes ".html" too, as three-letter extensions do.
        QCOMPARE(outEntries(), (QStringList{"alpha.htm", "beta.html", "gamma.txt"}));
        const Result only = run({"-o", m_out, "--dry-run", "--ext", "txt", m_in});
        QCOMPARE(only.out.count("planned: "), 1);
    }

    // The man page and the completions know every option --help lists, and no
    // other.
    void documentationKeepsStepWithHelp_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("man page") << "docs/quenby-rename.1";
        QTest::newRow("bash") << "data/completions/quenby-rename.bash";
        QTest::newRow("zsh") << "data/completions/_quenby-rename";
        QTest::newRow("fish") << "data/completions/quenby-rename.fish";
    }

    void documentationKeepsStepWithHelp()
    {
        QFETCH(QString, file);
        const Result help = run({"--help"});
        QCOMPARE(help.exitCode, 0);
        static const QRegularExpression option(
            QStringLiteral("(?<![\\w-])(--?[A-Za-z0-9][\\w-]*)"));
        const auto options = [](const QString& text) {
            QSet<QString> found;
            for (const auto& match : option.globalMatch(text))
                found.insert(match.captured(1));
            return found;
        };
        // Options are what stands at the start of a line of the option list.
        QSet<QString> helpOptions;
        for (const QString& line : help.out.split(u'\n')) {
            if (line.startsWith(QStringLiteral("  -")))
                helpOptions.unite(options(line.section(QStringLiteral("   "), 0, 0)));
        }
        QVERIFY(helpOptions.contains("--files-from"));

        QString text = QString::fromUtf8(readFile(QStringLiteral(QUENBY_SOURCE_DIR "/") + file));
        text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
        QSet<QString> documented;
        if (file.endsWith(".fish")) {
            // fish names options without their dashes.
            static const QRegularExpression fish(QStringLiteral(" -([sl]) ([\\w-]+)"));
            for (const auto& match : fish.globalMatch(text))
                documented.insert((match.captured(1) == "s" ? "-" : "--") + match.captured(2));
        } else if (file.endsWith(".1")) {
            // The options section lists each option as a tagged paragraph.
            const QStringList lines = text.split(u'\n');
            for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
                if (lines[i] == ".TP" && lines[i + 1].contains(u'-'))
                    documented.unite(options(lines[i + 1]));
            }
        } else if (file.endsWith(".bash")) {
            // The words offered for "-...", and nothing of compgen's own options.
            static const QRegularExpression words(QStringLiteral("compgen -W '(-[^']*)'"));
            documented = options(words.match(text).captured(1));
        } else {
            documented = options(text);
            documented.remove("-s"); // _arguments' own
        }
        // The manual also names options of other commands (find -print0).
        documented.remove("-print0");
        documented.remove("-name");
        const QSet<QString> missing = helpOptions - documented;
        const QSet<QString> extra = documented - helpOptions;
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringList(missing.begin(), missing.end()).join(' ')));
        QVERIFY2(extra.isEmpty(), qPrintable(QStringList(extra.begin(), extra.end()).join(' ')));
    }

    void shortVersion()
    {
        const Result longForm = run({"--version"});
        const Result shortForm = run({"-V"});
        QCOMPARE(shortForm.exitCode, 0);
        QCOMPARE(shortForm.out, longForm.out);
    }
};

QTEST_GUILESS_MAIN(TestUnixManners)
#include "tst_unixmanners.moc"
