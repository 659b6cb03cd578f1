// The folder scan in deep trees and in folders whose names are not UTF-8.

#include "filelist/AddFolder.h"
#include "filelist/FileList.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "support/Fakes.h"
#include "support/Program.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes `levels` nested folders named `name` below `root`, by descriptor so
// that paths longer than the system takes can be made too, with a page in
// every `pageEvery`-th one. Answers false when something cannot be made.
bool makeTree(const QByteArray& root, const QByteArray& name, int levels, int pageEvery)
{
    int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY);
    for (int level = 1; fd >= 0 && level <= levels; ++level) {
        if (::mkdirat(fd, name.constData(), 0755) != 0)
            break;
        const int below = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = below;
        if (fd >= 0 && level % pageEvery == 0) {
            const QByteArray page = "page" + QByteArray::number(level) + ".htm";
            const int file = ::openat(fd, page.constData(), O_WRONLY | O_CREAT, 0644);
            if (file < 0)
                break;
            ::close(file);
        }
        if (level == levels) {
            ::close(fd);
            return true;
        }
    }
    if (fd >= 0)
        ::close(fd);
    return false;
}

// Removes what makeTree made (the temporary folder cannot: the paths are too long).
void removeTree(int parent, const char* name)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        ::unlinkat(parent, name, 0);
        return;
    }
    const QStringList names = FileSystem::entryNames(QStringLiteral("/proc/self/fd/%1").arg(fd));
    for (const QString& entry : names)
        removeTree(fd, FileSystem::nativePath(entry).constData());
    ::close(fd);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

// The same pages twice: in `levels` nested folders "d", one a level, and all
// in one folder. Answers false when something cannot be made.
bool makeDeepAndFlat(const QByteArray& deep, const QByteArray& flat, int levels)
{
    if (::mkdir(deep.constData(), 0755) != 0 || ::mkdir(flat.constData(), 0755) != 0)
        return false;
    const int flatFd = ::open(flat.constData(), O_RDONLY | O_DIRECTORY);
    int fd = ::open(deep.constData(), O_RDONLY | O_DIRECTORY);
    bool made = fd >= 0 && flatFd >= 0;
    for (int level = 1; made && level <= levels; ++level) {
        made = ::mkdirat(fd, "d", 0755) == 0;
        const int below = made ? ::openat(fd, "d", O_RDONLY | O_DIRECTORY) : -1;
        ::close(fd);
        fd = below;
        const QByteArray name = "p" + QByteArray::number(level) + ".htm";
        const QByteArray text = "<p>Level " + QByteArray::number(level) + " words</p>";
        for (int folder : {fd, flatFd}) {
            const int file = made && fd >= 0
                                 ? ::openat(folder, name.constData(), O_WRONLY | O_CREAT, 0644)
                                 : -1;
            made = file >= 0 && ::write(file, text.constData(), size_t(text.size())) == text.size();
            if (file >= 0)
                ::close(file);
        }
    }
    if (fd >= 0)
        ::close(fd);
    if (flatFd >= 0)
        ::close(flatFd);
    return made;
}

// The plan of a dry run, one "name -> target: status" a file, in name order.
QStringList plannedNames(const QString& folder, const QString& results, QString& problem)
{
    const ProgramRun ran = runProgram(QStringLiteral(QUENBY_BIN_DIR "/quenby-rename"),
                                      {"--json", "--dry-run", "-n", "2", "-o", results, folder});
    problem = ran.problem;
    QStringList lines;
    for (const QByteArray& line : ran.out.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject result = QJsonDocument::fromJson(line).object();
        lines.append(result.value("name").toString() + " -> " +
                     result.value("target").toString().mid(results.size()) + ": " +
                     result.value("status").toString());
    }
    lines.sort();
    return lines;
}

QStringList ownNames(const QStringList& paths)
{
    QStringList names;
    for (const QString& path : paths)
        names.append(FileSystem::ownName(path));
    names.sort();
    return names;
}

} // namespace

class DeepTreesTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void deepTrees_data();
    void deepTrees();
    void foldersNamedInBytes();
    void listedPaths_data();
    void listedPaths();
    void deepAgainstFlat();
    void descriptorsReachPastPathLimit();
    void listHoldsFolderDuringRun();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_root;
};

void DeepTreesTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_root = FileSystem::nativePath(m_dir->path());
}

void DeepTreesTest::cleanup()
{
    const int fd = ::open(m_root.constData(), O_RDONLY | O_DIRECTORY);
    for (const QString& entry : FileSystem::entryNames(m_dir->path()))
        removeTree(fd, FileSystem::nativePath(entry).constData());
    ::close(fd);
}

void DeepTreesTest::deepTrees_data()
{
    QTest::addColumn<int>("nameBytes");
    QTest::addColumn<int>("levels");
    QTest::addColumn<int>("pagesFound");  // one page every third level
    QTest::addColumn<int>("toldTooLong"); // folders the caller hears were too deep

    // 12 folders of 30 characters: past 260 characters, well within the system's
    // limits, so every page is found.
    QTest::newRow("twelve folders of thirty") << 30 << 12 << 4 << 0;
    QTest::newRow("names of 255 bytes") << 255 << 9 << 3 << 0;
    // 20 folders of 250 bytes pass PATH_MAX: what lies below is out of reach,
    // and the command line is told.
    QTest::newRow("past the system's path limit") << 250 << 20 << 5 << 1;
}

void DeepTreesTest::deepTrees()
{
    QFETCH(int, nameBytes);
    QFETCH(int, levels);
    QFETCH(int, pagesFound);
    QFETCH(int, toldTooLong);
    QVERIFY(makeTree(m_root, QByteArray(nameBytes, 'd'), levels, 3));

    RecordingReporter reporter;
    ScriptedPump pump;
    Trap trap(reporter, QStringLiteral("label "));
    QStringList told;
    const QStringList files =
        AddFolder::FilesBelow(m_dir->path(), QStringLiteral("*.htm"), reporter, pump, trap, 1, 2,
                              [&](const QString& folder, const Failure& failure) {
                                  QCOMPARE(failure.code(), ENAMETOOLONG);
                                  told.append(folder);
                              });
    QCOMPARE(files.size(), pagesFound);
    QCOMPARE(told.size(), toldTooLong);
    QVERIFY(reporter.reports.isEmpty());
    for (const QString& file : files)
        QVERIFY(FileSystem::nativePath(file).size() < 4096);
}

void DeepTreesTest::foldersNamedInBytes()
{
    const QByteArray folder = m_root + "/caf\xe9";
    QCOMPARE(::mkdir(folder.constData(), 0755), 0);
    QCOMPARE(::mkdir((folder + "/m\xfcnchen").constData(), 0755), 0);
    const int fd =
        ::open((folder + "/m\xfcnchen/page\xff.htm").constData(), O_WRONLY | O_CREAT, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);

    RecordingReporter reporter;
    ScriptedPump pump;
    Trap trap(reporter, QStringLiteral("label "));
    const QStringList files =
        AddFolder::FilesBelow(m_dir->path(), QStringLiteral("*.*"), reporter, pump, trap, 1, 2);
    QCOMPARE(files.size(), 1);
    QCOMPARE(FileSystem::nativePath(files.first()), folder + "/m\xfcnchen/page\xff.htm");
    QVERIFY(FileSystem::isRegularFile(files.first()));

    QStringList folders{m_dir->path() + u'/'};
    AddFolder::GetSubDirectories2016(folders, true, reporter, pump);
    QCOMPARE(folders.size(), 3);
    QCOMPARE(FileSystem::nativePath(folders.last()), folder + "/m\xfcnchen/");
}

void DeepTreesTest::listedPaths_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QByteArrayList>("folders");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("path");

    QTest::newRow("the root") << "/" << QByteArrayList{} << QByteArray("page.htm")
                              << QByteArray("/page.htm");
    QTest::newRow("below the root") << "/" << QByteArrayList{"a", "b"} << QByteArray("page.htm")
                                    << QByteArray("/a/b/page.htm");
    QTest::newRow("a network start") << "//srv/share/" << QByteArrayList{"x"} << QByteArray("p")
                                     << QByteArray("//srv/share/x/p");
    QTest::newRow("relative") << "./" << QByteArrayList{"in"} << QByteArray("p.htm")
                              << QByteArray("./in/p.htm");
    QTest::newRow("bytes that are not UTF-8")
        << "/tmp/" << QByteArrayList{"caf\xe9", "m\xfcnchen"} << QByteArray("page\xff.htm")
        << QByteArray("/tmp/caf\xe9/m\xfcnchen/page\xff.htm");
    QTest::newRow("a name like a separator run") << "/" << QByteArrayList{"..", "."}
                                                 << QByteArray("p") << QByteArray("/.././p");
}

void DeepTreesTest::listedPaths()
{
    QFETCH(QString, start);
    QFETCH(QByteArrayList, folders);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, path);
    ListedFolder::Ptr folder = ListedFolder::start(start, 0, 0);
    for (const QByteArray& native : folders)
        folder = ListedFolder::below(folder, FileSystem::pathFromNative(native), native, 0, 0);
    const ListedPath listed{folder, FileSystem::pathFromNative(name)};
    QCOMPARE(FileSystem::nativePath(listed.path()), path);
    QCOMPARE(folder->pathBytes(), path.size() - name.size());
    // The list hands out and shows the same path.
    FileList list;
    list.addListed({listed, listed});
    list.AddFile(FileSystem::pathFromNative(path));
    QCOMPARE(list.paths(), QStringList(3, listed.path()));
    QCOMPARE(FileSystem::nativePath(list.entry(2)), path);
    QCOMPARE(list.data(list.index(0)).toString(),
             FileSystem::displayPath(FileSystem::pathFromNative(path)));
}

void DeepTreesTest::deepAgainstFlat()
{
    // 1,000 levels of one-letter folders: deep, yet within the system's limit.
    constexpr int kLevels = 1000;
    QVERIFY(makeDeepAndFlat(m_root + "/deep", m_root + "/flat", kLevels));
    RecordingReporter reporter;
    ScriptedPump pump;
    Trap trap(reporter, QStringLiteral("label "));
    const QStringList deep = AddFolder::FilesBelow(m_dir->path() + "/deep", "*.htm", reporter,
                                                   pump, trap, 1, 2);
    const QStringList flat = AddFolder::FilesBelow(m_dir->path() + "/flat", "*.htm", reporter,
                                                   pump, trap, 1, 2);
    QCOMPARE(deep.size(), kLevels);
    QCOMPARE(ownNames(deep), ownNames(flat));
    // Breadth first: one page a level, in the order of the levels.
    QCOMPARE(FileSystem::ownName(deep.first()), QStringLiteral("p1.htm"));
    QCOMPARE(FileSystem::ownName(deep.last()), QStringLiteral("p1000.htm"));
    QVERIFY(deep.last().endsWith(QString(QStringLiteral("/d")).repeated(kLevels) + "/p1000.htm"));
    QVERIFY(reporter.reports.isEmpty());

    // The same plan, name for name, whichever tree the pages are in.
    QString problem;
    const QStringList deepPlan = plannedNames(m_dir->path() + "/deep", m_dir->path() + "/out",
                                              problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QStringList flatPlan = plannedNames(m_dir->path() + "/flat", m_dir->path() + "/out",
                                              problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(deepPlan.size(), kLevels);
    QCOMPARE(deepPlan, flatPlan);
    QVERIFY(deepPlan.contains(QStringLiteral("Level 1000 -> /Level 1000.htm: planned")));
}

void DeepTreesTest::descriptorsReachPastPathLimit()
{
    // Deeper than any path the system takes whole: reached one folder at a time,
    // with room for two descriptors only, so that every step evicts one.
    constexpr int kLevels = 20;
    const QByteArray name(250, 'd');
    QVERIFY(makeTree(m_root, name, kLevels, kLevels + 1));
    ListedFolder::Ptr folder = ListedFolder::start(m_dir->path() + u'/', 0, 0);
    for (int level = 1; level <= kLevels; ++level)
        folder = ListedFolder::below(folder, QString::fromLatin1(name), name, 0, 0);
    QVERIFY(folder->pathBytes() > PATH_MAX);
    FolderDescriptors descriptors(2);
    for (int round = 0; round < 2; ++round) {
        const int fd = descriptors.open(*folder);
        QVERIFY2(fd >= 0, strerror(errno));
        // The deepest folder is empty and has no folder below it.
        QCOMPARE(::mkdirat(fd, "probe", 0755), 0);
        QCOMPARE(::unlinkat(fd, "probe", AT_REMOVEDIR), 0);
    }
    // A folder that is not there is answered with the system's reason.
    const ListedFolder::Ptr gone =
        ListedFolder::below(folder, QStringLiteral("gone"), QByteArray("gone"), 0, 0);
    QCOMPARE(descriptors.open(*gone), -1);
    QCOMPARE(errno, ENOENT);
}

void DeepTreesTest::listHoldsFolderDuringRun()
{
    QVERIFY(makeDeepAndFlat(m_root + "/deep", m_root + "/flat", 3));
    RecordingReporter reporter;
    ScriptedPump pump;
    Trap trap(reporter, QStringLiteral("label "));
    FileList list;
    list.addListed(AddFolder::ListFilesBelow(m_dir->path() + "/deep", "*.htm", pump, trap, 1, 2));
    QCOMPARE(list.count(), 3);
    const QString deepest = list.entry(3);
    QCOMPARE(FileSystem::ownName(deepest), QStringLiteral("p3.htm"));
    const QByteArray moved = m_root + "/deep/d/d/d";
    {
        const FileList::FolderHold hold(list);
        QCOMPARE(list.entry(3), deepest);
        // Its folder moves away under the run: the run still reaches the file
        // it was handed, in the folder the scan found it in.
        QCOMPARE(::rename(moved.constData(), (m_root + "/elsewhere").constData()), 0);
        QVERIFY(FileSystem::isRegularFile(deepest));
        QCOMPARE(FileSystem::SourceFile::open(deepest).stamp().size, qint64(qstrlen("<p>Level 3 words</p>")));
        // Another entry's folder takes the hold's place.
        QCOMPARE(FileSystem::ownName(list.entry(1)), QStringLiteral("p1.htm"));
        QVERIFY(!FileSystem::isRegularFile(deepest));
        QCOMPARE(list.entry(3), deepest);
        QVERIFY(FileSystem::isRegularFile(deepest));
    }
    // After the run, paths are reached as they stand.
    QVERIFY(!FileSystem::isRegularFile(deepest));
}

QTEST_GUILESS_MAIN(DeepTreesTest)
#include "tst_deeptrees.moc"
