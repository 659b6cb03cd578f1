// The namers where users keep their pages: a USB stick's FAT, a disk that fills
// up, a size limit, a read-only folder, sources that change, special files,
// pages larger than the pieces they are read in, names that are not UTF-8.

#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "rename/Renaming.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/Mounts.h"
#include "support/Workspace.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QtTest>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr qsizetype kMiB = 1024 * 1024;

// Every name in `folder` as the bytes on disk.
QList<QByteArray> nativeEntries(const QString& folder)
{
    QList<QByteArray> names;
    for (const QString& name : FileSystem::entryNames(folder))
        names.append(FileSystem::nativePath(name));
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

class WhereFilesLiveTest : public QObject, protected RenameWorkspace
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fatStick();
    void fullDisk();
    void fileSizeLimit();
    void readOnlyFolder();
    void changedSource_data();
    void changedSource();
    void heldSourceChangedMidCopy_data();
    void heldSourceChangedMidCopy();
    void specialFiles_data();
    void specialFiles();
    void largePages_data();
    void largePages();
    void bytesNames();

private:
    bool mountTmpfs(Mounted& mounted, const QString& options);
    RecordingReporter m_reporter;
};

void WhereFilesLiveTest::init()
{
    makeWorkspace();
    m_reporter.reports.clear();
}

void WhereFilesLiveTest::cleanup()
{
    FileSystem::StagedCopy::setNamedTemporariesOnly(false);
}

bool WhereFilesLiveTest::mountTmpfs(Mounted& mounted, const QString& options)
{
    const QString point = path(QStringLiteral("mnt"));
    QDir().mkpath(point);
    if (::mount("tmpfs", FileSystem::nativePath(point).constData(), "tmpfs", 0,
                options.toLatin1().constData()) != 0)
        return false;
    mounted.point = point;
    return true;
}

void WhereFilesLiveTest::fatStick()
{
    if (const QString missing = fatUnavailable(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    Mounted mounted;
    const QString stick = path("stick");
    if (!mountFatStick(mounted, path("fat.img"), stick, 16 * kMiB))
        QSKIP("fusefat could not mount the image");

    writeFile(stick + "/Report.htm", "already there");
    m_options.results = stick;
    m_options.tags = TagMode::ConsiderTags;
    writeFile(path("a.htm"), "<body>Report one</body>");
    writeFile(path("b.htm"), "<body>report two</body>");
    writeFile(path("c.htm"), "<body>REPORT three</body>");

    // The plan learns from the stick that case does not tell names apart.
    Renaming plan(m_options, m_reporter);
    plan.setDryRun(true);
    QStringList planned;
    for (const char* source : {"a.htm", "b.htm", "c.htm"}) {
        const NameResult result = plan.RenameFile(path(source), NamingRequest::of(1, {}, {}), {});
        QVERIFY(result);
        planned.append(GetFileName(result.target));
    }
    QCOMPARE(planned, (QStringList{"Report!.htm", "report!!.htm", "REPORT!!!.htm"}));

    Renaming renaming(m_options, m_reporter);
    for (const char* source : {"a.htm", "b.htm", "c.htm"})
        QVERIFY(renaming.RenameFile(path(source), NamingRequest::of(1, {}, {}), {}));
    QVERIFY2(m_reporter.reports.isEmpty(), qPrintable(m_reporter.reports.value(0).description));
    QCOMPARE(readFile(stick + "/Report.htm"), QByteArray("already there"));
    QCOMPARE(readFile(stick + "/Report!.htm"), QByteArray("<body>Report one</body>"));
    QCOMPARE(readFile(stick + "/report!!.htm"), QByteArray("<body>report two</body>"));
    QCOMPARE(readFile(stick + "/REPORT!!!.htm"), QByteArray("<body>REPORT three</body>"));
    QCOMPARE(nativeEntries(stick).size(), 4); // no temporary left behind
}

void WhereFilesLiveTest::fullDisk()
{
    Mounted mounted;
    if (!mountTmpfs(mounted, QStringLiteral("size=256k")))
        QSKIP("mounting a tmpfs needs privileges this run lacks");
    m_options.results = mounted.point;
    m_options.tags = TagMode::None;
    writeFile(path("small.htm"), "small");
    writeFile(path("large.htm"), QByteArray(1024 * 1024, 'x'));
    writeFile(path("last.htm"), "last");

    Renaming renaming(m_options, m_reporter);
    QVERIFY(renaming.RenameFile(path("small.htm"), NamingRequest::of(1, {}, {}), {}));
    QVERIFY(!renaming.RenameFile(path("large.htm"), NamingRequest::of(1, {}, {}), {}));
    QCOMPARE(m_reporter.reports.size(), 1);
    QCOMPARE(m_reporter.reports.first().description, QStringLiteral("No space left on device"));
    QVERIFY(renaming.RenameFile(path("last.htm"), NamingRequest::of(1, {}, {}), {}));
    QCOMPARE(nativeEntries(mounted.point), (QList<QByteArray>{"last.htm", "small.htm"}));
}

void WhereFilesLiveTest::fileSizeLimit()
{
    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    m_options.tags = TagMode::None;
    writeFile(path("large.htm"), QByteArray(512 * 1024, 'x'));
    writeFile(path("small.htm"), "small");

    struct rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    Renaming renaming(m_options, m_reporter);
    const bool large =
        renaming.RenameFile(path("large.htm"), NamingRequest::of(1, {}, {}), {}).renamed;
    const bool small =
        renaming.RenameFile(path("small.htm"), NamingRequest::of(1, {}, {}), {}).renamed;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);

    QVERIFY(!large);
    QVERIFY(small);
    QCOMPARE(m_reporter.reports.size(), 1);
    QCOMPARE(m_reporter.reports.first().description, QStringLiteral("File too large"));
    QCOMPARE(entries(m_out), QStringList{"small.htm"});
}

void WhereFilesLiveTest::readOnlyFolder()
{
    Mounted mounted;
    if (!mountTmpfs(mounted, QStringLiteral("size=64k")))
        QSKIP("mounting a tmpfs needs privileges this run lacks");
    QVERIFY(::mount(nullptr, FileSystem::nativePath(mounted.point).constData(), nullptr,
                    MS_REMOUNT | MS_RDONLY, nullptr) == 0);
    m_options.results = mounted.point;
    m_options.tags = TagMode::None;
    writeFile(path("a.htm"), "a");
    Renaming renaming(m_options, m_reporter);
    QVERIFY(!renaming.RenameFile(path("a.htm"), NamingRequest::of(1, {}, {}), {}));
    QCOMPARE(m_reporter.reports.size(), 1);
    QCOMPARE(m_reporter.reports.first().description, QStringLiteral("Read-only file system"));
}

void WhereFilesLiveTest::changedSource_data()
{
    QTest::addColumn<bool>("namedTemporaries");
    QTest::addColumn<int>("changes");          // how many copies see the source change
    QTest::addColumn<QByteArray>("published"); // empty: nothing published

    const QByteArray cut = "cut to fifty bytes, a version of its own.........";
    QTest::newRow("cut once, unnamed") << false << 1 << cut;
    QTest::newRow("cut once, named") << true << 1 << cut;
    QTest::newRow("always changing, unnamed") << false << 99 << QByteArray();
    QTest::newRow("always changing, named") << true << 99 << QByteArray();
}

void WhereFilesLiveTest::changedSource()
{
    QFETCH(bool, namedTemporaries);
    QFETCH(int, changes);
    QFETCH(QByteArray, published);
    FileSystem::StagedCopy::setNamedTemporariesOnly(namedTemporaries);
    const QString source = path("big.htm");
    writeFile(source, QByteArray(20 * kMiB, 'b'));

    ResultsCopier copier(m_options);
    int seen = 0;
    copier.setBetweenChunks([&] {
        if (seen++ == 0 || changes > 1) {
            // Rewritten under the copy's hands, as an editor saving would.
            writeFile(source, "cut to fifty bytes, a version of its own.........");
            ::utimensat(AT_FDCWD, FileSystem::nativePath(source).constData(), nullptr, 0);
        }
    });
    if (published.isEmpty()) {
        try {
            copier.CopyToResultsFolder(source, "big", QStringLiteral("htm"));
            QFAIL("a changing source was published");
        } catch (const Failure& failure) {
            QCOMPARE(failure.kind(), Failure::Kind::SourceChanged);
        }
        QCOMPARE(entries(m_out), QStringList());
    } else {
        QCOMPARE(copier.CopyToResultsFolder(source, "big", QStringLiteral("htm")),
                 m_out + "/big.htm");
        QCOMPARE(readFile(m_out + "/big.htm"), published);
        QCOMPARE(entries(m_out), QStringList{"big.htm"});
    }
}

// The run holds each source open from its look to its copy: what happens to
// the path meanwhile cannot mix two states of the file in one copy.
void WhereFilesLiveTest::heldSourceChangedMidCopy_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("namedByPage"); // else by its own name
    QTest::addColumn<QByteArray>("published"); // empty: nothing published

    const QByteArray cut = "cut to fifty bytes, a version of its own.........";
    // Replaced or removed, the held file keeps its bytes but not its change
    // time, which is also all that tells a rewrite behind a forged
    // modification time: it counts as changed.
    QTest::newRow("rewritten, named by its page") << "rewrite" << true << QByteArray();
    QTest::newRow("rewritten, own name: copied again") << "rewrite" << false << cut;
    QTest::newRow("replaced, named by its page") << "replace" << true << QByteArray();
    QTest::newRow("replaced, own name: the new file copied") << "replace" << false << cut;
    QTest::newRow("removed, named by its page") << "remove" << true << QByteArray();
}

void WhereFilesLiveTest::heldSourceChangedMidCopy()
{
    QFETCH(QString, change);
    QFETCH(bool, namedByPage);
    QFETCH(QByteArray, published);
    const QString source = path("big.htm");
    const QByteArray cut = "cut to fifty bytes, a version of its own.........";
    writeFile(source, QByteArray(20 * kMiB, 'b'));
    m_options.tags = namedByPage ? TagMode::IgnoreTags : TagMode::None;

    Renaming renaming(m_options, m_reporter);
    FileSystem::Source held(source);
    QVERIFY(held.tryFile());
    bool changed = false;
    renaming.setBetweenChunks([&] {
        if (std::exchange(changed, true))
            return;
        const QByteArray native = FileSystem::nativePath(source);
        if (change == u"rewrite") {
            writeFile(source, cut);
            ::utimensat(AT_FDCWD, native.constData(), nullptr, 0);
        } else if (change == u"replace") {
            writeFile(path("new.htm"), cut);
            QVERIFY(::rename(FileSystem::nativePath(path("new.htm")).constData(),
                             native.constData()) == 0);
        } else {
            QVERIFY(::unlink(native.constData()) == 0);
        }
    });
    const NameResult result =
        renaming.RenameFile(held, NamingRequest::of(1, {}, {}), namedByPage ? "Report" : "");
    QVERIFY(changed);
    if (published.isEmpty()) {
        QVERIFY(!result);
        QVERIFY(result.failure);
        QCOMPARE(result.failure->kind(), Failure::Kind::SourceChanged);
        QCOMPARE(entries(m_out), QStringList());
        return;
    }
    QVERIFY2(result, qPrintable(result.failure ? result.failure->description() : QString()));
    QCOMPARE(readFile(result.target), published);
    QCOMPARE(entries(m_out), QStringList{namedByPage ? "Report.htm" : "big.htm"});
}

void WhereFilesLiveTest::specialFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("by"); // RenameBy
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("dryRun");

    for (const char* kind : {"pipe", "device", "socket", "link to pipe"}) {
        const QString k = QString::fromLatin1(kind);
        QTest::addRow("%s, content", kind) << k << int(RenameBy::Content) << QString() << false;
        QTest::addRow("%s, metadata", kind) << k << int(RenameBy::Metadata) << "%t" << false;
        QTest::addRow("%s, empty pattern", kind) << k << int(RenameBy::Metadata) << "" << false;
        QTest::addRow("%s, empty pattern planned", kind)
            << k << int(RenameBy::Metadata) << "" << true;
    }
}

void WhereFilesLiveTest::specialFiles()
{
    QFETCH(QString, kind);
    QFETCH(int, by);
    QFETCH(QString, pattern);
    QFETCH(bool, dryRun);

    QString source = path("special.htm");
    const QByteArray native = FileSystem::nativePath(source);
    int listening = -1;
    if (kind == "pipe" || kind == "link to pipe") {
        const QString pipe = path("pipe.htm");
        QCOMPARE(::mkfifo(FileSystem::nativePath(pipe).constData(), 0644), 0);
        if (kind == "pipe")
            source = pipe;
        else
            QVERIFY(QFile::link(pipe, source));
    } else if (kind == "device") {
        QVERIFY(QFile::link("/dev/zero", source));
    } else {
        listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(native.size()) >= sizeof address.sun_path)
            QSKIP("the temporary folder's path is too long for a socket");
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        QCOMPARE(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }

    m_options.by = RenameBy(by);
    m_options.tags = TagMode::ConsiderTags;
    Renaming renaming(m_options, m_reporter);
    renaming.setDryRun(dryRun);
    const bool renamed = by == int(RenameBy::Content)
                             ? renaming.RenameFile(source, NamingRequest::of(1, {}, {}), {}).renamed
                             : renaming.RenameMeta(source, pattern).renamed;
    if (listening >= 0)
        ::close(listening);
    QVERIFY(!renamed);
    QCOMPARE(m_reporter.reports.size(), 1);
    QVERIFY2(m_reporter.reports.first().description.endsWith("not a regular file"),
             qPrintable(m_reporter.reports.first().description));
    QCOMPARE(entries(m_out), QStringList());
}

void WhereFilesLiveTest::largePages_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<int>("by");
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("expected"); // the copy's name
    QTest::addColumn<int>("words");

    // Pieces are read a mebibyte at a time: what a name needs lies across
    // their edges here.
    const auto filler = [](qsizetype size) {
        QByteArray words;
        while (words.size() < size)
            words += "aa ";
        words.truncate(size);
        return words;
    };
    const int content = int(RenameBy::Content);
    const int meta = int(RenameBy::Metadata);

    QTest::newRow("search string across a piece's edge")
        << filler(kMiB - 3) + "needle one two" << content << 2 << "needle"
        << "one.htm" << 1;
    QTest::newRow("words before a string far down")
        << "first second " + filler(3 * kMiB) + " needle" << content << 3 << "needle"
        << "first.htm" << 1;
    QTest::newRow("search string missing: own name")
        << "first " + filler(3 * kMiB) << content << 2 << "needle"
        << "page.htm" << 1;
    QTest::newRow("an invalid byte at the end decides the encoding")
        << "caf\xc3\xa9 menu " + filler(5 * kMiB) + "\xff" << content << 0 << QString()
        << "caf\xc3\x83\xc2\xa9.htm" << 1;
    QTest::newRow("valid throughout reads as UTF-8")
        << "caf\xc3\xa9 menu " + filler(5 * kMiB) << content << 0 << QString() << "café.htm" << 1;
    QTest::newRow("body far down") << "<head>" + filler(2 * kMiB) + "<BODY>late start" << content
                                   << 0 << QString() << "late.htm" << 1;
    QTest::newRow("field across a piece's edge, value in the next line's place")
        << filler(kMiB - 2) + "Title>Far Away</title>\n"
        << meta << 0 << QString() << "Far Away.htm" << 1;
    QTest::newRow("field after a line of megabytes")
        << filler(3 * kMiB) + "\n<title>Line Two" << meta << 0 << QString() << "Line Two.htm" << 1;
    QTest::newRow("end tag across a piece's edge")
        << "<title>" + QByteArray(kMiB - 8, 'v') + "</title>" << meta << 0 << QString()
        << "name too long" << 1;
    QTest::newRow("a word of zeros is still a word")
        << "<body>one two " + QByteArray(3 * kMiB, '\0') + " three" << content << 0 << QString()
        << "one two .htm" << 3;
}

void WhereFilesLiveTest::largePages()
{
    QFETCH(QByteArray, page);
    QFETCH(int, by);
    QFETCH(int, method);
    QFETCH(QString, search);
    QFETCH(QString, expected);
    QFETCH(int, words);

    writeFile(path("page.htm"), page);
    m_options.by = RenameBy(by);
    m_options.tags = TagMode::ConsiderTags;
    m_options.method = ContentMethod(method);
    Renaming renaming(m_options, m_reporter);
    const bool renamed =
        by == int(RenameBy::Content)
            ? renaming.RenameFile(path("page.htm"), NamingRequest::of(words, {}, search), {})
                  .renamed
            : renaming.RenameMeta(path("page.htm"), "%t").renamed;
    if (expected == "name too long") {
        // The whole value up to its end tag, however far: too long for a name.
        QVERIFY(!renamed);
        QCOMPARE(m_reporter.reports.value(0).description, QStringLiteral("File name too long"));
        return;
    }
    QVERIFY2(renamed, qPrintable(m_reporter.reports.value(0).description));
    QCOMPARE(entries(m_out), QStringList{expected});
}

void WhereFilesLiveTest::bytesNames()
{
    // A folder and a page saved on an older system: Latin-1 bytes, not UTF-8.
    const QString folder = FileSystem::pathFromNative(FileSystem::nativePath(path("")) + "caf\xe9");
    const QString page = folder + FileSystem::pathFromNative("/menu\xff.htm");
    QCOMPARE(::mkdir(FileSystem::nativePath(folder).constData(), 0755), 0);
    // Qt cannot name these to remove them with the temporary folder.
    const auto removeByBytes = qScopeGuard([&] {
        ::unlink(FileSystem::nativePath(page).constData());
        ::unlink(FileSystem::nativePath(m_out).constData() + QByteArray("/menu\xff.htm"));
        ::rmdir(FileSystem::nativePath(folder).constData());
    });
    // Written by its bytes: Qt's own file names are not.
    const int fd = ::open(FileSystem::nativePath(page).constData(), O_WRONLY | O_CREAT, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "<body>x</body>", 14), 14);
    ::close(fd);
    QCOMPARE(nativeEntries(FileSystem::pathFromNative(FileSystem::nativePath(folder))),
             QList<QByteArray>{"menu\xff.htm"});

    m_options.by = RenameBy::Metadata;
    Renaming renaming(m_options, m_reporter);
    const NameResult result = renaming.RenameMeta(page, QString());
    QVERIFY(result);
    QVERIFY(m_reporter.reports.isEmpty());
    QCOMPARE(nativeEntries(m_out), QList<QByteArray>{"menu\xff.htm"});
    QCOMPARE(FileSystem::displayPath(result.name), QString("menu\uFFFD"));
}

QTEST_GUILESS_MAIN(WhereFilesLiveTest)
#include "tst_wherefileslive.moc"
