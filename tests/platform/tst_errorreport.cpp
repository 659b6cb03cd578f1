#include "platform/Failure.h"
#include "platform/Trap.h"
#include "support/Fakes.h"

#include <QtTest>
#include <cerrno>

namespace {

const QString kRenameFileLabel = QStringLiteral("in Orlesk2021/08/31.Renaming.RenameFile ");
const QString kRunLabel = QStringLiteral("in Orlesk2021/08/31.Form1.PushButton2_Click ");

// Shared routines without a trap of their own: a failure ends them at once.
int innermost(int& reached)
{
    throw Failure::fromErrno(ENOENT);
    ++reached; // never runs
}

int middle(int& reached)
{
    const int value = innermost(reached);
    ++reached; // never runs either: the failure passed straight through
    return value;
}

// A reporter whose own box fails.
class FailingReporter : public ErrorReporter
{
public:
    void reportError(const QString&, int, const QString&) override
    {
        throw Failure(QStringLiteral("box failed"));
    }
};

} // namespace

class ErrorReportTest : public QObject
{
    Q_OBJECT

private slots:
    void reportText_data();
    void reportText();
    void reportTextPieces();
    void resumesWithNextStatementInLoop();
    void failedStatementStoresNothing();
    void propagatesToCallersStatement();
    void libraryExceptionsAreReported();
    void failureInReportPassesToCaller();
    void ignoringFailuresAnswersFalse();
};

void ErrorReportTest::reportText_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("file missing")
        << kRenameFileLabel << 40 << QStringLiteral("No such file or directory")
        << QByteArray("No such file or directory\r\n"
                      "in Orlesk2021/08/31.Renaming.RenameFile at line 40\r\r"
                      "Please email screenshot of this message to support@quenby.example");
    QTest::newRow("folder scan label, big number")
        << QStringLiteral("in Vantry2021/08/31.AddFolder.GetSubDirectories2016 ") << 1234567
        << QStringLiteral("Permission denied")
        << QByteArray("Permission denied\r\n"
                      "in Vantry2021/08/31.AddFolder.GetSubDirectories2016 at line 1234567\r\r"
                      "Please email screenshot of this message to support@quenby.example");
    QTest::newRow("description kept untrimmed")
        << kRunLabel << 0 << QStringLiteral(" Overflow \r\n")
        << QByteArray(" Overflow \r\n\r\n"
                      "in Orlesk2021/08/31.Form1.PushButton2_Click at line 0\r\r"
                      "Please email screenshot of this message to support@quenby.example");
    QTest::newRow("empty description")
        << kRunLabel << 7 << QString()
        << QByteArray("\r\nin Orlesk2021/08/31.Form1.PushButton2_Click at line 7\r\r"
                      "Please email screenshot of this message to support@quenby.example");
    QTest::newRow("non-ASCII description")
        << kRunLabel << 3 << QStringLiteral("Fichier introuvable \u00e9")
        << QByteArray("Fichier introuvable \xc3\xa9\r\n"
                      "in Orlesk2021/08/31.Form1.PushButton2_Click at line 3\r\r"
                      "Please email screenshot of this message to support@quenby.example");
}

void ErrorReportTest::reportText()
{
    QFETCH(QString, label);
    QFETCH(int, line);
    QFETCH(QString, description);
    QFETCH(QByteArray, expected);
    QCOMPARE(errorReportText(label, line, description).toUtf8(), expected);
}

void ErrorReportTest::reportTextPieces()
{
    const QString text = errorReportText(kRenameFileLabel, 12, QStringLiteral("Overflow"));
    // CR LF after the description, and only there.
    QCOMPARE(text.indexOf(QStringLiteral("\r\n")), QStringLiteral("Overflow").size());
    QCOMPARE(text.count(QLatin1Char('\n')), 1);
    // Lone carriage returns before the request: no line feed follows them.
    const qsizetype request = text.indexOf(QStringLiteral("Please email"));
    QVERIFY(request > 0);
    QCOMPARE(text.mid(request - 2, 2), QStringLiteral("\r\r"));
    // Exactly one blank between the procedure name and "at line".
    QVERIFY(text.contains(QStringLiteral("RenameFile at line 12")));
    QVERIFY(!text.contains(QStringLiteral("RenameFile  at")));
    // Nothing after the address.
    QVERIFY(text.endsWith(QStringLiteral("support@quenby.example")));
}

void ErrorReportTest::resumesWithNextStatementInLoop()
{
    RecordingReporter reporter;
    Trap trap(reporter, kRunLabel);
    const int files = 5;
    int afterwards = 0;
    int completed = 0;
    for (int i = 0; i < files; ++i) {
        const bool ok = trap(100, [&] { throw Failure::fromErrno(EACCES); });
        QVERIFY(!ok);
        trap(110, [&] { ++afterwards; });
        ++completed;
    }
    QCOMPARE(completed, files);
    QCOMPARE(afterwards, files);
    QCOMPARE(reporter.reports.size(), files);
    for (const RecordedReport& report : std::as_const(reporter.reports)) {
        QCOMPARE(report.label, kRunLabel);
        QCOMPARE(report.line, 100);
        QCOMPARE(report.description, QStringLiteral("Permission denied"));
    }
}

void ErrorReportTest::failedStatementStoresNothing()
{
    RecordingReporter reporter;
    Trap trap(reporter, kRunLabel);
    int value = 7;
    int sideEffect = 0;
    trap(20, [&] {
        ++sideEffect; // done before the failure: stays done
        value = []() -> int { throw Failure(QStringLiteral("Overflow"), 6); }();
    });
    QCOMPARE(value, 7);
    QCOMPARE(sideEffect, 1);
    QCOMPARE(reporter.reports.size(), 1);
    QCOMPARE(reporter.reports.first().description, QStringLiteral("Overflow"));
}

void ErrorReportTest::propagatesToCallersStatement()
{
    RecordingReporter reporter;
    Trap trap(reporter, kRunLabel);
    int reached = 0;
    int value = -1;
    bool next = false;
    trap(30, [&] { value = 1; });
    trap(40, [&] { value = middle(reached); });
    trap(50, [&] { next = true; });

    QCOMPARE(reached, 0);
    QCOMPARE(value, 1);
    QVERIFY(next);
    QCOMPARE(reporter.reports.size(), 1);
    QCOMPARE(reporter.reports.first().label, kRunLabel);
    QCOMPARE(reporter.reports.first().line, 40);
    QCOMPARE(reporter.reports.first().description, QStringLiteral("No such file or directory"));
}

void ErrorReportTest::libraryExceptionsAreReported()
{
    RecordingReporter reporter;
    Trap trap(reporter, kRunLabel);
    trap(60, [] { throw std::bad_alloc(); });
    trap(70, [] { throw std::length_error("too long"); });
    QCOMPARE(reporter.reports.size(), 2);
    QCOMPARE(reporter.reports.at(0).description, QStringLiteral("Out of memory"));
    QCOMPARE(reporter.reports.at(1).line, 70);
    QCOMPARE(reporter.reports.at(1).description, QStringLiteral("too long"));
}

void ErrorReportTest::failureInReportPassesToCaller()
{
    FailingReporter reporter;
    Trap trap(reporter, kRunLabel);
    QVERIFY_THROWS_EXCEPTION(Failure, trap(80, [] { throw Failure(QStringLiteral("first")); }));
}

void ErrorReportTest::ignoringFailuresAnswersFalse()
{
    QVERIFY(!ignoringFailures([]() -> bool { throw Failure::fromErrno(ENOENT); }));
    QVERIFY(ignoringFailures([] { return true; }));
}

QTEST_GUILESS_MAIN(ErrorReportTest)
#include "tst_errorreport.moc"
