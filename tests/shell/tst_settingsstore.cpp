// The settings store: where it keeps the values, absent versus empty, values
// that survive the INI format, a store that cannot be read or written, and the
// readers' conversions.

#include "platform/Failure.h"
#include "shell/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

class TestSettingsStore : public QObject
{
    Q_OBJECT
private slots:
    void keepsItsFileBelowTheGivenFolder();
    void absentKeyReadsAsTheDefault();
    void emptyValueIsNotAbsent();
    void valuesComeBackUnchanged_data();
    void valuesComeBackUnchanged();
    void everySaveIsOnDiskWhenItReturns();
    void malformedFileFailsTheReadsAndHealsOnSave();
    void unreadableStoreFailsTheRead();
    void unwritableStoreFailsTheSave();
    void handEditedListReadsAsText();
    void truthValues_data();
    void truthValues();
    void wholeNumbers_data();
    void wholeNumbers();

private:
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
};

void TestSettingsStore::keepsItsFileBelowTheGivenFolder()
{
    QTemporaryDir dir;
    SettingsStore store = SettingsStore::inFolder(dir.path());
    QCOMPARE(store.filePath(), dir.path() + QStringLiteral("/Tessaly/Quenby.conf"));
    store.save(QStringLiteral("Option1"), QStringLiteral("False"));

    QSettings raw(store.filePath(), QSettings::IniFormat);
    QCOMPARE(raw.childGroups(), QStringList{QStringLiteral("Quenby")});
    QCOMPARE(raw.value(QStringLiteral("Quenby/Option1")).toString(), QStringLiteral("False"));

    // The user's own store lives under the organisation and application names.
    QVERIFY(SettingsStore().filePath().endsWith(QStringLiteral("/Tessaly/Quenby.conf")));
}

void TestSettingsStore::absentKeyReadsAsTheDefault()
{
    QTemporaryDir dir;
    SettingsStore store = SettingsStore::inFolder(dir.path());
    QCOMPARE(store.read(QStringLiteral("Text2"), QStringLiteral("%a - %t")),
             QStringLiteral("%a - %t"));
    store.save(QStringLiteral("Text1"), QStringLiteral("/r/"));
    QCOMPARE(store.read(QStringLiteral("Text2"), QStringLiteral("%a - %t")),
             QStringLiteral("%a - %t"));
    // Reading never writes.
    QSettings raw(store.filePath(), QSettings::IniFormat);
    QCOMPARE(raw.allKeys(), QStringList{QStringLiteral("Quenby/Text1")});
}

void TestSettingsStore::emptyValueIsNotAbsent()
{
    QTemporaryDir dir;
    SettingsStore::inFolder(dir.path()).save(QStringLiteral("Text2"), QString());
    SettingsStore::inFolder(dir.path()).save(QStringLiteral("Text1"), QStringLiteral(""));
    // A fresh store, as after a restart.
    SettingsStore store = SettingsStore::inFolder(dir.path());
    const QString text2 = store.read(QStringLiteral("Text2"), QStringLiteral("%a - %t"));
    QVERIFY(text2.isEmpty());
    QCOMPARE(store.read(QStringLiteral("Text1"), QStringLiteral("/home/u/Desktop/")), QString());
}

void TestSettingsStore::valuesComeBackUnchanged_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("pattern") << QStringLiteral("%a - %t");
    QTest::newRow("blanks around") << QStringLiteral("  two blanks  ");
    QTest::newRow("comma") << QStringLiteral("a, b,c");
    QTest::newRow("at sign first") << QStringLiteral("@Variant(x)");
    QTest::newRow("semicolon and hash") << QStringLiteral("x;y #z");
    QTest::newRow("quotes") << QStringLiteral("say \"hi\"");
    QTest::newRow("backslashes") << QStringLiteral("C:\\a\\b\\");
    QTest::newRow("equals and brackets") << QStringLiteral("[Quenby] a=b");
    QTest::newRow("non-Latin") << QStringLiteral("Café ελληνικά 日本語");
    QTest::newRow("snapshot") << QStringLiteral("/opt/q/Samples/a.htm|/opt/q/Samples/b c.htm");
    QTest::newRow("line break") << QStringLiteral("one\r\ntwo");
    QTest::newRow("word True") << QStringLiteral("True");
    QTest::newRow("number") << QStringLiteral("007");
}

void TestSettingsStore::valuesComeBackUnchanged()
{
    QFETCH(QString, value);
    QTemporaryDir dir;
    SettingsStore::inFolder(dir.path()).save(QStringLiteral("Text2"), value);
    QCOMPARE(SettingsStore::inFolder(dir.path()).read(QStringLiteral("Text2"), QStringLiteral("d")),
             value);
}

void TestSettingsStore::everySaveIsOnDiskWhenItReturns()
{
    QTemporaryDir dir;
    SettingsStore store = SettingsStore::inFolder(dir.path());
    for (const char* text : {"a", "ab", "abc"}) {
        store.save(QStringLiteral("Text2"), QLatin1String(text));
        QFile file(store.filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(QByteArray("Text2=") + text + '\n'));
    }
}

void TestSettingsStore::malformedFileFailsTheReadsAndHealsOnSave()
{
    QTemporaryDir dir;
    SettingsStore store = SettingsStore::inFolder(dir.path());
    writeFile(store.filePath(), "[Quenby\nOption1=False\nCombo1Index=2\n");

    try {
        store.read(QStringLiteral("Option1"), QStringLiteral("1"));
        QFAIL("a malformed file was read");
    } catch (const Failure& failure) {
        QVERIFY(failure.description().contains(QStringLiteral("malformed")));
        QVERIFY(failure.description().contains(store.filePath()));
    }
    // Every later read fails alike, also through another store on the same file.
    QVERIFY_THROWS_EXCEPTION(Failure, store.read(QStringLiteral("Combo1Index"), QString()));
    QVERIFY_THROWS_EXCEPTION(Failure, SettingsStore::inFolder(dir.path()).read("Text1", "x"));

    // A save writes a well-formed file again, and reading works from then on.
    store.save(QStringLiteral("Text2"), QStringLiteral("%t"));
    QCOMPARE(store.read(QStringLiteral("Text2"), QString()), QStringLiteral("%t"));
}

void TestSettingsStore::unreadableStoreFailsTheRead()
{
    QTemporaryDir dir;
    SettingsStore store = SettingsStore::inFolder(dir.path());
    QVERIFY(QDir().mkpath(store.filePath())); // a folder where the file should be
    QVERIFY_THROWS_EXCEPTION(Failure, store.read(QStringLiteral("Text1"), QString()));
}

void TestSettingsStore::unwritableStoreFailsTheSave()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("Tessaly")), "a file, not a folder");
    SettingsStore store = SettingsStore::inFolder(dir.path());
    QVERIFY_THROWS_EXCEPTION(Failure, store.save(QStringLiteral("Text1"), QStringLiteral("x")));
}

void TestSettingsStore::handEditedListReadsAsText()
{
    QTemporaryDir dir;
    SettingsStore store = SettingsStore::inFolder(dir.path());
    writeFile(store.filePath(), "[Quenby]\nText2=%a, %t\n");
    QCOMPARE(store.read(QStringLiteral("Text2"), QString()), QStringLiteral("%a, %t"));
}

void TestSettingsStore::truthValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // 1 true, 0 false, -1 type mismatch

    QTest::newRow("True") << "True" << 1;
    QTest::newRow("False") << "False" << 0;
    QTest::newRow("any case") << "tRUE" << 1;
    QTest::newRow("FALSE") << "FALSE" << 0;
    QTest::newRow("default one") << "1" << 1;
    QTest::newRow("default zero") << "0" << 0;
    QTest::newRow("minus one") << "-1" << 1;
    QTest::newRow("zero point zero") << "0.0" << 0;
    QTest::newRow("fraction") << "0.5" << 1;
    QTest::newRow("blanks around") << " True " << 1;
    QTest::newRow("exponent") << "1e-3" << 1;
    QTest::newRow("word") << "abc" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("yes") << "yes" << -1;
    QTest::newRow("two dots") << "1.2.3" << -1;
}

void TestSettingsStore::truthValues()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    if (expected < 0) {
        try {
            SettingsStore::toTruth(text);
            QFAIL("converted");
        } catch (const Failure& failure) {
            QCOMPARE(failure.description(), QStringLiteral("Type mismatch"));
        }
        return;
    }
    QCOMPARE(SettingsStore::toTruth(text), expected == 1);
}

void TestSettingsStore::wholeNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("failure");

    QTest::newRow("two") << "2" << 2 << QString();
    QTest::newRow("half to even down") << "2.5" << 2 << QString();
    QTest::newRow("half to even up") << "3.5" << 4 << QString();
    QTest::newRow("negative half") << "-2.5" << -2 << QString();
    QTest::newRow("below half") << "1.49" << 1 << QString();
    QTest::newRow("minus one") << "-1" << -1 << QString();
    QTest::newRow("blanks") << " 3 " << 3 << QString();
    QTest::newRow("exponent") << "1e2" << 100 << QString();
    QTest::newRow("largest") << "32767" << 32767 << QString();
    QTest::newRow("smallest") << "-32768" << -32768 << QString();
    QTest::newRow("rounds into range") << "-32768.5" << -32768 << QString();
    QTest::newRow("rounds out of range") << "32767.5" << 0 << "Overflow";
    QTest::newRow("too large") << "32768" << 0 << "Overflow";
    QTest::newRow("huge") << "1e300" << 0 << "Overflow";
    QTest::newRow("letters") << "abc" << 0 << "Type mismatch";
    QTest::newRow("empty") << "" << 0 << "Type mismatch";
    QTest::newRow("trailing letter") << "2x" << 0 << "Type mismatch";
    QTest::newRow("word True") << "True" << 0 << "Type mismatch";
}

void TestSettingsStore::wholeNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QFETCH(QString, failure);
    std::optional<int> got;
    QString description;
    try {
        got = SettingsStore::toWhole(text);
    } catch (const Failure& f) {
        description = f.description();
    }
    if (failure.isEmpty()) {
        QVERIFY2(got.has_value(), qPrintable(description));
        QCOMPARE(*got, expected);
    } else {
        QVERIFY(!got.has_value());
        QCOMPARE(description, failure);
    }
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
