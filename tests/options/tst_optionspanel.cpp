// The options panel: what each control saves, the enabling rules, the presets,
// the help texts and the hover rule.

#include "options/HelpTexts.h"
#include "options/HoverCursor.h"
#include "options/OptionsPanel.h"
#include "platform/Failure.h"
#include "platform/KeyValueStore.h"
#include "support/Fakes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWidget>
#include <memory>

using Save = QPair<QString, QString>;

namespace {

class RecordingSettings : public KeyValueStore
{
public:
    QString read(const QString&, const QString& defaultValue) override { return defaultValue; }
    void save(const QString& key, const QString& value) override
    {
        if (refuse)
            throw Failure(QStringLiteral("The settings file cannot be written: /x"));
        saves.append({key, value});
    }
    QList<Save> saves;
    bool refuse = false;
};

struct Panel
{
    Panel()
        : window(std::make_unique<QWidget>()),
          panel(new OptionsPanel(window.get(), settings, boxes, reporter))
    {
        panel->combo1()->addItems(OptionsPanel::contentMethods());
        settings.saves.clear();
    }
    RecordingSettings settings;
    ScriptedBoxes boxes;
    RecordingReporter reporter;
    std::unique_ptr<QWidget> window;
    OptionsPanel* panel;
};

QRadioButton* option(OptionsPanel* panel, int number)
{
    QRadioButton* options[] = {panel->option1(), panel->option2(), panel->option3(),
                               panel->option4()};
    return options[number - 1];
}

} // namespace

class TestOptionsPanel : public QObject
{
    Q_OBJECT
private slots:
    void optionClickSavesItsGroup_data();
    void optionClickSavesItsGroup();
    void checkBoxSavesItsValue();
    void methodChoiceSavesTheIndex();
    void typingSavesEveryKeystroke_data();
    void typingSavesEveryKeystroke();
    void presetReplacesAndSavesThePattern_data();
    void presetReplacesAndSavesThePattern();
    void metadataModeDisablesOnlyTheTagOptions();
    void tagModeEnablesTheHeadBoxAndKeepsItsTick();
    void restoredOptionCanLeaveBothClear();
    void refusedSaveKeepsTheControl();
    void helpTextsByteForByte();
    void helpButtonsShowTheirTexts();
    void contentHelpTakesTheListAtTheClick();
    void hoverRule_data();
    void hoverRule();
};

void TestOptionsPanel::optionClickSavesItsGroup_data()
{
    QTest::addColumn<int>("clicked");
    QTest::addColumn<QList<Save>>("expected");
    QTest::addColumn<bool>("frame3Enabled");
    QTest::addColumn<bool>("check1Enabled");

    const QString t = QStringLiteral("True"), f = QStringLiteral("False");
    QTest::newRow("content") << 1 << QList<Save>{{"Option1", t}, {"Option2", f}} << true << false;
    QTest::newRow("metadata") << 2 << QList<Save>{{"Option1", f}, {"Option2", t}} << false << false;
    QTest::newRow("ignore tags") << 3 << QList<Save>{{"Option3", t}, {"Option4", f}} << true
                                 << false;
    QTest::newRow("consider tags")
        << 4 << QList<Save>{{"Option3", f}, {"Option4", t}} << true << true;
}

void TestOptionsPanel::optionClickSavesItsGroup()
{
    QFETCH(int, clicked);
    QFETCH(QList<Save>, expected);
    QFETCH(bool, frame3Enabled);
    QFETCH(bool, check1Enabled);

    Panel p;
    option(p.panel, clicked)->click();
    QCOMPARE(p.settings.saves, expected);
    QCOMPARE(p.panel->frame3()->isEnabled(), frame3Enabled);
    QCOMPARE(p.panel->check1()->isEnabledTo(p.panel->frame3()), check1Enabled);
}

void TestOptionsPanel::checkBoxSavesItsValue()
{
    Panel p;
    option(p.panel, 4)->click();
    p.settings.saves.clear();
    p.panel->check1()->click();
    p.panel->check1()->click();
    QCOMPARE(p.settings.saves, (QList<Save>{{"Check1", "1"}, {"Check1", "0"}}));
}

void TestOptionsPanel::methodChoiceSavesTheIndex()
{
    Panel p;
    QComboBox* combo = p.panel->combo1();
    QVERIFY(!combo->isEditable());
    QCOMPARE(combo->count(), 4);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentIndex(), 2);
    QCOMPARE(p.settings.saves, (QList<Save>{{"Combo1Index", "1"}, {"Combo1Index", "2"}}));
}

void TestOptionsPanel::typingSavesEveryKeystroke_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("pattern") << QStringLiteral("Text2");
    QTest::newRow("results folder") << QStringLiteral("Text1");
}

void TestOptionsPanel::typingSavesEveryKeystroke()
{
    QFETCH(QString, key);
    Panel p;
    QLineEdit* box = key == QLatin1String("Text1") ? p.panel->text1() : p.panel->text2();
    {
        const QSignalBlocker quiet(box);
        box->clear();
    }
    QTest::keyClicks(box, QStringLiteral("%k %"));
    QCOMPARE(p.settings.saves, (QList<Save>{{key, "%"}, {key, "%k"}, {key, "%k "}, {key, "%k %"}}));
    QTest::keyClick(box, Qt::Key_G);
    QCOMPARE(p.settings.saves.size(), 5);
    QCOMPARE(p.settings.saves.last(), Save(key, "%k %g"));

    // Clearing is a change like any other: the empty text is saved.
    box->clear();
    QCOMPARE(p.settings.saves.last(), Save(key, QString()));
}

void TestOptionsPanel::presetReplacesAndSavesThePattern_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("10") << 10 << QStringLiteral("%a - %t");
    QTest::newRow("11") << 11 << QStringLiteral("%a - %s");
    QTest::newRow("12") << 12 << QStringLiteral("%c - %t");
    QTest::newRow("13") << 13 << QStringLiteral("%c - %s");
}

void TestOptionsPanel::presetReplacesAndSavesThePattern()
{
    QFETCH(int, button);
    QFETCH(QString, pattern);
    Panel p;
    p.panel->text2()->setText(QStringLiteral("%k - anything else %t"));
    p.settings.saves.clear();

    QCOMPARE(p.panel->pushButton(button)->text(), pattern);
    p.panel->pushButton(button)->click();
    QCOMPARE(p.panel->text2()->text(), pattern);
    QCOMPARE(p.settings.saves, (QList<Save>{{"Text2", pattern}}));
    QVERIFY(p.reporter.reports.isEmpty());
    // A preset does not choose renaming by metadata.
    QVERIFY(p.panel->option1()->isChecked());
    QVERIFY(!p.panel->option2()->isChecked());
}

void TestOptionsPanel::metadataModeDisablesOnlyTheTagOptions()
{
    Panel p;
    option(p.panel, 4)->click();
    p.panel->check1()->click();
    option(p.panel, 2)->click();

    for (QWidget* tagOption :
         {static_cast<QWidget*>(p.panel->option3()), static_cast<QWidget*>(p.panel->option4()),
          static_cast<QWidget*>(p.panel->check1())})
        QVERIFY(!tagOption->isEnabled());
    for (QWidget* usable :
         {static_cast<QWidget*>(p.panel->combo1()), static_cast<QWidget*>(p.panel->pushButton(8)),
          static_cast<QWidget*>(p.panel->text2()), static_cast<QWidget*>(p.panel->pushButton(9)),
          static_cast<QWidget*>(p.panel->pushButton(10)), static_cast<QWidget*>(p.panel->text1())})
        QVERIFY(usable->isEnabled());

    option(p.panel, 1)->click();
    QVERIFY(p.panel->option4()->isEnabled());
    QVERIFY(p.panel->option4()->isChecked());
    QVERIFY(p.panel->check1()->isEnabled());
    QVERIFY(p.panel->check1()->isChecked());
}

void TestOptionsPanel::tagModeEnablesTheHeadBoxAndKeepsItsTick()
{
    Panel p;
    option(p.panel, 4)->click();
    p.panel->check1()->click();
    option(p.panel, 3)->click();
    QVERIFY(!p.panel->check1()->isEnabled());
    QVERIFY(p.panel->check1()->isChecked());
    QCOMPARE(p.panel->check1Value(), 1);
    QCOMPARE(p.settings.saves.last(), Save("Option4", "False"));
    QVERIFY(p.settings.saves.contains(Save("Check1", "1")));
}

void TestOptionsPanel::restoredOptionCanLeaveBothClear()
{
    Panel p;
    OptionsPanel::setOptionValue(p.panel->option1(), false);
    OptionsPanel::setOptionValue(p.panel->option2(), false);
    QVERIFY(!p.panel->option1()->isChecked());
    QVERIFY(!p.panel->option2()->isChecked());
    // With neither selected the rule leaves the frame as it was.
    p.panel->frame3()->setEnabled(false);
    p.panel->applyMethodRule();
    QVERIFY(!p.panel->frame3()->isEnabled());

    // True selects the button and clears its partner; the group is exclusive again.
    OptionsPanel::setOptionValue(p.panel->option2(), true);
    OptionsPanel::setOptionValue(p.panel->option1(), true);
    QVERIFY(p.panel->option1()->isChecked());
    QVERIFY(!p.panel->option2()->isChecked());
    p.panel->option2()->click();
    QVERIFY(!p.panel->option1()->isChecked());
    QCOMPARE(p.settings.saves.last(), Save("Option2", "True"));

    QVERIFY_THROWS_EXCEPTION(Failure, p.panel->setCheck1Value(2));
}

void TestOptionsPanel::refusedSaveKeepsTheControl()
{
    Panel p;
    p.settings.refuse = true;
    option(p.panel, 2)->click();
    QTest::keyClicks(p.panel->text2(), QStringLiteral("ab"));
    QVERIFY(p.panel->option2()->isChecked());
    QVERIFY(!p.panel->frame3()->isEnabled());
    QCOMPARE(p.panel->text2()->text(), QStringLiteral("%a - %tab"));
    QVERIFY(p.reporter.reports.isEmpty());
    QVERIFY(p.boxes.shown.isEmpty());
}

void TestOptionsPanel::helpTextsByteForByte()
{
    QCOMPARE(HelpTexts::general(),
             QStringLiteral("This program will:\r\rread text from a HTML. This text is usually "
                            "typed into the HTML using the keyboard.\r\rThis program will not:\r\r"
                            "read text that is inside an image. Even though the image is "
                            "embedded within a HTML file, it is still an image and "
                            "\"unreadable\"."));
    QVERIFY(!HelpTexts::general().contains(QLatin1Char('\n')));

    QCOMPARE(HelpTexts::content(QStringLiteral("A"), QStringLiteral("B")),
             QStringLiteral("Rename by content:\r\n\r\nA - if you enter 5, this software will "
                            "rename each file by the first 5 words found on the first page."
                            "\r\n\r\nB - if you enter 11, 12, 13 then the 11th, 12th and 13th "
                            "word in the first page will be used to rename the file."));

    QCOMPARE(HelpTexts::metadata(),
             QStringLiteral("Rename by metadata:\r\n\r\n%a - Author\r\n%t - Title\r\n"
                            "%s - Subject\r\n%c - Creator\r\n%p - Producer\r\n%k - Keywords\r\n"
                            "%d - Date Created\r\n%m - Date Modified"));
}

void TestOptionsPanel::helpButtonsShowTheirTexts()
{
    Panel p;
    p.panel->pushButton(8)->click();
    p.panel->pushButton(9)->click();
    QCOMPARE(p.boxes.shown.size(), 2);
    QCOMPARE(p.boxes.shown[0].text,
             HelpTexts::content(QStringLiteral("Rename by the first x word(s)"),
                                QStringLiteral("Rename by x1, x2, x3 word(s)")));
    QCOMPARE(p.boxes.shown[1].text, HelpTexts::metadata());
    for (const ShownBox& box : p.boxes.shown) {
        QVERIFY(box.title.isEmpty()); // the application title
        QCOMPARE(box.icon, BoxIcon::None);
        QCOMPARE(box.buttons, BoxButtons::Ok);
    }
    QVERIFY(p.settings.saves.isEmpty());
}

void TestOptionsPanel::contentHelpTakesTheListAtTheClick()
{
    Panel p;
    p.panel->combo1()->setItemText(0, QStringLiteral("First"));
    p.panel->combo1()->setItemText(1, QStringLiteral("Second"));
    p.panel->pushButton(8)->click();
    QCOMPARE(p.boxes.shown.size(), 1);
    QVERIFY(p.boxes.shown[0].text.contains(QStringLiteral("\r\n\r\nFirst - if you enter 5")));
    QVERIFY(p.boxes.shown[0].text.contains(QStringLiteral("\r\n\r\nSecond - if you enter 11")));
}

void TestOptionsPanel::hoverRule_data()
{
    QTest::addColumn<bool>("overButton");
    QTest::addColumn<PointerShape>("before");
    QTest::addColumn<PointerShape>("after");
    QTest::newRow("button shows the hand") << true << PointerShape::Default << PointerShape::Custom;
    QTest::newRow("frame shows the arrow")
        << false << PointerShape::Custom << PointerShape::Default;
    QTest::newRow("button keeps the hourglass") << true << PointerShape::Busy << PointerShape::Busy;
    QTest::newRow("frame keeps the hourglass") << false << PointerShape::Busy << PointerShape::Busy;
}

void TestOptionsPanel::hoverRule()
{
    QFETCH(bool, overButton);
    QFETCH(PointerShape, before);
    QFETCH(PointerShape, after);

    Panel p;
    FakePointer pointer;
    HoverCursor hover(pointer);
    hover.watchButton(p.panel->pushButton(11));
    hover.watchArea(p.panel->frame1());
    pointer.current = before;

    if (overButton) {
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(p.panel->pushButton(11), &enter);
    } else {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(p.panel->frame1(), &move);
    }
    QCOMPARE(pointer.current, after);
}

QTEST_MAIN(TestOptionsPanel)
#include "tst_optionspanel.moc"
