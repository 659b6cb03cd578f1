// Recording and loading the sample pages.

#include "filelist/FileList.h"
#include "platform/KeyValueStore.h"
#include "platform/DesktopShell.h"
#include "platform/Failure.h"
#include "shell/Form1.h"
#include "shell/Samples.h"
#include "support/Fakes.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

namespace {

class MemoryStore : public KeyValueStore
{
public:
    QString read(const QString& key, const QString& defaultValue) override
    {
        if (failReads)
            throw Failure(QStringLiteral("Permission denied"));
        return values.contains(key) ? values.value(key) : defaultValue;
    }
    void save(const QString& key, const QString& value) override { values.insert(key, value); }
    QMap<QString, QString> values;
    bool failReads = false;
};

class OpeningShell : public DesktopShell
{
public:
    void openFolder(const QString& path) override { opened.append(path); }
    void openUrl(const QString& url) override { opened.append(url); }
    void startDetached(const QString&, const QStringList&) override {}
    QString desktopFolder() const override { return QStringLiteral("/home/u/Desktop/"); }
    QStringList opened;
};

const QString kQuestion =
    QStringLiteral("Would you like this software to open the folder where these sample files "
                   "are stored (so that you can view them before working with them)?");

struct Harness
{
    explicit Harness(const QString& programFolder)
        : samples(store, list, boxes, shell, programFolder)
    {
    }
    MemoryStore store;
    FileList list;
    ScriptedBoxes boxes;
    OpeningShell shell;
    RecordingReporter reporter;
    Samples samples;
};

void writeSample(const QString& folder, const QString& name)
{
    QDir().mkpath(folder);
    QFile file(folder + u'/' + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<html><title>t</title></html>");
}

} // namespace

class TestSamples : public QObject
{
    Q_OBJECT
private slots:
    void recordAndLoad();
    void loadAnswers_data();
    void loadAnswers();
    void missingFolder();
    void failingStoreIsReported();
    void dataFolderFromTheProgramFolder_data();
    void dataFolderFromTheProgramFolder();
};

void TestSamples::recordAndLoad()
{
    QTemporaryDir program;
    const QString folder = program.path() + "/Samples";
    for (const char* name : {"two.html", "one.htm", "Three.txt"})
        writeSample(folder, name);
    writeSample(folder + "/nested", "ignored.htm"); // subfolders are not samples

    Harness h(program.path());
    h.samples.record();
    // In name order, letter case aside, whatever order the disk keeps them in.
    const QStringList recorded = h.store.values.value("Snapshot").split(u'|');
    QCOMPARE(recorded,
             (QStringList{folder + "/one.htm", folder + "/Three.txt", folder + "/two.html"}));

    // A file added later is never loaded; one deleted later is passed over.
    writeSample(folder, "later.htm");
    QVERIFY(QFile::remove(recorded.at(1)));
    h.list.AddFile(recorded.at(0).toUpper()); // another letter case counts as another path
    h.boxes.yesNoAnswers = {BoxAnswer::Yes, BoxAnswer::No};
    h.samples.PushButton6_Click(h.reporter);
    QCOMPARE(h.list.paths(),
             (QStringList{recorded.at(0).toUpper(), recorded.at(0), recorded.at(2)}));
    QCOMPARE(h.boxes.shown.size(), 1);
    QCOMPARE(h.boxes.shown[0].text, kQuestion);
    QCOMPARE(h.boxes.shown[0].title, QString());
    QCOMPARE(h.boxes.shown[0].icon, BoxIcon::None);
    QCOMPARE(h.boxes.shown[0].buttons, BoxButtons::YesNo);
    QCOMPARE(h.shell.opened, QStringList{folder + u'/'});

    // A second load adds nothing but asks again.
    h.samples.PushButton6_Click(h.reporter);
    QCOMPARE(h.list.count(), 3);
    QCOMPARE(h.boxes.shown.size(), 2);
    QCOMPARE(h.shell.opened.size(), 1);
    QVERIFY(h.reporter.reports.isEmpty());
}

void TestSamples::loadAnswers_data()
{
    QTest::addColumn<QString>("snapshot"); // "@" stands for the samples folder
    QTest::addColumn<bool>("absent");
    QTest::addColumn<QStringList>("loaded");
    QTest::newRow("three in recorded order")
        << "@/c.htm|@/a.htm|@/b.htm" << false << QStringList{"@/c.htm", "@/a.htm", "@/b.htm"};
    QTest::newRow("duplicate in the snapshot added once")
        << "@/a.htm|@/a.htm" << false << QStringList{"@/a.htm"};
    QTest::newRow("missing file passed over")
        << "@/a.htm|@/gone.htm|@/b.htm" << false << QStringList{"@/a.htm", "@/b.htm"};
    QTest::newRow("empty snapshot") << "" << false << QStringList{};
    QTest::newRow("no snapshot at all") << "" << true << QStringList{};
}

void TestSamples::loadAnswers()
{
    QFETCH(QString, snapshot);
    QFETCH(bool, absent);
    QFETCH(QStringList, loaded);
    QTemporaryDir program;
    const QString folder = program.path() + "/Samples";
    for (const char* name : {"a.htm", "b.htm", "c.htm"})
        writeSample(folder, name);
    Harness h(program.path());
    if (!absent)
        h.store.values.insert("Snapshot", snapshot.replace(u'@', folder));
    h.samples.load();
    QCOMPARE(h.list.paths(), loaded.replaceInStrings("@", folder));
    QCOMPARE(h.boxes.shown.size(), 1);
    QVERIFY(h.shell.opened.isEmpty()); // the answer was No
}

void TestSamples::missingFolder()
{
    QTemporaryDir program;
    Harness h(program.path());
    h.samples.record();
    QCOMPARE(h.store.values.value("Snapshot", "absent"), QString());
    h.samples.PushButton6_Click(h.reporter);
    QCOMPARE(h.list.count(), 0);
    QCOMPARE(h.boxes.shown.size(), 1);
    QVERIFY(h.reporter.reports.isEmpty());
}

void TestSamples::failingStoreIsReported()
{
    QTemporaryDir program;
    Harness h(program.path());
    h.store.failReads = true;
    h.samples.PushButton6_Click(h.reporter);
    QCOMPARE(h.reporter.reports.size(), 1);
    QCOMPARE(h.reporter.reports[0].label,
             QStringLiteral("in Orlesk2021/08/31.Form1.PushButton6_Click "));
    QCOMPARE(h.reporter.reports[0].description, QStringLiteral("Permission denied"));
    QVERIFY(h.boxes.shown.isEmpty()); // the loading ended before the question
}

void TestSamples::dataFolderFromTheProgramFolder_data()
{
    QTest::addColumn<QString>("made"); // below the temporary folder
    QTest::addColumn<QString>("expected");
    QTest::newRow("installed") << "share/quenby"
                               << "share/quenby";
    QTest::newRow("build tree") << ""
                                << "libexec/quenby";
    QTest::newRow("a file in its place") << "share/quenby-file"
                                         << "libexec/quenby";
}

void TestSamples::dataFolderFromTheProgramFolder()
{
    QFETCH(QString, made);
    QFETCH(QString, expected);
    QTemporaryDir prefix;
    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("libexec/quenby")));
    if (made.endsWith(QStringLiteral("-file"))) {
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share")));
        QFile file(prefix.filePath(QStringLiteral("share/quenby")));
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (!made.isEmpty()) {
        QVERIFY(QDir(prefix.path()).mkpath(made));
    }
    QCOMPARE(dataFolderFor(prefix.filePath(QStringLiteral("libexec/quenby"))),
             prefix.filePath(expected));
}

QTEST_GUILESS_MAIN(TestSamples)
#include "tst_samples.moc"
