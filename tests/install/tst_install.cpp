// The program installed into a scratch prefix as a user installs it: the
// program folder, the links users start the programs by, and the desktop files,
// checked with the tools desktops use.

#include "support/Files.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <unistd.h>

namespace {

struct Outcome
{
    int exitCode = -1;
    QString output;
};

Outcome runTool(const QString& program, const QStringList& arguments,
                const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(300000))
        return {-1, QStringLiteral("did not finish")};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

QString settingsFile(const QString& configHome)
{
    return configHome + QStringLiteral("/Tessaly/Quenby.conf");
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void installedTree_data();
    void installedTree();
    void binHoldsOnlyTheLinks();
    void everyFileInItsPlace();
    void manualPagesCompressed_data();
    void manualPagesCompressed();
    void copyrightMachineReadable();
    void lintianOverridesNameInstalledFiles();
    void strippedProgramsWithoutCompilerNotes_data();
    void strippedProgramsWithoutCompilerNotes();
    void commandLineFindsItsHelperThroughItsLink();
    void windowFindsItsFolderThroughItsLink();
    void desktopFileValidates();
    void metainfoValidates();
    void manifestTakesEverythingAway();

private:
    QTemporaryDir m_scratch;
    QString m_prefix;
    QString m_strippedPrefix;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    m_prefix = m_scratch.filePath(QStringLiteral("prefix with blank"));
    // The stripped install as a package makes it, first: the install manifest
    // the last test reads is the one of the plain install.
    m_strippedPrefix = m_scratch.filePath(QStringLiteral("stripped"));
    const Outcome stripped = runTool(
        QStringLiteral(QUENBY_CMAKE),
        {QStringLiteral("--install"), QStringLiteral(QUENBY_BUILD_DIR), QStringLiteral("--prefix"),
         m_strippedPrefix, QStringLiteral("--strip")});
    QVERIFY2(stripped.exitCode == 0, qPrintable(stripped.output));
    const Outcome install = runTool(QStringLiteral(QUENBY_CMAKE),
                                    {QStringLiteral("--install"), QStringLiteral(QUENBY_BUILD_DIR),
                                     QStringLiteral("--prefix"), m_prefix});
    QVERIFY2(install.exitCode == 0, qPrintable(install.output));
}

void TestInstall::installedTree_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("kind");
    QTest::newRow("program") << "libexec/quenby/quenby"
                             << "program";
    QTest::newRow("command line") << "libexec/quenby/quenby-rename"
                                  << "program";
    QTest::newRow("page-text helper") << "libexec/quenby/quenby-pagetext"
                                      << "program";
    QTest::newRow("samples") << "share/quenby/Samples/garden-notes.html"
                             << "file";
    QTest::newRow("guide") << "share/quenby/guide.html"
                           << "file";
    QTest::newRow("guide picture") << "share/quenby/window.png"
                                   << "file";
    QTest::newRow("hand pointer") << "share/quenby/HAND-M.CUR"
                                  << "file";
    QTest::newRow("drag pointer") << "share/quenby/drag.ico"
                                  << "file";
    QTest::newRow("link to the window") << "bin/quenby"
                                        << "link";
    QTest::newRow("link to the command line") << "bin/quenby-rename"
                                              << "link";
    QTest::newRow("menu entry") << "share/applications/quenby.desktop"
                                << "file";
    QTest::newRow("metainfo") << "share/metainfo/example.quenby.Quenby.metainfo.xml"
                              << "file";
    QTest::newRow("icon") << "share/icons/hicolor/scalable/apps/quenby.svg"
                          << "file";
    QTest::newRow("window manual") << "share/man/man1/quenby.1.gz"
                                   << "file";
    QTest::newRow("command-line manual") << "share/man/man1/quenby-rename.1.gz"
                                         << "file";
    QTest::newRow("copyright") << "share/doc/quenby/copyright"
                               << "file";
    QTest::newRow("changelog") << "share/doc/quenby/changelog.gz"
                               << "file";
    QTest::newRow("readme") << "share/doc/quenby/README.md"
                            << "file";
}

void TestInstall::installedTree()
{
    QFETCH(QString, path);
    QFETCH(QString, kind);
    const QFileInfo info(m_prefix + u'/' + path);
    QVERIFY2(info.exists(), qPrintable(path));
    if (kind == QLatin1String("link")) {
        QVERIFY(info.isSymLink());
        // Relative, so that the tree can be staged or moved as a whole.
        QVERIFY(QFileInfo(info.symLinkTarget()).exists());
        char target[4096];
        const ssize_t length =
            ::readlink(QFile::encodeName(info.filePath()).constData(), target, sizeof target);
        QVERIFY(length > 0 && target[0] != '/');
        QCOMPARE(QFileInfo(info.canonicalFilePath()).canonicalPath(),
                 QFileInfo(m_prefix + QStringLiteral("/libexec/quenby")).canonicalFilePath());
    } else {
        QVERIFY(!info.isSymLink());
        QVERIFY(info.isFile());
        QVERIFY(info.size() > 0);
        QCOMPARE(info.isExecutable(), kind == QLatin1String("program"));
    }
}

void TestInstall::binHoldsOnlyTheLinks()
{
    QCOMPARE(entries(m_prefix + QStringLiteral("/bin")),
             (QStringList{QStringLiteral("quenby"), QStringLiteral("quenby-rename")}));
    // The licence the copyright file names is the licence of the sources.
    QVERIFY(readFile(QStringLiteral(QUENBY_SOURCE_DIR "/LICENSE"))
                .startsWith("                    GNU GENERAL PUBLIC LICENSE\n"
                            "                       Version 3, 29 June 2007"));
}

// Each file where a distribution looks for its kind; none anywhere else, so
// that a package never puts a file into a folder it does not own.
void TestInstall::everyFileInItsPlace()
{
    static const QStringList folders{
        "bin/",
        "libexec/quenby/",
        "share/quenby/",
        "share/doc/quenby/",
        "share/man/man1/",
        "share/applications/",
        "share/metainfo/",
        "share/icons/hicolor/scalable/apps/",
        "share/bash-completion/completions/",
        "share/zsh/vendor-completions/",
        "share/fish/vendor_completions.d/",
        "share/lintian/overrides/",
    };
    QDirIterator it(m_prefix, QDir::Files | QDir::System | QDir::Hidden,
                    QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        const QString path = it.next().mid(m_prefix.size() + 1);
        ++files;
        QVERIFY2(std::any_of(folders.begin(), folders.end(),
                             [&](const QString& folder) { return path.startsWith(folder); }),
                 qPrintable(path));
        // Programs only in the program folder, and bin/ only links to them.
        QCOMPARE(QFileInfo(it.filePath()).isExecutable() && !QFileInfo(it.filePath()).isSymLink(),
                 path.startsWith(QStringLiteral("libexec/quenby/")));
    }
    QVERIFY(files >= 20);
}

void TestInstall::manualPagesCompressed_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("source");
    QTest::newRow("window") << "quenby.1.gz"
                            << "docs/quenby.1";
    QTest::newRow("command line") << "quenby-rename.1.gz"
                                  << "docs/quenby-rename.1";
}

void TestInstall::manualPagesCompressed()
{
    QFETCH(QString, page);
    QFETCH(QString, source);
    QCOMPARE(entries(m_prefix + QStringLiteral("/share/man/man1")).size(), 2);
    const QString path = m_prefix + QStringLiteral("/share/man/man1/") + page;
    // gzip without a time stamp, so that two builds give the same file.
    const QByteArray bytes = readFile(path);
    QVERIFY(bytes.startsWith("\x1f\x8b\x08"));
    QCOMPARE(bytes.mid(4, 4), QByteArray(4, '\0'));
    const Outcome unpacked = runTool(QStringLiteral("gzip"), {QStringLiteral("-dc"), path});
    QCOMPARE(unpacked.exitCode, 0);
    QCOMPARE(unpacked.output.toUtf8(), readFile(QStringLiteral(QUENBY_SOURCE_DIR "/") + source));
}

void TestInstall::copyrightMachineReadable()
{
    const QByteArray text = readFile(m_prefix + QStringLiteral("/share/doc/quenby/copyright"));
    QVERIFY(text.startsWith(
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"));
    // The licence the other descriptions give, and one paragraph that covers every file.
    QVERIFY(text.contains("\nFiles: *\n"));
    QVERIFY(text.contains("\nLicense: GPL-3+\n"));
    QVERIFY(readFile(QStringLiteral(QUENBY_SOURCE_DIR "/data/example.quenby.Quenby.metainfo.xml"))
                .contains("<project_license>GPL-3.0-or-later</project_license>"));
    // The changelog names the version being installed.
    const Outcome changelog = runTool(
        QStringLiteral("gzip"),
        {QStringLiteral("-dc"), m_prefix + QStringLiteral("/share/doc/quenby/changelog.gz")});
    QCOMPARE(changelog.exitCode, 0);
    QVERIFY2(changelog.output.startsWith(QStringLiteral("quenby (" QUENBY_VERSION ") ")),
             qPrintable(changelog.output));
}

// Each override names the files it is for, and every one of those is installed:
// an override left behind by a move would hide nothing and tell a packager a
// story about files that are gone. Each comes with its reason above it.
void TestInstall::lintianOverridesNameInstalledFiles()
{
    const QStringList lines =
        QString::fromUtf8(readFile(m_prefix + QStringLiteral("/share/lintian/overrides/quenby")))
            .split(u'\n', Qt::SkipEmptyParts);
    int overrides = 0;
    bool reasoned = false;
    for (const QString& line : lines) {
        if (line.startsWith(u'#')) {
            reasoned = true;
            continue;
        }
        ++overrides;
        QVERIFY2(reasoned, qPrintable(line));
        reasoned = false;
        QVERIFY2(line.startsWith(QStringLiteral("quenby: ")), qPrintable(line));
        const qsizetype open = line.indexOf(u'[');
        QVERIFY2(open > 0 && line.endsWith(u']'), qPrintable(line));
        // In the package the prefix is /usr.
        const QString packaged = line.mid(open + 1).chopped(1);
        QVERIFY2(packaged.startsWith(QStringLiteral("usr/")), qPrintable(line));
        const QString pattern = m_prefix + packaged.mid(3);
        const QFileInfo where(pattern);
        const QStringList matching =
            QDir(where.path()).entryList({where.fileName()}, QDir::Files);
        QVERIFY2(!matching.isEmpty(), qPrintable(line));
    }
    QVERIFY(overrides >= 1);
}

void TestInstall::strippedProgramsWithoutCompilerNotes_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("window") << "quenby";
    QTest::newRow("command line") << "quenby-rename";
    QTest::newRow("page-text helper") << "quenby-pagetext";
}

// A stripped install, as the package is made, carries neither symbols nor the
// compiler's notes.
void TestInstall::strippedProgramsWithoutCompilerNotes()
{
    QFETCH(QString, program);
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("readelf"));
    if (tool.isEmpty())
        QSKIP("readelf is not installed (Debian package binutils)");
    const QString path = m_strippedPrefix + QStringLiteral("/libexec/quenby/") + program;
    const Outcome sections = runTool(tool, {QStringLiteral("-S"), QStringLiteral("-W"), path});
    QCOMPARE(sections.exitCode, 0);
    QVERIFY2(sections.output.contains(QStringLiteral(" .text ")), qPrintable(sections.output));
    for (const char* section : {" .comment ", " .symtab ", " .debug_info "})
        QVERIFY2(!sections.output.contains(QLatin1String(section)), section);
    QVERIFY(QFileInfo(path).size() < QFileInfo(m_prefix + QStringLiteral("/libexec/quenby/") +
                                                   program)
                                         .size());
}

void TestInstall::commandLineFindsItsHelperThroughItsLink()
{
    // Started by its link, from another folder: the page-text helper is found
    // beside the program file, not beside the link.
    QTemporaryDir out;
    const Outcome run =
        runTool(m_prefix + QStringLiteral("/bin/quenby-rename"),
                {QStringLiteral("-o"), out.path(), QStringLiteral("--no-progress"),
                 QStringLiteral("-n"), QStringLiteral("2"), QStringLiteral("--ext"),
                 QStringLiteral("htm"), m_prefix + QStringLiteral("/share/quenby/Samples")});
    QVERIFY2(run.exitCode == 0 || run.exitCode == 1, qPrintable(run.output));
    // The default "htm" takes the ".html" sample as well.
    QVERIFY2(run.output.contains(QStringLiteral("garden-notes.html -> ")), qPrintable(run.output));
    QVERIFY(entries(out.path()).size() >= 10);
}

void TestInstall::windowFindsItsFolderThroughItsLink()
{
    // The first start records the samples it finds in its data folder, found
    // from the program's own folder.
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess window;
    window.setProcessEnvironment(environment);
    window.setWorkingDirectory(home.path());
    window.start(m_prefix + QStringLiteral("/bin/quenby"), {});
    QVERIFY(window.waitForStarted());
    const QString settings = settingsFile(home.filePath(QStringLiteral("config")));
    QString snapshot;
    for (int waited = 0; waited < 60000 && snapshot.isEmpty(); waited += 100) {
        QTest::qWait(100);
        for (const QString& line : QString::fromUtf8(readFile(settings)).split(u'\n')) {
            if (line.startsWith(QStringLiteral("Snapshot=")))
                snapshot = line.mid(9);
        }
    }
    window.kill();
    window.waitForFinished();
    QVERIFY2(!snapshot.isEmpty(), "no samples recorded");
    const QStringList samples = snapshot.split(u'|');
    const QString folder =
        QFileInfo(m_prefix + QStringLiteral("/share/quenby")).canonicalFilePath();
    QCOMPARE(samples.size(), entries(folder + QStringLiteral("/Samples")).size());
    for (const QString& path : samples) {
        QVERIFY2(path.startsWith(folder + QStringLiteral("/Samples/")), qPrintable(path));
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    }
    // The guide the window opens lies in the folder it found.
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/guide.html")));
}

void TestInstall::desktopFileValidates()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty())
        QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
    const QString file = m_prefix + QStringLiteral("/share/applications/quenby.desktop");
    const Outcome check = runTool(tool, {file});
    QVERIFY2(check.exitCode == 0 && check.output.trimmed().isEmpty(), qPrintable(check.output));
    // Started by name through the PATH, wherever the prefix is, with the files a
    // file manager opens with it; offered for HTML pages.
    const QByteArray entry = readFile(file);
    QVERIFY(entry.contains("\nExec=quenby %F\n"));
    QVERIFY(entry.contains("\nMimeType=text/html;application/xhtml+xml;\n"));
}

void TestInstall::metainfoValidates()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
    if (tool.isEmpty())
        QSKIP("appstreamcli is not installed (Debian package appstream)");
    const QString file =
        m_prefix + QStringLiteral("/share/metainfo/example.quenby.Quenby.metainfo.xml");
    const Outcome check =
        runTool(tool, {QStringLiteral("validate"), QStringLiteral("--no-net"), file});
    QVERIFY2(check.exitCode == 0, qPrintable(check.output));
    QVERIFY2(!check.output.contains(QStringLiteral("W: ")) &&
                 !check.output.contains(QStringLiteral("E: ")),
             qPrintable(check.output));
    const QByteArray text = readFile(file);
    QVERIFY(text.contains("<project_license>GPL-3.0-or-later</project_license>"));
    QVERIFY(text.contains("<screenshot type=\"default\">"));
}

// Last, since it takes the tree away: the README's way back from an install,
// removing what the install manifest lists, leaves no file behind.
void TestInstall::manifestTakesEverythingAway()
{
    const QStringList listed =
        QString::fromUtf8(readFile(QStringLiteral(QUENBY_BUILD_DIR "/install_manifest.txt")))
            .split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(listed.contains(m_prefix + QStringLiteral("/bin/quenby")));
    for (const QString& path : listed) {
        if (path.startsWith(m_prefix + u'/'))
            QFile::remove(path);
    }
    QDirIterator it(m_prefix, QDir::Files | QDir::System | QDir::Hidden,
                    QDirIterator::Subdirectories);
    QStringList left;
    while (it.hasNext())
        left.append(it.next());
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
