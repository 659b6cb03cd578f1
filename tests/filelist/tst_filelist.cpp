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

QTEST_GUILESS_MAIN(TestFileList)
#include "tst_filelist.moc"
