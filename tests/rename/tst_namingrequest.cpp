#include "rename/NamingRequest.h"

#include <QTest>

// The answers as typed become numbers once; what does not convert keeps its
// failure for the statement that uses it.
class TestNamingRequest : public QObject
{
    Q_OBJECT

private slots:
    void wordCount_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("failure");

        QTest::newRow("plain") << "8" << 8 << "";
        QTest::newRow("blanks around") << "  3 " << 3 << "";
        QTest::newRow("half to even") << "2.5" << 2 << "";
        QTest::newRow("exponent") << "1e3" << 1000 << "";
        QTest::newRow("largest") << "2147483647" << 2147483647 << "";
        QTest::newRow("one past the largest") << "2147483648" << 0 << "Overflow";
        QTest::newRow("below the smallest") << "-2147483649" << 0 << "Overflow";
        QTest::newRow("letters") << "eight" << 0 << "Type mismatch";
        QTest::newRow("empty") << "" << 0 << "Type mismatch";
    }

    void wordCount()
    {
        QFETCH(QString, typed);
        QFETCH(int, value);
        QFETCH(QString, failure);

        const NamingRequest request = NamingRequest::fromText(typed);
        QCOMPARE(request.wordCount.converted(), failure.isEmpty());
        if (failure.isEmpty()) {
            QCOMPARE(request.wordCount.value(), value);
            return;
        }
        QCOMPARE(request.wordCount.failure()->description(), failure);
        try {
            request.wordCount.value();
            QFAIL("the failure was not raised");
        } catch (const Failure& raised) {
            QCOMPARE(raised.description(), failure);
        }
    }

    void wordNumbers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("acceptable");
        QTest::addColumn<QString>("entries"); // value, "-" not numeric, "!" failed
        QTest::addColumn<int>("last");        // -1: none
        QTest::addColumn<qint64>("highest");

        QTest::newRow("two") << "10,11" << true << "10 11" << 11 << qint64(11);
        QTest::newRow("blanks in entries") << " 3 , 5" << true << "3 5" << 5 << qint64(5);
        QTest::newRow("last below the first") << "7,2" << true << "7 2" << 2 << qint64(7);
        QTest::newRow("empty piece") << "1,,2" << false << "1 - 2" << 2 << qint64(2);
        QTest::newRow("word") << "1,x" << false << "1 -" << -1 << qint64(1);
        QTest::newRow("last overflows") << "1,3e10" << true << "1 !" << -1 << qint64(1);
        QTest::newRow("first overflows") << "3e10,4" << true << "! 4" << 4 << qint64(4);
        QTest::newRow("nothing") << "" << false << "" << -1 << qint64(1);
        QTest::newRow("blank") << "  " << false << "-" << -1 << qint64(1);
    }

    void wordNumbers()
    {
        QFETCH(QString, typed);
        QFETCH(bool, acceptable);
        QFETCH(QString, entries);
        QFETCH(int, last);
        QFETCH(qint64, highest);

        const NamingRequest request = NamingRequest::forPositions(WordNumbers::fromText(typed));
        const WordNumbers& numbers = request.wordNumbers;
        QCOMPARE(numbers.acceptable(), acceptable);
        QCOMPARE(numbers.isBlank(), typed.trimmed().isEmpty());
        QStringList seen;
        for (const WordNumbers::Entry& entry : numbers.entries()) {
            seen.append(!entry.numeric              ? QStringLiteral("-")
                        : !entry.number.converted() ? QStringLiteral("!")
                                                    : QString::number(entry.number.value()));
        }
        QCOMPARE(seen.join(QLatin1Char(' ')), entries);
        QCOMPARE(numbers.last().value_or(-1), last);
        // The first entry is the count, and a count that failed carries it.
        QCOMPARE(request.wordCount.converted(), numbers.first().converted());
        QCOMPARE(request.highestPosition(), highest);
    }
};

QTEST_GUILESS_MAIN(TestNamingRequest)
#include "tst_namingrequest.moc"
