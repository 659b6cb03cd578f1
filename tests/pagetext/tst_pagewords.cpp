#include "pagetext/engine/PageWords.h"

#include <QTest>

// The words of a page's text that a name can be made of, and when the start of
// a page settles them.
class TestPageWords : public QObject
{
    Q_OBJECT

private slots:
    void firstWords_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("words");
        QTest::addColumn<QByteArray>("kept");
        const QByteArray longWord(300, 'w');
        const QByteArray kept256(256, 'w');
        QTest::newRow("words after the last wanted go")
            << QByteArray("a b cc d") << 2 << QByteArray("a b c");
        QTest::newRow("line breaks end words")
            << QByteArray("a\r\nb c") << 2 << QByteArray("a\r\nb c");
        QTest::newRow("an empty last word before more text")
            << QByteArray("a\r\n\r\n  b c") << 2 << QByteArray("a\r\n\rb");
        QTest::newRow("blanks at the end") << QByteArray("a b   ") << 2 << QByteArray("a b ");
        QTest::newRow("leading breaks kept short")
            << QByteArray("\r\n\r\n\r\na") << 1 << QByteArray("\r\na");
        QTest::newRow("only breaks stay text") << QByteArray("\r\n\r\n") << 1 << QByteArray("\r\n");
        QTest::newRow("a long word is cut past a name")
            << longWord + " next" << 2 << kept256 + " next";
        QTest::newRow("nothing kept past an endless last word")
            << longWord + " next" << 1 << kept256 + " n";
        QTest::newRow("multi-byte letters count their bytes")
            << QByteArray("\xc3\xa9").repeated(200) << 1 << QByteArray("\xc3\xa9").repeated(128);
        QTest::newRow("controls do not count")
            << QByteArray(300, '\x01') + "abc" << 1 << QByteArray(300, '\x01') + "abc";
        QTest::newRow("leading dots do not count")
            << QByteArray(300, '.') + "abc" << 1 << QByteArray(300, '.') + "abc";
        QTest::newRow("too many controls are dropped")
            << QByteArray(3000, '\x01') + "abc" << 1 << QByteArray(1024, '\x01') + "abc";
    }

    void firstWords()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, words);
        QFETCH(QByteArray, kept);
        QCOMPARE(QByteArray::fromStdString(PageWords::firstWords(text.toStdString(), words)), kept);
    }

    void settled_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("words");
        QTest::addColumn<bool>("settled");
        const QByteArray filler = QByteArray(200, 'x');
        QTest::newRow("words well before the end") << "a b " + filler << 2 << true;
        QTest::newRow("last word at the end") << "a " + filler << 2 << false;
        QTest::newRow("fewer words than wanted") << filler << 2 << false;
        QTest::newRow("last word past any name") << "a " + QByteArray(400, 'w') << 2 << true;
        QTest::newRow("earlier word past any name, last unseen")
            << "a " + QByteArray(400, 'w') << 3 << false;
        QTest::newRow("word past a name too close to the end")
            << QByteArray(290, 'w') << 1 << false;
    }

    void settled()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, words);
        QFETCH(bool, settled);
        QCOMPARE(PageWords::settled(text.toStdString(), words), settled);
    }
};

QTEST_GUILESS_MAIN(TestPageWords)
#include "tst_pagewords.moc"
