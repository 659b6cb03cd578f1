// The innerText rules checked against the shared conformance cases: each case's
// markup is parsed inside a <div> by the parser helper, and the text of its
// target compared with what a browser gives.

#include "platform/Failure.h"
#include "pagetext/service/HelperPageText.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

// Tier C cases this implementation does not meet, with the reason.
const QHash<int, const char*>& knownFailures()
{
    static const QHash<int, const char*> cases = {};
    return cases;
}

} // namespace

class TestPageTextConformance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_pages =
            std::make_unique<HelperPageText>(QStringLiteral(QUENBY_BIN_DIR "/quenby-pagetext"));
    }

    void innerText_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("tier");
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("expected");
        QFile file(QStringLiteral(QUENBY_TEST_DATA "/cases.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonArray cases = QJsonDocument::fromJson(file.readAll()).array();
        QCOMPARE(cases.size(), 261);
        for (const QJsonValue& value : cases) {
            const QJsonObject c = value.toObject();
            const QString tier = c.value(u"tier").toString();
            if (tier != u"A" && tier != u"B" && tier != u"C")
                continue;
            const int line = c.value(u"line").toInt();
            QTest::addRow("%s line %d: %s", qPrintable(tier), line,
                          qPrintable(c.value(u"msg").toString()))
                << line << tier << c.value(u"html").toString() << c.value(u"expected").toString();
        }
    }

    void innerText()
    {
        QFETCH(int, line);
        QFETCH(QString, tier);
        QFETCH(QString, html);
        QFETCH(QString, expected);
        const QString path = m_dir.filePath(QStringLiteral("case%1.html").arg(line));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(html.toUtf8());
        file.close();

        m_pages->navigateFragment(path);
        int polls = 0;
        while (m_pages->readyState() != PageText::kComplete && polls < 100000)
            ++polls;
        QString text;
        try {
            text = m_pages->bodyText();
        } catch (const Failure& failure) {
            QFAIL(qPrintable(failure.description()));
        }
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        if (const char* why = knownFailures().value(line)) {
            QCOMPARE(tier, QStringLiteral("C"));
            QEXPECT_FAIL("", why, Continue);
        }
        QCOMPARE(text, expected);
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<HelperPageText> m_pages;
};

QTEST_GUILESS_MAIN(TestPageTextConformance)
#include "tst_pagetext_conformance.moc"
