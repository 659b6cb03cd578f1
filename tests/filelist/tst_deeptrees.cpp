// The folder scan in deep trees and in folders whose names are not UTF-8.

#include "filelist/AddFolder.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "support/Fakes.h"

#include <QTemporaryDir>
#include <QtTest>
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

QTEST_GUILESS_MAIN(DeepTreesTest)
#include "tst_deeptrees.moc"
