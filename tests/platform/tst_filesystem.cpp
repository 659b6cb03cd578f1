#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace FileSystem;

namespace {

} // namespace

class FileSystemTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void attributeBits_data();
    void attributeBits();
    void attributesAtMatchAttributes();
    void attributesOfMissingPath();
    void kinds_data();
    void kinds();
    void ownName_data();
    void ownName();
    void readWholeFile_data();
    void readWholeFile();
    void readFailures_data();
    void readFailures();
    void publishesCompleteCopy_data() { temporaries_data(); }
    void publishesCompleteCopy();
    void publishNeverReplaces_data() { temporaries_data(); }
    void publishNeverReplaces();
    void unpublishedCopyIsRemoved_data() { temporaries_data(); }
    void unpublishedCopyIsRemoved();
    void stagingIntoMissingFolderFails_data() { temporaries_data(); }
    void stagingIntoMissingFolderFails();
    void cleanup() { StagedCopy::setNamedTemporariesOnly(false); }
    void namesAreBytes_data();
    void namesAreBytes();
    void lossyPathsRecovered_data();
    void lossyPathsRecovered();
    void caseOfNames();

private:
    void temporaries_data();
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString& name) const { return m_dir->filePath(name); }
};

void FileSystemTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    writeFile(path("page.htm"), "<p>x</p>");
    writeFile(path(".dotfile"), "hidden");
    writeFile(path("locked.htm"), "read only");
    ::chmod(QFile::encodeName(path("locked.htm")).constData(), 0444);
    QVERIFY(QDir(m_dir->path()).mkdir("sub"));
    QVERIFY(QDir(m_dir->path()).mkdir(".hiddensub"));
    QVERIFY(QFile::link(path("page.htm"), path("link.htm")));
    QVERIFY(QFile::link(path("sub"), path("linkdir")));
    QVERIFY(QFile::link(path("nowhere"), path("dangling")));
    QVERIFY(::mkfifo(QFile::encodeName(path("pipe")).constData(), 0644) == 0);
}

void FileSystemTest::attributeBits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("bits");
    QTest::newRow("regular file") << "page.htm" << int(Archive);
    QTest::newRow("writable regular dot-file") << ".dotfile" << 34;
    QTest::newRow("read-only file") << "locked.htm" << int(Archive | ReadOnly);
    QTest::newRow("folder") << "sub" << int(Directory);
    QTest::newRow("hidden folder") << ".hiddensub" << int(Directory | Hidden);
    QTest::newRow("link to file") << "link.htm" << int(Alias | Archive);
    QTest::newRow("link to folder") << "linkdir" << int(Alias | Directory);
    QTest::newRow("dangling link") << "dangling" << int(Alias);
    QTest::newRow("folder path with trailing separator") << "sub/" << int(Directory);
}

void FileSystemTest::attributeBits()
{
    QFETCH(QString, name);
    QFETCH(int, bits);
    QCOMPARE(attributes(path(name)), bits);
}

void FileSystemTest::attributesAtMatchAttributes()
{
    const int dirFd = ::open(QFile::encodeName(m_dir->path()).constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(dirFd >= 0);
    for (const QString& name : entries(m_dir->path()))
        QCOMPARE(attributesAt(dirFd, QFile::encodeName(name)), attributes(path(name)));
    QVERIFY_THROWS_EXCEPTION(Failure, attributesAt(dirFd, "missing"));
    ::close(dirFd);
}

void FileSystemTest::attributesOfMissingPath()
{
    try {
        attributes(path("missing"));
        QFAIL("no failure");
    } catch (const Failure& failure) {
        QCOMPARE(failure.description(), QStringLiteral("No such file or directory"));
    }
    QVERIFY_THROWS_EXCEPTION(Failure, attributes(QString()));
}

void FileSystemTest::kinds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("regular");
    QTest::addColumn<bool>("directory");
    QTest::addColumn<bool>("ordinary");
    QTest::newRow("file") << "page.htm" << true << true << false << true;
    QTest::newRow("read-only file") << "locked.htm" << true << true << false << true;
    QTest::newRow("hidden file") << ".dotfile" << true << true << false << false;
    QTest::newRow("folder") << "sub" << true << false << true << false;
    QTest::newRow("link to file") << "link.htm" << true << true << false << true;
    QTest::newRow("dangling link") << "dangling" << false << false << false << false;
    QTest::newRow("missing") << "missing.htm" << false << false << false << false;
    QTest::newRow("below a file") << "page.htm/x" << false << false << false << false;
    QTest::newRow("pipe") << "pipe" << true << false << false << false;
}

void FileSystemTest::kinds()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QFETCH(bool, regular);
    QFETCH(bool, directory);
    QFETCH(bool, ordinary);
    QCOMPARE(FileSystem::exists(path(name)), exists);
    QCOMPARE(isRegularFile(path(name)), regular);
    QCOMPARE(isDirectory(path(name)), directory);
    QCOMPARE(isOrdinaryFile(path(name)), ordinary);

    // A run's source tells the same from its one look, and opens only what
    // is regular: a pipe would wait for a writer, a device act on the open.
    FileSystem::Source source(path(name));
    QCOMPARE(source.isRegular(), regular);
    QCOMPARE(source.isOrdinary(), ordinary);
    QCOMPARE(source.isSpecial(), exists && !regular && !directory);
    FileSystem::SourceFile* opened = source.tryFile();
    QCOMPARE(opened != nullptr, regular);
    if (opened) {
        QCOMPARE(&source.file(), opened); // opened once, kept
        QCOMPARE(opened->stamp().size, QFileInfo(path(name)).size());
    } else {
        QVERIFY_THROWS_EXCEPTION(Failure, source.file());
        QVERIFY_THROWS_EXCEPTION(Failure, source.requireReadable());
    }
}

void FileSystemTest::ownName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("file") << "/a/b.htm"
                          << "b.htm";
    QTest::newRow("bare name") << "b.htm"
                               << "b.htm";
    QTest::newRow("folder with separator") << "/a/b/"
                                           << "b";
    QTest::newRow("root") << "/"
                          << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("network path") << "//srv/share"
                                  << "share";
}

void FileSystemTest::ownName()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(FileSystem::ownName(path), name);
}

void FileSystemTest::readWholeFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("small") << QByteArray("abc\0def", 7);
    QByteArray big(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 31 % 251);
    QTest::newRow("several megabytes") << big;
}

void FileSystemTest::readWholeFile()
{
    QFETCH(QByteArray, content);
    writeFile(path("data.bin"), content);
    QCOMPARE(FileSystem::readWholeFile(path("data.bin")), content);
}

void FileSystemTest::readFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::newRow("missing") << "missing.htm"
                             << "No such file or directory";
    QTest::newRow("folder") << "sub"
                            << "Is a directory";
    QTest::newRow("below a file") << "page.htm/x"
                                  << "Not a directory";
}

void FileSystemTest::readFailures()
{
    QFETCH(QString, name);
    QFETCH(QString, description);
    try {
        FileSystem::readWholeFile(path(name));
        QFAIL("read did not fail");
    } catch (const Failure& failure) {
        QCOMPARE(failure.description(), description);
    }
    QVERIFY_THROWS_EXCEPTION(Failure, requireReadableFile(path(name)));
}

void FileSystemTest::temporaries_data()
{
    QTest::addColumn<bool>("namedOnly");
    QTest::newRow("unnamed where possible") << false;
    QTest::newRow("named temporaries") << true;
}

void FileSystemTest::publishesCompleteCopy()
{
    QFETCH(bool, namedOnly);
    StagedCopy::setNamedTemporariesOnly(namedOnly);
    const QString out = path("out");
    QVERIFY(QDir().mkdir(out));
    {
        StagedCopy fromFile = StagedCopy::fromFile(path("page.htm"), out);
        if (namedOnly) {
            QVERIFY(fromFile.temporaryName().startsWith(".quenby-"));
            QCOMPARE(entries(out), QStringList({fromFile.temporaryName()}));
        } else {
            QVERIFY(entries(out).isEmpty());
        }
        QVERIFY(fromFile.publishAs("copy.htm"));
        QVERIFY(fromFile.isPublished());

        StagedCopy fromBytes = StagedCopy::fromBytes("in memory", out);
        QVERIFY(fromBytes.publishAs("bytes.htm"));
        StagedCopy empty = StagedCopy::fromBytes(QByteArray(), out);
        QVERIFY(empty.publishAs("empty.htm"));
    }
    QCOMPARE(entries(out), QStringList({"bytes.htm", "copy.htm", "empty.htm"}));
    QCOMPARE(readFile(out + "/copy.htm"), QByteArray("<p>x</p>"));
    QCOMPARE(readFile(out + "/bytes.htm"), QByteArray("in memory"));
    QCOMPARE(readFile(out + "/empty.htm"), QByteArray());
    QCOMPARE(readFile(path("page.htm")), QByteArray("<p>x</p>"));
}

void FileSystemTest::publishNeverReplaces()
{
    QFETCH(bool, namedOnly);
    StagedCopy::setNamedTemporariesOnly(namedOnly);
    const QString out = path("out");
    QVERIFY(QDir().mkdir(out));
    QVERIFY(QDir().mkdir(out + "/taken-folder"));
    QVERIFY(QFile::link(out + "/nowhere", out + "/taken-link"));
    StagedCopy copy = StagedCopy::fromBytes("new content", out);
    // The name is taken after the copy was staged.
    writeFile(out + "/taken.htm", "someone else's");
    QVERIFY(!copy.publishAs("taken.htm"));
    QVERIFY(!copy.publishAs("taken-folder"));
    QVERIFY(!copy.publishAs("taken-link"));
    QVERIFY(!copy.isPublished());
    QCOMPARE(readFile(out + "/taken.htm"), QByteArray("someone else's"));
    QVERIFY(copy.publishAs("free.htm"));
    QCOMPARE(readFile(out + "/free.htm"), QByteArray("new content"));
    QCOMPARE(entries(out), QStringList({"free.htm", "taken-folder", "taken-link", "taken.htm"}));
}

void FileSystemTest::unpublishedCopyIsRemoved()
{
    QFETCH(bool, namedOnly);
    StagedCopy::setNamedTemporariesOnly(namedOnly);
    const QString out = path("out");
    QVERIFY(QDir().mkdir(out));
    {
        StagedCopy copy = StagedCopy::fromFile(path("page.htm"), out);
        StagedCopy moved = std::move(copy);
        QCOMPARE(entries(out).size(), namedOnly ? 1 : 0);
    }
    QVERIFY(entries(out).isEmpty());

    // A publishing error other than a taken name leaves the copy staged: it can
    // still be published, or is gone once dropped.
    {
        StagedCopy copy = StagedCopy::fromBytes("x", out);
        QVERIFY_THROWS_EXCEPTION(Failure, copy.publishAs("missing-folder/x.htm"));
        QVERIFY(!copy.isPublished());
        QVERIFY(copy.publishAs("x.htm"));
    }
    {
        StagedCopy copy = StagedCopy::fromBytes("y", out);
        QVERIFY_THROWS_EXCEPTION(Failure, copy.publishAs("missing-folder/y.htm"));
    }
    QCOMPARE(entries(out), QStringList({"x.htm"}));
}

void FileSystemTest::stagingIntoMissingFolderFails()
{
    QFETCH(bool, namedOnly);
    StagedCopy::setNamedTemporariesOnly(namedOnly);
    try {
        StagedCopy::fromFile(path("page.htm"), path("no-such-folder"));
        QFAIL("staging did not fail");
    } catch (const Failure& failure) {
        QCOMPARE(failure.description(), QStringLiteral("No such file or directory"));
    }
    const QString out = path("out");
    QVERIFY(QDir().mkdir(out));
    QVERIFY_THROWS_EXCEPTION(Failure, StagedCopy::fromFile(path("missing.htm"), out));
    QVERIFY_THROWS_EXCEPTION(Failure, StagedCopy::fromFile(path("sub"), out));
    QVERIFY_THROWS_EXCEPTION(Failure, StagedCopy::fromBytes("x", path("page.htm")));
    QVERIFY(entries(out).isEmpty());
}

void FileSystemTest::namesAreBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("json");

    QTest::newRow("plain") << QByteArray("a \"b\".htm") << "a \"b\".htm"
                           << R"("a \"b\".htm")";
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9") << "café"
                           << "\"café\"";
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9") << "caf\uFFFD"
                                  << R"("caf\udce9")";
    QTest::newRow("lone continuation byte") << QByteArray("\x80x") << "\uFFFDx"
                                            << R"("\udc80x")";
    QTest::newRow("sequence cut short") << QByteArray("\xe2\x82") << "\uFFFD\uFFFD"
                                        << R"("\udce2\udc82")";
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xb2\x80") << "\uFFFD\uFFFD\uFFFD"
                                       << R"("\udced\udcb2\udc80")";
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << "\uFFFD\uFFFD"
                                    << R"("\udcc0\udcaf")";
    QTest::newRow("four bytes") << QByteArray("\xf0\x9f\x98\x80") << "\U0001F600"
                                << "\"\U0001F600\"";
    QTest::newRow("control character") << QByteArray("a\x01") << "a\x01"
                                       << R"("a\u0001")";
}

void FileSystemTest::namesAreBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QFETCH(QString, json);
    const QString path = pathFromNative(bytes);
    QCOMPARE(nativePath(path), bytes);
    QCOMPARE(displayPath(path), shown);
    QByteArray literal;
    appendJsonString(literal, path);
    QCOMPARE(QString::fromUtf8(literal), json);

    // And on disk: the name written is the name listed.
    const QString file = m_dir->path() + u'/' + path;
    const int fd = ::open(nativePath(file).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    QVERIFY(entryNames(m_dir->path()).contains(path));
    QVERIFY(isRegularFile(file));
    QCOMPARE(::unlink(nativePath(file).constData()), 0);
}

void FileSystemTest::caseOfNames()
{
    // This folder tells "Page.htm" from "page.htm", whether or not it holds a
    // name to learn it by.
    QVERIFY(!ignoresLetterCase(m_dir->path()));
    QVERIFY(QDir(m_dir->path()).mkdir("empty"));
    QVERIFY(!ignoresLetterCase(path("empty")));
    QCOMPARE(entries(path("empty")), QStringList()); // the probe is gone again
    QCOMPARE(publicationFor(path("empty")), Publication::Staged);
    QCOMPARE(entries(path("empty")), QStringList());
}

void FileSystemTest::lossyPathsRecovered_data()
{
    // Names made on disk, the path asked for (as a dialog decodes it), and the
    // path that must come back, all below the test folder, in bytes.
    QTest::addColumn<QList<QByteArray>>("made");
    QTest::addColumn<QByteArray>("asked");
    QTest::addColumn<QByteArray>("recovered");
    QTest::newRow("byte folder and file")
        << QList<QByteArray>{"caf\xe9/", "caf\xe9/x\xe9.htm"} << QByteArray("caf\xe9/x\xe9.htm")
        << QByteArray("caf\xe9/x\xe9.htm");
    QTest::newRow("plain name") << QList<QByteArray>{"plain.htm"} << QByteArray("plain.htm")
                                << QByteArray("plain.htm");
    QTest::newRow("two names decode alike")
        << QList<QByteArray>{"a\xe9.htm", "a\xe8.htm"} << QByteArray("a\xe9.htm")
        << QByteArray("a\xef\xbf\xbd.htm");
    QTest::newRow("nothing there")
        << QList<QByteArray>{} << QByteArray("gone\xe9.htm") << QByteArray("gone\xef\xbf\xbd.htm");
}

void FileSystemTest::lossyPathsRecovered()
{
    QFETCH(QList<QByteArray>, made);
    QFETCH(QByteArray, asked);
    QFETCH(QByteArray, recovered);
    const QByteArray base = nativePath(m_dir->path()) + '/';
    for (const QByteArray& name : made) {
        const QByteArray path = base + name;
        if (name.endsWith('/')) {
            QCOMPARE(::mkdir(path.constData(), 0755), 0);
        } else {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
    }
    const QString lossy = QString::fromUtf8(base + asked);
    const QByteArray answer = nativePath(recoverPath(lossy));

    // The temporary folder's own clean-up cannot reach names that are not UTF-8.
    for (auto name = made.crbegin(); name != made.crend(); ++name)
        name->endsWith('/') ? ::rmdir((base + *name).constData())
                            : ::unlink((base + *name).constData());
    QCOMPARE(answer, base + recovered);
}

QTEST_GUILESS_MAIN(FileSystemTest)
#include "tst_filesystem.moc"
