// The list's events as the window delivers them: drags, drops, keys, clicks and
// the reorder gesture on a real view.

#include "FileListFakes.h"
#include "filelist/FileList.h"
#include "filelist/widgets/FileListController.h"
#include "support/Fakes.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUrl>

namespace {

struct Window
{
    explicit Window(const QString& programFolder = QStringLiteral("/nonexistent"))
        : controller(&listView1, &listView3, list,
                     FileListServices{boxes, dialogs, store, pointer, pump, reporter},
                     programFolder)
    {
        listView1.resize(500, 300);
        listView1.show();
        listView3.show();
        QVERIFY(QTest::qWaitForWindowExposed(&listView1));
    }
    QPoint centreOf(int entry) const
    {
        return listView1.visualRect(list.index(entry - 1)).center();
    }
    void send(QEvent::Type type, int entry, Qt::MouseButtons buttons)
    {
        const QPoint at = centreOf(entry);
        QMouseEvent event(type, at, listView1.viewport()->mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(listView1.viewport(), &event);
    }

    FileList list;
    QTreeView listView1;
    QTreeView listView3;
    ScriptedBoxes boxes;
    ScriptedDialogs dialogs;
    MapStore store;
    FakePointer pointer;
    ScriptedPump pump;
    RecordingReporter reporter;
    FileListController controller;
};

bool dragAccepted(QWidget* target, QMimeData* data)
{
    QDragEnterEvent event(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    event.setAccepted(false);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

} // namespace

class TestController : public QObject
{
    Q_OBJECT
private slots:
    void setsUpTheViews();
    void dragOverAndDrop_data();
    void dragOverAndDrop();
    void deleteKeyAndDoubleClick();
    void clickPreviews();
    void reorderByMouse();
    void clicksThatLeaveNoEntrySelected_data();
    void clicksThatLeaveNoEntrySelected();
    void keysPreviewTheEntryTheyReach_data();
    void keysPreviewTheEntryTheyReach();
    void altArrowsMoveTheSelectedEntry_data();
    void altArrowsMoveTheSelectedEntry();
    void dragCursor_data();
    void dragCursor();
};

void TestController::setsUpTheViews()
{
    Window w;
    QCOMPARE(w.listView1.model(), &w.list);
    QCOMPARE(w.listView3.model(), &w.controller.preview());
    QVERIFY(w.listView1.uniformRowHeights());
    QVERIFY(!w.listView1.dragEnabled()); // the reorder gesture moves entries, not a drag
    QCOMPARE(w.listView1.editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TestController::dragOverAndDrop_data()
{
    QTest::addColumn<bool>("withUrls");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("file urls") << true << true;
    QTest::newRow("text only") << false << false;
}

void TestController::dragOverAndDrop()
{
    QFETCH(bool, withUrls);
    QFETCH(bool, accepted);
    QTemporaryDir dir;
    const QString file = writeFile(dir.path(), "loose.txt");
    writeFile(dir.path(), "folder/a.htm");
    writeFile(dir.path(), "folder/sub/b.htm");

    Window w;
    QMimeData data;
    if (withUrls)
        data.setUrls({QUrl::fromLocalFile(dir.path() + "/folder"), QUrl::fromLocalFile(file)});
    else
        data.setText(file);
    QCOMPARE(dragAccepted(w.listView1.viewport(), &data), accepted);

    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.listView1.viewport(), &drop);
    QCoreApplication::processEvents();
    if (accepted)
        QCOMPARE(w.list.paths(), (QStringList{dir.path() + "/folder/a.htm",
                                              dir.path() + "/folder/sub/b.htm", file}));
    else
        QCOMPARE(w.list.count(), 0);
}

void TestController::deleteKeyAndDoubleClick()
{
    Window w;
    w.list.addFiles({"/a", "/b", "/c", "/d"});

    w.send(QEvent::MouseButtonPress, 2, Qt::LeftButton);
    w.send(QEvent::MouseButtonRelease, 2, Qt::NoButton);
    QCOMPARE(w.controller.selectedEntry(), 2);
    w.controller.preview().append("shown");
    QTest::keyClick(&w.listView1, Qt::Key_Delete);
    QCOMPARE(w.list.paths(), (QStringList{"/a", "/c", "/d"}));
    QCOMPARE(w.controller.preview().lines(), QStringList{"shown"});

    w.send(QEvent::MouseButtonDblClick, 3, Qt::LeftButton);
    w.send(QEvent::MouseButtonRelease, 3, Qt::NoButton);
    QCOMPARE(w.list.paths(), (QStringList{"/a", "/c"}));
    QVERIFY(w.controller.preview().lines().isEmpty());
}

void TestController::clickPreviews()
{
    QTemporaryDir dir;
    const QString page = writeFile(dir.path(), "p.htm", "<html>\r\n<body>Hi</body>");
    Window w;
    w.list.addFiles({"/none.htm", page});
    QTest::mouseClick(w.listView1.viewport(), Qt::LeftButton, {}, w.centreOf(2));
    QCOMPARE(w.controller.preview().lines(), (QStringList{"<html>", "<body>Hi</body>"}));
    QCOMPARE(w.pointer.current, PointerShape::Default);
}

void TestController::reorderByMouse()
{
    Window w;
    w.list.addFiles({"/a", "/b", "/c"});
    w.send(QEvent::MouseButtonPress, 3, Qt::LeftButton);
    w.send(QEvent::MouseMove, 2, Qt::LeftButton);
    w.send(QEvent::MouseMove, 1, Qt::LeftButton);
    QCOMPARE(w.list.paths(), (QStringList{"/c", "/a", "/b"}));
    QCOMPARE(w.controller.selectedEntry(), 1);
    w.send(QEvent::MouseButtonRelease, 1, Qt::NoButton);
    QVERIFY(!w.controller.gesture().active());
    QCOMPARE(w.listView1.viewport()->cursor().shape(), Qt::ArrowCursor);

    // Moving with the button up moves nothing.
    w.send(QEvent::MouseMove, 3, Qt::NoButton);
    QCOMPARE(w.list.paths(), (QStringList{"/c", "/a", "/b"}));
}

void TestController::clicksThatLeaveNoEntrySelected_data()
{
    QTest::addColumn<int>("selectedBefore");
    QTest::addColumn<int>("clicked"); // 0: below the last entry
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Ctrl+click on the selected entry") << 2 << 2 << int(Qt::ControlModifier);
    QTest::newRow("Ctrl+click on another entry") << 1 << 3 << int(Qt::ControlModifier);
    QTest::newRow("Ctrl+click, nothing selected") << 0 << 1 << int(Qt::ControlModifier);
    QTest::newRow("click below the last entry") << 0 << 0 << int(Qt::NoModifier);
    QTest::newRow("Ctrl+click below the last entry") << 2 << 0 << int(Qt::ControlModifier);
}

void TestController::clicksThatLeaveNoEntrySelected()
{
    QFETCH(int, selectedBefore);
    QFETCH(int, clicked);
    QFETCH(int, modifiers);
    QTemporaryDir dir;
    Window w;
    w.list.addFiles({writeFile(dir.path(), "a.htm", "a"), writeFile(dir.path(), "b.htm", "b"),
                     writeFile(dir.path(), "c.htm", "c")});
    if (selectedBefore > 0)
        w.listView1.setCurrentIndex(w.list.index(selectedBefore - 1));
    w.controller.preview().append("shown before");
    const QPoint at =
        clicked > 0 ? w.centreOf(clicked) : QPoint(10, w.listView1.viewport()->height() - 5);
    QTest::mouseClick(w.listView1.viewport(), Qt::LeftButton, Qt::KeyboardModifiers(modifiers), at);
    QCoreApplication::processEvents();
    QCOMPARE(w.controller.selectedEntry(), 0);
    // No box, no change: the list and the preview stay as they were.
    QVERIFY2(w.reporter.reports.isEmpty(), qPrintable(w.reporter.reports.value(0).description));
    QVERIFY(w.boxes.shown.isEmpty());
    QCOMPARE(w.list.count(), 3);
    QCOMPARE(w.controller.preview().lines(), QStringList{"shown before"});
    QCOMPARE(w.pointer.current, PointerShape::Default);
}

void TestController::keysPreviewTheEntryTheyReach_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("previewed"); // empty: the earlier preview stays
    QTest::newRow("Down") << 1 << int(Qt::Key_Down) << "third line of b";
    QTest::newRow("Up") << 3 << int(Qt::Key_Up) << "third line of b";
    QTest::newRow("End") << 1 << int(Qt::Key_End) << "third line of c";
    QTest::newRow("Home") << 3 << int(Qt::Key_Home) << "third line of a";
    QTest::newRow("Page Down") << 1 << int(Qt::Key_PageDown) << "third line of c";
    QTest::newRow("a typed letter") << 1 << int(Qt::Key_C) << "third line of c";
    QTest::newRow("Up at the first entry") << 1 << int(Qt::Key_Up) << "";
    QTest::newRow("Down at the last entry") << 3 << int(Qt::Key_Down) << "";
    QTest::newRow("Tab") << 2 << int(Qt::Key_Tab) << "";
}

void TestController::keysPreviewTheEntryTheyReach()
{
    QFETCH(int, selected);
    QFETCH(int, key);
    QFETCH(QString, previewed);
    QTemporaryDir dir;
    Window w;
    QStringList paths;
    for (const char* name : {"a", "b", "c"})
        paths << writeFile(dir.path(), QString::fromLatin1(name) + ".htm",
                           QByteArray("<p>\r\n\r\nthird line of ") + name);
    w.list.addFiles(paths);
    w.listView1.setCurrentIndex(w.list.index(selected - 1));
    w.controller.preview().append("shown before");
    w.listView1.setFocus();
    if (key == Qt::Key_C) {
        // The list shows full paths: the whole path of the third entry is typed.
        QTest::keyClicks(&w.listView1, paths.at(2));
    } else {
        QTest::keyClick(&w.listView1, Qt::Key(key));
    }
    if (previewed.isEmpty()) {
        QTest::qWait(50);
        QCOMPARE(w.controller.preview().lines(), QStringList{"shown before"});
    } else {
        QTRY_COMPARE(w.controller.preview().lines().value(2), previewed);
        QCOMPARE(w.controller.preview().lines().size(), 3);
    }
    QVERIFY(w.reporter.reports.isEmpty());
}

void TestController::altArrowsMoveTheSelectedEntry_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<QList<int>>("keys"); // Qt::Key_Up or Qt::Key_Down, each with Alt
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("up") << 3 << QList<int>{Qt::Key_Up} << QStringList{"/a", "/c", "/b", "/d"} << 2;
    QTest::newRow("down") << 1 << QList<int>{Qt::Key_Down} << QStringList{"/b", "/a", "/c", "/d"}
                          << 2;
    QTest::newRow("down twice travels")
        << 2 << QList<int>{Qt::Key_Down, Qt::Key_Down} << QStringList{"/a", "/c", "/d", "/b"} << 4;
    QTest::newRow("up and back") << 2 << QList<int>{Qt::Key_Up, Qt::Key_Down}
                                 << QStringList{"/a", "/b", "/c", "/d"} << 2;
    QTest::newRow("up at the top")
        << 1 << QList<int>{Qt::Key_Up} << QStringList{"/a", "/b", "/c", "/d"} << 1;
    QTest::newRow("down at the bottom")
        << 4 << QList<int>{Qt::Key_Down} << QStringList{"/a", "/b", "/c", "/d"} << 4;
    QTest::newRow("nothing selected")
        << 0 << QList<int>{Qt::Key_Down} << QStringList{"/a", "/b", "/c", "/d"} << 0;
}

void TestController::altArrowsMoveTheSelectedEntry()
{
    QFETCH(int, selected);
    QFETCH(QList<int>, keys);
    QFETCH(QStringList, after);
    QFETCH(int, selectedAfter);
    Window w;
    w.list.addFiles({"/a", "/b", "/c", "/d"});
    if (selected > 0)
        w.listView1.setCurrentIndex(w.list.index(selected - 1));
    for (int key : keys)
        QTest::keyClick(&w.listView1, Qt::Key(key), Qt::AltModifier);
    QCOMPARE(w.list.paths(), after);
    QCOMPARE(w.controller.selectedEntry(), selectedAfter);
    if (selectedAfter != selected) {
        // Picked up as by the drag: a drag that follows carries the same entry on.
        QCOMPARE(w.controller.gesture().dragged(), selectedAfter);
        QCOMPARE(w.listView1.currentIndex().row(), selectedAfter - 1);
    }
}

void TestController::dragCursor_data()
{
    QTest::addColumn<bool>("iconPresent");
    QTest::addColumn<int>("shape");
    QTest::newRow("drag.ico present") << true << int(Qt::BitmapCursor);
    QTest::newRow("drag.ico missing") << false << int(Qt::ArrowCursor);
}

void TestController::dragCursor()
{
    QFETCH(bool, iconPresent);
    QFETCH(int, shape);
    QTemporaryDir dir;
    if (iconPresent) {
        QImage icon(32, 32, QImage::Format_ARGB32);
        icon.fill(Qt::red);
        QVERIFY(icon.save(dir.path() + "/drag.ico", "ICO") ||
                icon.save(dir.path() + "/drag.ico", "PNG"));
    }
    Window w(dir.path());
    w.list.addFiles({"/a", "/b"});
    w.send(QEvent::MouseButtonPress, 1, Qt::LeftButton);
    QCOMPARE(int(w.listView1.viewport()->cursor().shape()), shape);
    QCOMPARE(w.controller.gesture().dragged(), 1);
    w.send(QEvent::MouseButtonRelease, 1, Qt::NoButton);
}

QTEST_MAIN(TestController)
#include "tst_controller.moc"
