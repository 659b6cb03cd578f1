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
