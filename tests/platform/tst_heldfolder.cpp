// The folder of the file under way, held open: which paths go through it, and
// that it stays the folder it was when its path changes.

#include "platform/Failure.h"
#include "platform/FileSystem.h"

#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace FileSystem;

class HeldFolderTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void locate_data();
    void locate();
    void heldFolderOutlivesItsPath();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
};

void HeldFolderTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_root = m_dir->path();
    QVERIFY(QDir(m_root).mkpath(QStringLiteral("held/below")));
}

void HeldFolderTest::cleanup()
{
    holdFolder(QString(), -1);
}

void HeldFolderTest::locate_data()
{
    QTest::addColumn<QString>("held"); // below the temporary folder; empty: nothing held
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("relativeName"); // empty: reached whole

    QTest::newRow("a file of the held folder") << "held/"
                                               << "held/page.htm" << QByteArray("page.htm");
    QTest::newRow("a name in bytes") << "held/" << QString::fromUtf16(u"held/caf\xDCE9.htm")
                                     << QByteArray("caf\xe9.htm");
    QTest::newRow("further down") << "held/"
                                  << "held/below/page.htm" << QByteArray();
    QTest::newRow("the folder itself") << "held/"
                                       << "held/" << QByteArray();
    QTest::newRow("a folder that begins alike") << "held/"
                                                << "heldover/page.htm" << QByteArray();
    QTest::newRow("a name with a separator after it") << "held/"
                                                      << "held/below/" << QByteArray();
    QTest::newRow("nothing held") << ""
                                  << "held/page.htm" << QByteArray();
    QTest::newRow("held without its separator") << "held"
                                                << "held/page.htm" << QByteArray();
}

void HeldFolderTest::locate()
{
    QFETCH(QString, held);
    QFETCH(QString, path);
    QFETCH(QByteArray, relativeName);
    const QString folder = held.isEmpty() ? QString() : m_root + u'/' + held;
    const int fd = held.isEmpty()
                       ? -1
                       : ::open(nativePath(m_root + u'/' + held).constData(), O_RDONLY | O_DIRECTORY);
    holdFolder(folder, fd);
    const PathAt at = FileSystem::locate(m_root + u'/' + path);
    if (relativeName.isEmpty()) {
        QCOMPARE(at.dirFd, AT_FDCWD);
        QCOMPARE(at.name, nativePath(m_root + u'/' + path));
    } else {
        QVERIFY(at.dirFd >= 0);
        QCOMPARE(at.name, relativeName);
    }
}

void HeldFolderTest::heldFolderOutlivesItsPath()
{
    const QString page = m_root + QStringLiteral("/held/page.htm");
    QFile file(page);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<p>kept</p>");
    file.close();
    holdFolder(m_root + QStringLiteral("/held/"),
               ::open(nativePath(m_root + QStringLiteral("/held")).constData(),
                      O_RDONLY | O_DIRECTORY));

    // The folder moves and an empty one takes its place: the held one is still
    // the folder the file was found in.
    QVERIFY(QDir(m_root).rename(QStringLiteral("held"), QStringLiteral("moved")));
    QVERIFY(QDir(m_root).mkdir(QStringLiteral("held")));
    QVERIFY(isRegularFile(page));
    SourceFile source = SourceFile::open(page);
    char bytes[16] = {};
    QCOMPARE(source.read(bytes, sizeof bytes), 11);
    QCOMPARE(QByteArray(bytes), QByteArray("<p>kept</p>"));
    source.requireUnchanged();

    // Let go, the path is what stands there now.
    holdFolder(QString(), -1);
    QVERIFY(!isRegularFile(page));
    try {
        SourceFile::open(page);
        QFAIL("opened a file the path no longer names");
    } catch (const Failure& failure) {
        QCOMPARE(failure.code(), ENOENT);
    }
}

QTEST_GUILESS_MAIN(HeldFolderTest)
#include "tst_heldfolder.moc"
