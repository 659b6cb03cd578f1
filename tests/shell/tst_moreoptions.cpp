// The "More Options" dialog: each check box applies its option at once and is
// kept by the settings store under a key of its own.

#include "platform/Failure.h"
#include "shell/MoreOptions.h"
#include "shell/SettingsStore.h"

#include <QCheckBox>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Box = QCheckBox* (MoreOptionsDialog::*)() const;
using Flag = bool NameOptions::*;

struct Option
{
    Box box;
    Flag flag;
    const char* key;
};

const Option kOptions[] = {
    {&MoreOptionsDialog::shortenBox, &NameOptions::shorten, MoreOptions::kShortenKey},
    {&MoreOptionsDialog::readHtmlBox, &NameOptions::readHtml, MoreOptions::kReadHtmlKey},
    {&MoreOptionsDialog::windowsSafeBox, &NameOptions::windowsSafe, MoreOptions::kWindowsSafeKey},
};

} // namespace

class MoreOptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void eachBoxItsOwnKey_data();
    void eachBoxItsOwnKey();
    void unreadableValuesReadAsOff();
};

void MoreOptionsTest::eachBoxItsOwnKey_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("caption");
    QTest::newRow("shorten") << 0 << "Shorten names that are too long";
    QTest::newRow("read as a browser") << 1 << "Read metadata as a browser does";
    QTest::newRow("windows-safe") << 2 << "Names safe for Windows";
}

void MoreOptionsTest::eachBoxItsOwnKey()
{
    QFETCH(int, option);
    QFETCH(QString, caption);
    const Option& o = kOptions[option];
    QTemporaryDir dir;
    SettingsStore store = SettingsStore::inFolder(dir.path());
    MoreOptions options(store);
    options.load();
    QCOMPARE(options.values(), NameOptions());

    {
        MoreOptionsDialog dialog(options);
        QCheckBox* box = (dialog.*o.box)();
        QCOMPARE(box->text(), caption);
        QVERIFY(!box->isChecked());
        box->click();
        QVERIFY(options.values().*o.flag);
    }
    // Only this option changed, and the store has it under its key.
    NameOptions expected;
    expected.*o.flag = true;
    QCOMPARE(options.values(), expected);
    QCOMPARE(store.read(QLatin1String(o.key), QString()), QStringLiteral("True"));
    for (const Option& other : kOptions)
        if (other.key != o.key)
            QCOMPARE(store.read(QLatin1String(other.key), QStringLiteral("absent")),
                     QStringLiteral("absent"));

    // A later start reads it back, and the dialog shows it.
    SettingsStore again = SettingsStore::inFolder(dir.path());
    MoreOptions later(again);
    later.load();
    QCOMPARE(later.values(), expected);
    MoreOptionsDialog dialog(later);
    QVERIFY((dialog.*o.box)()->isChecked());
    (dialog.*o.box)()->click();
    QCOMPARE(later.values(), NameOptions());
    QCOMPARE(again.read(QLatin1String(o.key), QString()), QStringLiteral("False"));
}

void MoreOptionsTest::unreadableValuesReadAsOff()
{
    QTemporaryDir dir;
    SettingsStore store = SettingsStore::inFolder(dir.path());
    store.save(QLatin1String(MoreOptions::kShortenKey), QStringLiteral("maybe"));
    store.save(QLatin1String(MoreOptions::kReadHtmlKey), QStringLiteral("1"));
    store.save(QLatin1String(MoreOptions::kWindowsSafeKey), QStringLiteral("true"));
    MoreOptions options(store);
    options.load();
    QVERIFY(!options.values().shorten);
    QVERIFY(options.values().readHtml);
    QVERIFY(options.values().windowsSafe);
}

QTEST_MAIN(MoreOptionsTest)
#include "tst_moreoptions.moc"
