// Removing, clearing, reordering and previewing the entries of the list.

#include "FileListFakes.h"
#include "filelist/FileList.h"
#include "filelist/ListInteraction.h"
#include "filelist/PreviewList.h"
#include "filelist/ReorderGesture.h"
#include "support/Fakes.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Harness
{
    FileList list;
    PreviewList preview;
    FakePointer pointer;
    ScriptedPump pump;
    RecordingReporter reporter;
    ListInteraction interaction{list, preview, pointer, pump, reporter};
};

} // namespace

class TestListInteraction : public QObject
{
    Q_OBJECT
private slots:
    void removingCommands_data();
    void removingCommands();
    void reorder_data();
    void reorder();
    void reorderForgetsRemovedEntry();
    void scrollThresholds_data();
    void scrollThresholds();
    void preview_data();
    void preview();
    void previewYieldsPerLineAndEndsWhenReplaced();
    void previewModelStaysConsistent();
};

void TestListInteraction::removingCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QStringList>("listAfter");
    QTest::addColumn<bool>("previewKept");
    const QStringList all{"/a", "/b", "/c"};
    QTest::newRow("delete") << "delete" << false << 2 << QStringList{"/a", "/c"} << true;
    QTest::newRow("delete, nothing selected") << "delete" << false << 0 << all << true;
    QTest::newRow("delete while busy") << "delete" << true << 2 << all << true;
    QTest::newRow("double-click") << "double" << false << 3 << QStringList{"/a", "/b"} << false;
    QTest::newRow("double-click, nothing selected") << "double" << false << 0 << all << false;
    QTest::newRow("double-click while busy") << "double" << true << 1 << all << true;
    QTest::newRow("clear") << "clear" << false << 1 << QStringList{} << false;
    QTest::newRow("clear while busy empties only the preview")
        << "clear" << true << 1 << all << false;
}

void TestListInteraction::removingCommands()
{
    QFETCH(QString, command);
    QFETCH(bool, busy);
    QFETCH(int, selected);
    QFETCH(QStringList, listAfter);
    QFETCH(bool, previewKept);
    Harness h;
    h.list.addFiles({"/a", "/b", "/c"});
    h.preview.append("line");
    h.pointer.current = busy ? PointerShape::Busy : PointerShape::Default;
    if (command == "delete")
        h.interaction.deleteKey(selected);
    else if (command == "double")
        h.interaction.doubleClick(selected);
    else
        h.interaction.PushButton3_Click();
    QCOMPARE(h.list.paths(), listAfter);
    QCOMPARE(h.preview.lines().size(), previewKept ? 1 : 0);
    QVERIFY(h.reporter.reports.isEmpty());
}

void TestListInteraction::reorder_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<QList<int>>("hovers");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("draggedAfter");
    QTest::newRow("third of three to the top")
        << QStringList{"/a", "/b", "/c"} << 3 << QList<int>{2, 1} << QStringList{"/c", "/a", "/b"}
        << 1;
    QTest::newRow("first of three to the bottom")
        << QStringList{"/a", "/b", "/c"} << 1 << QList<int>{1, 2, 2, 3}
        << QStringList{"/b", "/c", "/a"} << 3;
    QTest::newRow("a jump of two places swaps those two")
        << QStringList{"/a", "/b", "/c"} << 1 << QList<int>{3} << QStringList{"/c", "/b", "/a"}
        << 3;
    QTest::newRow("same text moves nothing") << QStringList{"/a", "/a", "/b"} << 1 << QList<int>{2}
                                             << QStringList{"/a", "/a", "/b"} << 1;
    QTest::newRow("outside the entries moves nothing")
        << QStringList{"/a", "/b"} << 1 << QList<int>{0, 3} << QStringList{"/a", "/b"} << 1;
    QTest::newRow("nothing clicked moves nothing")
        << QStringList{"/a", "/b"} << 0 << QList<int>{2, 1} << QStringList{"/a", "/b"} << 0;
}

void TestListInteraction::reorder()
{
    QFETCH(QStringList, entries);
    QFETCH(int, clicked);
    QFETCH(QList<int>, hovers);
    QFETCH(QStringList, after);
    QFETCH(int, draggedAfter);
    FileList list;
    list.addFiles(entries);
    ReorderGesture gesture(list);
    gesture.clickEntry(clicked);

    // Without a pressed button nothing moves.
    for (int hovered : hovers)
        QVERIFY(!gesture.move(hovered, 330));
    QCOMPARE(list.paths(), entries);

    gesture.press();
    for (int hovered : hovers) {
        const auto step = gesture.move(hovered, 330);
        if (step) {
            QCOMPARE(step->select, hovered);
            QCOMPARE(step->scrollTo, 0);
        }
    }
    gesture.release();
    QCOMPARE(list.paths(), after);
    QCOMPARE(gesture.dragged(), draggedAfter);
    QVERIFY(!gesture.move(1, 330));
}

void TestListInteraction::reorderForgetsRemovedEntry()
{
    FileList list;
    list.addFiles({"/a", "/b", "/c", "/d"});
    ReorderGesture gesture(list);
    gesture.clickEntry(3);
    list.removeEntry(1); // entries before it move up; it follows
    QCOMPARE(gesture.dragged(), 2);
    list.removeEntry(2); // the dragged entry itself
    QCOMPARE(gesture.dragged(), 0);
    gesture.press();
    QVERIFY(!gesture.move(1, 330));
    QCOMPARE(list.paths(), (QStringList{"/b", "/d"}));
    gesture.clickEntry(2);
    list.clear();
    QCOMPARE(gesture.dragged(), 0);
}

void TestListInteraction::scrollThresholds_data()
{
    QTest::addColumn<int>("screenY");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("hovered");
    QTest::addColumn<int>("scrollTo");
    QTest::newRow("high on the screen, scrolls up") << 304 << 3 << 2 << 1;
    QTest::newRow("high, already the first") << 10 << 2 << 1 << 0;
    QTest::newRow("at 305, no scroll") << 305 << 3 << 2 << 0;
    QTest::newRow("at 364, no scroll") << 364 << 1 << 2 << 0;
    QTest::newRow("low on the screen, scrolls down") << 365 << 1 << 2 << 3;
    QTest::newRow("low, already the last") << 900 << 2 << 3 << 0;
}

void TestListInteraction::scrollThresholds()
{
    QFETCH(int, screenY);
    QFETCH(int, from);
    QFETCH(int, hovered);
    QFETCH(int, scrollTo);
    FileList list;
    list.addFiles({"/a", "/b", "/c"});
    ReorderGesture gesture(list);
    gesture.clickEntry(from);
    gesture.press();
    const auto step = gesture.move(hovered, screenY);
    QVERIFY(step);
    QCOMPARE(step->scrollTo, scrollTo);
}

void TestListInteraction::preview_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("lines");
    QByteArray long250;
    QStringList first100;
    for (int i = 1; i <= 250; ++i) {
        long250 += "line " + QByteArray::number(i) + "\r\n";
        if (i <= 100)
            first100.append(QStringLiteral("line %1").arg(i));
    }
    QTest::newRow("250 lines") << "long.htm" << long250 << first100;
    QTest::newRow("CR LF") << "crlf.htm" << QByteArray("<p>one\r\ntwo\r\nthree")
                           << QStringList{"<p>one", "two", "three"};
    QTest::newRow("CR only is one line")
        << "cr.htm" << QByteArray("one\rtwo\rthree") << QStringList{"onetwothree"};
    QTest::newRow("ends with LF") << "lf.htm" << QByteArray("a\nb\n") << QStringList{"a", "b", ""};
    QTest::newRow("empty file") << "empty.htm" << QByteArray() << QStringList{};
    QTest::newRow("windows-1252") << "w.htm" << QByteArray("caf\xe9 \x80") << QStringList{"café €"};
    QTest::newRow("utf-8") << "u.htm" << QByteArray("caf\xc3\xa9 \xce\xb1")
                           << QStringList{"café α"};
    QTest::newRow("hidden file") << ".hidden.htm" << QByteArray("seen?") << QStringList{};
    QTest::newRow("missing file") << "" << QByteArray() << QStringList{};
}

void TestListInteraction::preview()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    const QString path =
        name.isEmpty() ? dir.path() + "/gone.htm" : writeFile(dir.path(), name, content);
    Harness h;
    h.list.addFiles({"/elsewhere.htm", path});
    h.preview.append("old line");
    h.interaction.ListView1_Click(2);
    QCOMPARE(h.preview.lines(), lines);
    QCOMPARE(h.pointer.current, PointerShape::Default);
    QCOMPARE(h.pointer.history.first(), PointerShape::Busy);
    QVERIFY(h.reporter.reports.isEmpty());
}

void TestListInteraction::previewYieldsPerLineAndEndsWhenReplaced()
{
    QTemporaryDir dir;
    const QString first = writeFile(dir.path(), "first.htm", "1\n2\n3\n4\n5");
    const QString second = writeFile(dir.path(), "second.htm", "x\ny");
    Harness h;
    h.list.addFiles({first, second});

    QList<bool> busyWhileYielding;
    h.pump.onEvents = [&] { busyWhileYielding.append(h.pointer.isBusy()); };
    h.interaction.ListView1_Click(1);
    QCOMPARE(h.pump.calls, 5);
    QVERIFY(!busyWhileYielding.contains(false));
    QCOMPARE(h.preview.lines(), (QStringList{"1", "2", "3", "4", "5"}));

    // A click on the other entry while the first preview fills takes over.
    h.pump.calls = 0;
    bool clicked = false;
    h.pump.onEvents = [&] {
        if (h.pump.calls == 3 && !clicked) {
            clicked = true;
            h.interaction.ListView1_Click(2);
        }
    };
    h.interaction.ListView1_Click(1);
    QCOMPARE(h.preview.lines(), (QStringList{"x", "y"}));
    QCOMPARE(h.pointer.current, PointerShape::Default);

    // An empty list previews nothing and leaves the pointer alone.
    FileList empty;
    PreviewList preview;
    preview.append("kept");
    FakePointer pointer;
    ListInteraction idle(empty, preview, pointer, h.pump, h.reporter);
    idle.ListView1_Click(1);
    QCOMPARE(preview.lines(), QStringList{"kept"});
    QVERIFY(pointer.history.isEmpty());
}

void TestListInteraction::previewModelStaysConsistent()
{
    PreviewList preview;
    QAbstractItemModelTester tester(&preview,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    preview.append("a");
    preview.append("b");
    preview.clear();
    preview.clear();
    preview.append("c");
    QCOMPARE(preview.rowCount(), 1);
    QCOMPARE(preview.headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("HTML Preview (Click on added HTML file above. This is how the file "
                            "appears to me)"));
}

QTEST_GUILESS_MAIN(TestListInteraction)
#include "tst_listinteraction.moc"
