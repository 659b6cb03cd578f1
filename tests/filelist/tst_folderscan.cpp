// The folder scan and its small file tests, on real folder trees.

#include "FileListFakes.h"
#include "filelist/AddFolder.h"
#include "rename/PathRoutines.h"
#include "support/Fakes.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList filesBelow(const QString& folder, const QString& pattern, RecordingReporter& reporter,
                       ScriptedPump& pump)
{
    Trap trap(reporter, QStringLiteral("in test "));
    return AddFolder::FilesBelow(folder, pattern, reporter, pump, trap, 1, 2);
}

QSet<QString> asSet(const QStringList& list)
{
    return QSet<QString>(list.begin(), list.end());
}

QString relativeTo(const QString& root, const QString& path)
{
    return path.startsWith(root + u'/') ? path.mid(root.size() + 1) : path;
}

QStringList relativeAll(const QString& root, const QStringList& paths)
{
    QStringList result;
    for (const QString& p : paths)
        result.append(relativeTo(root, p));
    return result;
}

} // namespace

class TestFolderScan : public QObject
{
    Q_OBJECT
private slots:
    void normalizePath_data();
    void normalizePath();
    void matchesPattern_data();
    void matchesPattern();
    void hasOddCharacters_data();
    void hasOddCharacters();
    void breadthFirstOrder();
    void nameOrderLess_data();
    void nameOrderLess();
    void listingInNameOrder_data();
    void listingInNameOrder();
    void shippedSamplesWithDefaultExtension();
    void skippedNamesAndAttributes();
    void filesInMissingFolder();
    void unreadableFolderSkippedSilently();
    void linkLoopEnds();
    void linkToFolderElsewhere();
    void yieldsWhileScanning();
};

void TestFolderScan::normalizePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("doubled after root join") << "/home//b.htm"
                                             << "/home/b.htm";
    QTest::newRow("three in a row") << "/a///b.htm"
                                    << "/a//b.htm";
    QTest::newRow("four in a row") << "/a////b.htm"
                                   << "/a//b.htm";
    QTest::newRow("network kept") << "//srv/share/a.htm"
                                  << "//srv/share/a.htm";
    QTest::newRow("three leading") << "///srv/a.htm"
                                   << "//srv/a.htm";
    QTest::newRow("four leading") << "////name.htm"
                                  << "//name.htm";
    QTest::newRow("network with doubled inside") << "//srv//share/a.htm"
                                                 << "//srv/share/a.htm";
    QTest::newRow("separators only") << "////"
                                     << "//";
}

void TestFolderScan::normalizePath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(Paths::NormalizePath(path), expected);
}

void TestFolderScan::matchesPattern_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("star dot star, plain") << "a.htm"
                                          << "*.*" << true;
    QTest::newRow("star dot star, no dot") << "README"
                                           << "*.*" << true;
    QTest::newRow("extension") << "page.htm"
                               << "*.htm" << true;
    QTest::newRow("extension, other case") << "PAGE.HTM"
                                           << "*.htm" << true;
    QTest::newRow("accented case") << "É.HTM"
                                   << "é.htm" << true;
    QTest::newRow("longer extension, three-letter pattern") << "page.html"
                                                            << "*.htm" << true;
    QTest::newRow("longer extension, other case") << "PAGE.HTML"
                                                  << "*.htm" << true;
    QTest::newRow("txt takes txta") << "x.txta"
                                    << "*.txt" << true;
    QTest::newRow("three-letter rule with question mark") << "x.html"
                                                          << "*.h?m" << true;
    QTest::newRow("longer extension must begin with it") << "page.xhtm"
                                                         << "*.htm" << false;
    QTest::newRow("two-letter pattern stays exact") << "page.htm"
                                                    << "*.ht" << false;
    QTest::newRow("four-letter pattern stays exact") << "page.htmls"
                                                     << "*.html" << false;
    QTest::newRow("only the last extension counts") << "page.html.bak"
                                                    << "*.htm" << false;
    QTest::newRow("leading dot answer, longer extension") << "page.html"
                                                          << "*..htm" << false;
    QTest::newRow("leading dot answer") << "page.htm"
                                        << "*..htm" << false;
    QTest::newRow("question mark one") << "a1.htm"
                                       << "a?.htm" << true;
    QTest::newRow("question mark needs one") << "a.htm"
                                             << "a?.htm" << false;
    QTest::newRow("star backtracks") << "a.b.htm"
                                     << "*.htm" << true;
    QTest::newRow("no dot, extension wanted") << "htm"
                                              << "*.htm" << false;
}

void TestFolderScan::matchesPattern()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(AddFolder::MatchesPattern(name, pattern), matches);
}

void TestFolderScan::hasOddCharacters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("odd");
    QTest::newRow("empty") << "" << false;
    QTest::newRow("greek") << QStringLiteral("Φάκελος") << false;
    QTest::newRow("japanese") << QStringLiteral("フォルダ") << false;
    QTest::newRow("question mark") << "why?" << true;
    QTest::newRow("unit separator") << QString(QChar(0x1F)) << true;
    QTest::newRow("delete") << QString(QChar(0x7F)) << true;
    QTest::newRow("c1 control") << QString(QChar(0x9F)) << true;
    QTest::newRow("nbsp") << QString(QChar(0xA0)) << false;
}

void TestFolderScan::hasOddCharacters()
{
    QFETCH(QString, name);
    QFETCH(bool, odd);
    QCOMPARE(AddFolder::HasOddCharacters(name), odd);
}

void TestFolderScan::breadthFirstOrder()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root, "r1.htm");
    writeFile(root, "r2.htm");
    writeFile(root, "a/a1.htm");
    writeFile(root, "a/deep/d1.htm");
    writeFile(root, "a/deep/deeper/x.htm");
    writeFile(root, "b/b1.htm");
    writeFile(root, "b/b2.htm");
    writeFile(root, "C/c.htm");
    writeFile(root, "B2/z.htm");

    RecordingReporter reporter;
    ScriptedPump pump;
    QStringList folders{root + u'/'};
    AddFolder::GetSubDirectories2016(folders, true, reporter, pump);
    const QStringList relFolders = relativeAll(root, folders);
    // Within a level, parents' order, then name order without regard to case.
    QCOMPARE(relFolders,
             (QStringList{QString(), "a/", "b/", "B2/", "C/", "a/deep/", "a/deep/deeper/"}));

    const QStringList files = relativeAll(root, filesBelow(root, "*.htm", reporter, pump));
    QCOMPARE(files, (QStringList{"r1.htm", "r2.htm", "a/a1.htm", "b/b1.htm", "b/b2.htm", "B2/z.htm",
                                 "C/c.htm", "a/deep/d1.htm", "a/deep/deeper/x.htm"}));
    QVERIFY(reporter.reports.isEmpty());
}

void TestFolderScan::nameOrderLess_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("letter case ignored") << "apple.htm"
                                         << "Banana.htm";
    QTest::newRow("capital not first") << "a2.htm"
                                       << "A3.htm";
    QTest::newRow("prefix first") << "page"
                                  << "Page1";
    QTest::newRow("dot before letters") << "a.htm"
                                        << "ab.htm";
    QTest::newRow("digits before letters") << "9.htm"
                                           << "a.htm";
    QTest::newRow("underscore after letters") << "Zed.htm"
                                              << "_under.htm";
    QTest::newRow("accented capital folds") << QStringLiteral("é1.htm") << QStringLiteral("É2.htm");
    QTest::newRow("same name, other case, fixed") << "A.htm"
                                                  << "a.htm";
}

void TestFolderScan::nameOrderLess()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QVERIFY(AddFolder::NameOrderLess(first, second));
    QVERIFY(!AddFolder::NameOrderLess(second, first));
    QVERIFY(!AddFolder::NameOrderLess(first, first));
}

void TestFolderScan::listingInNameOrder_data()
{
    QTest::addColumn<QStringList>("created");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("listed");
    // Created in an order unlike the expected one; ext4 would list them by hash.
    QTest::newRow("mixed case") << QStringList{"b.htm", "C.htm", "a.htm", "D.htm"} << "*.*"
                                << QStringList{"a.htm", "b.htm", "C.htm", "D.htm"};
    QTest::newRow("numbers as text")
        << QStringList{"page10.htm", "page2.htm", "Page1.htm"} << "*.htm"
        << QStringList{"Page1.htm", "page10.htm", "page2.htm"};
    QTest::newRow("htm and html together")
        << QStringList{"notes.html", "Index.HTM", "readme.txt", "about.htm", "old.htmx"} << "*.htm"
        << QStringList{"about.htm", "Index.HTM", "notes.html", "old.htmx"};
    QTest::newRow("exact four-letter extension") << QStringList{"notes.html", "about.htm", "b.HTML"}
                                                 << "*.html" << QStringList{"b.HTML", "notes.html"};
    QTest::newRow("many names") << QStringList{"q", "W", "e", "R", "t", "Y", "u",
                                               "I", "o", "P", "a", "S", "d", "F"}
                                << "*.*" << QStringList{"a", "d", "e", "F", "I", "o", "P",
                                                        "q", "R", "S", "t", "u", "W", "Y"};
}

void TestFolderScan::listingInNameOrder()
{
    QFETCH(QStringList, created);
    QFETCH(QString, pattern);
    QFETCH(QStringList, listed);
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const QString& name : created)
        writeFile(root, name);
    QCOMPARE(AddFolder::GetFilesInFolder(root, pattern), listed);
}

void TestFolderScan::shippedSamplesWithDefaultExtension()
{
    // The folder command's default answer "htm" takes every shipped page,
    // ".html" ones among them.
    const QString samples = QStringLiteral(QUENBY_SOURCE_DIR "/samples");
    RecordingReporter reporter;
    ScriptedPump pump;
    const QStringList withDefault =
        relativeAll(samples, filesBelow(samples, "*.htm", reporter, pump));
    const QStringList all = relativeAll(samples, filesBelow(samples, "*.*", reporter, pump));
    QVERIFY(withDefault.contains("garden-notes.html"));
    QStringList pages;
    for (const QString& name : all) {
        if (name.endsWith(".htm") || name.endsWith(".html"))
            pages.append(name);
    }
    QCOMPARE(withDefault, pages);
}

void TestFolderScan::skippedNamesAndAttributes()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root, "kept.htm");
    writeFile(root, "~lock.htm");
    writeFile(root, "sub/~$draft.htm");
    writeFile(root, ".hidden.htm"); // hidden and archive: 34
    const QString readOnlyHidden = writeFile(root, ".readonly.htm");
    QVERIFY(QFile::setPermissions(readOnlyHidden, QFile::ReadOwner)); // 35
    const QString unreadable = writeFile(root, "unreadable.htm");
    QVERIFY(QFile::setPermissions(unreadable, QFile::WriteOwner));
    writeFile(root, ".config/inside.htm");                         // a hidden folder is 18, not 22
    QVERIFY(QFile::link(root + "/kept.htm", root + "/.link.htm")); // alias: 1058

    RecordingReporter reporter;
    ScriptedPump pump;
    const QStringList files = relativeAll(root, filesBelow(root, "*.*", reporter, pump));
    QCOMPARE(asSet(files), (QSet<QString>{"kept.htm", ".readonly.htm", "unreadable.htm",
                                          ".config/inside.htm", ".link.htm"}));
    QVERIFY(reporter.reports.isEmpty());
}

void TestFolderScan::filesInMissingFolder()
{
    QTemporaryDir dir;
    writeFile(dir.path(), "sub/a.htm");
    writeFile(dir.path(), "sub/inner/b.htm");
    QCOMPARE(AddFolder::GetFilesInFolder(dir.path() + "/gone", "*.*"), QStringList());
    // Folders are never listed as files; the separator is added when missing.
    QCOMPARE(AddFolder::GetFilesInFolder(dir.path() + "/sub", "*.*"), QStringList{"a.htm"});
    QCOMPARE(AddFolder::GetFilesInFolder(dir.path() + "/sub/", "*"), QStringList{"a.htm"});
}

namespace {

struct ScanOutcome
{
    QStringList files;
    QStringList folders;
    int reports = 0;
};

ScanOutcome scanAsCurrentUser(const QString& root)
{
    RecordingReporter reporter;
    ScriptedPump pump;
    ScanOutcome outcome;
    outcome.files = filesBelow(root, "*.*", reporter, pump);
    outcome.folders = {root + u'/'};
    AddFolder::GetSubDirectories2016(outcome.folders, true, reporter, pump);
    outcome.reports = reporter.reports.size();
    return outcome;
}

// Runs the scan in a child process that has given up root, since root reads
// every folder whatever its permissions. Answers false when that is impossible.
bool scanAsNobody(const QString& root, ScanOutcome& outcome)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::close(fds[0]);
        int status = 3;
        if (::setresgid(65534, 65534, 65534) == 0 && ::setgroups(0, nullptr) == 0 &&
            ::setresuid(65534, 65534, 65534) == 0 &&
            // The temporary folder must be reachable by that user at all.
            ::access(QFile::encodeName(root).constData(), R_OK | X_OK) == 0) {
            const ScanOutcome inChild = scanAsCurrentUser(root);
            const QByteArray text = (inChild.files.join(u'\n') + QStringLiteral("\n\x01\n") +
                                     inChild.folders.join(u'\n') + QStringLiteral("\n\x01\n") +
                                     QString::number(inChild.reports))
                                        .toUtf8();
            status = ::write(fds[1], text.constData(), text.size()) == text.size() ? 0 : 4;
        }
        ::close(fds[1]);
        ::_exit(status);
    }
    ::close(fds[1]);
    QByteArray text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, n);
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    const QStringList parts = QString::fromUtf8(text).split(QStringLiteral("\n\x01\n"));
    if (parts.size() != 3)
        return false;
    outcome.files = parts[0].split(u'\n', Qt::SkipEmptyParts);
    outcome.folders = parts[1].split(u'\n', Qt::SkipEmptyParts);
    outcome.reports = parts[2].toInt();
    return true;
}

} // namespace

void TestFolderScan::unreadableFolderSkippedSilently()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    QVERIFY(QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::ExeOther));
    writeFile(root, "top.htm");
    writeFile(root, "a-open/o.htm");
    writeFile(root, "b-locked/secret.htm");
    writeFile(root, "b-locked/below/deep.htm");
    writeFile(root, "c-open/inner/i.htm");
    QVERIFY(QFile::setPermissions(root + "/b-locked",
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    ScanOutcome outcome;
    if (::geteuid() == 0) {
        if (!scanAsNobody(root, outcome))
            QSKIP("running as root, and an unprivileged user cannot be made to reach the test "
                  "folder");
    } else {
        QVERIFY(QFile::setPermissions(root + "/b-locked", QFileDevice::Permissions()));
        outcome = scanAsCurrentUser(root);
        QFile::setPermissions(root + "/b-locked",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QCOMPARE(asSet(relativeAll(root, outcome.files)),
             (QSet<QString>{"top.htm", "a-open/o.htm", "c-open/inner/i.htm"}));
    QCOMPARE(asSet(relativeAll(root, outcome.folders)),
             (QSet<QString>{QString(), "a-open/", "c-open/", "c-open/inner/"}));
    QCOMPARE(outcome.reports, 0);
}

void TestFolderScan::linkLoopEnds()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root, "top.htm");
    writeFile(root, "a/a.htm");
    writeFile(root, "a/sub/s.htm");
    writeFile(root, "x/y/z.htm");
    QVERIFY(QFile::link(root, root + "/a/up"));             // back to the start
    QVERIFY(QFile::link(root + "/a", root + "/a/self"));    // to its own folder
    QVERIFY(QFile::link(root + "/a", root + "/x/y/again")); // deeper than the folder
    RecordingReporter reporter;
    ScriptedPump pump;
    const QStringList files = relativeAll(root, filesBelow(root, "*.*", reporter, pump));
    QCOMPARE(asSet(files), (QSet<QString>{"top.htm", "a/a.htm", "a/sub/s.htm", "x/y/z.htm"}));
    QCOMPARE(files.size(), 4);
    QVERIFY(reporter.reports.isEmpty());
}

void TestFolderScan::linkToFolderElsewhere()
{
    QTemporaryDir tree;
    QTemporaryDir elsewhere;
    writeFile(tree.path(), "own.htm");
    writeFile(elsewhere.path(), "far.htm");
    writeFile(elsewhere.path(), "under/farther.htm");
    QVERIFY(QFile::link(elsewhere.path(), tree.path() + "/shortcut"));
    RecordingReporter reporter;
    ScriptedPump pump;
    const QStringList files =
        relativeAll(tree.path(), filesBelow(tree.path(), "*.*", reporter, pump));
    QCOMPARE(files, (QStringList{"own.htm", "shortcut/far.htm", "shortcut/under/farther.htm"}));
}

void TestFolderScan::yieldsWhileScanning()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    for (int i = 0; i < 5; ++i)
        writeFile(root, QStringLiteral("f%1/g/a.htm").arg(i));
    RecordingReporter reporter;
    ScriptedPump pump;
    int filesSeenDuringScan = -1;
    // A folder removed while the scan runs is passed over quietly.
    pump.onEvents = [&] {
        if (filesSeenDuringScan < 0) {
            filesSeenDuringScan = 0;
            QDir(root + "/f3").removeRecursively();
        }
    };
    const QStringList files = relativeAll(root, filesBelow(root, "*.*", reporter, pump));
    // Once per folder examined and once per subfolder name, at the least.
    QVERIFY2(pump.calls >= 11 + 10, qPrintable(QString::number(pump.calls)));
    QCOMPARE(asSet(files), (QSet<QString>{"f0/g/a.htm", "f1/g/a.htm", "f2/g/a.htm", "f4/g/a.htm"}));
    QVERIFY(reporter.reports.isEmpty());
}

QTEST_GUILESS_MAIN(TestFolderScan)
#include "tst_folderscan.moc"
