// Starting the program with files: the arguments as paths, the hand-over to a
// running window through the user's socket, a socket left by a killed window,
// and the real program started twice.

#include "app/OpenArguments.h"
#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

// Hands over from a thread of its own, so that this thread's event loop can
// serve the listening side meanwhile.
bool handOverFromAnotherThread(const QString& name, const QStringList& paths, QSignalSpy* opened)
{
    bool taken = false;
    std::thread client([&] { taken = SingleInstance::handOver(name, paths, 5000); });
    if (opened->count() == 0)
        opened->wait(6000);
    client.join();
    return taken;
}

// A socket file with nobody listening: what a killed window leaves behind.
bool leaveDeadSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

QString program()
{
    return QStringLiteral(QUENBY_BIN_DIR "/quenby");
}

// The environment of a started window: its own settings, its own socket folder,
// offscreen, and a browser that opens nothing.
QProcessEnvironment windowEnvironment(const QString& root)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    environment.insert(QStringLiteral("HOME"), root);
    environment.insert(QStringLiteral("BROWSER"), QStringLiteral("true"));
    return environment;
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void argumentsArePaths_data();
    void argumentsArePaths();
    void handOverCarriesThePaths_data();
    void handOverCarriesThePaths();
    void socketAlreadyThere_data();
    void socketAlreadyThere();
    void socketOfAnotherUserIsLeftAlone();
    void malformedMessageIsDropped();
    void programHandsItsFilesToTheRunningOne();
    void secondProgramJoinsTheFirst();
};

void TestSingleInstance::argumentsArePaths_data()
{
    QTest::addColumn<QList<QByteArray>>("arguments");
    QTest::addColumn<QStringList>("paths");
    const QString cwd = QStringLiteral("/home/u/pages");
    QTest::newRow("none") << QList<QByteArray>{} << QStringList{};
    QTest::newRow("absolute kept") << QList<QByteArray>{"/srv/a.html", "/srv/folder"}
                                   << QStringList{"/srv/a.html", "/srv/folder"};
    QTest::newRow("relative from the current folder")
        << QList<QByteArray>{"a.html", "sub/b.htm", "./c.html", "."}
        << QStringList{cwd + "/a.html", cwd + "/sub/b.htm", cwd + "/c.html", cwd};
    QTest::newRow("parent kept as given")
        << QList<QByteArray>{"../x.html"} << QStringList{cwd + "/../x.html"};
    QTest::newRow("names that look like options are paths")
        << QList<QByteArray>{"-v.html"} << QStringList{cwd + "/-v.html"};
    QTest::newRow("a name that is not UTF-8 keeps its byte")
        << QList<QByteArray>{"/p/caf\xe9.html"}
        << QStringList{QStringLiteral("/p/caf") + QChar(0xDCE9) + QStringLiteral(".html")};
    QTest::newRow("empty argument ignored") << QList<QByteArray>{"", "/a"} << QStringList{"/a"};
}

void TestSingleInstance::argumentsArePaths()
{
    QFETCH(QList<QByteArray>, arguments);
    QFETCH(QStringList, paths);
    QCOMPARE(openArguments(arguments, QStringLiteral("/home/u/pages")), paths);
}

void TestSingleInstance::handOverCarriesThePaths_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::newRow("no files: only raise the window") << QStringList{};
    QTest::newRow("a file and a folder") << QStringList{"/p/a.html", "/p/folder"};
    QTest::newRow("blanks, line breaks, non-Latin") << QStringList{
        "/p/a b.html", "/p/line\nbreak.html", QStringLiteral("/p/\u65e5\u672c.html")};
    QTest::newRow("byte names") << QStringList{QStringLiteral("/p/") + QChar(0xDCFF) +
                                               QStringLiteral(".html")};
    QStringList many;
    for (int i = 0; i < 20000; ++i)
        many.append(QStringLiteral("/a/rather/long/folder/name/for/many/pages/page%1.html").arg(i));
    QTest::newRow("20,000 files") << many;
}

void TestSingleInstance::handOverCarriesThePaths()
{
    QFETCH(QStringList, paths);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("s"));
    InstanceServer server;
    QVERIFY(server.listen(name));
    QSignalSpy opened(&server, &InstanceServer::filesOpened);
    QVERIFY(handOverFromAnotherThread(name, paths, &opened));
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.at(0).at(0).toStringList(), paths);
}

void TestSingleInstance::socketAlreadyThere_data()
{
    QTest::addColumn<bool>("live");
    QTest::newRow("a running window keeps it") << true;
    QTest::newRow("a killed window's is replaced") << false;
}

void TestSingleInstance::socketAlreadyThere()
{
    QFETCH(bool, live);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("s"));
    InstanceServer first;
    if (live) {
        QVERIFY(first.listen(name));
    } else {
        QVERIFY(leaveDeadSocket(name));
        QVERIFY(!SingleInstance::handOver(name, {"/x"}, 2000));
    }
    InstanceServer second;
    QCOMPARE(second.listen(name), !live);
    // Whichever listens takes the files.
    QSignalSpy opened(live ? &first : &second, &InstanceServer::filesOpened);
    QVERIFY(handOverFromAnotherThread(name, {"/x"}, &opened));
    QCOMPARE(opened.count(), 1);
}

void TestSingleInstance::socketOfAnotherUserIsLeftAlone()
{
    if (::geteuid() != 0)
        QSKIP("giving a socket file to another user needs root");
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("s"));
    // Listening, so that only the owner tells it from the user's own.
    QLocalServer foreign;
    QVERIFY(foreign.listen(name));
    QVERIFY(::chown(QFile::encodeName(name).constData(), 65534, 65534) == 0);
    QSignalSpy connected(&foreign, &QLocalServer::newConnection);
    QVERIFY(!SingleInstance::handOver(name, {"/secret/name.html"}, 2000));
    QCOMPARE(connected.count(), 0);
    // Nor is it replaced: it is not the user's to remove.
    foreign.close();
    QVERIFY(leaveDeadSocket(dir.filePath(QStringLiteral("dead"))));
    QVERIFY(::chown(QFile::encodeName(dir.filePath(QStringLiteral("dead"))).constData(), 65534,
                    65534) == 0);
    InstanceServer server;
    QVERIFY(!server.listen(dir.filePath(QStringLiteral("dead"))));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("dead"))));
}

void TestSingleInstance::malformedMessageIsDropped()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("s"));
    InstanceServer server;
    QVERIFY(server.listen(name));
    QSignalSpy opened(&server, &InstanceServer::filesOpened);
    QLocalSocket socket;
    socket.connectToServer(name);
    QVERIFY(socket.waitForConnected(2000));
    socket.write("GET / HTTP/1.0\r\n\r\n");
    QVERIFY(socket.waitForBytesWritten(2000));
    QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
    QCOMPARE(opened.count(), 0);
}

void TestSingleInstance::programHandsItsFilesToTheRunningOne()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("run"))));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("pages/folder"))));
    InstanceServer running;
    QVERIFY(running.listen(dir.filePath(QStringLiteral("run/quenby.socket"))));
    QSignalSpy opened(&running, &InstanceServer::filesOpened);

    QProcess second;
    second.setProcessEnvironment(windowEnvironment(dir.path()));
    second.setWorkingDirectory(dir.filePath(QStringLiteral("pages")));
    second.start(program(), {QStringLiteral("a.html"), QStringLiteral("folder"),
                             dir.filePath(QStringLiteral("elsewhere.htm"))});
    QVERIFY(second.waitForStarted());
    QVERIFY(opened.wait(20000));
    // Relative names are made whole where they were typed, not where the
    // running window happens to be.
    const QString pages = QDir(dir.filePath(QStringLiteral("pages"))).path();
    QCOMPARE(opened.at(0).at(0).toStringList(),
             (QStringList{pages + "/a.html", pages + "/folder",
                          dir.filePath(QStringLiteral("elsewhere.htm"))}));
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
}

void TestSingleInstance::secondProgramJoinsTheFirst()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("run"))));
    const QString socket = dir.filePath(QStringLiteral("run/quenby.socket"));
    const QProcessEnvironment environment = windowEnvironment(dir.path());

    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(program(), {});
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket), 20000);

    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(program(), {dir.filePath(QStringLiteral("page.html"))});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);

    // Killed, the first leaves its socket file; the next start takes over.
    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QVERIFY(QFileInfo::exists(socket));
    QProcess third;
    third.setProcessEnvironment(environment);
    third.start(program(), {});
    QVERIFY(third.waitForStarted());
    // Listening: a hand-over reaches it, and it keeps running.
    bool taken = false;
    QTRY_VERIFY_WITH_TIMEOUT((taken = SingleInstance::handOver(socket, {}, 1000)), 20000);
    QCOMPARE(third.state(), QProcess::Running);
    third.terminate();
    if (!third.waitForFinished(5000)) {
        third.kill();
        third.waitForFinished(5000);
    }
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
