// Undo from the command line: --undo, --undo=ID, --list-runs, with --dry-run
// and --json, as a script uses them.

#include "support/Files.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result
{
    int exitCode;
    QStringList out;
    QString err;
};

QStringList sorted(QStringList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

} // namespace

class TestUndo : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_out;
    QString m_state;

    Result run(const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_STATE_HOME"), m_state);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral(QUENBY_BIN_DIR "/quenby-rename"), arguments);
        if (!process.waitForFinished(60000))
            qFatal("quenby-rename did not finish");
        QStringList out = QString::fromUtf8(process.readAllStandardOutput())
                              .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return {process.exitCode(), out, QString::fromUtf8(process.readAllStandardError())};
    }

    // Renames `pages` (name, first word) by their first word into the results
    // folder, named relative to where the run starts; a run of its own.
    void renameRun(const QList<std::pair<QString, QByteArray>>& pages)
    {
        QStringList arguments{QStringLiteral("-o"), QStringLiteral("out")};
        for (const auto& [name, word] : pages) {
            const QString page = m_dir.filePath(QStringLiteral("in/") + name);
            writeFile(page, "<body>" + word + " words</body>");
            arguments.append(page);
        }
        QCOMPARE(run(arguments).exitCode, 0);
    }

    QStringList outFiles() const { return sorted(QDir(m_out).entryList(QDir::Files)); }
    QString journal(int id) const
    {
        return m_state + QStringLiteral("/quenby/run-%1.journal").arg(id);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        m_out = m_dir.filePath(QStringLiteral("out"));
        m_state = m_dir.filePath(QStringLiteral("state"));
        QDir().mkpath(m_out);
    }

    // Run 1 made Alpha.htm and Beta.htm, run 2 Gamma.htm; Beta.htm has been
    // written to since.
    void undo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines"); // stdout, the summary's start last
        QTest::addColumn<QStringList>("left");

        const QStringList all{"Alpha.htm", "Beta.htm", "Gamma.htm"};
        QTest::newRow("the last run")
            << QStringList{"--undo"} << 0 << QStringList{"removed: OUT/Gamma.htm", "Run 2 of "}
            << QStringList{"Alpha.htm", "Beta.htm"};
        QTest::newRow("an earlier run, one copy kept")
            << QStringList{"--undo=1"} << 1
            << QStringList{"removed: OUT/Alpha.htm", "kept: OUT/Beta.htm (changed since the run)",
                           "Run 1 of "}
            << QStringList{"Beta.htm", "Gamma.htm"};
        QTest::newRow("dry run") << QStringList{"--undo=1", "--dry-run"} << 1
                                 << QStringList{"planned: OUT/Alpha.htm",
                                                "kept: OUT/Beta.htm (changed since the run)",
                                                "Run 1 of "}
                                 << all;
        QTest::newRow("json")
            << QStringList{"--json", "--undo=1"} << 1
            << QStringList{R"({"target":"OUT/Alpha.htm","status":"removed","error":null})",
                           R"({"target":"OUT/Beta.htm","status":"changed","error":null})"}
            << QStringList{"Beta.htm", "Gamma.htm"};
        QTest::newRow("json dry run")
            << QStringList{"--undo", "--json", "--dry-run"} << 0
            << QStringList{R"({"target":"OUT/Gamma.htm","status":"planned","error":null})"} << all;
        QTest::newRow("no such run") << QStringList{"--undo=3"} << 5 << QStringList() << all;
    }
    void undo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, left);

        renameRun({{"a.htm", "Alpha"}, {"b.htm", "Beta"}});
        renameRun({{"c.htm", "Gamma"}});
        QFile beta(m_out + "/Beta.htm");
        QVERIFY(beta.open(QIODevice::Append));
        QCOMPARE(beta.write("changed"), 7);
        beta.close();

        const Result result = run(arguments);
        QCOMPARE(result.exitCode, exitCode);
        QCOMPARE(result.out.size(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString expected = QString(lines.at(i)).replace("OUT", m_out);
            QVERIFY2(result.out.at(i).startsWith(expected), qPrintable(result.out.at(i)));
        }
        QCOMPARE(outFiles(), left);
        QCOMPARE(sorted(QDir(m_dir.filePath("in")).entryList(QDir::Files)),
                 (QStringList{"a.htm", "b.htm", "c.htm"}));
        if (exitCode == 5)
            QVERIFY2(result.err.contains(journal(3)), qPrintable(result.err));
    }

    void undoTwice()
    {
        renameRun({{"a.htm", "Alpha"}});
        QCOMPARE(run({"--undo"}).exitCode, 0);
        renameRun({{"b.htm", "Alpha"}}); // the same name again, by a later run
        const Result again = run({"--undo=1"});
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.out.size(), 1);
        QVERIFY2(again.out.first().startsWith("Run 1 was undone already"),
                 qPrintable(again.out.first()));
        QCOMPARE(outFiles(), QStringList{"Alpha.htm"});
    }

    void listRuns()
    {
        renameRun({{"a.htm", "Alpha"}, {"b.htm", "Beta"}});
        renameRun({{"c.htm", "Gamma"}});
        QCOMPARE(run({"--undo"}).exitCode, 0);

        const Result text = run({"--list-runs"});
        QCOMPARE(text.exitCode, 0);
        QCOMPARE(text.out.size(), 3); // a heading and a line a run
        const QStringList first = text.out.at(1).split(' ', Qt::SkipEmptyParts);
        QCOMPARE(first.value(0), QStringLiteral("1"));
        QCOMPARE(first.value(3), QStringLiteral("2"));
        QCOMPARE(first.value(4), m_out);
        QVERIFY2(text.out.at(2).endsWith(m_out + " (undone)"), qPrintable(text.out.at(2)));

        const Result json = run({"--list-runs", "--json"});
        QCOMPARE(json.out.size(), 2);
        const QJsonObject second = QJsonDocument::fromJson(json.out.at(1).toUtf8()).object();
        QCOMPARE(second.value("id").toInt(), 2);
        QCOMPARE(second.value("folder").toString(), m_out);
        QCOMPARE(second.value("copies").toInt(), 1);
        QCOMPARE(second.value("program").toString(), QStringLiteral("quenby-rename"));
        QVERIFY(!second.value("undone").toString().isEmpty());
        QVERIFY(json.out.at(0).contains(R"("undone":null)"));
    }

    void missingOrDamagedJournal_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("damage");
        QTest::addColumn<QString>("names"); // in the message, "STATE" for the folder
        QTest::newRow("nothing recorded") << QStringList{"--undo"} << false << "STATE/quenby";
        QTest::newRow("damaged") << QStringList{"--undo"} << true << "STATE/quenby/run-1.journal";
        QTest::newRow("damaged, listed")
            << QStringList{"--list-runs"} << true << "STATE/quenby/run-1.journal";
    }
    void missingOrDamagedJournal()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, damage);
        QFETCH(QString, names);
        if (damage) {
            renameRun({{"a.htm", "Alpha"}});
            writeFile(journal(1), "quenby-journal 1\nrun 1 when\n");
        }
        const Result result = run(arguments);
        QCOMPARE(result.exitCode, 5);
        QVERIFY2(result.err.startsWith("quenby-rename: " + names.replace("STATE", m_state)),
                 qPrintable(result.err));
        if (damage)
            QCOMPARE(outFiles(), QStringList{"Alpha.htm"});
    }

    // A run whose journal cannot be written still copies, and says so once.
    void unwritableJournal()
    {
        writeFile(m_state, "a file where the folder would be");
        writeFile(m_dir.filePath("in/a.htm"), "<body>Alpha</body>");
        writeFile(m_dir.filePath("in/b.htm"), "<body>Beta</body>");
        const Result result = run({"-o", m_out, m_dir.filePath("in")});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(outFiles(), (QStringList{"Alpha.htm", "Beta.htm"}));
        QCOMPARE(result.err.count('\n'), 1);
        QVERIFY2(result.err.startsWith("quenby-rename: " + m_state), qPrintable(result.err));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("not a number") << QStringList{"--undo=last"};
        QTest::newRow("with files") << QStringList{"--undo", "a.htm"};
        QTest::newRow("with a results folder") << QStringList{"--list-runs", "-o", "out"};
        QTest::newRow("both") << QStringList{"--undo", "--list-runs"};
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QCOMPARE(run(arguments).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestUndo)
#include "tst_undo.moc"
