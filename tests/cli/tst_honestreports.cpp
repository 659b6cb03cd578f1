#include "support/Files.h"
#include "support/Mounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral(QUENBY_BIN_DIR "/quenby-rename");
constexpr qsizetype kMiB = 1024 * 1024;

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QJsonObject jsonObject(const QByteArray& line)
{
    return QJsonDocument::fromJson(line).object();
}


} // namespace

// What the command line tells: the reason a page was passed over, names that
// cannot play tricks on the terminal, a source listed twice, and the closing
// summary whatever signal ends the run.
class TestHonestReports : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_in;
    QString m_out;

    QString in(const QString& name) const { return m_in + QLatin1Char('/') + name; }

    Result run(const QStringList& arguments, const QProcessEnvironment& environment = {})
    {
        QProcess process;
        process.setWorkingDirectory(m_dir->path());
        if (!environment.isEmpty())
            process.setProcessEnvironment(environment);
        process.start(kProgram, QStringList{"--no-progress"} + arguments);
        if (!process.waitForStarted())
            qFatal("quenby-rename did not start");
        process.closeWriteChannel();
        if (!process.waitForFinished(120000))
            qFatal("quenby-rename did not finish");
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }

    // Signals a run copying three large files while it copies the second, and
    // checks that what is in `results` afterwards is whole.
    void hangUpMidCopy(const QString& results);

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

    void quotedNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("line break") << QByteArray("a\nb.htm") << QByteArray("'a'$'\\n''b.htm'");
        QTest::newRow("escape sequence")
            << QByteArray("\x1b]0;title\x07.htm") << QByteArray("''$'\\033'']0;title'$'\\a''.htm'");
        QTest::newRow("quote and tab")
            << QByteArray("it's\tx.htm") << QByteArray("'it'\\''s'$'\\t''x.htm'");
        QTest::newRow("C1 control") << QByteArray("\xc2\x9b"
                                                  "2J.htm")
                                    << QByteArray("''$'\\302\\233''2J.htm'");
        QTest::newRow("right-to-left override")
            << QByteArray("evil\xe2\x80\xaelmth.exe.htm")
            << QByteArray("'evil'$'\\342\\200\\256''lmth.exe.htm'");
        QTest::newRow("plain name with a blank") << QByteArray("a b.htm") << QByteArray("a b.htm");
    }

    // Plain results, failures and the closing list show a name with control
    // characters quoted; JSON keeps the name as it is.
    void quotedNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, shown);
        const QByteArray folder = QFile::encodeName(m_in) + '/';
        // The whole path is quoted, as ls quotes it.
        const auto quoted = [&](const QByteArray& within) {
            return shown.startsWith('\'') ? "'" + within + shown.mid(1) : within + shown;
        };
        const QString page = QFile::decodeName(folder + name);
        // The page exists once and is also asked for under a missing name.
        QVERIFY(QDir().mkpath(m_in + "/gone"));
        const QString missing = QFile::decodeName(folder + "gone/" + name);
        {
            QFile file(QFile::decodeName(folder + name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("<body>page words</body>");
        }
        const Result plain = run({"-o", m_out, "-n", "2", page, missing});
        QCOMPARE(plain.exitCode, 1);
        const QList<QByteArray> out = plain.out.split('\n');
        QCOMPARE(out.value(0), "renamed: " + quoted(folder) + " -> " + QFile::encodeName(m_out) +
                                   "/page words.htm");
        QCOMPARE(out.value(1), "skipped: " + quoted(folder + "gone/") + " (unreadable)");
        QCOMPARE(out.value(4), quoted(folder + "gone/")); // in the list after "Done."
        QVERIFY2(plain.err.startsWith("quenby-rename: " + quoted(folder + "gone/") +
                                      ": No such file or directory\n"),
                 plain.err.constData());
        // Nothing but whole lines: each line is one report.
        QCOMPARE(plain.out.count('\n'), 5);

        const Result json = run({"-o", m_out, "-n", "2", "--json", "--dry-run", page});
        QCOMPARE(json.exitCode, 0);
        QCOMPARE(jsonObject(json.out.trimmed()).value("source").toString(), page);
    }

    // A file listed twice is copied twice, and standard error says so once.
    void sourceListedTwice_data()
    {
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("the same path") << false;
        QTest::newRow("a second path to the same file") << true;
    }

    void sourceListedTwice()
    {
        QFETCH(bool, throughLink);
        writeFile(in("a.htm"), "<body>twice listed</body>");
        writeFile(in("b.htm"), "<body>once listed</body>");
        QVERIFY(QFile::link(in("a.htm"), in("link.htm")));
        const QString second = throughLink ? in("link.htm") : in("a.htm");
        writeFile(m_dir->filePath("list"), QFile::encodeName(in("a.htm") + "\n" + in("b.htm") +
                                                             "\n" + second + "\n" + second + "\n"));
        const Result result = run({"-o", m_out, "-n", "2", "--files-from", "list"});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out.count("renamed: "), 4);
        QCOMPARE(entries(m_out), (QStringList{"once listed.htm", "twice listed!!.htm",
                                              "twice listed!.htm", "twice listed.htm"}));
        QCOMPARE(result.err, "quenby-rename: " + QFile::encodeName(second) +
                                 ": source file specified more than once\n");
    }

    // A page is named from its whole text, or passed over with the reason;
    // never named by its own name because its reading stopped early.
    void pageReadWholeOrPassedOver_data()
    {
        // Results, not speed: a machine under load must not make these too slow.
        const QString kPatient = QStringLiteral("120000");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("timeLimitMs");
        QTest::addColumn<QString>("reason"); // empty: renamed
        QTest::addColumn<QString>("target");
        QTest::newRow("9 MiB of hidden text first")
            << "<div style=display:none>" + QByteArray(9 * kMiB, 'h') +
                   "</div><p>Visible at end</p>"
            << kPatient << ""
            << "Visible at.htm";
        QTest::newRow("16 MiB comment first")
            << "<!--" + QByteArray(16 * kMiB, 'c') + "--><p>After the comment</p>" << kPatient << ""
            << "After the.htm";
        QTest::newRow("hidden text past 8 MiB in a style further on")
            << "<p>Shown first words</p>" + QByteArray(9 * kMiB, ' ') +
                   "<style>p{display:none}</style><div>Then these</div>"
            << kPatient << ""
            << "Then these.htm";
        // In a table, which the parser alone reads, and slowly with this many
        // attributes.
        QByteArray attributes = "<table><tr><td";
        for (int i = 0; i < 300000; ++i)
            attributes += " a" + QByteArray::number(i) + "=1";
        QTest::newRow("too slow") << attributes + ">x</table>"
                                  << "100"
                                  << "too-slow"
                                  << "";
    }

    void pageReadWholeOrPassedOver()
    {
        QFETCH(QByteArray, page);
        QFETCH(QString, timeLimitMs);
        QFETCH(QString, reason);
        QFETCH(QString, target);
        writeFile(in("page.htm"), page);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!timeLimitMs.isEmpty())
            environment.insert("QUENBY_PAGE_TIME_LIMIT_MS", timeLimitMs);
        const Result result = run({"-o", m_out, "-n", "2", "--json", in("page.htm")}, environment);
        const QJsonObject line = jsonObject(result.out.trimmed());
        if (reason.isEmpty()) {
            QCOMPARE(result.exitCode, 0);
            QCOMPARE(entries(m_out), QStringList{target});
            return;
        }
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(line.value("reason").toString(), reason);
        QVERIFY(line.value("error").toString().startsWith("Reading the page took longer than"));
        QVERIFY(entries(m_out).isEmpty());
        const Result plain = run({"-o", m_out, "-n", "2", in("page.htm")}, environment);
        QVERIFY2(plain.out.contains("\nThe following files were skipped because they could not "
                                    "be read or renamed:\n" +
                                    QFile::encodeName(in("page.htm")) + "\n"),
                 plain.out.constData());
    }

    // A word or a value longer than any name is kept only as far as a name
    // can take it: the name is still right, and one too long is still too long.
    void longWordsAndValues_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("outcome"); // the copy's name, or the reason
        const QByteArray longWord(3 * kMiB, 'w');
        const QByteArray fits(251, 'w'); // 255 bytes with ".htm"
        const QStringList consider{"--tags", "consider"};
        const QStringList title{"--by", "metadata", "--pattern", "%t"};
        for (const bool pageText : {false, true}) {
            const QString mode = pageText ? "page text, " : "consider tags, ";
            const QStringList tags = pageText ? QStringList{} : consider;
            QTest::addRow("%sendless word", qPrintable(mode))
                << "<body>" + longWord + "</body>" << tags + QStringList{"-n", "1"}
                << "name-too-long";
            QTest::addRow("%sendless second word", qPrintable(mode))
                << "<body>short " + longWord + " third</body>" << tags + QStringList{"-n", "2"}
                << "name-too-long";
            QTest::addRow("%sendless word, fewer words than asked", qPrintable(mode))
                << "<body>" + longWord + "</body>" << tags + QStringList{"-n", "2"}
                << "too-few-words";
            QTest::addRow("%sword that just fits", qPrintable(mode))
                << "<body>" + fits + " next</body>" << tags + QStringList{"-n", "1"}
                << QString(fits) + ".htm";
            QTest::addRow("%sword of 256 bytes", qPrintable(mode))
                << "<body>" + fits + "wwwww next</body>" << tags + QStringList{"-n", "1"}
                << "name-too-long";
            QTest::addRow("%swords after an endless one", qPrintable(mode))
                << "<body>" + longWord + " a b c d</body>" << tags + QStringList{"-n", "5"}
                << "name-too-long";
        }
        QTest::newRow("consider tags, controls before the word")
            << "<body>" + QByteArray(5000, '\x01') + "word next</body>" << consider << "word.htm";
        QTest::newRow("endless title")
            << "<title>" + longWord + "</title>" << title << "name-too-long";
        QTest::newRow("title that just fits")
            << "<title>" + fits + "</title><p>x</p>" << title << QString(fits) + ".htm";
        // The name loses the quotes, and with them every byte past its limit.
        QTest::newRow("title after endless quotes")
            << "<title>" + QByteArray(kMiB, '"') + "Quoted</title>" << title << "Quoted.htm";
        QTest::newRow("title with endless blanks inside")
            << "<title>A" + QByteArray(kMiB, ' ') + "B</title>" << title << "name-too-long";
    }

    void longWordsAndValues()
    {
        QFETCH(QByteArray, page);
        QFETCH(QStringList, arguments);
        QFETCH(QString, outcome);
        writeFile(in("page.htm"), page);
        for (const bool dryRun : {true, false}) {
            QStringList all = QStringList{"-o", m_out, "--json"} + arguments;
            if (dryRun)
                all.append("--dry-run");
            const Result result = run(all + QStringList{in("page.htm")});
            const QJsonObject line = jsonObject(result.out.trimmed());
            if (outcome.endsWith(".htm")) {
                QCOMPARE(result.exitCode, 0);
                QCOMPARE(QFileInfo(line.value("target").toString()).fileName(), outcome);
            } else {
                QCOMPARE(result.exitCode, 1);
                QCOMPARE(line.value("reason").toString(), outcome);
            }
        }
    }

    // The results folder exchanged for a link to another folder while the
    // second of three files is copied: that copy still goes into the folder
    // that was opened, the third is not made, and the run ends as when the
    // folder is gone, with one message.
    void resultsFolderExchanged()
    {
        const int total = 3;
        QStringList sources;
        for (int i = 0; i < total; ++i) {
            sources.append(in(QStringLiteral("big%1.htm").arg(i)));
            writeFile(sources.last(), QByteArray(32 * kMiB, char('a' + i)));
        }
        const QString elsewhere = m_dir->filePath("elsewhere");
        const QString swap = m_dir->filePath("swap");
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(QFile::link(elsewhere, swap));
        QProcess process;
        process.setWorkingDirectory(m_dir->path());
        process.start(kProgram, QStringList{"--no-progress", "-o", m_out, "--by", "metadata",
                                            "--pattern", " "} +
                                    sources);
        QVERIFY(process.waitForStarted());
        const QString fds = QStringLiteral("/proc/%1/fd").arg(process.processId());
        // Under way means both ends open: the source, and the copy in the
        // results folder (made only once the folder was found where it was).
        bool copying = false;
        for (int polls = 0; !copying && polls < 600000 && process.state() == QProcess::Running;
             ++polls) {
            bool reading = false;
            bool writing = false;
            for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System)) {
                const QString target = QFile::symLinkTarget(fds + "/" + fd);
                reading = reading || target == sources[1];
                writing = writing || target.startsWith(m_out + "/");
            }
            copying = reading && writing;
            if (!copying)
                ::usleep(100);
        }
        QVERIFY2(copying, "the second copy was not seen under way");
        QCOMPARE(::renameat2(AT_FDCWD, QFile::encodeName(m_out).constData(), AT_FDCWD,
                             QFile::encodeName(swap).constData(), RENAME_EXCHANGE),
                 0);
        QVERIFY(process.waitForFinished(120000));
        const QByteArray out = process.readAllStandardOutput();
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(process.exitCode() == 3, (out + err).constData());
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.startsWith("quenby-rename: " + QFile::encodeName(m_out) +
                                ": the results folder is gone"),
                 err.constData());
        QVERIFY2(out.contains("renamed: " + QFile::encodeName(sources[1])), out.constData());
        QVERIFY(!out.contains("renamed: " + QFile::encodeName(sources[2])));
        QCOMPARE(entries(elsewhere), QStringList());
        QCOMPARE(entries(swap), (QStringList{"big0.htm", "big1.htm"}));
    }

    void hangUpOnTmpfs()
    {
        const QString point = m_dir->filePath("mnt");
        QVERIFY(QDir().mkpath(point));
        Mounted mounted;
        if (::mount("tmpfs", QFile::encodeName(point).constData(), "tmpfs", 0, "size=256m") != 0)
            QSKIP("mounting a tmpfs needs privileges this run lacks");
        mounted.point = point;
        hangUpMidCopy(point);
    }

    void hangUpOnFat()
    {
        if (const QString why = fatUnavailable(); !why.isEmpty())
            QSKIP(qPrintable(why));
        Mounted mounted;
        const QString stick = m_dir->filePath("stick");
        if (!mountFatStick(mounted, m_dir->filePath("fat.img"), stick, 160 * kMiB))
            QSKIP("fusefat could not mount the image");
        hangUpMidCopy(stick);
    }
};

void TestHonestReports::hangUpMidCopy(const QString& results)
{
    const int total = 3;
    QStringList sources;
    // The middle file is the large one, so that its copy is long enough to be
    // caught under way even on a busy machine.
    const qint64 sizes[total] = {
        4 * kMiB, qMin<qint64>(QStorageInfo(results).bytesAvailable() / 2, 128 * kMiB), 4 * kMiB};
    for (int i = 0; i < total; ++i) {
        sources.append(in(QStringLiteral("big%1.htm").arg(i)));
        writeFile(sources.last(), "<body>big</body>" + QByteArray(sizes[i], char('a' + i)));
    }
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    // The second source open in the program: its copy is under way. A run that
    // finished between two looks is tried again.
    bool copying = false;
    for (int attempt = 0; attempt < 5 && !copying; ++attempt) {
        for (const QString& name : entries(results))
            QVERIFY(QFile::remove(results + "/" + name));
        // A blank pattern keeps each file's own name: the run only copies.
        process.start(kProgram, QStringList{"--no-progress", "-o", results, "--by", "metadata",
                                            "--pattern", " "} +
                                    sources);
        QVERIFY(process.waitForStarted());
        const QString fds = QStringLiteral("/proc/%1/fd").arg(process.processId());
        while (!copying && process.state() == QProcess::Running) {
            for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System))
                copying = copying || QFile::symLinkTarget(fds + "/" + fd) == sources[1];
            if (!copying && !process.waitForFinished(0))
                ::usleep(100);
        }
        if (!copying)
            process.waitForFinished(120000);
    }
    QVERIFY2(copying, "the second copy was not seen under way");
    QCOMPARE(::kill(process.processId(), SIGHUP), 0);
    QVERIFY(process.waitForFinished(120000));
    const QByteArray out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 128 + SIGHUP);
    const qsizetype renamed = out.count("renamed: ");
    QVERIFY2(renamed < total, "the run ended before the signal came");
    QCOMPARE(err, QStringLiteral("quenby-rename: interrupted after %1 of %2 files: %1 renamed, 0 "
                                 "skipped\n")
                      .arg(renamed)
                      .arg(total)
                      .toUtf8());
    // Each copy there is whole and was reported; nothing else is left.
    const QStringList left = entries(results);
    QCOMPARE(left.size(), renamed);
    for (const QString& name : left) {
        const QString source = in(name);
        QVERIFY2(out.contains(" -> " + QFile::encodeName(results + "/" + name)), qPrintable(name));
        QCOMPARE(QFileInfo(results + "/" + name).size(), QFileInfo(source).size());
    }
}

QTEST_GUILESS_MAIN(TestHonestReports)
#include "tst_honestreports.moc"
