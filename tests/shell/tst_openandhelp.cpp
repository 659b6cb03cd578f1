// Files given to the window from outside ("Open With", a second start): added
// as dropped files are, after what the list holds, and the window brought up.
// The user guide on F1.

#include "filelist/FileList.h"
#include "options/OptionsPanel.h"
#include "platform/DesktopShell.h"
#include "shell/Form1.h"
#include "shell/SettingsStore.h"
#include "support/Fakes.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <memory>

namespace {

QString writeFile(const QString& path)
{
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write("<p>x");
    return path;
}

class RecordingShell : public DesktopShell
{
public:
    void openFolder(const QString& path) override { openedUrls.append(path); }
    void openUrl(const QString& url) override { openedUrls.append(url); }
    void startDetached(const QString&, const QStringList&) override {}
    QString desktopFolder() const override { return QStringLiteral("/home/someone/Desktop/"); }
    QStringList openedUrls;
};

struct Window
{
    Window() : store(SettingsStore::inFolder(dir.path()))
    {
        Form1Services services;
        services.settings = &store;
        services.boxes = &boxes;
        services.reporter = &reporter;
        services.shell = &shell;
        services.programFolder = dir.filePath(QStringLiteral("program"));
        form = std::make_unique<Form1>(services);
        form->setEndProgram([] {});
    }
    QTemporaryDir dir;
    SettingsStore store;
    ScriptedBoxes boxes;
    RecordingReporter reporter;
    RecordingShell shell;
    std::unique_ptr<Form1> form;
};

} // namespace

class TestOpenAndHelp : public QObject
{
    Q_OBJECT
private slots:
    void filesAndFoldersAreAddedAsDropped();
    void minimizedWindowComesBack();
    void f1OpensTheGuide_data();
    void f1OpensTheGuide();
};

void TestOpenAndHelp::filesAndFoldersAreAddedAsDropped()
{
    Window w;
    const QString root = w.dir.filePath(QStringLiteral("pages"));
    const QString page = writeFile(root + QStringLiteral("/page.html"));
    writeFile(root + QStringLiteral("/folder/b.htm"));
    writeFile(root + QStringLiteral("/folder/sub/a.txt"));
    w.form->fileList().AddFile(QStringLiteral("/already/there.html"));

    w.form->openFiles(
        {page, root + QStringLiteral("/folder"), root + QStringLiteral("/gone.html")});
    // The folder is scanned once the window has answered what waits.
    QTRY_COMPARE(w.form->fileList().count(), 5);
    QCOMPARE(w.form->fileList().paths(),
             (QStringList{"/already/there.html", page, root + "/folder/b.htm",
                          root + "/folder/sub/a.txt", root + "/gone.html"}));
    QVERIFY(w.reporter.reports.isEmpty());

    // A later hand-over appends again.
    w.form->openFiles({page});
    QTRY_COMPARE(w.form->fileList().count(), 6);
    QCOMPARE(w.form->fileList().entry(6), page);
}

void TestOpenAndHelp::minimizedWindowComesBack()
{
    Window w;
    w.form->showMinimized();
    w.form->bringToFront();
    QVERIFY(w.form->isVisible());
    QVERIFY(!w.form->isMinimized());
}

void TestOpenAndHelp::f1OpensTheGuide_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("focus");
    QTest::newRow("from the list") << true << "list";
    QTest::newRow("from a text box") << true << "text";
    QTest::newRow("guide missing") << false << "list";
}

void TestOpenAndHelp::f1OpensTheGuide()
{
    QFETCH(bool, installed);
    QFETCH(QString, focus);
    Window w;
    const QString guide = w.dir.filePath(QStringLiteral("program/guide.html"));
    if (installed)
        writeFile(guide);
    w.form->show();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    QWidget* target = focus == QLatin1String("list") ? static_cast<QWidget*>(w.form->listView1())
                                                     : w.form->panel()->text1();
    target->setFocus();
    QTest::keyClick(target, Qt::Key_F1);
    if (installed) {
        QCOMPARE(w.shell.openedUrls.size(), 1);
        QCOMPARE(QUrl(w.shell.openedUrls.first()).toLocalFile(), guide);
        QVERIFY(w.boxes.shown.isEmpty());
    } else {
        QVERIFY(w.shell.openedUrls.isEmpty());
        QCOMPARE(w.boxes.shown.size(), 1);
        QVERIFY(w.boxes.shown.first().text.contains(guide));
    }
}

QTEST_MAIN(TestOpenAndHelp)
#include "tst_openandhelp.moc"
