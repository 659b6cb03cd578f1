// Every input that once made a fuzz target fail, replayed through the target's
// body: tests/fuzz/data/TARGET/ holds them. A body aborts on a broken promise,
// so a returning call is the pass.

#include "FuzzBodies.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>
#include <functional>
#include <map>

namespace {

const std::map<QString, std::function<void(std::string_view)>>& bodies()
{
    static const std::map<QString, std::function<void(std::string_view)>> table{
        {QStringLiteral("encoding"), &FuzzBodies::encoding},
        {QStringLiteral("pagetext"), [](std::string_view in) { FuzzBodies::pageText(in, false); }},
        {QStringLiteral("pagetext_guarded"),
         [](std::string_view in) { FuzzBodies::pageText(in, true); }},
        {QStringLiteral("fasttext"), &FuzzBodies::fastText},
        {QStringLiteral("stylerules"), &FuzzBodies::styleRules},
        {QStringLiteral("names"), &FuzzBodies::names},
        {QStringLiteral("metadata"), &FuzzBodies::metadata},
    };
    return table;
}

} // namespace

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("path");
        QDirIterator it(QStringLiteral(QUENBY_TEST_DATA), QDir::Files,
                        QDirIterator::Subdirectories);
        int rows = 0;
        while (it.hasNext()) {
            const QString path = it.next();
            const QString target = QFileInfo(path).dir().dirName();
            if (target == QLatin1String("data"))
                continue; // notes beside the folders
            QTest::newRow(qPrintable(target + u'/' + it.fileName())) << target << path;
            ++rows;
        }
        if (rows == 0)
            QSKIP("no kept fuzz inputs");
    }

    void replay()
    {
        QFETCH(QString, target);
        QFETCH(QString, path);
        const auto body = bodies().find(target);
        QVERIFY2(body != bodies().end(), qPrintable(QStringLiteral("no fuzz target ") + target));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        body->second(std::string_view(bytes.constData(), size_t(bytes.size())));
    }
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
