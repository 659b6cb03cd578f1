// The window's commands beyond its buttons, through recording doubles: the file
// list's context menu (the places of its entries, the ways of opening it, what
// the list's own entries do), F1 for the guide, and files given from outside.

#include "filelist/FileList.h"
#include "filelist/widgets/FileListController.h"
#include "options/OptionsPanel.h"
#include "platform/DesktopShell.h"
#include "shell/Form1.h"
#include "shell/ListCommands.h"
#include "shell/ListMenu.h"
#include "shell/MoreOptions.h"
#include "shell/PreviewAndUndo.h"
#include "shell/SettingsStore.h"
#include "support/Fakes.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <memory>

namespace {

using Place = ListMenu::Place;

class RecordingShell : public DesktopShell
{
public:
    void openFolder(const QString& path) override { openedFolders.append(path); }
    void openUrl(const QString& url) override { openedUrls.append(url); }
    void startDetached(const QString&, const QStringList&) override {}
    QString desktopFolder() const override { return QStringLiteral("/home/someone/Desktop/"); }
    QStringList openedFolders, openedUrls;
};

struct Window
{
    Window() : store(SettingsStore::inFolder(dir.path()))
    {
        QDir().mkpath(dir.filePath(QStringLiteral("program")));
        Form1Services services;
        services.settings = &store;
        services.boxes = &boxes;
        services.reporter = &reporter;
        services.shell = &shell;
        services.pointer = &pointer;
        services.programFolder = dir.filePath(QStringLiteral("program"));
        form = std::make_unique<Form1>(services);
        form->setEndProgram([] {});
    }

    FileList& list() { return form->fileList(); }
    QTreeView* view() { return form->listView1(); }
    void select(int entry)
    {
        view()->setCurrentIndex(entry > 0 ? list().index(entry - 1) : QModelIndex());
        if (entry == 0)
            view()->selectionModel()->clearSelection();
    }
    void trigger(Place place)
    {
        QAction* action = form->listMenu().action(place);
        QVERIFY(action);
        action->trigger();
    }

    QTemporaryDir dir;
    SettingsStore store;
    ScriptedBoxes boxes;
    RecordingReporter reporter;
    RecordingShell shell;
    FakePointer pointer;
    std::unique_ptr<Form1> form;
};

QString writeFile(const QString& path)
{
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// What the menu shows, top to bottom: the entries' texts, "-" for a line.
QStringList shown(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

class TestWindowCommands : public QObject
{
    Q_OBJECT
private slots:
    void entriesKeepTheirPlaces_data();
    void entriesKeepTheirPlaces();
    void shortcutWorksAnywhereInTheWindow();
    void windowEntriesHaveKeys_data();
    void windowEntriesHaveKeys();
    void opensFromMouseAndKeyboard_data();
    void opensFromMouseAndKeyboard();
    void entriesGreyedWhereTheyCannotAct_data();
    void entriesGreyedWhereTheyCannotAct();
    void listEntriesAct_data();
    void listEntriesAct();
    void openFolder_data();
    void openFolder();
    void givenFilesAreAddedAsDropped();
    void f1OpensTheGuide_data();
    void f1OpensTheGuide();
};

void TestWindowCommands::entriesKeepTheirPlaces_data()
{
    QTest::addColumn<QList<int>>("added");
    QTest::addColumn<QStringList>("expected");
    // Places as numbers: 0 and 1 the run's, 2 and 3 the list's, 4 and 5 the
    // folders', 6 the last group.
    QTest::newRow("in order") << QList<int>{0, 1, 2, 3, 4, 5, 6}
                              << QStringList{"p0", "p1", "-",  "p2", "p3",
                                             "-",  "p4", "p5", "-",  "p6"};
    QTest::newRow("backwards") << QList<int>{6, 5, 4, 3, 2, 1, 0}
                               << QStringList{"p0", "p1", "-",  "p2", "p3",
                                              "-",  "p4", "p5", "-",  "p6"};
    QTest::newRow("later groups first, then the run's")
        << QList<int>{3, 5, 2, 4, 1, 0}
        << QStringList{"p0", "p1", "-", "p2", "p3", "-", "p4", "p5"};
    QTest::newRow("no line without a neighbour group")
        << QList<int>{2, 3} << QStringList{"p2", "p3"};
    QTest::newRow("a missing group leaves one line")
        << QList<int>{6, 1, 4} << QStringList{"p1", "-", "p4", "-", "p6"};
    QTest::newRow("a place taken again keeps one entry") << QList<int>{2, 2} << QStringList{"p2"};
}

void TestWindowCommands::entriesKeepTheirPlaces()
{
    QFETCH(QList<int>, added);
    QFETCH(QStringList, expected);
    QWidget window;
    QTreeView list(&window);
    ListMenu menu(&list, &window);
    QList<int> triggered;
    for (int place : added)
        menu.add(Place(place), QStringLiteral("p%1").arg(place),
                 [&, place] { triggered << place; });
    QCOMPARE(shown(menu.menu()), expected);
    for (int place : added)
        menu.action(Place(place))->trigger();
    QCOMPARE(triggered, added);
}

void TestWindowCommands::shortcutWorksAnywhereInTheWindow()
{
    Window w;
    int previews = 0;
    w.form->listMenu().add(
        Place::PreviewNewNames, QStringLiteral("p"), [&] { ++previews; },
        QKeySequence(Qt::CTRL | Qt::Key_P), [] { return false; });
    w.form->show();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    // Greyed only while the open menu said so; the key works with the menu closed.
    w.form->panel()->text2()->setFocus();
    QTest::keyClick(w.form->panel()->text2(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(previews, 1);
    w.view()->setFocus();
    QTest::keyClick(w.view(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(previews, 2);
}

// The window's own entries are reached from the keyboard too, from the list and
// from the options panel; a text box keeps the keys it uses itself.
void TestWindowCommands::windowEntriesHaveKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("inTextBox");
    QTest::addColumn<QString>("opened");
    const int ctrl = int(Qt::ControlModifier);
    QTest::newRow("preview, from the list") << (ctrl | Qt::Key_P) << false << "preview";
    QTest::newRow("preview, from a text box") << (ctrl | Qt::Key_P) << true << "preview";
    QTest::newRow("undo, from the list") << (ctrl | Qt::Key_Z) << false << "undo";
    QTest::newRow("undo in a text box is the text box's") << (ctrl | Qt::Key_Z) << true << "";
    QTest::newRow("more options, from the list") << (ctrl | Qt::Key_Comma) << false << "more";
    QTest::newRow("more options, from a text box") << (ctrl | Qt::Key_Comma) << true << "more";
}

void TestWindowCommands::windowEntriesHaveKeys()
{
    QFETCH(int, key);
    QFETCH(bool, inTextBox);
    QFETCH(QString, opened);
    Window w;
    w.form->previewAndUndo().setJournalFolder(w.dir.filePath(QStringLiteral("state")));
    w.form->show();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    QWidget* focus = inTextBox ? static_cast<QWidget*>(w.form->panel()->text1()) : w.view();
    focus->setFocus();
    const auto modifiers = Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask);
    QTest::keyClick(focus, Qt::Key(key & ~Qt::KeyboardModifierMask), modifiers);

    PreviewWindow* preview = w.form->previewAndUndo().preview();
    const bool previewShown = preview && preview->isVisible();
    const bool moreShown = w.form->moreOptionsDialog() && w.form->moreOptionsDialog()->isVisible();
    QCOMPARE(previewShown, opened == QLatin1String("preview"));
    QCOMPARE(moreShown, opened == QLatin1String("more"));
    // With no run recorded, undo says so in a box.
    QCOMPARE(w.boxes.shown.size(), opened == QLatin1String("undo") ? 1 : 0);
}

void TestWindowCommands::opensFromMouseAndKeyboard_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<int>("selected");
    QTest::newRow("right-click on an entry") << "right-click" << 0;
    QTest::newRow("Menu key") << "menu" << 2;
    QTest::newRow("Menu key, nothing selected") << "menu" << 0;
    QTest::newRow("Shift+F10") << "shift-f10" << 3;
}

void TestWindowCommands::opensFromMouseAndKeyboard()
{
    QFETCH(QString, gesture);
    QFETCH(int, selected);
    Window w;
    w.list().addFiles({"/a/1.html", "/a/2.html", "/a/3.html"});
    w.form->show();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    w.select(selected);
    w.view()->setFocus();
    QMenu* menu = w.form->listMenu().menu();
    QVERIFY(!menu->isVisible());
    if (gesture == QLatin1String("right-click")) {
        const QRect second = w.view()->visualRect(w.list().index(1));
        QTest::mouseClick(w.view()->viewport(), Qt::RightButton, {}, second.center());
        // Qt sends the context menu event apart from the click.
        QContextMenuEvent event(QContextMenuEvent::Mouse, second.center(),
                                w.view()->viewport()->mapToGlobal(second.center()));
        QApplication::sendEvent(w.view()->viewport(), &event);
        // The entry clicked on is the one the menu acts on.
        QCOMPARE(w.form->fileListController()->selectedEntry(), 2);
    } else if (gesture == QLatin1String("menu")) {
        QTest::keyClick(w.view(), Qt::Key_Menu);
    } else {
        QTest::keyClick(w.view(), Qt::Key_F10, Qt::ShiftModifier);
    }
    QTRY_VERIFY(menu->isVisible());
    if (selected > 0) {
        // Under the selected entry, not somewhere off in the list.
        const QRect entry = w.view()->visualRect(w.list().index(selected - 1));
        const QPoint below = w.view()->viewport()->mapToGlobal(entry.bottomLeft());
        QVERIFY(qAbs(menu->geometry().top() - below.y()) <= 2);
    }
    menu->hide();
}

void TestWindowCommands::entriesGreyedWhereTheyCannotAct_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("results");
    // Remove, Sort by Name, Open Containing Folder, Open Results Folder.
    QTest::addColumn<QList<bool>>("enabled");
    QTest::newRow("entry selected")
        << 2 << 1 << false << "/r" << QList<bool>{true, true, true, true};
    QTest::newRow("nothing selected")
        << 2 << 0 << false << "/r" << QList<bool>{false, true, false, true};
    QTest::newRow("one entry, nothing to sort")
        << 1 << 1 << false << "/r" << QList<bool>{true, false, true, true};
    QTest::newRow("busy") << 2 << 1 << true << "/r" << QList<bool>{false, false, true, true};
    QTest::newRow("no results folder")
        << 2 << 1 << false << "" << QList<bool>{true, true, true, false};
}

void TestWindowCommands::entriesGreyedWhereTheyCannotAct()
{
    QFETCH(int, entries);
    QFETCH(int, selected);
    QFETCH(bool, busy);
    QFETCH(QString, results);
    QFETCH(QList<bool>, enabled);
    Window w;
    for (int i = 1; i <= entries; ++i)
        w.list().AddFile(QStringLiteral("/a/%1.html").arg(i));
    w.select(selected);
    w.form->panel()->text1()->setText(results);
    w.pointer.current = busy ? PointerShape::Busy : PointerShape::Default;
    ListMenu& menu = w.form->listMenu();
    menu.popup(QPoint(0, 0));
    const QList<Place> places{Place::Remove, Place::SortByName, Place::OpenContainingFolder,
                              Place::OpenResultsFolder};
    for (int i = 0; i < places.size(); ++i)
        QCOMPARE(menu.action(places[i])->isEnabled(), enabled[i]);
    menu.menu()->hide();
    // Closed again, every entry is ready for its shortcut.
    for (Place place : places)
        QVERIFY(menu.action(place)->isEnabled());
}

void TestWindowCommands::listEntriesAct_data()
{
    QTest::addColumn<int>("place");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QStringList>("after");
    const QStringList three{"/b/Page10.html", "/a/page2.html", "/c/page1.html"};
    QTest::newRow("remove the selected entry") << int(Place::Remove) << three << 2 << false
                                               << QStringList{"/b/Page10.html", "/c/page1.html"};
    QTest::newRow("remove with nothing selected")
        << int(Place::Remove) << three << 0 << false << three;
    QTest::newRow("remove while busy") << int(Place::Remove) << three << 1 << true << three;
    QTest::newRow("sort: numbers by value, letter case aside")
        << int(Place::SortByName) << three << 0 << false
        << QStringList{"/c/page1.html", "/a/page2.html", "/b/Page10.html"};
    QTest::newRow("sort while busy") << int(Place::SortByName) << three << 0 << true << three;
}

void TestWindowCommands::listEntriesAct()
{
    QFETCH(int, place);
    QFETCH(QStringList, before);
    QFETCH(int, selected);
    QFETCH(bool, busy);
    QFETCH(QStringList, after);
    Window w;
    w.list().addFiles(before);
    w.select(selected);
    w.pointer.current = busy ? PointerShape::Busy : PointerShape::Default;
    w.trigger(Place(place));
    QCOMPARE(w.list().paths(), after);
    QVERIFY(w.boxes.shown.isEmpty());
    QVERIFY(w.reporter.reports.isEmpty());
}

void TestWindowCommands::openFolder_data()
{
    QTest::addColumn<int>("place");
    QTest::addColumn<QString>("entry");   // below the test folder
    QTest::addColumn<QString>("results"); // below the test folder
    QTest::addColumn<QString>("opened");  // below the test folder; empty: a box instead
    QTest::newRow("containing folder") << int(Place::OpenContainingFolder) << "in/page.html"
                                       << "out"
                                       << "in";
    QTest::newRow("containing folder of a file that is gone")
        << int(Place::OpenContainingFolder) << "in/gone.html"
        << "out"
        << "in";
    QTest::newRow("containing folder that is gone")
        << int(Place::OpenContainingFolder) << "gone/page.html"
        << "out"
        << "";
    QTest::newRow("results folder") << int(Place::OpenResultsFolder) << "in/page.html"
                                    << "out/"
                                    << "out/";
    QTest::newRow("results folder that is missing")
        << int(Place::OpenResultsFolder) << "in/page.html"
        << "missing/"
        << "";
    QTest::newRow("results folder that is a file")
        << int(Place::OpenResultsFolder) << "in/page.html"
        << "in/page.html"
        << "";
}

void TestWindowCommands::openFolder()
{
    QFETCH(int, place);
    QFETCH(QString, entry);
    QFETCH(QString, results);
    QFETCH(QString, opened);
    Window w;
    const QString root = w.dir.filePath(QStringLiteral("t"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/in")));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/out")));
    QFile page(root + QStringLiteral("/in/page.html"));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.close();
    w.list().addFiles({root + QStringLiteral("/in/other.html"), root + u'/' + entry});
    w.select(2);
    w.form->panel()->text1()->setText(root + u'/' + results);
    w.trigger(Place(place));
    if (opened.isEmpty()) {
        QVERIFY(w.shell.openedFolders.isEmpty());
        QCOMPARE(w.boxes.shown.size(), 1);
        // The box names the folder it could not open.
        const QString named = place == int(Place::OpenResultsFolder)
                                  ? root + u'/' + results
                                  : root + u'/' + entry.section(u'/', 0, 0);
        QVERIFY2(w.boxes.shown.first().text.contains(named),
                 qPrintable(w.boxes.shown.first().text));
    } else {
        QCOMPARE(w.shell.openedFolders, QStringList{root + u'/' + opened});
        QVERIFY(w.boxes.shown.isEmpty());
    }
}

void TestWindowCommands::givenFilesAreAddedAsDropped()
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

void TestWindowCommands::f1OpensTheGuide_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("focus");
    QTest::newRow("from the list") << true << "list";
    QTest::newRow("from a text box") << true << "text";
    QTest::newRow("guide missing") << false << "list";
}

void TestWindowCommands::f1OpensTheGuide()
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

QTEST_MAIN(TestWindowCommands)
#include "tst_windowcommands.moc"
