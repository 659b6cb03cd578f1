// The main window offscreen: start-up with and without stored options, the
// failures of single start-up steps, the application title, the draw, the skin
// colours, the hand cursor, the hover rule, the layout and closing.

#include "filelist/FileList.h"
#include "options/OptionsPanel.h"
#include "platform/DesktopShell.h"
#include "platform/Failure.h"
#include "platform/QtRandom.h"
#include "platform/widgets/QtBoxes.h"
#include "platform/widgets/WindowPointer.h"
#include "shell/Form1.h"
#include "shell/ReportError.h"
#include "shell/SettingsStore.h"
#include "support/Fakes.h"
#include "support/Files.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <memory>

namespace {

const QString kDesktop = QStringLiteral("/home/someone/Desktop/");

class FakeShell : public DesktopShell
{
public:
    void openFolder(const QString& path) override { openedFolders.append(path); }
    void openUrl(const QString& url) override { openedUrls.append(url); }
    void startDetached(const QString& program, const QStringList& arguments) override
    {
        started.append(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')));
    }
    QString desktopFolder() const override
    {
        if (noDesktop)
            throw Failure(QStringLiteral("The desktop folder cannot be determined"));
        return kDesktop;
    }
    QStringList openedFolders, openedUrls, started;
    bool noDesktop = false;
};

class ScriptedRandom : public RandomSource
{
public:
    double nextFraction() override
    {
        ++draws;
        return fraction;
    }
    double fraction = 0.5;
    int draws = 0;
};

// A 2x2 cursor file, 32 bits a pixel, with its hot spot at (1, 0).
QByteArray cursorFile()
{
    QByteArray bytes;
    auto u16 = [&](int v) { bytes.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    auto u32 = [&](int v) { u16(v & 0xFFFF), u16((v >> 16) & 0xFFFF); };
    const int imageSize = 40 + 2 * 2 * 4 + 2 * 4; // header, pixels, mask rows of 4 bytes
    u16(0), u16(2), u16(1);                       // reserved, cursor, one image
    bytes.append(char(2)).append(char(2)).append(char(0)).append(char(0));
    u16(1), u16(0), u32(imageSize), u32(6 + 16); // hot spot, size, offset
    u32(40), u32(2), u32(4), u16(1), u16(32), u32(0), u32(0), u32(0), u32(0), u32(0), u32(0);
    for (int i = 0; i < 4; ++i)
        u32(int(0xFF2050A0));
    for (int i = 0; i < 2; ++i)
        u32(0);
    return bytes;
}

struct Window
{
    explicit Window(const QMap<QString, QString>& stored = {})
        : store(SettingsStore::inFolder(dir.path())),
          programFolder(dir.path() + QStringLiteral("/program"))
    {
        QDir().mkpath(programFolder);
        for (auto it = stored.begin(); it != stored.end(); ++it)
            store.save(it.key(), it.value());
    }

    Form1& make()
    {
        Form1Services services;
        services.settings = &store;
        services.boxes = &boxes;
        services.reporter = &reporter;
        services.shell = &shell;
        services.random = &random;
        services.programFolder = programFolder;
        form = std::make_unique<Form1>(services);
        form->setEndProgram([this] { ++endings; });
        return *form;
    }

    Form1& load()
    {
        make().Form_Load();
        return *form;
    }

    QList<int> reportedLines() const
    {
        QList<int> lines;
        for (const RecordedReport& report : reporter.reports) {
            if (report.label != QLatin1String(kLoadLabel))
                return {-1};
            lines.append(report.line);
        }
        return lines;
    }

    OptionsPanel& panel() const { return *form->panel(); }

    QTemporaryDir dir;
    SettingsStore store;
    QString programFolder;
    ScriptedBoxes boxes;
    RecordingReporter reporter;
    FakeShell shell;
    ScriptedRandom random;
    std::unique_ptr<Form1> form;
    int endings = 0;
};

using Stored = QMap<QString, QString>;

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT
private slots:
    void reportBoxIsAWarningTitledApplicationError();
    void firstStartWithAnEmptyStore();
    void restoresTheStoredOptions_data();
    void restoresTheStoredOptions();
    void clearedTextsStayEmptyAfterARestart();
    void malformedStoreStillOpensWithDefaults();
    void unknownDesktopLeavesTheResultsFolderEmpty();
    void applicationTitle_data();
    void applicationTitle();
    void drawOpensTheGuideOnASevenOnly_data();
    void drawOpensTheGuideOnASevenOnly();
    void skinFileTurnsTheBackgroundsToButtonFace_data();
    void skinFileTurnsTheBackgroundsToButtonFace();
    void handCursorFile_data();
    void handCursorFile();
    void shippedPointers_data();
    void shippedPointers();
    void hoverOverEveryButtonKeepsTheHourglass_data();
    void hoverOverEveryButtonKeepsTheHourglass();
    void hoverOverTheAreasShowsTheArrow_data();
    void hoverOverTheAreasShowsTheArrow();
    void captionsAndPlaces_data();
    void captionsAndPlaces();
    void windowFitsTheScreen_data();
    void windowFitsTheScreen();
    void windowOnThisScreen();
    void scaleToFit_data();
    void scaleToFit();
    void framesShowTheWindowsColour_data();
    void framesShowTheWindowsColour();
    void everyControlIsNamed();
    void tabGoesDownEachColumn();
    void keysPressTheFocusedButton_data();
    void keysPressTheFocusedButton();
    void runReadsTheControlsAsTheyStand();
    void generalHelpButton();
    void samplesAreRecordedOnce();
    void closingEndsTheProgramAtOnceWhileBusy();
};

void TestForm1::reportBoxIsAWarningTitledApplicationError()
{
    ScriptedBoxes boxes;
    ReportError report(boxes);
    report.reportError(QStringLiteral("in Orlesk2021/08/31.Form1.Form_Load "), 12,
                       QStringLiteral("Permission denied"));
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text,
             QStringLiteral("Permission denied\r\nin Orlesk2021/08/31.Form1.Form_Load at line 12"
                            "\r\rPlease email screenshot of this message to ") +
                 QLatin1String(kSupportAddress));
    QCOMPARE(boxes.shown[0].title, QStringLiteral("Application Error"));
    QCOMPARE(boxes.shown[0].icon, BoxIcon::Warning);
    QCOMPARE(boxes.shown[0].buttons, BoxButtons::Ok);
}

void TestForm1::firstStartWithAnEmptyStore()
{
    Window w;
    Form1& form = w.load();
    QVERIFY(w.reporter.reports.isEmpty());

    QComboBox* combo = w.panel().combo1();
    QCOMPARE(combo->count(), 4);
    const QStringList items = {
        QStringLiteral("Rename by the first x word(s)"),
        QStringLiteral("Rename by x1, x2, x3 word(s)"),
        QStringLiteral("Rename by n words after x string"),
        QStringLiteral("Rename by n words before x string"),
    };
    for (int i = 0; i < 4; ++i)
        QCOMPARE(combo->itemText(i), items[i]);
    QCOMPARE(combo->currentText(), items[0]);
    QCOMPARE(w.panel().text1()->text(), kDesktop);
    QCOMPARE(w.panel().text2()->text(), QStringLiteral("%a - %t"));
    QVERIFY(w.panel().option1()->isChecked());
    QVERIFY(!w.panel().option2()->isChecked());
    QVERIFY(w.panel().option3()->isChecked());
    QVERIFY(!w.panel().option4()->isChecked());
    QVERIFY(w.panel().frame3()->isEnabled());
    QVERIFY(!w.panel().check1()->isChecked());
    QVERIFY(!w.panel().check1()->isEnabled());

    QCOMPARE(form.windowTitle(), QStringLiteral("Quenby"));
    QCOMPARE(QtBoxes::applicationTitle(), QStringLiteral("Quenby"));
    // Qt appends a display name that was set to every window title ("Input X —
    // Quenby"): it stays unset, following the application name.
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    QVERIFY(!form.windowIcon().isNull());
    QCOMPARE(form.fileList().count(), 0);
    QCOMPARE(form.listView1()->model()->headerData(0, Qt::Horizontal).toString(),
             QStringLiteral(" HTML File(s)"));
    QCOMPARE(form.listView1()->header()->sectionSize(0), 467);
    QCOMPARE(form.listView3()->model()->headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("HTML Preview (Click on added HTML file above. This is how the file "
                            "appears to me)"));
    QCOMPARE(form.listView3()->header()->sectionSize(0), 507);
    QVERIFY(w.shell.openedUrls.isEmpty());
    QCOMPARE(w.random.draws, 1);

    // A restart finds the same state, nothing in the store having been asked for.
    QCOMPARE(w.store.read(QStringLiteral("Text2"), QStringLiteral("absent")),
             QStringLiteral("absent"));
}

void TestForm1::restoresTheStoredOptions_data()
{
    QTest::addColumn<Stored>("stored");
    QTest::addColumn<QList<int>>("reported");
    QTest::addColumn<QString>("checkedOptions"); // e.g. "13": Option1 and Option3
    QTest::addColumn<bool>("frame3Enabled");
    QTest::addColumn<bool>("check1Checked");
    QTest::addColumn<bool>("check1Enabled");
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("text1");
    QTest::addColumn<QString>("text2");

    const QString d = kDesktop, p = QStringLiteral("%a - %t");
    QTest::newRow("metadata mode")
        << Stored{{"Option1", "False"}, {"Option2", "True"}} << QList<int>{} << "23" << false
        << false << false << 0 << d << p;
    QTest::newRow("consider tags, head checked")
        << Stored{{"Option3", "False"}, {"Option4", "True"}, {"Check1", "1"}} << QList<int>{}
        << "14" << true << true << true << 0 << d << p;
    QTest::newRow("head tick kept while ignoring tags")
        << Stored{{"Check1", "1"}} << QList<int>{} << "13" << true << true << false << 0 << d << p;
    QTest::newRow("unchecked") << Stored{{"Option4", "True"}, {"Option3", "False"}, {"Check1", "0"}}
                               << QList<int>{} << "14" << true << false << true << 0 << d << p;
    QTest::newRow("method 2") << Stored{{"Combo1Index", "2"}} << QList<int>{} << "13" << true
                              << false << false << 2 << d << p;
    QTest::newRow("method 2.5 rounds to even") << Stored{{"Combo1Index", "2.5"}} << QList<int>{}
                                               << "13" << true << false << false << 2 << d << p;
    QTest::newRow("no method") << Stored{{"Combo1Index", "-1"}} << QList<int>{} << "13" << true
                               << false << false << -1 << d << p;
    QTest::newRow("method abc fails alone")
        << Stored{{"Combo1Index", "abc"}, {"Text2", "%t"}, {"Option2", "True"}, {"Option1", "0"}}
        << QList<int>{11} << "23" << false << false << false << 0 << d << "%t";
    QTest::newRow("method 4") << Stored{{"Combo1Index", "4"}} << QList<int>{11} << "13" << true
                              << false << false << 0 << d << p;
    QTest::newRow("method -2") << Stored{{"Combo1Index", "-2"}} << QList<int>{11} << "13" << true
                               << false << false << 0 << d << p;
    QTest::newRow("cleared pattern stays empty")
        << Stored{{"Text2", ""}} << QList<int>{} << "13" << true << false << false << 0 << d << "";
    QTest::newRow("cleared folder stays empty")
        << Stored{{"Text1", ""}} << QList<int>{} << "13" << true << false << false << 0 << "" << p;
    QTest::newRow("stored folder") << Stored{{"Text1", "/srv/out/"}} << QList<int>{} << "13" << true
                                   << false << false << 0 << "/srv/out/" << p;
    QTest::newRow("Option1 abc fails alone")
        << Stored{{"Option1", "abc"}, {"Option4", "True"}, {"Option3", "False"}} << QList<int>{14}
        << "14" << true << false << true << 0 << d << p;
    QTest::newRow("both methods clear")
        << Stored{{"Option1", "False"}, {"Option2", "False"}} << QList<int>{} << "3" << true
        << false << false << 0 << d << p;
    QTest::newRow("truth values in any case and as numbers")
        << Stored{{"Option1", "0"}, {"Option2", "tRuE"}, {"Option3", "FALSE"}, {"Option4", "-1"}}
        << QList<int>{} << "24" << false << false << true << 0 << d << p;
    QTest::newRow("check value 2 fails") << Stored{{"Check1", "2"}} << QList<int>{20} << "13"
                                         << true << false << false << 0 << d << p;
}

void TestForm1::restoresTheStoredOptions()
{
    QFETCH(Stored, stored);
    QFETCH(QList<int>, reported);
    QFETCH(QString, checkedOptions);
    QFETCH(bool, frame3Enabled);
    QFETCH(bool, check1Checked);
    QFETCH(bool, check1Enabled);
    QFETCH(int, method);
    QFETCH(QString, text1);
    QFETCH(QString, text2);

    Window w(stored);
    w.load();
    QCOMPARE(w.reportedLines(), reported);
    for (const RecordedReport& report : w.reporter.reports)
        QVERIFY(report.description == QLatin1String("Type mismatch") ||
                report.description == QLatin1String("Invalid property value"));
    const QRadioButton* options[] = {w.panel().option1(), w.panel().option2(), w.panel().option3(),
                                     w.panel().option4()};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(options[i]->isChecked(), checkedOptions.contains(QString::number(i + 1)));
    QCOMPARE(w.panel().frame3()->isEnabled(), frame3Enabled);
    QCOMPARE(w.panel().check1()->isChecked(), check1Checked);
    QCOMPARE(w.panel().check1()->isEnabledTo(w.panel().frame3()), check1Enabled);
    QCOMPARE(w.panel().combo1()->currentIndex(), method);
    QCOMPARE(w.panel().text1()->text(), text1);
    QCOMPARE(w.panel().text2()->text(), text2);
}

void TestForm1::clearedTextsStayEmptyAfterARestart()
{
    Window w;
    w.load();
    for (QLineEdit* box : {w.panel().text1(), w.panel().text2()}) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QVERIFY(box->text().isEmpty());
    }
    w.load(); // the next start, on the same store
    QCOMPARE(w.panel().text1()->text(), QString());
    QCOMPARE(w.panel().text2()->text(), QString());
    QVERIFY(w.reporter.reports.isEmpty());
}

void TestForm1::malformedStoreStillOpensWithDefaults()
{
    Window w;
    writeFile(w.store.filePath(), "[Quenby\nOption1=False\nOption2=True\nText2=%t\n");
    w.load();

    // Every reading step is reported and skipped; the window keeps its designed state.
    QCOMPARE(w.reportedLines(), (QList<int>{4, 5, 11, 12, 13, 14, 15, 16, 17, 20}));
    for (const RecordedReport& report : w.reporter.reports)
        QVERIFY(report.description.contains(QStringLiteral("malformed")));
    QVERIFY(w.panel().option1()->isChecked());
    QVERIFY(w.panel().option3()->isChecked());
    QCOMPARE(w.panel().text2()->text(), QStringLiteral("%a - %t"));
    QCOMPARE(w.panel().combo1()->currentIndex(), 0);
    QCOMPARE(w.form->windowTitle(), QStringLiteral("Quenby"));

    // The first change writes a sound file again.
    w.panel().option2()->click();
    QCOMPARE(w.store.read(QStringLiteral("Option2"), QString()), QStringLiteral("True"));
}

void TestForm1::unknownDesktopLeavesTheResultsFolderEmpty()
{
    Window w(Stored{{"Text1", "/srv/out/"}});
    w.shell.noDesktop = true;
    w.load();
    QCOMPARE(w.reportedLines(), QList<int>{12});
    QCOMPARE(w.reporter.reports[0].description,
             QStringLiteral("The desktop folder cannot be determined"));
    QCOMPARE(w.panel().text1()->text(), QString());
    QCOMPARE(w.panel().text2()->text(), QStringLiteral("%a - %t"));
}

void TestForm1::applicationTitle_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::newRow("one word stays") << "Quenby"
                                    << "Quenby";
    QTest::newRow("short name loses its last word") << "Quenby Renamer"
                                                    << "Quenby";
    QTest::newRow("exactly 40 loses its last word") << "Quenby HTML Renamer For Many Files Today"
                                                    << "Quenby HTML Renamer For Many Files";
    QTest::newRow("41 needs one cut") << "Quenby HTML Renamer For Many Files At Once"
                                      << "Quenby HTML Renamer For Many Files At";
    QTest::newRow("first cut still too long")
        << "Quenby Batch HTML File Renamer By Content And Metadata"
        << "Quenby Batch HTML File Renamer By";
    QTest::newRow("long last word") << "Quenby " + QString(50, u'x') << "Quenby";
    QTest::newRow("two blanks") << "Quenby  Tool"
                                << "Quenby ";
}

void TestForm1::applicationTitle()
{
    QFETCH(QString, name);
    QFETCH(QString, title);
    QCOMPARE(applicationTitleFor(name), title);
    QVERIFY(applicationTitleFor(name).size() <= 40);
}

void TestForm1::drawOpensTheGuideOnASevenOnly_data()
{
    QTest::addColumn<double>("fraction");
    QTest::addColumn<bool>("opens");
    QTest::newRow("1") << 0.0 << false;
    QTest::newRow("6") << 0.0599 << false;
    QTest::newRow("7 low") << 0.06 << true;
    QTest::newRow("7 high") << 0.0699 << true;
    QTest::newRow("8") << 0.07 << false;
    QTest::newRow("100") << 0.9999 << false;
}

void TestForm1::drawOpensTheGuideOnASevenOnly()
{
    QFETCH(double, fraction);
    QFETCH(bool, opens);
    Window w;
    w.random.fraction = fraction;
    w.load();
    QCOMPARE(w.random.draws, 1);
    if (opens) {
        const QString guide =
            QUrl::fromLocalFile(w.programFolder + QStringLiteral("/guide.html")).toString();
        QCOMPARE(w.shell.openedUrls, QStringList{guide});
        QVERIFY(guide.startsWith(QStringLiteral("file:///")));
    } else {
        QVERIFY(w.shell.openedUrls.isEmpty());
    }
    QVERIFY(w.shell.started.isEmpty());
    QVERIFY(w.reporter.reports.isEmpty());
}

void TestForm1::skinFileTurnsTheBackgroundsToButtonFace_data()
{
    QTest::addColumn<bool>("skin");
    QTest::newRow("no skin file") << false;
    QTest::newRow("skin file") << true;
}

void TestForm1::skinFileTurnsTheBackgroundsToButtonFace()
{
    QFETCH(bool, skin);
    Window w;
    if (skin)
        writeFile(w.programFolder + QStringLiteral("/x/o.cjs"), "skin");
    w.load();
    QVERIFY(w.reporter.reports.isEmpty());
    const QColor expected = skin ? QApplication::palette().color(QPalette::Button) : Qt::white;
    QVERIFY(expected != QColor(Qt::white) || !skin);
    const QWidget* painted[] = {w.form.get(),        w.panel().frame1(),  w.panel().frame2(),
                                w.panel().frame3(),  w.panel().option1(), w.panel().option2(),
                                w.panel().option3(), w.panel().option4(), w.panel().check1()};
    for (const QWidget* widget : painted) {
        QVERIFY2(widget->autoFillBackground(), qPrintable(widget->objectName()));
        QCOMPARE(widget->palette().color(widget->backgroundRole()), expected);
    }
    if (skin)
        QCOMPARE(w.panel().label1()->palette().color(QPalette::Window), expected);
}

void TestForm1::handCursorFile_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: no file
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QList<int>>("reported");
    QTest::newRow("no file") << QByteArray() << false << QList<int>{};
    QTest::newRow("cursor file") << cursorFile() << true << QList<int>{};
    QTest::newRow("not a picture") << QByteArray("not a cursor at all") << false << QList<int>{2};
}

void TestForm1::handCursorFile()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, loaded);
    QFETCH(QList<int>, reported);
    Window w;
    if (!file.isEmpty())
        writeFile(w.programFolder + QStringLiteral("/HAND-M.CUR"), file);
    Form1& form = w.load();
    QCOMPARE(w.reportedLines(), reported);
    QCOMPARE(form.hasHandCursor(), loaded);
    if (!loaded)
        return;
    QCOMPARE(form.handCursor().hotSpot(), QPoint(1, 0));
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(form.pushButton(2), &enter);
    QCOMPARE(form.pointer().shape(), PointerShape::Custom);
    QCOMPARE(form.cursor().shape(), Qt::BitmapCursor);
}

void TestForm1::shippedPointers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fingertip"); // the hot spot on the picture's topmost point
    QTest::newRow("hand") << "HAND-M.CUR" << true;
    QTest::newRow("drag") << "drag.ico" << false;
}

void TestForm1::shippedPointers()
{
    QFETCH(QString, name);
    QFETCH(bool, fingertip);
    const QString path = QStringLiteral(QUENBY_SOURCE_DIR "/data/cursors/") + name;
    const QCursor cursor = Form1::loadCursorFile(path);
    const QImage image = cursor.pixmap().toImage();
    QCOMPARE(image.size(), QSize(32, 32));
    // Drawn on a transparent ground, the shape in the middle of the picture.
    QCOMPARE(qAlpha(image.pixel(0, 31)), 0);
    QCOMPARE(qAlpha(image.pixel(31, 31)), 0);
    if (fingertip) {
        const QPoint hot = cursor.hotSpot();
        QCOMPARE(hot.y(), 0);
        QVERIFY(qAlpha(image.pixel(hot)) == 255 || qAlpha(image.pixel(hot + QPoint(-1, 0))) == 255);
        // Started from the program folder, the window shows it over the buttons.
        Window w;
        QVERIFY(QFile::copy(path, w.programFolder + u'/' + name));
        Form1& form = w.load();
        QVERIFY(form.hasHandCursor());
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(form.pushButton(5), &enter);
        QCOMPARE(form.cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(form.cursor().hotSpot(), hot);
    } else {
        // Qt puts an icon's hot spot in its middle: the shape must be there.
        QCOMPARE(qAlpha(QPixmap(path).toImage().pixel(16, 16)), 255);
    }
}

void TestForm1::hoverOverEveryButtonKeepsTheHourglass_data()
{
    QTest::addColumn<int>("button");
    for (int number = 1; number <= 13; ++number)
        QTest::addRow("PushButton%d", number) << number;
}

void TestForm1::hoverOverEveryButtonKeepsTheHourglass()
{
    QFETCH(int, button);
    Window w;
    Form1& form = w.load();
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(form.pushButton(button), &enter);
    QCOMPARE(form.pointer().shape(), PointerShape::Custom);
    // Without a hand cursor file the custom state shows the arrow.
    QCOMPARE(form.cursor().shape(), Qt::ArrowCursor);

    form.pointer().setShape(PointerShape::Busy);
    QCoreApplication::sendEvent(form.pushButton(button), &enter);
    QCOMPARE(form.pointer().shape(), PointerShape::Busy);
    QCOMPARE(form.cursor().shape(), Qt::WaitCursor);
}

void TestForm1::hoverOverTheAreasShowsTheArrow_data()
{
    QTest::addColumn<QString>("area");
    for (const char* name : {"Form1", "Frame1", "Frame2", "Frame3", "ListView1", "ListView3"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestForm1::hoverOverTheAreasShowsTheArrow()
{
    QFETCH(QString, area);
    Window w;
    Form1& form = w.load();
    QWidget* widget = area == QLatin1String("Form1") ? &form : form.findChild<QWidget*>(area);
    QVERIFY(widget);
    if (auto* list = qobject_cast<QTreeView*>(widget))
        widget = list->viewport();

    auto move = [&] {
        QMouseEvent event(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                          Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &event);
    };
    form.pointer().setShape(PointerShape::Custom);
    move();
    QCOMPARE(form.pointer().shape(), PointerShape::Default);
    form.pointer().setShape(PointerShape::Busy);
    move();
    QCOMPARE(form.pointer().shape(), PointerShape::Busy);
}

void TestForm1::captionsAndPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry"); // pixels at 96 dots per inch, in the parent

    QTest::newRow("Help") << "PushButton7"
                          << "Help" << QRect(8, 8, 520, 27);
    QTest::newRow("Add") << "PushButton1"
                         << "Add HTML File(s)" << QRect(8, 389, 256, 27);
    QTest::newRow("Add All") << "PushButton5"
                             << "Add All HTML File(s) In Folder" << QRect(272, 389, 256, 27);
    QTest::newRow("Clear") << "PushButton3"
                           << "Clear List" << QRect(8, 423, 256, 27);
    QTest::newRow("Samples") << "PushButton6"
                             << "Load Sample/Example Files" << QRect(272, 423, 256, 27);
    QTest::newRow("Start") << "PushButton2"
                           << "Start Renaming" << QRect(536, 389, 520, 27);
    QTest::newRow("Browse") << "PushButton4"
                            << "..." << QRect(464, 20, 40, 23);
    QTest::newRow("content help") << "PushButton8"
                                  << "?" << QRect(464, 40, 40, 23);
    QTest::newRow("metadata help") << "PushButton9"
                                   << "?" << QRect(464, 150, 40, 23);
    QTest::newRow("preset 10") << "PushButton10"
                               << "%a - %t" << QRect(128, 182, 80, 27);
    QTest::newRow("preset 13") << "PushButton13"
                               << "%c - %s" << QRect(424, 182, 80, 27);
    QTest::newRow("Frame1") << "Frame1"
                            << "Rename Options" << QRect(536, 102, 520, 219);
    QTest::newRow("Frame2") << "Frame2"
                            << "Save Results To This Folder" << QRect(536, 326, 520, 54);
    QTest::newRow("Frame3") << "Frame3"
                            << "" << QRect(32, 64, 472, 65);
    QTest::newRow("Option1") << "Option1"
                             << "Rename by content" << QRect(16, 20, 249, 17);
    QTest::newRow("Option2") << "Option2"
                             << "Rename by metadata (within tags)" << QRect(16, 133, 249, 17);
    QTest::newRow("Option3") << "Option3"
                             << "Ignore tags and look at text only" << QRect(16, 18, 241, 17);
    QTest::newRow("Option4") << "Option4"
                             << "Consider HTML tags when renaming" << QRect(16, 41, 241, 17);
    QTest::newRow("Check1") << "Check1"
                            << "Include tags before <BODY>" << QRect(272, 42, 185, 15);
    QTest::newRow("Label1") << "Label1"
                            << "Load Sample:" << QRect(32, 188, 77, 15);
    QTest::newRow("Combo1") << "Combo1"
                            << "" << QRect(32, 40, 424, 23);
    QTest::newRow("Text2") << "Text2"
                           << "" << QRect(32, 152, 426, 23);
    QTest::newRow("Text1") << "Text1"
                           << "" << QRect(16, 20, 442, 23);
    QTest::newRow("ListView1") << "ListView1"
                               << "" << QRect(8, 42, 520, 341);
    QTest::newRow("ListView3") << "ListView3"
                               << "" << QRect(536, 8, 520, 90);
    QTest::newRow("ProgressBar1") << "ProgressBar1"
                                  << "Progress Bar" << QRect(536, 423, 520, 27);
}

void TestForm1::captionsAndPlaces()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    Window w;
    Form1& form = w.load();
    QCOMPARE(form.size(), QSize(1064, 457));
    QWidget* widget = form.findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    QString text;
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        text = button->text();
    else if (auto* frame = qobject_cast<QGroupBox*>(widget))
        text = frame->title();
    else if (auto* label = qobject_cast<QLabel*>(widget))
        text = label->text();
    else if (auto* bar = qobject_cast<QProgressBar*>(widget))
        text = bar->text();
    QCOMPARE(text, caption);

    const QFont font = widget->font();
    QCOMPARE(font.family(), QStringLiteral("Arial"));
    QVERIFY(font.bold());
    QCOMPARE(font.pointSizeF(), qobject_cast<QPushButton*>(widget) ? 11.25 : 9.0);
    if (name == QLatin1String("ListView1"))
        QCOMPARE(widget->toolTip(),
                 QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | "
                                "line to right and out of window to reveal full names."));
    if (name == QLatin1String("ListView3"))
        QCOMPARE(widget->toolTip(), QStringLiteral("Preview"));
}

void TestForm1::windowFitsTheScreen_data()
{
    QTest::addColumn<QString>("scaleFactor");
    QTest::addColumn<QSize>("screen"); // device pixels
    QTest::newRow("125 %, 1280 x 800") << "1.25" << QSize(1280, 800);
    QTest::newRow("150 %, 1280 x 800") << "1.5" << QSize(1280, 800);
    QTest::newRow("150 %, 1366 x 768") << "1.5" << QSize(1366, 768);
    QTest::newRow("100 %, 1024 x 600") << "1" << QSize(1024, 600);
    QTest::newRow("100 %, 1920 x 1080, designed size") << "1" << QSize(1920, 1080);
    QTest::newRow("200 %, 3840 x 2160, designed size") << "2" << QSize(3840, 2160);
}

// The scale factor must be set before the application starts, so each screen
// is tried in a process of its own, running windowOnThisScreen.
void TestForm1::windowFitsTheScreen()
{
    QFETCH(QString, scaleFactor);
    QFETCH(QSize, screen);
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    writeFile(config, QStringLiteral(R"({"screens": [{"name": "small", "x": 0, "y": 0,
        "width": %1, "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                          .arg(screen.width())
                          .arg(screen.height())
                          .toUtf8());
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                       QStringLiteral("offscreen:configfile=") + config);
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), scaleFactor);
    environment.insert(QStringLiteral("QUENBY_SCREEN_TEST"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("windowOnThisScreen")});
    QVERIFY(child.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    QVERIFY2(child.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("PASS   : TestForm1::windowOnThisScreen()")),
             qPrintable(output));
}

void TestForm1::windowOnThisScreen()
{
    if (qEnvironmentVariableIsEmpty("QUENBY_SCREEN_TEST"))
        QSKIP("run by windowFitsTheScreen, in a process of its own");
    Window w;
    Form1& form = w.load();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCoreApplication::processEvents();

    const QRect area = form.screen()->availableGeometry();
    const QRect frame = form.frameGeometry();
    QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1x%2+%3+%4 on %5x%6")
                                                  .arg(frame.width())
                                                  .arg(frame.height())
                                                  .arg(frame.x())
                                                  .arg(frame.y())
                                                  .arg(area.width())
                                                  .arg(area.height())));
    // Smaller only when the designed size does not fit, and never wider or
    // taller than the other way round.
    const QSize designed(1064, 457);
    const bool designedFits =
        designed.width() + 40 <= area.width() && designed.height() + 80 <= area.height();
    if (designedFits)
        QCOMPARE(form.size(), designed);
    else
        QVERIFY(form.layoutScale() < 1.0);
    const double ratio = double(form.width()) / form.height();
    QVERIFY(qAbs(ratio - double(designed.width()) / designed.height()) < 0.03);
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));

    // Every control stays inside the window, with its caption whole.
    for (QWidget* child : form.findChildren<QWidget*>()) {
        if (!child->isVisible() || child->isWindow())
            continue;
        const QRect inForm(child->mapTo(&form, QPoint(0, 0)), child->size());
        QVERIFY2(form.rect().contains(inForm), qPrintable(child->objectName()));
        if (auto* option = qobject_cast<QAbstractButton*>(child); option && option->isCheckable()) {
            const int indicator = qMax(
                child->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, child),
                child->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, child));
            QVERIFY2(option->fontMetrics().horizontalAdvance(option->text()) + indicator <=
                         child->width(),
                     qPrintable(child->objectName()));
        }
        // A label's caption may end in the space after its last letter.
        if (auto* label = qobject_cast<QLabel*>(child))
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) - 3 <= child->width(),
                     qPrintable(child->objectName()));
    }
    // The list columns keep their share of the list.
    const double column = form.listView1()->header()->sectionSize(0);
    QVERIFY(qAbs(column / form.listView1()->width() - 467.0 / 520.0) < 0.02);
}

void TestForm1::scaleToFit_data()
{
    QTest::addColumn<QSize>("available");
    QTest::addColumn<double>("scale");
    const QSize designed(1000, 500);
    QTest::newRow("room to spare") << QSize(2000, 2000) << 1.0;
    QTest::newRow("exactly") << QSize(1020, 540) << 1.0;
    QTest::newRow("too narrow") << QSize(520, 2000) << 0.5;
    QTest::newRow("too low") << QSize(2000, 290) << 0.5;
    QTest::newRow("both, height decides") << QSize(820, 290) << 0.5;
    QTest::newRow("no area") << QSize(0, 0) << 1.0;
}

void TestForm1::scaleToFit()
{
    QFETCH(QSize, available);
    QFETCH(double, scale);
    QCOMPARE(Form1::scaleToFit(QSize(1000, 500), QMargins(10, 30, 10, 10), available), scale);
}

void TestForm1::framesShowTheWindowsColour_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<bool>("skin");
    for (const char* frame : {"Frame1", "Frame2", "Frame3"}) {
        QTest::addRow("%s", frame) << frame << false;
        QTest::addRow("%s, skin", frame) << frame << true;
    }
}

void TestForm1::framesShowTheWindowsColour()
{
    QFETCH(QString, frame);
    QFETCH(bool, skin);
    Window w;
    if (skin)
        writeFile(w.programFolder + QStringLiteral("/x/o.cjs"), "skin");
    Form1& form = w.load();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* box = form.findChild<QGroupBox*>(frame);
    QVERIFY(box);
    // Inside the frame, away from its controls and its line, and beside the
    // caption of an option button: one colour, the window's own.
    const QImage inside = box->grab().toImage();
    const QColor windowColour = form.palette().color(QPalette::Window);
    const QPoint spot(inside.width() - 5, inside.height() - 5);
    QCOMPARE(QColor(inside.pixel(spot)), windowColour);
    const QImage option = w.panel().option1()->grab().toImage();
    QCOMPARE(QColor(option.pixel(option.width() - 2, option.height() / 2)), windowColour);
    QCOMPARE(windowColour == QColor(Qt::white), !skin);
}

void TestForm1::everyControlIsNamed()
{
    Window w;
    Form1& form = w.load();
    QSet<QString> names;
    for (QWidget* control : form.findChildren<QWidget*>()) {
        const bool reachable = control->focusPolicy() & Qt::TabFocus;
        const bool placed =
            control->parentWidget() == &form || qobject_cast<QGroupBox*>(control->parentWidget());
        if (!reachable || !placed)
            continue;
        const QString name = control->accessibleName();
        QVERIFY2(name.size() > 3, qPrintable(control->objectName()));
        QVERIFY2(!control->accessibleDescription().isEmpty(), qPrintable(control->objectName()));
        QVERIFY2(!names.contains(name), qPrintable(name));
        names.insert(name);
        // A caption that says something is its own name.
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            if (button->text().size() > 3 && !button->text().contains(u'%'))
                QCOMPARE(name, button->text());
        }
    }
    QCOMPARE(names.size(), 23);
    QCOMPARE(form.pushButton(4)->text(), QStringLiteral("..."));
    QCOMPARE(form.pushButton(8)->text(), QStringLiteral("?"));
}

void TestForm1::tabGoesDownEachColumn()
{
    Window w({{"Option4", "True"}, {"Option3", "False"}}); // every control enabled
    Form1& form = w.load();
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.pushButton(7)->setFocus();
    QList<QWidget*> visited;
    for (int step = 0; step < 60; ++step) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        if (visited.contains(focus))
            break;
        visited.append(focus);
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    // Down the left column, then down the right one.
    const int middle = form.width() / 2;
    int previousTop = -1;
    bool right = false;
    for (QWidget* control : visited) {
        const QRect place(control->mapTo(&form, QPoint(0, 0)), control->size());
        if (!right && place.left() > middle) {
            right = true;
            previousTop = -1;
        }
        QVERIFY2((place.left() > middle) == right, qPrintable(control->objectName()));
        QVERIFY2(place.top() >= previousTop - 2, qPrintable(control->objectName()));
        previousTop = place.top();
    }
    // Every enabled control is reached, the option buttons of a group through
    // the one that is chosen.
    QVERIFY(visited.contains(form.listView1()));
    QVERIFY(visited.contains(form.pushButton(2)));
    QVERIFY(visited.contains(w.panel().check1()));
    QVERIFY(visited.contains(w.panel().text1()));
    QVERIFY(visited.contains(form.pushButton(4)));
    QVERIFY(visited.size() >= 19);
}

void TestForm1::keysPressTheFocusedButton_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

void TestForm1::keysPressTheFocusedButton()
{
    QFETCH(int, key);
    Window w;
    Form1& form = w.load();
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    w.panel().text2()->clear();
    form.pushButton(13)->setFocus();
    QTest::keyClick(form.pushButton(13), Qt::Key(key));
    QTRY_COMPARE(w.panel().text2()->text(), QStringLiteral("%c - %s"));
    // Keys on other controls keep their own meaning.
    w.panel().text1()->setFocus();
    QTest::keyClick(w.panel().text1(), Qt::Key(key));
    QCOMPARE(w.boxes.shown.size(), 0);
}

void TestForm1::runReadsTheControlsAsTheyStand()
{
    Window w;
    Form1& form = w.load();
    const RenameOptions& options = form;
    QCOMPARE(options.renameBy(), RenameBy::Content);
    QCOMPARE(options.tagMode(), TagMode::IgnoreTags);
    QCOMPARE(options.resultsFolder(), kDesktop);

    w.panel().option4()->click();
    w.panel().check1()->click();
    w.panel().combo1()->setCurrentIndex(3);
    w.panel().text1()->setText(QStringLiteral("/tmp/out/"));
    w.panel().pushButton(12)->click();
    QCOMPARE(options.tagMode(), TagMode::ConsiderTags);
    QVERIFY(options.includeTagsBeforeBody());
    QCOMPARE(options.contentMethod(), ContentMethod::WordsBefore);
    QCOMPARE(options.resultsFolder(), QStringLiteral("/tmp/out/"));
    QCOMPARE(options.metaPattern(), QStringLiteral("%c - %t"));

    w.panel().option2()->click();
    QCOMPARE(options.renameBy(), RenameBy::Metadata);
    // The tick counts although the tag options cannot be used in metadata mode.
    QVERIFY(options.includeTagsBeforeBody());
    OptionsPanel::setOptionValue(w.panel().option2(), false);
    QCOMPARE(options.renameBy(), RenameBy::None);

    // What was clicked is in the store for the next start.
    QCOMPARE(w.store.read(QStringLiteral("Combo1Index"), QString()), QStringLiteral("3"));
    QCOMPARE(w.store.read(QStringLiteral("Text2"), QString()), QStringLiteral("%c - %t"));
    QCOMPARE(w.store.read(QStringLiteral("Check1"), QString()), QStringLiteral("1"));
}

void TestForm1::generalHelpButton()
{
    Window w;
    Form1& form = w.load();
    form.pushButton(7)->click();
    QCOMPARE(w.boxes.shown.size(), 1);
    QVERIFY(w.boxes.shown[0].text.startsWith(QStringLiteral("This program will:\r\r")));
    QVERIFY(w.boxes.shown[0].title.isEmpty());
    QCOMPARE(w.boxes.shown[0].icon, BoxIcon::None);
}

void TestForm1::samplesAreRecordedOnce()
{
    Window w;
    const QString samples = w.programFolder + QStringLiteral("/Samples");
    writeFile(samples + QStringLiteral("/one.htm"), "<title>One</title>");
    writeFile(samples + QStringLiteral("/two.htm"), "<title>Two</title>");
    w.load();
    QVERIFY(w.reporter.reports.isEmpty());
    QStringList recorded =
        w.store.read(QStringLiteral("Snapshot"), QString()).split(QLatin1Char('|'));
    recorded.sort();
    QCOMPARE(recorded, (QStringList{samples + QStringLiteral("/one.htm"),
                                    samples + QStringLiteral("/two.htm")}));

    // Recorded once and then kept: a later sample is not taken in.
    writeFile(samples + QStringLiteral("/three.htm"), "<title>Three</title>");
    const QString before = w.store.read(QStringLiteral("Snapshot"), QString());
    w.load();
    QCOMPARE(w.store.read(QStringLiteral("Snapshot"), QString()), before);
}

void TestForm1::closingEndsTheProgramAtOnceWhileBusy()
{
    Window w;
    Form1& form = w.load();
    form.show();
    QVERIFY(form.close());
    QCOMPARE(w.endings, 0);

    form.show();
    form.pointer().setShape(PointerShape::Busy);
    QVERIFY(form.close());
    QCOMPARE(w.endings, 1);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
