// The list model behind the window's file list.

#include "filelist/FileList.h"
#include "filelist/ListTexts.h"
#include "filelist/MainPaths.h"
#include "platform/Failure.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

class TestFileList : public QObject
{
    Q_OBJECT
private slots:
    void modelStaysConsistent();
    void entriesKeepTextAndOrder();
    void bulkAddIsOneInsertion();
    void entryOutsideTheListFails_data();
    void entryOutsideTheListFails();
    void neverEditableNorSorted();
    void isInFileListComparesExactly_data();
    void isInFileListComparesExactly();
};

void TestFileList::modelStaysConsistent()
{
    FileList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    list.AddFile("/a.htm");
    list.addFiles({"/b.htm", "/c.htm", "/d.htm"});
    list.setEntry(2, "/x.htm");
    list.removeEntry(1);
    list.removeEntry(list.count());
    list.addFiles({});
    list.clear();
    list.AddFile("/again.htm");
    QCOMPARE(list.count(), 1);
}

void TestFileList::entriesKeepTextAndOrder()
{
    FileList list;
    // Exactly as added: no clean-up, duplicates kept, no sorting.
    const QStringList added{"/z.htm", "//srv/share//a.htm", "relative name.txt", "/z.htm", ""};
    for (const QString& path : added)
        list.AddFile(path);
    QCOMPARE(list.count(), added.size());
    for (int i = 1; i <= list.count(); ++i) {
        QCOMPARE(list.entry(i), added.at(i - 1));
        QCOMPARE(list.data(list.index(i - 1)).toString(), added.at(i - 1));
    }
    list.removeEntry(2);
    QCOMPARE(list.paths(), (QStringList{"/z.htm", "relative name.txt", "/z.htm", ""}));
    QCOMPARE(list.headerData(0, Qt::Horizontal).toString(), QStringLiteral(" HTML File(s)"));
}

void TestFileList::bulkAddIsOneInsertion()
{
    FileList list;
    list.AddFile("/first.htm");
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    QStringList many;
    for (int i = 0; i < 100000; ++i)
        many.append(QStringLiteral("/tree/f%1.htm").arg(i));
    list.addFiles(many);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 1);
    QCOMPARE(inserted.at(0).at(2).toInt(), 100000);
    QCOMPARE(list.entry(100001), QStringLiteral("/tree/f99999.htm"));
    QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
    list.clear();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(list.count(), 0);
}

void TestFileList::entryOutsideTheListFails_data()
{
    QTest::addColumn<int>("i");
    QTest::newRow("zero") << 0;
    QTest::newRow("past the end") << 3;
    QTest::newRow("negative") << -1;
}

void TestFileList::entryOutsideTheListFails()
{
    QFETCH(int, i);
    FileList list;
    list.addFiles({"/a", "/b"});
    QVERIFY_THROWS_EXCEPTION(Failure, list.entry(i));
    QVERIFY_THROWS_EXCEPTION(Failure, list.setEntry(i, "/c"));
    QVERIFY_THROWS_EXCEPTION(Failure, list.removeEntry(i));
    QCOMPARE(list.paths(), (QStringList{"/a", "/b"}));
}

void TestFileList::neverEditableNorSorted()
{
    FileList list;
    list.addFiles({"/b", "/a"});
    const Qt::ItemFlags flags = list.flags(list.index(0));
    QVERIFY(!(flags & Qt::ItemIsEditable));
    QVERIFY(flags & Qt::ItemIsSelectable);
    QVERIFY(!list.setData(list.index(0), "/edited"));
    list.sort(0);
    QCOMPARE(list.paths(), (QStringList{"/b", "/a"}));
}

void TestFileList::isInFileListComparesExactly_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("found");
    QTest::newRow("first") << "/s/a.htm" << true;
    QTest::newRow("last") << "/s/c.htm" << true;
    QTest::newRow("other case") << "/S/A.htm" << false;
    QTest::newRow("trailing blank") << "/s/a.htm " << false;
    QTest::newRow("absent") << "/s/d.htm" << false;
}

void TestFileList::isInFileListComparesExactly()
{
    QFETCH(QString, path);
    QFETCH(bool, found);
    FileList list;
    list.addFiles({"/s/a.htm", "/s/b.htm", "/s/c.htm"});
    QCOMPARE(Main::IsInFileList(list, path), found);
}

QTEST_GUILESS_MAIN(TestFileList)
#include "tst_filelist.moc"
