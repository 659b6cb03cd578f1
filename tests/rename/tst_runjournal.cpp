// The run journal and undo: what a run records, and that undo removes exactly
// the copies still there unchanged, wherever the results folder lives.

#include "platform/FileSystem.h"
#include "platform/PageText.h"
#include "rename/FileEntries.h"
#include "rename/RenameRun.h"
#include "rename/RunJournal.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/Mounts.h"
#include "support/Workspace.h"

#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class PathEntries : public FileEntries
{
public:
    int count() const override { return int(paths.size()); }
    QString entry(int i) const override { return paths.at(i - 1); }
    QStringList paths;
};

// The runs here consider tags, so no page text is ever asked for.
class NoPageText : public PageText
{
public:
    void navigate(const QString&) override {}
    int readyState() override { return kComplete; }
    QString bodyText() override { return {}; }
    void prefetch(const QStringList&, int) override {}
    void navigateMetadata(const QString&) override {}
    PageMetadata metadata() override { return {}; }
};

// Runs one rename over `sources` into the workspace's results folder, naming
// each by its first word, and answers the run's journal id.
struct Runner
{
    Runner(FixedRenameOptions& o, const QString& j) : options(o), journals(j) {}
    FixedRenameOptions& options;
    QString journals;
    ScriptedBoxes boxes;
    FakePointer pointer;
    FakeProgress progress;
    ScriptedPump pump;
    NoPageText page;
    RecordingReporter reporter;

    int run(const QStringList& sources, bool dryRun = false)
    {
        PathEntries files;
        files.paths = sources;
        options.tags = TagMode::ConsiderTags;
        RenameRun run(files, options, {boxes, pointer, progress, pump, page, reporter});
        run.setJournal(journals, QStringLiteral("test"));
        run.setDryRun(dryRun);
        boxes.answers = {QStringLiteral("1")};
        run.start();
        lastFailure = run.journalFailure();
        return run.journalId();
    }
    std::optional<Failure> lastFailure;
};

QStringList sorted(QStringList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

QStringList names(const RecordedRun& run)
{
    QStringList list;
    for (const auto& copy : run.copies)
        list.append(copy.name);
    return list;
}

} // namespace

class RunJournalTest : public QObject, protected RenameWorkspace
{
    Q_OBJECT

private:
    QString m_journals;
    std::unique_ptr<Runner> m_runner;

    QString source(const QString& name, const QByteArray& content)
    {
        const QString at = path(QStringLiteral("src/") + name);
        writeFile(at, content);
        return at;
    }
    RecordedRun read(int id) { return RunJournals(m_journals).read(id); }

private slots:
    void init()
    {
        makeWorkspace();
        m_journals = path(QStringLiteral("state/quenby"));
        m_runner = std::make_unique<Runner>(m_options, m_journals);
    }

    void runRecordsEachCopy()
    {
        const QStringList sources = {source("a.htm", "Alpha one"), source("b.htm", "Alpha two"),
                                     source("c.txt", "Gamma")};
        const int id = m_runner->run(sources);
        QCOMPARE(id, 1);
        const RecordedRun run = read(id);
        QCOMPARE(names(run), (QStringList{"Alpha.htm", "Alpha!.htm", "Gamma.txt"}));
        QCOMPARE(run.folder(), m_out);
        QCOMPARE(run.program, QStringLiteral("test"));
        QVERIFY(!run.undone);
        for (const auto& copy : run.copies)
            QCOMPARE(copy.identity, CopyIdentity::ofPath(copy.target()));
        // Each run its own journal, numbered on.
        QCOMPARE(m_runner->run({sources.at(2)}), 2);
        QCOMPARE(names(read(2)), QStringList{"Gamma!.txt"});
    }

    void runsThatCopyNothingRecordNothing_data()
    {
        QTest::addColumn<bool>("dryRun");
        QTest::addColumn<bool>("exists");
        QTest::newRow("dry run") << true << true;
        QTest::newRow("every file passed over") << false << false;
    }
    void runsThatCopyNothingRecordNothing()
    {
        QFETCH(bool, dryRun);
        QFETCH(bool, exists);
        const QString page = exists ? source("a.htm", "Alpha") : path("gone.htm");
        QCOMPARE(m_runner->run({page}, dryRun), 0);
        QVERIFY(RunJournals(m_journals).ids().isEmpty());
    }

    void onlyTheLastRunsAreKept()
    {
        const QString page = source("a.htm", "Alpha");
        for (int i = 0; i < RunJournal::kKeptRuns + 3; ++i)
            m_runner->run({page});
        const QList<int> ids = RunJournals(m_journals).ids();
        QCOMPARE(ids.size(), RunJournal::kKeptRuns);
        QCOMPARE(ids.first(), 4);
        QCOMPARE(ids.last(), RunJournal::kKeptRuns + 3);
    }

    // A journal that cannot be written does not stop the run: it is said once.
    void unwritableJournalStillRuns()
    {
        writeFile(path("state"), "a file where the folder would be");
        const QString page = source("a.htm", "Alpha");
        QCOMPARE(m_runner->run({page, source("b.htm", "Beta")}), 0);
        QCOMPARE(entries(m_out), (QStringList{"Alpha.htm", "Beta.htm"}));
        QVERIFY(m_runner->lastFailure);
        QVERIFY2(m_runner->lastFailure->description().startsWith(m_journals),
                 qPrintable(m_runner->lastFailure->description()));
        QVERIFY(m_runner->reporter.reports.isEmpty());
    }

    // What becomes of a copy after its run decides whether undo takes it.
    void undo_data()
    {
        QTest::addColumn<QString>("afterwards");
        QTest::addColumn<UndoResult::Status>("status");
        QTest::addColumn<QByteArray>("left"); // what the name holds after undo

        using S = UndoResult::Status;
        QTest::newRow("unchanged") << "" << S::Removed << QByteArray();
        QTest::newRow("written to") << "append" << S::Changed << QByteArray("Alpha!");
        QTest::newRow("touched") << "touch" << S::Changed << QByteArray("Alpha");
        QTest::newRow("replaced by a copy of itself")
            << "recreate" << S::Replaced << QByteArray("Alpha");
        QTest::newRow("replaced by a folder") << "folder" << S::Replaced << QByteArray("<folder>");
        QTest::newRow("replaced by a link to the source")
            << "link" << S::Replaced << QByteArray("Alpha");
        QTest::newRow("deleted") << "delete" << S::Gone << QByteArray();
    }
    void undo()
    {
        QFETCH(QString, afterwards);
        QFETCH(UndoResult::Status, status);
        QFETCH(QByteArray, left);

        const QString page = source("a.htm", "Alpha");
        const int id = m_runner->run({page});
        const QString copy = m_out + QStringLiteral("/Alpha.htm");
        const QByteArray native = FileSystem::nativePath(copy);
        if (afterwards == "append") {
            QFile file(copy);
            QVERIFY(file.open(QIODevice::Append));
            QCOMPARE(file.write("!"), 1);
        } else if (afterwards == "touch") {
            const timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
        } else if (afterwards == "recreate") {
            // Held open, the old file keeps its inode number from being reused.
            QFile old(copy);
            QVERIFY(old.open(QIODevice::ReadOnly));
            const QByteArray content = old.readAll();
            QVERIFY(QFile::remove(copy));
            writeFile(copy, content);
        } else if (afterwards == "folder") {
            QVERIFY(QFile::remove(copy));
            QVERIFY(QDir().mkdir(copy));
        } else if (afterwards == "link") {
            QVERIFY(QFile::remove(copy));
            QVERIFY(QFile::link(page, copy));
        } else if (afterwards == "delete") {
            QVERIFY(QFile::remove(copy));
        }

        const UndoResult result = undoRun(read(id), false);
        QCOMPARE(result.items.size(), 1);
        QCOMPARE(result.items.first().target, copy);
        QCOMPARE(result.items.first().status, status);
        QFileInfo info(copy);
        if (left.isEmpty())
            QVERIFY(!info.exists() && !info.isSymLink());
        else
            QCOMPARE(info.isDir() ? QByteArray("<folder>") : readFile(copy), left);
        QCOMPARE(readFile(page), QByteArray("Alpha")); // the source stays
        QVERIFY(read(id).undone);
    }

    // Files the run did not make stay, whatever their names: those that were
    // there before, a later run's copies, and a new file under a name the run
    // used once.
    void otherFilesStay()
    {
        writeFile(m_out + "/Alpha.htm", "there before");
        const QString page = source("a.htm", "Alpha");
        const int first = m_runner->run({page, page});
        QCOMPARE(names(read(first)), (QStringList{"Alpha!.htm", "Alpha!!.htm"}));
        const int second = m_runner->run({page});
        QVERIFY(QFile::remove(m_out + "/Alpha!!.htm"));
        writeFile(m_out + "/Alpha!!.htm", "Alpha"); // made by hand since

        const UndoResult result = undoRun(read(first), false);
        QCOMPARE(result.count(UndoResult::Status::Removed), 1);
        QCOMPARE(result.count(UndoResult::Status::Removed) +
                     result.count(UndoResult::Status::Changed) +
                     result.count(UndoResult::Status::Replaced),
                 2);
        QCOMPARE(sorted(entries(m_out)), (QStringList{"Alpha!!!.htm", "Alpha!!.htm", "Alpha.htm"}));
        QCOMPARE(readFile(m_out + "/Alpha.htm"), QByteArray("there before"));
        QVERIFY(!read(second).undone);
        QCOMPARE(entries(path("src")), QStringList{"a.htm"});
    }

    void undoTwiceIsHarmless()
    {
        const QString page = source("a.htm", "Alpha");
        const int id = m_runner->run({page});
        QCOMPARE(undoRun(read(id), false).count(UndoResult::Status::Removed), 1);
        writeFile(m_out + "/Alpha.htm", "Alpha"); // the name used again
        const UndoResult again = undoRun(read(id), false);
        QVERIFY(again.undoneBefore);
        QVERIFY(again.items.isEmpty());
        QCOMPARE(entries(m_out), QStringList{"Alpha.htm"});
    }

    void dryRunRemovesNothing()
    {
        const QString page = source("a.htm", "Alpha");
        const int id = m_runner->run({page, page});
        const UndoResult plan = undoRun(read(id), true);
        QCOMPARE(plan.count(UndoResult::Status::Removed), 2);
        QCOMPARE(undoStatusKey(plan.items.first().status, plan.dryRun), QStringLiteral("planned"));
        QCOMPARE(entries(m_out).size(), 2);
        QVERIFY(!read(id).undone);
    }

    void folderGoneRemovesNothing()
    {
        const int id = m_runner->run({source("a.htm", "Alpha")});
        QVERIFY(QDir(m_out).rename(m_out, m_out + "-moved"));
        try {
            undoRun(read(id), false);
            QFAIL("undo went on without its folder");
        } catch (const Failure& failure) {
            QCOMPARE(failure.kind(), Failure::Kind::ResultsFolderGone);
            QVERIFY2(failure.description().startsWith(m_out), qPrintable(failure.description()));
        }
        QVERIFY(!read(id).undone);
        QCOMPARE(entries(m_out + "-moved"), QStringList{"Alpha.htm"});
    }

    // Names are the disk's bytes: a name with a line break, a blank, a
    // backslash and a byte that is not UTF-8 comes back as it went in.
    void oddNamesComeBack()
    {
        const QString name = FileSystem::pathFromNative("a \\x41\nb\xff.htm");
        const QString copy = m_out + QLatin1Char('/') + name;
        const int fd = ::open(FileSystem::nativePath(copy).constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        {
            RunRecorder recorder(m_journals, QStringLiteral("a program"));
            recorder.record(copy, CopyIdentity::ofPath(copy));
        }
        const RecordedRun run = read(1);
        QCOMPARE(run.program, QStringLiteral("a program"));
        QCOMPARE(names(run), QStringList{name});
        QCOMPARE(undoRun(run, false).count(UndoResult::Status::Removed), 1);
        QCOMPARE(FileSystem::entryNames(m_out), QStringList());
    }

    // A run cut short leaves whole records: the last one may lack its line
    // break, and is then not there; the undo record still reads after it.
    void journalCutShort()
    {
        const int id = m_runner->run({source("a.htm", "Alpha")});
        const QString journal = RunJournal::journalPath(m_journals, id);
        QFile file(journal);
        QVERIFY(file.open(QIODevice::Append));
        file.write("copy 1 2 3 4 5 half-writ");
        file.close();
        QCOMPARE(names(read(id)), QStringList{"Alpha.htm"});
        QCOMPARE(undoRun(read(id), false).count(UndoResult::Status::Removed), 1);
        QVERIFY(read(id).undone);
    }

    void damagedJournal_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no journal at all
        QTest::addColumn<QString>("says");
        const QByteArray head = "quenby-journal 1\nrun 1 2026-01-02T03:04:05.000Z x\n";
        QTest::newRow("missing") << QByteArray() << "No such file or directory";
        QTest::newRow("empty") << QByteArray("\n") << "damaged (line 1";
        QTest::newRow("another file") << QByteArray("<html>\n</html>\n") << "damaged (line 1";
        QTest::newRow("another run's number")
            << QByteArray("quenby-journal 1\nrun 7 2026-01-02T03:04:05.000Z x\n") << "(line 2";
        QTest::newRow("copy before its folder") << head + "copy 1 2 3 4 5 a\n"
                                                << "(line 3";
        QTest::newRow("copy cut short") << head + "folder /tmp\ncopy 1 2 a\n"
                                        << "(line 4";
        QTest::newRow("a name out of its folder") << head + "folder /tmp\ncopy 1 2 3 4 5 ../a\n"
                                                  << "(line 4";
        QTest::newRow("a name that is the folder") << head + "folder /tmp\ncopy 1 2 3 4 5 ..\n"
                                                   << "(line 4";
        QTest::newRow("a bad escape") << head + "folder /tmp\ncopy 1 2 3 4 5 a\\q\n"
                                      << "(line 4";
        QTest::newRow("unknown record") << head + "remove /\n"
                                        << "(line 3";
    }
    void damagedJournal()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, says);
        if (!content.isEmpty())
            writeFile(RunJournal::journalPath(m_journals, 1), content);
        try {
            read(1);
            QFAIL("a damaged journal was read");
        } catch (const Failure& failure) {
            QVERIFY2(failure.description().startsWith(RunJournal::journalPath(m_journals, 1)),
                     qPrintable(failure.description()));
            QVERIFY2(failure.description().contains(says), qPrintable(failure.description()));
        }
    }

    // On a USB stick's FAT, through FUSE, identities hold as long as it stays
    // mounted.
    void fatStick()
    {
        if (const QString missing = fatUnavailable(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        Mounted mounted;
        const QString stick = path("stick");
        if (!mountFatStick(mounted, path("fat.img"), stick, 8 * 1024 * 1024))
            QSKIP("fusefat could not mount the image");
        m_options.results = stick;
        writeFile(stick + "/keep.txt", "not the run's");
        const QString page = source("a.htm", "Alpha");
        const int id = m_runner->run({page, page, source("b.htm", "Beta")});
        QCOMPARE(names(read(id)), (QStringList{"Alpha.htm", "Alpha!.htm", "Beta.htm"}));
        // fusefat writes no file twice: a changed copy is one written anew.
        QVERIFY(QFile::remove(stick + "/Beta.htm"));
        writeFile(stick + "/Beta.htm", "Beta, written anew");

        const UndoResult result = undoRun(read(id), false);
        QCOMPARE(result.count(UndoResult::Status::Removed), 2);
        QCOMPARE(result.count(UndoResult::Status::Changed) +
                     result.count(UndoResult::Status::Replaced),
                 1);
        QCOMPARE(sorted(entries(stick)), (QStringList{"Beta.htm", "keep.txt"}));
    }
};

QTEST_GUILESS_MAIN(RunJournalTest)
#include "tst_runjournal.moc"
