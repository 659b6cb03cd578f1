// The list model behind the window's file list.

#include "filelist/FileList.h"
#include "filelist/ListTexts.h"
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
    void sortByName_data();
    void sortByName();
    void sortIsOneLayoutChangeThatCarriesPersistentEntries();
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
    QVERIFY_THROWS_EXCEPTION(Failure, list.entry(0));
    QVERIFY_THROWS_EXCEPTION(Failure, list.removeEntry(5));
    QVERIFY(!(list.flags(list.index(0)) & Qt::ItemIsEditable));
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

void TestFileList::sortByName_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("numbers by value") << QStringList{"/p10.htm", "/p9.htm", "/p1.htm"}
                                      << QStringList{"/p1.htm", "/p9.htm", "/p10.htm"};
    QTest::newRow("letter case aside") << QStringList{"/b.htm", "/B2.htm", "/a.htm", "/A1.htm"}
                                       << QStringList{"/a.htm", "/A1.htm", "/b.htm", "/B2.htm"};
    QTest::newRow("the file's own name first, then its folder")
        << QStringList{"/z/a.htm", "/a/b.htm", "/y/a.htm"}
        << QStringList{"/y/a.htm", "/z/a.htm", "/a/b.htm"};
    QTest::newRow("duplicates stay side by side")
        << QStringList{"/b.htm", "/a.htm", "/b.htm", "/a.htm"}
        << QStringList{"/a.htm", "/a.htm", "/b.htm", "/b.htm"};
    QTest::newRow("accented letters beside their base letter")
        << QStringList{"/f.htm", QStringLiteral("/\u00e9t\u00e9.htm"), "/e.htm"}
        << QStringList{"/e.htm", QStringLiteral("/\u00e9t\u00e9.htm"), "/f.htm"};
    // A name byte that is not UTF-8 is kept as it is, wherever it sorts.
    const QString byteName = QStringLiteral("/") + QChar(0xDCE9) + QStringLiteral("b.htm");
    QTest::newRow("byte names kept")
        << QStringList{byteName, "/a.htm"} << QStringList{"/a.htm", byteName};
    QTest::newRow("one entry") << QStringList{"/only.htm"} << QStringList{"/only.htm"};
    QTest::newRow("empty") << QStringList{} << QStringList{};
}

void TestFileList::sortByName()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    FileList list;
    list.addFiles(before);
    list.sortByName();
    QCOMPARE(list.paths(), after);
}

void TestFileList::sortIsOneLayoutChangeThatCarriesPersistentEntries()
{
    FileList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QStringList many;
    for (int i = 30000; i > 0; --i)
        many.append(QStringLiteral("/tree/f%1.htm").arg(i));
    list.addFiles(many);
    const QPersistentModelIndex last(list.index(29999));   // "/tree/f1.htm"
    const QPersistentModelIndex middle(list.index(10000)); // "/tree/f20000.htm"
    QSignalSpy layout(&list, &QAbstractItemModel::layoutChanged);
    QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
    list.sortByName();
    QCOMPARE(layout.count(), 1);
    QCOMPARE(reset.count(), 0);
    QCOMPARE(last.row(), 0);
    QCOMPARE(middle.row(), 19999);
    QCOMPARE(list.entry(30000), QStringLiteral("/tree/f30000.htm"));
}

QTEST_GUILESS_MAIN(TestFileList)
#include "tst_filelist.moc"
