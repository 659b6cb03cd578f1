// The file dialog, folder and results-folder commands, and dropped files, with
// scripted answers.

#include "FileListFakes.h"
#include "filelist/AddingCommands.h"
#include "filelist/FileList.h"
#include "platform/widgets/QtFileDialogs.h"
#include "support/Fakes.h"

#include <QMimeData>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

struct Harness
{
    FileList list;
    ScriptedBoxes boxes;
    ScriptedDialogs dialogs;
    MapStore store;
    FakePointer pointer;
    ScriptedPump pump;
    RecordingReporter reporter;
    AddingCommands commands{list, FileListServices{boxes, dialogs, store, pointer, pump, reporter}};
};

QStringList relativeAll(const QString& root, const QStringList& paths)
{
    QStringList result;
    for (const QString& p : paths)
        result.append(p.startsWith(root + u'/') ? p.mid(root.size() + 1) : p);
    return result;
}

QMimeData* urlData(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls.append(p.contains(u':') ? QUrl(p) : QUrl::fromLocalFile(p));
    data->setUrls(urls);
    return data;
}

} // namespace

class TestAddingCommands : public QObject
{
    Q_OBJECT
private slots:
    void dialogResults_data();
    void dialogResults();
    void tooManyFiles();
    void otherDialogFailureIsReported();
    void dialogFilterForQt();
    void addAllInFolder_data();
    void addAllInFolder();
    void addAllDefaultsToHtm();
    void resultsFolder_data();
    void resultsFolder();
    void drops_data();
    void drops();
};

void TestAddingCommands::dialogResults_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("cancel") << QStringList{} << QStringList{};
    QTest::newRow("one file, unchanged")
        << QStringList{"/home/u//odd/a.htm"} << QStringList{"/home/u//odd/a.htm"};
    QTest::newRow("several, in dialog order")
        << QStringList{"/home/u/b.htm", "/home/u/a.htm", "/home/u/c.html"}
        << QStringList{"/home/u/b.htm", "/home/u/a.htm", "/home/u/c.html"};
    QTest::newRow("several in the root")
        << QStringList{"/a.htm", "/b.htm"} << QStringList{"/a.htm", "/b.htm"};
    QTest::newRow("several on a network share")
        << QStringList{"//srv/share/a.htm", "//srv/share/b.htm"}
        << QStringList{"//srv/share/a.htm", "//srv/share/b.htm"};
    QTest::newRow("same file twice")
        << QStringList{"/d/a.htm", "/d/a.htm"} << QStringList{"/d/a.htm", "/d/a.htm"};
}

void TestAddingCommands::dialogResults()
{
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, entries);
    Harness h;
    h.list.AddFile("/already.htm");
    h.dialogs.fileAnswers = {QtFileDialogs::answerFor(chosen)};
    h.commands.PushButton1_Click();
    QCOMPARE(h.list.paths(), QStringList{"/already.htm"} + entries);
    QCOMPARE(h.dialogs.openTitles, QStringList{"Add File(s) - Hold Ctrl to select multiple files"});
    QCOMPARE(h.dialogs.openFilters, QStringList{"HTML Files (*.htm;*.html)|*.htm;*.html|"});
    QVERIFY(h.boxes.shown.isEmpty());
    QVERIFY(h.reporter.reports.isEmpty());
}

void TestAddingCommands::tooManyFiles()
{
    // The answer for this selection no longer fits the dialog's buffer.
    QStringList chosen;
    qsizetype answerSize = QStringLiteral("/data/pages").size();
    for (int i = 0; answerSize <= 30000; ++i) {
        const QString name = QStringLiteral("a-rather-long-page-name-%1.htm").arg(i);
        chosen.append(QStringLiteral("/data/pages/") + name);
        answerSize += 1 + name.size();
    }
    try {
        QtFileDialogs::answerFor(chosen);
        QFAIL("an answer over 30000 characters was accepted");
    } catch (const Failure& failure) {
        QCOMPARE(failure.code(), FileDialogs::kBufferTooSmall);
    }
    chosen.removeLast();
    QVERIFY(QtFileDialogs::answerFor(chosen).size() <= 30000);

    Harness h;
    h.dialogs.failWith = FileDialogs::kBufferTooSmall;
    h.commands.PushButton1_Click();
    QCOMPARE(h.list.count(), 0);
    QCOMPARE(h.boxes.shown.size(), 1);
    QCOMPARE(h.boxes.shown[0].text,
             QStringLiteral("You've selected too many files to add.\r\r"
                            "Please try adding via the \"Add All\" button."));
    QCOMPARE(h.boxes.shown[0].title, QString());
    QCOMPARE(h.boxes.shown[0].icon, BoxIcon::None);
    QCOMPARE(h.boxes.shown[0].buttons, BoxButtons::Ok);
    QVERIFY(h.reporter.reports.isEmpty());
}

void TestAddingCommands::otherDialogFailureIsReported()
{
    Harness h;
    h.dialogs.failWith = 5;
    h.commands.PushButton1_Click();
    QCOMPARE(h.reporter.reports.size(), 1);
    QCOMPARE(h.reporter.reports[0].label,
             QStringLiteral("in Orlesk2021/08/31.Form1.PushButton1_Click "));
    QCOMPARE(h.reporter.reports[0].description, QStringLiteral("dialog failed"));
    QVERIFY(h.boxes.shown.isEmpty());
    QCOMPARE(h.list.count(), 0);
}

void TestAddingCommands::dialogFilterForQt()
{
    QCOMPARE(QtFileDialogs::nameFilters("HTML Files (*.htm;*.html)|*.htm;*.html|"),
             QStringLiteral("HTML Files (*.htm *.html)"));
    QCOMPARE(QtFileDialogs::nameFilters("Text|*.txt|All (*.*)|*.*|"),
             QStringLiteral("Text (*.txt);;All (*.*)"));
}

void TestAddingCommands::addAllInFolder_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("folderChosen");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("extensionAfter");
    QTest::addColumn<int>("pickerShown");
    QTest::newRow("*") << QStringList{"*"} << true
                       << QStringList{"a.htm", "b.txt", "c.HTM", "sub/d.htm", "sub/e.html"} << "*"
                       << 1;
    QTest::newRow("txt") << QStringList{"txt"} << true << QStringList{"b.txt"} << "txt" << 1;
    // A three-letter extension also takes the longer ones that begin with it.
    QTest::newRow("htm") << QStringList{"htm"} << true
                         << QStringList{"a.htm", "c.HTM", "sub/d.htm", "sub/e.html"} << "htm" << 1;
    QTest::newRow("html") << QStringList{"html"} << true << QStringList{"sub/e.html"} << "html"
                          << 1;
    QTest::newRow(".htm matches nothing")
        << QStringList{".htm"} << true << QStringList{} << ".htm" << 1;
    QTest::newRow("cancel at the prompt") << QStringList{} << true << QStringList{} << "old" << 0;
    QTest::newRow("cancel at the picker")
        << QStringList{"txt"} << false << QStringList{} << "txt" << 1;
}

void TestAddingCommands::addAllInFolder()
{
    QFETCH(QStringList, answers);
    QFETCH(bool, folderChosen);
    QFETCH(QStringList, files);
    QFETCH(QString, extensionAfter);
    QFETCH(int, pickerShown);

    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char* name : {"a.htm", "b.txt", "c.HTM", "sub/d.htm", "sub/e.html", "~x.htm"})
        writeFile(root, name);

    Harness h;
    h.store.values = {{"Extension", "old"}, {"LastFolder", "/previous"}};
    h.boxes.answers = answers;
    if (folderChosen)
        h.dialogs.folderAnswers = {root};
    h.commands.PushButton5_Click();

    QCOMPARE(h.boxes.asked.size(), 1);
    QCOMPARE(h.boxes.asked[0].prompt,
             QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                            "files, doc for all doc files, etc.)"));
    QCOMPARE(h.boxes.asked[0].title, QString());
    QCOMPARE(h.boxes.asked[0].defaultText, QStringLiteral("old"));
    QCOMPARE(h.store.values.value("Extension"), extensionAfter);
    QCOMPARE(h.dialogs.browsed.size(), pickerShown);
    if (pickerShown) {
        QCOMPARE(h.dialogs.browsed[0].prompt, QStringLiteral("Please select folder:"));
        QCOMPARE(h.dialogs.browsed[0].startFolder, QStringLiteral("/previous"));
    }
    QCOMPARE(h.store.values.value("LastFolder"), folderChosen && pickerShown ? root : "/previous");

    const QStringList added = relativeAll(root, h.list.paths());
    QCOMPARE(QSet<QString>(added.begin(), added.end()), QSet<QString>(files.begin(), files.end()));
    QCOMPARE(added.size(), files.size());
    QCOMPARE(added, files); // name order, letter case aside
    // The folder's own files come before those of its subfolder.
    if (added.contains("sub/d.htm") && added.contains("a.htm"))
        QVERIFY(added.indexOf("a.htm") < added.indexOf("sub/d.htm"));

    QCOMPARE(h.pointer.current, PointerShape::Default);
    QCOMPARE(h.pointer.history.contains(PointerShape::Busy), folderChosen && pickerShown > 0);
    QVERIFY(h.reporter.reports.isEmpty());
}

void TestAddingCommands::addAllDefaultsToHtm()
{
    Harness h;
    h.commands.PushButton5_Click();
    QCOMPARE(h.boxes.asked.size(), 1);
    QCOMPARE(h.boxes.asked[0].defaultText, QStringLiteral("htm"));
    QVERIFY(h.store.saved.isEmpty());
}

void TestAddingCommands::resultsFolder_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("folder") << "/home/u/out"
                            << "/home/u/out/";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("already ends in one") << "/home/u/out/"
                                         << "/home/u/out/";
    QTest::newRow("network share") << "//srv/share"
                                   << "//srv/share/";
    QTest::newRow("cancel") << ""
                            << "";
}

void TestAddingCommands::resultsFolder()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    Harness h;
    h.store.values = {{"LastFolderDot", "/earlier"}};
    QStringList sink;
    h.commands.setResultsFolderSink([&](const QString& folder) { sink.append(folder); });
    h.dialogs.folderAnswers = {chosen};
    h.commands.PushButton4_Click();
    QCOMPARE(h.dialogs.browsed.size(), 1);
    QCOMPARE(h.dialogs.browsed[0].prompt, QStringLiteral("Please select folder:"));
    QCOMPARE(h.dialogs.browsed[0].startFolder, QStringLiteral("/earlier"));
    QCOMPARE(sink, written.isEmpty() ? QStringList{} : QStringList{written});
    QCOMPARE(h.store.values.value("LastFolderDot"), chosen.isEmpty() ? "/earlier" : chosen);
    QCOMPARE(h.commands.lastFolderDot(), chosen.isEmpty() ? "/earlier" : chosen);
}

void TestAddingCommands::drops_data()
{
    QTest::addColumn<QStringList>("dropped"); // relative to the tree, or URLs with a scheme
    QTest::addColumn<bool>("textOnly");
    QTest::addColumn<QStringList>("entries"); // relative; "[x,y]" marks any order
    QTest::newRow("files, in drop order")
        << QStringList{"loose/z.txt", "loose/picture.png", "loose/a.htm"} << false
        << QStringList{"loose/z.txt", "loose/picture.png", "loose/a.htm"};
    QTest::newRow("file that does not exist, unchanged")
        << QStringList{"loose//gone.htm"} << false << QStringList{"loose//gone.htm"};
    QTest::newRow("folder") << QStringList{"one"} << false
                            << QStringList{"one/a.htm", "one/inner/b.txt"};
    QTest::newRow("folder and file") << QStringList{"one", "loose/z.txt"} << false
                                     << QStringList{"one/a.htm", "one/inner/b.txt", "loose/z.txt"};
    QTest::newRow("two folders") << QStringList{"two", "one"} << false
                                 << QStringList{"two/c.htm", "one/a.htm", "one/inner/b.txt"};
    QTest::newRow("folder with its own subfolder")
        << QStringList{"one", "one/inner"} << false
        << QStringList{"one/a.htm", "one/inner/b.txt", "one/inner/b.txt"};
    QTest::newRow("empty folder") << QStringList{"empty"} << false << QStringList{};
    QTest::newRow("web address left out")
        << QStringList{"https://example.org/page.htm", "loose/a.htm"} << false
        << QStringList{"loose/a.htm"};
    QTest::newRow("text only") << QStringList{} << true << QStringList{};
}

void TestAddingCommands::drops()
{
    QFETCH(QStringList, dropped);
    QFETCH(bool, textOnly);
    QFETCH(QStringList, entries);
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char* name : {"loose/z.txt", "loose/picture.png", "loose/a.htm", "one/a.htm",
                             "one/~lock.htm", "one/.hidden", "one/inner/b.txt", "two/c.htm"})
        writeFile(root, name);
    QDir(root).mkdir("empty");

    QStringList full;
    for (const QString& d : dropped)
        full.append(d.contains(u':') ? d : root + u'/' + d);
    std::unique_ptr<QMimeData> data(urlData(full));
    if (textOnly) {
        data.reset(new QMimeData);
        data->setText(root + "/loose/a.htm");
    }

    Harness h;
    QCOMPARE(AddingCommands::acceptsDrop(data.get()), !textOnly);
    h.commands.dropPaths(AddingCommands::droppedPaths(data.get()));
    QCOMPARE(relativeAll(root, h.list.paths()), entries);
    QVERIFY(h.reporter.reports.isEmpty());
    QVERIFY(h.boxes.asked.isEmpty());
    QVERIFY(h.store.saved.isEmpty());
    QVERIFY(h.pointer.history.isEmpty());
}

QTEST_GUILESS_MAIN(TestAddingCommands)
#include "tst_addingcommands.moc"
