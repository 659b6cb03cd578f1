// The real window offscreen, driven as a user would: options chosen in the
// panel, a results folder typed, two files in the list, "Start Renaming"
// pressed, the prompts answered, and the renamed copies looked for on disk.

#include "filelist/FileList.h"
#include "options/OptionsPanel.h"
#include "platform/DesktopShell.h"
#include "platform/FileSystem.h"
#include "platform/QtRandom.h"
#include "pagetext/service/HelperPageText.h"
#include "rename/RenameRun.h"
#include "preview/PreviewModel.h"
#include "preview/PreviewWindow.h"
#include "shell/Form1.h"
#include "shell/ListMenu.h"
#include "shell/MoreOptions.h"
#include "shell/PreviewAndUndo.h"
#include "shell/SettingsStore.h"
#include "support/Fakes.h"
#include "support/Files.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

class QuietShell : public DesktopShell
{
public:
    void openFolder(const QString&) override {}
    void openUrl(const QString&) override {}
    void startDetached(const QString&, const QStringList&) override {}
    QString desktopFolder() const override { return QStringLiteral("/nowhere/Desktop/"); }
};

class NoSeven : public RandomSource
{
public:
    double nextFraction() override { return 0.5; }
};

struct Session
{
    explicit Session(EventPump* pump = nullptr)
        : store(SettingsStore::inFolder(dir.filePath(QStringLiteral("config")))),
          pageText(QStringLiteral(QUENBY_BIN_DIR "/quenby-pagetext"), 1)
    {
        QDir(dir.path()).mkpath(QStringLiteral("pages"));
        QDir(dir.path()).mkpath(QStringLiteral("program"));
        QDir(dir.path()).mkpath(QStringLiteral("out"));
        // Each session keeps its own record of runs.
        qputenv("XDG_STATE_HOME", FileSystem::nativePath(dir.filePath(QStringLiteral("state"))));
        writeFile(page(1), "<html><head><title>First Title</title></head>\n"
                           "<body><p>Alpha beta gamma delta</p></body></html>\n");
        writeFile(page(2), "<html><head><title>Second Title</title></head>\n"
                           "<body><h1>Omega</h1><p>psi chi</p></body></html>\n");
        Form1Services services;
        services.settings = &store;
        services.boxes = &boxes;
        services.reporter = &reporter;
        services.shell = &shell;
        services.random = &random;
        services.pageText = &pageText;
        services.pump = pump;
        services.programFolder = dir.filePath(QStringLiteral("program"));
        form = std::make_unique<Form1>(services);
        form->Form_Load();
        form->show();
    }

    QString page(int n) const { return dir.filePath(QStringLiteral("pages/page%1.htm").arg(n)); }
    QString out() const { return dir.filePath(QStringLiteral("out")); }
    OptionsPanel& panel() const { return *form->panel(); }

    void typeResultsFolder()
    {
        QLineEdit* text1 = panel().text1();
        text1->selectAll();
        QTest::keyClick(text1, Qt::Key_Delete);
        QTest::keyClicks(text1, out() + QLatin1Char('/'));
    }

    void choose(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {},
                          button->rect().topLeft() + QPoint(6, button->height() / 2));
    }

    void pressStart() { QTest::mouseClick(form->pushButton(2), Qt::LeftButton); }

    QStringList copies() const
    {
        return QDir(out()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir;
    SettingsStore store;
    HelperPageText pageText;
    ScriptedBoxes boxes;
    RecordingReporter reporter;
    QuietShell shell;
    NoSeven random;
    std::unique_ptr<Form1> form;
};

} // namespace

class TestRenameFromWindow : public QObject
{
    Q_OBJECT
private slots:
    void renamesTwoFilesFromTheWindow_data();
    void renamesTwoFilesFromTheWindow();
    void panelChangesDuringTheRunReachTheLaterFiles();
    void emptyListAndMissingFolder();
    void undoFromTheWindow_data();
    void undoFromTheWindow();
    void aRunWithoutItsJournal();
    void previewStartsFromTheLastAnswers();
    void moreOptionsFromTheListMenu();
};

void TestRenameFromWindow::renamesTwoFilesFromTheWindow_data()
{
    QTest::addColumn<int>("option");    // 1 content, 2 metadata
    QTest::addColumn<int>("tagOption"); // 3 ignore tags, 4 consider tags
    QTest::addColumn<int>("method");
    QTest::addColumn<int>("preset"); // 0: none
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("prompts");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("first two words of the page text")
        << 1 << 3 << 0 << 0 << QStringList{"2"} << QStringList{"Enter X"}
        << QStringList{"Alpha beta.htm", "Omega.htm"}; // a heading ends in a blank line
    QTest::newRow("words at positions of the page text")
        << 1 << 3 << 1 << 0 << QStringList{"x", "1, 3"}
        << QStringList{"Please enter word numbers (for example 10, 11 will use the tenth and "
                       "eleventh word on the first page):",
                       "Please enter word numbers (for example 10, 11 will use the tenth and "
                       "eleventh word on the first page):"}
        << QStringList{"Alpha gamma.htm", "Omega psi.htm"};
    QTest::newRow("word after a string in the source")
        << 1 << 4 << 2 << 0 << QStringList{"<p>", "1"}
        << QStringList{"Enter string to search for:", "Enter number of words to get:"}
        << QStringList{"Alpha.htm", "psi.htm"};
    QTest::newRow("title by metadata") << 2 << 3 << 0 << 10 << QStringList{} << QStringList{}
                                       << QStringList{"First Title.htm", "Second Title.htm"};
}

void TestRenameFromWindow::renamesTwoFilesFromTheWindow()
{
    QFETCH(int, option);
    QFETCH(int, tagOption);
    QFETCH(int, method);
    QFETCH(int, preset);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, prompts);
    QFETCH(QStringList, expected);

    Session s;
    QRadioButton* options[] = {nullptr, s.panel().option1(), s.panel().option2(),
                               s.panel().option3(), s.panel().option4()};
    s.choose(options[tagOption]);
    s.choose(options[option]);
    s.panel().combo1()->setFocus();
    for (int i = 0; i < method; ++i)
        QTest::keyClick(s.panel().combo1(), Qt::Key_Down);
    if (preset) {
        s.panel().text2()->setText(QStringLiteral("%k"));
        QTest::mouseClick(s.panel().pushButton(preset), Qt::LeftButton);
    }
    s.typeResultsFolder();
    s.form->fileList().AddFile(s.page(1));
    s.form->fileList().AddFile(s.page(2));
    s.boxes.answers = answers;

    s.pressStart();

    QStringList asked;
    for (const AskedInput& input : s.boxes.asked)
        asked.append(input.prompt);
    QCOMPARE(asked, prompts);
    QVERIFY(!s.boxes.shown.isEmpty());
    QCOMPARE(s.boxes.shown.last().text, QStringLiteral("Done."));
    QVERIFY(s.reporter.reports.isEmpty());
    QCOMPARE(s.copies(), expected);
    QVERIFY(!s.form->renameRun().busy());
    QCOMPARE(s.form->pointer().shape(), PointerShape::Default);

    // What was chosen is what the next start restores.
    QCOMPARE(s.store.read(QStringLiteral("Text1"), QString()), s.out() + QLatin1Char('/'));
    QCOMPARE(s.store.read(QStringLiteral("Combo1Index"), QStringLiteral("absent")),
             method ? QString::number(method) : QStringLiteral("absent"));
}

void TestRenameFromWindow::panelChangesDuringTheRunReachTheLaterFiles()
{
    ScriptedPump pump;
    Session s(&pump);
    s.choose(s.panel().option4()); // consider tags: one pause per file, no page text wait
    s.choose(s.panel().option2());
    QTest::mouseClick(s.panel().pushButton(10), Qt::LeftButton);
    s.panel().text2()->setText(QStringLiteral("%t"));
    s.typeResultsFolder();
    s.form->fileList().AddFile(s.page(1));
    s.form->fileList().AddFile(s.page(2));

    QList<PointerShape> duringRun;
    pump.onEvents = [&] {
        if (pump.calls != 2)
            return;
        // Between the two files: the hourglass stays over a button, and the
        // pattern typed now is used for the second file.
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(s.panel().pushButton(11), &enter);
        duringRun.append(s.form->pointer().shape());
        s.panel().text2()->selectAll();
        QTest::keyClicks(s.panel().text2(), QStringLiteral("%t - %t"));
    };
    s.pressStart();

    QCOMPARE(duringRun, QList<PointerShape>{PointerShape::Busy});
    QCOMPARE(s.copies(), (QStringList{"First Title.htm", "Second Title - Second Title.htm"}));
    QCOMPARE(s.store.read(QStringLiteral("Text2"), QString()), QStringLiteral("%t - %t"));
}

void TestRenameFromWindow::emptyListAndMissingFolder()
{
    Session s;
    s.pressStart();
    QCOMPARE(s.boxes.shown.size(), 1);
    QCOMPARE(s.boxes.shown[0].text, QStringLiteral("No files added."));
    s.form->fileList().AddFile(s.page(1));
    s.panel().text1()->setText(s.dir.filePath(QStringLiteral("missing")));
    s.pressStart();
    QCOMPARE(s.boxes.shown.size(), 2);
    QCOMPARE(s.boxes.shown[1].text,
             QStringLiteral("Folder does not exist. Please select another folder."));
    QVERIFY(s.copies().isEmpty());
}

void TestRenameFromWindow::undoFromTheWindow_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("changeOne");
    QTest::addColumn<QString>("asked"); // in the question
    QTest::newRow("confirmed") << true << false << "removes 2 copies";
    QTest::newRow("declined") << false << false << "removes 2 copies";
    QTest::newRow("a copy changed since") << true << true << "removes 1 copy";
}

void TestRenameFromWindow::undoFromTheWindow()
{
    QFETCH(bool, confirm);
    QFETCH(bool, changeOne);
    QFETCH(QString, asked);

    Session s;
    s.choose(s.panel().option4());
    s.choose(s.panel().option1());
    s.typeResultsFolder();
    s.form->fileList().AddFile(s.page(1));
    s.form->fileList().AddFile(s.page(2));
    s.boxes.answers = {QStringLiteral("1")};
    s.pressStart();
    const QStringList made = s.copies();
    QCOMPARE(made.size(), 2);
    QStringList left = confirm ? QStringList() : made;
    if (changeOne) {
        QFile changed(s.out() + QLatin1Char('/') + made.first());
        QVERIFY(changed.open(QIODevice::Append));
        QCOMPARE(changed.write("changed"), 7);
        left = QStringList{made.first()};
    }

    QAction* undo = s.form->listMenu().action(ListMenu::Place::UndoLastRun);
    QVERIFY(undo);
    s.boxes.shown.clear();
    s.boxes.yesNoAnswers = {confirm ? BoxAnswer::Yes : BoxAnswer::No};
    undo->trigger();
    QVERIFY(!s.boxes.shown.isEmpty());
    QCOMPARE(s.boxes.shown.first().buttons, BoxButtons::YesNo);
    QVERIFY2(s.boxes.shown.first().text.contains(asked), qPrintable(s.boxes.shown.first().text));
    if (changeOne)
        QVERIFY(s.boxes.shown.first().text.contains(made.first()));
    QCOMPARE(s.copies(), left);
    QCOMPARE(s.boxes.shown.size(), confirm ? 2 : 1); // the report after a confirmed undo
    QVERIFY(QFile::exists(s.page(1)) && QFile::exists(s.page(2)));

    // A second undo takes nothing more, and says why.
    s.boxes.shown.clear();
    s.boxes.yesNoAnswers = {BoxAnswer::No};
    undo->trigger();
    QCOMPARE(s.copies(), left);
    QCOMPARE(s.boxes.shown.size(), 1);
    QCOMPARE(s.boxes.shown.first().buttons, confirm ? BoxButtons::Ok : BoxButtons::YesNo);
}

void TestRenameFromWindow::aRunWithoutItsJournal()
{
    Session s;
    writeFile(s.dir.filePath(QStringLiteral("state")), "a file where the folder would be");
    s.choose(s.panel().option4());
    s.typeResultsFolder();
    s.form->fileList().AddFile(s.page(1));
    s.form->fileList().AddFile(s.page(2));
    s.boxes.answers = {QStringLiteral("1")};
    s.pressStart();
    QCOMPARE(s.copies().size(), 2);
    // The run's own closing message stays as it is; one box of its own follows.
    QCOMPARE(s.boxes.shown.size(), 2);
    QCOMPARE(s.boxes.shown.at(0).text, QStringLiteral("Done."));
    QCOMPARE(s.boxes.shown.at(1).icon, BoxIcon::Warning);
    QVERIFY2(s.boxes.shown.at(1).text.contains(s.dir.filePath(QStringLiteral("state"))),
             qPrintable(s.boxes.shown.at(1).text));
}

// The preview's fields start from the answers the run was given, and its names
// count the copies the run made as taken.
void TestRenameFromWindow::previewStartsFromTheLastAnswers()
{
    Session s;
    s.choose(s.panel().option4());
    s.choose(s.panel().option1());
    s.panel().combo1()->setCurrentIndex(int(ContentMethod::WordsAfter));
    s.typeResultsFolder();
    s.form->fileList().AddFile(s.page(1));
    s.form->fileList().AddFile(s.page(2));
    s.boxes.answers = {QStringLiteral("<p>"), QStringLiteral("1")};
    s.pressStart();
    QCOMPARE(s.copies(), (QStringList{"Alpha.htm", "psi.htm"}));

    QTest::keyClick(s.form.get(), Qt::Key_P, Qt::ControlModifier);
    PreviewWindow* preview = s.form->previewAndUndo().preview();
    QVERIFY(preview);
    QVERIFY(preview->isVisible());
    QCOMPARE(preview->windowTitle(), QStringLiteral("Preview of New Names"));
    QCOMPARE(preview->searchField()->text(), QStringLiteral("<p>"));
    QCOMPARE(preview->wordCountField()->text(), QStringLiteral("1"));
    QSignalSpy shown(preview, &PreviewWindow::planShown);
    QVERIFY(shown.wait(30000));
    QCOMPARE(preview->model().row(0).fileName, QStringLiteral("Alpha!.htm"));
    QCOMPARE(preview->model().row(1).fileName, QStringLiteral("psi!.htm"));

    // An option of the window changes the plan.
    s.panel().combo1()->setCurrentIndex(int(ContentMethod::WordsBefore));
    QVERIFY(shown.wait(30000));
    QVERIFY(preview->model().row(0).fileName != QStringLiteral("Alpha!.htm"));
}

// The dialog opened from the list's context menu changes the names of the next
// run, and the choices are kept for the next start.
void TestRenameFromWindow::moreOptionsFromTheListMenu()
{
    Session s;
    s.choose(s.panel().option3());
    s.choose(s.panel().option2());
    s.panel().text2()->setText(QStringLiteral("%t"));
    s.typeResultsFolder();
    writeFile(s.page(3), "<html><head><title>\n Tom &amp;\n Jerry\n</title></head>"
                         "<body>x</body></html>\n");
    writeFile(s.page(4), "<html><head><meta content=\"con\" property=\"og:title\"></head>"
                         "<body>y</body></html>\n");
    s.form->fileList().AddFile(s.page(3));
    s.form->fileList().AddFile(s.page(4));

    // The preview, open beside the window, follows the dialog's choices.
    s.form->listMenu().action(ListMenu::Place::PreviewNewNames)->trigger();
    PreviewWindow* preview = s.form->previewAndUndo().preview();
    QVERIFY(preview);
    QSignalSpy shown(preview, &PreviewWindow::planShown);
    QVERIFY(shown.wait(30000));
    const auto previewed = [&] {
        QStringList names;
        for (int r = 0; r < preview->model().files(); ++r)
            names.append(preview->model().row(r).fileName);
        return names;
    };
    const QStringList before = previewed();

    QAction* entry = s.form->listMenu().action(ListMenu::Place::MoreOptions);
    QVERIFY(entry);
    QCOMPARE(entry->text(), QStringLiteral("More Options..."));
    entry->trigger();
    MoreOptionsDialog* dialog = s.form->moreOptionsDialog();
    QVERIFY(dialog && dialog->isVisible());
    dialog->readHtmlBox()->click();
    dialog->windowsSafeBox()->click();
    dialog->reject();
    QVERIFY(shown.wait(30000));
    QVERIFY(previewed() != before);
    const QStringList planned = previewed();

    s.pressStart();
    QVERIFY(s.reporter.reports.isEmpty());
    QCOMPARE(s.copies(), (QStringList{"Tom & Jerry.htm", "con_.htm"}));
    QCOMPARE(planned, (QStringList{"Tom & Jerry.htm", "con_.htm"}));
    // The copies made, the preview plans again: the names are taken now.
    QVERIFY(shown.wait(30000));
    QCOMPARE(previewed(), (QStringList{"Tom & Jerry!.htm", "con_!.htm"}));
    QCOMPARE(s.store.read(QLatin1String(MoreOptions::kReadHtmlKey), QString()),
             QStringLiteral("True"));
    QCOMPARE(s.store.read(QLatin1String(MoreOptions::kWindowsSafeKey), QString()),
             QStringLiteral("True"));
    QCOMPARE(s.store.read(QLatin1String(MoreOptions::kShortenKey), QStringLiteral("absent")),
             QStringLiteral("absent"));
}

QTEST_MAIN(TestRenameFromWindow)
#include "tst_renamefromwindow.moc"
