#include "platform/Failure.h"
#include "platform/PageText.h"
#include "rename/FileEntries.h"
#include "rename/RenameRun.h"
#include "support/Fakes.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>

namespace {

class ListEntries : public FileEntries
{
public:
    int count() const override { return int(paths.size()); }
    QString entry(int i) const override
    {
        if (i < 1 || i > paths.size())
            throw Failure(QStringLiteral("Index out of bounds"));
        return paths.at(i - 1);
    }
    QStringList paths;
};

// A browser stand-in: the text of each page comes from a table; a page missing
// from it fails to read, as a page without a body does.
class TablePageText : public PageText
{
public:
    void navigate(const QString& path) override
    {
        current = path;
        navigated.append(path);
    }
    int readyState() override { return PageText::kComplete; }
    QString bodyText() override
    {
        if (!texts.contains(current))
            throw Failure(QStringLiteral("The page has no body element"));
        return texts.value(current);
    }
    void prefetch(const QStringList& paths, int wordsWanted) override
    {
        hints.append({paths, wordsWanted});
    }
    void navigateMetadata(const QString& path) override
    {
        current = path;
        navigated.append(QStringLiteral("metadata:") + path);
    }
    PageMetadata metadata() override
    {
        if (!metas.contains(current))
            throw Failure(QStringLiteral("The page could not be read"));
        return metas.value(current);
    }

    QHash<QString, QString> texts;
    QHash<QString, PageMetadata> metas;
    QString current;
    QStringList navigated;
    QList<QPair<QStringList, int>> hints;
};

const QString kMustBeNumeric = QStringLiteral("Must be numeric.");
const QString kSkippedHeading =
    QStringLiteral("The following files were skipped because they could not be read or renamed:");

} // namespace

// Answers given up front, as the command line gives them, recording what was asked.
class GivenAnswers : public RunAnswers
{
public:
    QString search, count, numbers;
    QStringList asked;
    QString searchString() override
    {
        asked.append(QStringLiteral("search"));
        return search;
    }
    AnswerNumber wordCount(ContentMethod method) override
    {
        asked.append(QStringLiteral("count %1").arg(int(method)));
        return AnswerNumber::fromText(count);
    }
    WordNumbers wordNumbers() override
    {
        asked.append(QStringLiteral("numbers"));
        return WordNumbers::fromText(numbers);
    }
};

class TestRenameRun : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_results;
    ListEntries m_files;
    FixedRenameOptions m_options;
    ScriptedBoxes m_boxes;
    FakePointer m_pointer;
    FakeProgress m_progress;
    ScriptedPump m_pump;
    TablePageText m_page;
    RecordingReporter m_reporter;

    RenameRun makeRun()
    {
        return RenameRun(m_files, m_options,
                         {m_boxes, m_pointer, m_progress, m_pump, m_page, m_reporter});
    }

    QString addPage(const QString& name, const QString& text)
    {
        const QString path = m_dir.filePath(QStringLiteral("src/") + name);
        writeFile(path, "<html><body>source</body></html>");
        m_files.paths.append(path);
        m_page.texts.insert(path, text);
        return path;
    }

    QStringList results() const
    {
        QStringList names = QDir(m_results).entryList(QDir::Files, QDir::Name);
        return names;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.filePath(QStringLiteral("src")));
        m_results = m_dir.filePath(QStringLiteral("out"));
        QDir().mkpath(m_results);
        m_files = {};
        m_options = {};
        m_options.results = m_results;
        m_boxes = {};
        m_pointer = {};
        m_progress = {};
        m_pump.calls = 0;
        m_pump.onEvents = nullptr;
        m_page = {};
        m_reporter = {};
    }

    void startChecks_data()
    {
        QTest::addColumn<bool>("withFiles");
        QTest::addColumn<QString>("resultsFolder");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("outcome");

        // The empty list is checked first, even when the folder is missing too.
        QTest::newRow("empty list, missing folder")
            << false << QStringLiteral("/no/such/folder") << QStringLiteral("No files added.")
            << int(RenameRun::Outcome::NoFiles);
        QTest::newRow("missing folder")
            << true << QStringLiteral("/no/such/folder")
            << QStringLiteral("Folder does not exist. Please select another folder.")
            << int(RenameRun::Outcome::NoResultsFolder);
        QTest::newRow("empty folder text")
            << true << QString()
            << QStringLiteral("Folder does not exist. Please select another folder.")
            << int(RenameRun::Outcome::NoResultsFolder);
        QTest::newRow("folder names a file")
            << true << QStringLiteral("FILE")
            << QStringLiteral("Folder does not exist. Please select another folder.")
            << int(RenameRun::Outcome::NoResultsFolder);
    }

    void startChecks()
    {
        QFETCH(bool, withFiles);
        QFETCH(QString, resultsFolder);
        QFETCH(QString, message);
        QFETCH(int, outcome);

        if (withFiles)
            addPage(QStringLiteral("a.htm"), QStringLiteral("Alpha"));
        m_options.results = resultsFolder == QStringLiteral("FILE")
                                ? m_dir.filePath(QStringLiteral("src/a.htm"))
                                : resultsFolder;
        RenameRun run = makeRun();
        QCOMPARE(int(run.start()), outcome);
        QCOMPARE(m_boxes.shown.size(), 1);
        QCOMPARE(m_boxes.shown[0].text, message);
        QCOMPARE(m_boxes.shown[0].title, QString()); // the application title
        QCOMPARE(m_boxes.shown[0].icon, BoxIcon::None);
        QVERIFY(m_boxes.asked.isEmpty());
        QVERIFY(!run.busy());
        // A later run is not blocked by a stale busy flag.
        QCOMPARE(int(run.start()), outcome);
    }

    void prompts_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("expectedPrompts");
        QTest::addColumn<int>("mustBeNumeric");
        QTest::addColumn<QString>("expectedName");

        const QString enterX = QStringLiteral("Enter X");
        const QString numbers = QStringLiteral(
            "Please enter word numbers (for example 10, 11 will use the tenth and eleventh word on "
            "the first page):");
        const QString search = QStringLiteral("Enter string to search for:");
        const QString count = QStringLiteral("Enter number of words to get:");

        QTest::newRow("first words")
            << 0 << QStringList{"2"} << QStringList{enterX} << 0 << "w1 w2.htm";
        QTest::newRow("first words, cancel then text then number")
            << 0 << QStringList{"", "two", " 3 "} << QStringList{enterX, enterX, enterX} << 2
            << "w1 w2 w3.htm";
        QTest::newRow("first words, half to even")
            << 0 << QStringList{"2.5"} << QStringList{enterX} << 0 << "w1 w2.htm";
        QTest::newRow("positions, default answer gives the first entry as count")
            << 1 << QStringList{"10,11"} << QStringList{numbers} << 0 << "w10 w11.htm";
        QTest::newRow("positions, bad entry first, middle, last, trailing comma, empty")
            << 1 << QStringList{"x,11", "10,x,11", "10,11,x", "10,11,", "", "11"}
            << QStringList(6, numbers) << 5 << "w11.htm";
        QTest::newRow("after, cancel on the count repeats")
            << 2 << QStringList{"w3", "", "2"} << QStringList{search, count, count} << 1
            << "w4 w5.htm";
        QTest::newRow("before") << 3 << QStringList{"W4", "2"} << QStringList{search, count} << 0
                                << "w1 w2.htm";
    }

    void prompts()
    {
        QFETCH(int, method);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, expectedPrompts);
        QFETCH(int, mustBeNumeric);
        QFETCH(QString, expectedName);

        addPage(QStringLiteral("a.htm"), QStringLiteral("w1 w2 w3 w4 w5 w6 w7 w8 w9 w10 w11 w12"));
        m_options.method = ContentMethod(method);
        m_boxes.answers = answers;
        RenameRun run = makeRun();
        QCOMPARE(run.start(), RenameRun::Outcome::Completed);

        QStringList prompts;
        for (const AskedInput& asked : m_boxes.asked)
            prompts.append(asked.prompt);
        QCOMPARE(prompts, expectedPrompts);
        QCOMPARE(m_boxes.shown.count(), mustBeNumeric + 1);
        for (int i = 0; i < mustBeNumeric; ++i)
            QCOMPARE(m_boxes.shown[i].text, kMustBeNumeric);
        QCOMPARE(results(), QStringList{expectedName});
    }

    void promptTitlesAndDefaults_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("defaults");
        QTest::newRow("0") << 0 << QStringList{"Input X"} << QStringList{"1"};
        QTest::newRow("1") << 1 << QStringList{"Input X1, X2, X3"} << QStringList{"10,11"};
        QTest::newRow("2") << 2 << QStringList{"Input X", "Input N"} << QStringList{"String", "1"};
        QTest::newRow("3") << 3 << QStringList{"Input X", "Input N"} << QStringList{"String", "1"};
        QTest::newRow("other index") << 7 << QStringList{"Input X"} << QStringList{"1"};
    }

    void promptTitlesAndDefaults()
    {
        QFETCH(int, method);
        QFETCH(QStringList, titles);
        QFETCH(QStringList, defaults);
        addPage(QStringLiteral("a.htm"), QStringLiteral("text"));
        m_options.method = ContentMethod(method);
        m_boxes.answers = defaults;
        makeRun().start();
        QCOMPARE(m_boxes.asked.size(), titles.size());
        for (int i = 0; i < titles.size(); ++i) {
            QCOMPARE(m_boxes.asked[i].title, titles[i]);
            QCOMPARE(m_boxes.asked[i].defaultText, defaults[i]);
        }
    }

    void metadataAsksNothingButStillLoadsPages()
    {
        const QString a = addPage(QStringLiteral("a.htm"), QStringLiteral("ignored"));
        m_options.by = RenameBy::Metadata;
        m_options.method = ContentMethod::WordPositions;
        m_options.pattern = QString(); // copies under the file's own name
        RenameRun run = makeRun();
        QCOMPARE(run.start(), RenameRun::Outcome::Completed);
        QVERIFY(m_boxes.asked.isEmpty());
        QCOMPARE(m_page.navigated, QStringList{a});
        QCOMPARE(results(), QStringList{"a.htm"});
    }

    // A front end that never shows the text may skip the page for the metadata
    // namer, but the content namer must still get it.
    void pagesForMetadataOnlyMatterToMetadata_data()
    {
        QTest::addColumn<RenameBy>("by");
        QTest::addColumn<bool>("pagesForMetadata");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("metadata, pages skipped")
            << RenameBy::Metadata << false << false << QStringList{"a.htm"};
        QTest::newRow("metadata, pages loaded")
            << RenameBy::Metadata << true << true << QStringList{"a.htm"};
        QTest::newRow("content still reads its page")
            << RenameBy::Content << false << true << QStringList{"words.htm"};
    }

    void pagesForMetadataOnlyMatterToMetadata()
    {
        QFETCH(RenameBy, by);
        QFETCH(bool, pagesForMetadata);
        QFETCH(bool, loaded);
        QFETCH(QStringList, names);
        const QString a = addPage(QStringLiteral("a.htm"), QStringLiteral("words"));
        m_options.by = by;
        m_options.pattern = QString();
        m_boxes.answers = {QStringLiteral("1")};
        RenameRun run = makeRun();
        run.setPagesForMetadata(pagesForMetadata);
        QCOMPARE(run.start(), RenameRun::Outcome::Completed);
        QCOMPARE(m_page.navigated, loaded ? QStringList{a} : QStringList());
        QCOMPARE(results(), names);
    }

    void considerTagsLoadsNoPage()
    {
        addPage(QStringLiteral("a.htm"), QStringLiteral("ignored"));
        m_options.tags = TagMode::ConsiderTags;
        m_boxes.answers = {QStringLiteral("1")};
        makeRun().start();
        QVERIFY(m_page.navigated.isEmpty());
        // The source after "<body>", with the markup's signs cleaned out of the name.
        QCOMPARE(results(), QStringList{"sourcebodyhtml.htm"});
    }

    void progressAndPointer()
    {
        for (const char* name : {"a.htm", "b.htm", "c.htm"})
            addPage(QString::fromLatin1(name), QString::fromLatin1(name).left(1));
        m_boxes.answers = {QStringLiteral("1")};
        m_boxes.onMessage = [&] { QCOMPARE(m_pointer.current, PointerShape::Default); };
        makeRun().start();
        QCOMPARE(m_progress.values, (QList<double>{50, 75, 100, 0}));
        QCOMPARE(m_progress.text, QStringLiteral("Progress Bar"));
        QVERIFY(m_pointer.history.contains(PointerShape::Busy));
        QCOMPARE(m_pointer.current, PointerShape::Default);
    }

    void closingMessageTwoSkipped()
    {
        const QString a = addPage(QStringLiteral("a.htm"), QStringLiteral("x"));
        const QString b = addPage(QStringLiteral("b.htm"), QStringLiteral("y"));
        m_boxes.answers = {QStringLiteral("2")};
        makeRun().start();
        QCOMPARE(m_boxes.shown.last().text, QStringLiteral("Done.\r\n") + kSkippedHeading +
                                                QStringLiteral("\r\n") + a +
                                                QStringLiteral("\r\n") + b);
        QCOMPARE(m_boxes.shown.last().icon, BoxIcon::None);
        QCOMPARE(m_boxes.shown.last().buttons, BoxButtons::Ok);
    }

    void doneAloneWhenNothingSkipped()
    {
        addPage(QStringLiteral("a.htm"), QStringLiteral("x"));
        m_boxes.answers = {QStringLiteral("1")};
        makeRun().start();
        QCOMPARE(m_boxes.shown.last().text, QStringLiteral("Done."));
    }

    void secondStartDuringRunReturnsAtOnce()
    {
        addPage(QStringLiteral("a.htm"), QStringLiteral("alpha"));
        addPage(QStringLiteral("b.htm"), QStringLiteral("beta"));
        m_boxes.answers = {QStringLiteral("1")};
        RenameRun run = makeRun();
        QList<RenameRun::Outcome> nested;
        m_pump.onEvents = [&] { nested.append(run.start()); };
        QCOMPARE(run.start(), RenameRun::Outcome::Completed);
        QVERIFY(!nested.isEmpty());
        for (RenameRun::Outcome o : nested)
            QCOMPARE(o, RenameRun::Outcome::AlreadyRunning);
        QCOMPARE(m_boxes.asked.size(), 1);
        QCOMPARE(results(), (QStringList{"alpha.htm", "beta.htm"}));
        QVERIFY(!run.busy());
    }

    void optionChangedDuringRunAppliesToLaterFiles()
    {
        addPage(QStringLiteral("a.htm"), QStringLiteral("alpha one"));
        const QString b = addPage(QStringLiteral("b.htm"), QStringLiteral("beta two"));
        m_boxes.answers = {QStringLiteral("1")};
        RenameRun run = makeRun();
        m_pump.onEvents = [&] {
            if (!results().isEmpty()) { // after the first file: switch to the source with tags
                m_options.tags = TagMode::ConsiderTags;
                m_options.results = m_dir.filePath(QStringLiteral("out2"));
                QDir().mkpath(m_options.results);
            }
        };
        run.start();
        QCOMPARE(results(), QStringList{"alpha.htm"});
        QCOMPARE(QDir(m_options.results).entryList(QDir::Files), QStringList{"sourcebodyhtml.htm"});
        QVERIFY(!m_page.navigated.contains(b));
    }

    // A page whose text could not be read is reported and passed over, with
    // that failure as the reason: never copied under its own name as if empty.
    void pageTextFailureIsReportedAndSkipped()
    {
        const QString a = addPage(QStringLiteral("a.htm"), QString());
        const QString b = addPage(QStringLiteral("b.htm"), QStringLiteral("bravo"));
        m_page.texts.remove(a);
        m_boxes.answers = {QStringLiteral("1")};
        RenameRun run = makeRun();
        std::optional<RenameRun::FileResult> first;
        run.onFileDone = [&](const RenameRun::FileResult& result) {
            if (!first)
                first = result;
        };
        run.start();
        QCOMPARE(m_reporter.reports.size(), 1);
        QCOMPARE(m_reporter.reports[0].label, QString::fromLatin1(RenameRun::kLabel));
        QCOMPARE(m_reporter.reports[0].description, QStringLiteral("The page has no body element"));
        QCOMPARE(results(), QStringList{"bravo.htm"});
        QCOMPARE(run.skipped(), QStringList{a});
        QVERIFY(first && !first->renamed);
        QCOMPARE(first->cause, Renaming::SkipCause::Failed);
        QCOMPARE(first->failure->description(), QStringLiteral("The page has no body element"));
    }

    void overflowingWordCountSkipsEveryFile()
    {
        const QString a = addPage(QStringLiteral("a.htm"), QStringLiteral("one"));
        const QString b = addPage(QStringLiteral("b.htm"), QStringLiteral("two"));
        m_boxes.answers = {QStringLiteral("3000000000")};
        RenameRun run = makeRun();
        run.start();
        QCOMPARE(m_reporter.reports.size(), 2); // once per file, and the loop completes
        QCOMPARE(m_reporter.reports[0].description, QStringLiteral("Overflow"));
        QCOMPARE(m_reporter.reports[0].line, m_reporter.reports[1].line);
        QCOMPARE(run.skipped(), (QStringList{a, b}));
        QVERIFY(results().isEmpty());
    }

    void entryRemovedDuringRunIsReportedAndPassedOver()
    {
        addPage(QStringLiteral("a.htm"), QStringLiteral("alpha"));
        addPage(QStringLiteral("b.htm"), QStringLiteral("beta"));
        addPage(QStringLiteral("c.htm"), QStringLiteral("gamma"));
        m_boxes.answers = {QStringLiteral("1")};
        m_pump.onEvents = [&] {
            if (results().size() == 1 && m_files.paths.size() == 3)
                m_files.paths.removeLast();
        };
        RenameRun run = makeRun();
        run.start();
        QCOMPARE(results(), (QStringList{"alpha.htm", "beta.htm"}));
        QCOMPARE(m_reporter.reports.size(), 1);
        QVERIFY(run.skipped().isEmpty());
        QCOMPARE(m_boxes.shown.last().text, QStringLiteral("Done."));
    }

    void prefetchHintFollowsTheOptions()
    {
        addPage(QStringLiteral("a.htm"), QStringLiteral("alpha"));
        addPage(QStringLiteral("b.htm"), QStringLiteral("beta"));
        m_boxes.answers = {QStringLiteral("1")};
        m_pump.onEvents = [&] {
            if (!results().isEmpty())
                m_options.method = ContentMethod::WordsAfter; // needs the whole text from now on
        };
        makeRun().start();
        QCOMPARE(m_page.hints.size(), 2);
        QCOMPARE(m_page.hints[0].first, m_files.paths);
        QCOMPARE(m_page.hints[0].second, 1);
        QCOMPARE(m_page.hints[1].first, QStringList{m_files.paths[1]});
        QCOMPARE(m_page.hints[1].second, 0);
    }

    // The same run with answers given up front: nothing is prompted, each answer
    // is asked once, in the order the method needs them.
    void givenAnswersPromptNothing_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QStringList>("given"); // search, count, numbers
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QString>("expectedName");

        QTest::newRow("first words")
            << 0 << QStringList{"", "2", ""} << QStringList{"count 0"} << "w1 w2.htm";
        QTest::newRow("positions: the first entry is the count")
            << 1 << QStringList{"", "", "3,5"} << QStringList{"numbers"} << "w3 w5.htm";
        QTest::newRow("after") << 2 << QStringList{"w3", "2", ""}
                               << QStringList{"search", "count 2"} << "w4 w5.htm";
        QTest::newRow("before") << 3 << QStringList{"W4", "1", ""}
                                << QStringList{"search", "count 3"} << "w1.htm";
    }

    void givenAnswersPromptNothing()
    {
        QFETCH(int, method);
        QFETCH(QStringList, given);
        QFETCH(QStringList, asked);
        QFETCH(QString, expectedName);

        addPage(QStringLiteral("a.htm"), QStringLiteral("w1 w2 w3 w4 w5 w6"));
        m_options.method = ContentMethod(method);
        GivenAnswers answers;
        answers.search = given[0];
        answers.count = given[1];
        answers.numbers = given[2];
        RenameRun run = makeRun();
        run.setAnswers(&answers);
        QCOMPARE(run.start(), RenameRun::Outcome::Completed);
        QCOMPARE(answers.asked, asked);
        QVERIFY(m_boxes.asked.isEmpty());
        QCOMPARE(m_boxes.shown.size(), 1); // "Done." only
        QCOMPARE(results(), QStringList{expectedName});
    }

    // A number that does not convert is carried by the request to the statement
    // that has always reported it: the run's call of the namer for the count,
    // the namer's position loop for a word number.
    void conversionFailuresAtTheirStatements_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("tags");
        QTest::addColumn<QStringList>("given");   // search, count, numbers
        QTest::addColumn<QStringList>("reports"); // routine:line:description
        QTest::addColumn<QStringList>("expected");

        const QStringList none;
        QTest::newRow("count overflows") << 0 << 0 << QStringList{"", "3000000000", ""}
                                         << QStringList{"run:170:Overflow"} << none;
        QTest::newRow("count below the range") << 0 << 1 << QStringList{"", "-2147483649", ""}
                                               << QStringList{"run:170:Overflow"} << none;
        QTest::newRow("count not a number")
            << 0 << 0 << QStringList{"", "abc", ""} << QStringList{"run:170:Type mismatch"} << none;
        QTest::newRow("after: count overflows")
            << 2 << 0 << QStringList{"w1", "1e10", ""} << QStringList{"run:170:Overflow"} << none;
        QTest::newRow("positions: first entry is the count")
            << 1 << 0 << QStringList{"", "", "3e10,1"} << QStringList{"run:170:Overflow"} << none;
        QTest::newRow("positions: a middle entry")
            << 1 << 0 << QStringList{"", "", "1,99999999999,2"} << QStringList{"file:110:Overflow"}
            << QStringList{"w1 w2.htm"};
        QTest::newRow("positions: the last entry") << 1 << 0 << QStringList{"", "", "1,2,3e10"}
                                                   << QStringList{"file:110:Overflow"} << none;
        QTest::newRow("positions with tags: the last entry")
            << 1 << 1 << QStringList{"", "", "2,3e10"} << QStringList{"file:110:Overflow"} << none;
        QTest::newRow("positions: every entry converts")
            << 1 << 1 << QStringList{"", "", " 2 ,3"} << none << QStringList{"w2 w3.htm"};
        QTest::newRow("rounded half to even")
            << 0 << 0 << QStringList{"", "2.5", ""} << none << QStringList{"w1 w2.htm"};
    }

    void conversionFailuresAtTheirStatements()
    {
        QFETCH(int, method);
        QFETCH(int, tags);
        QFETCH(QStringList, given);
        QFETCH(QStringList, reports);
        QFETCH(QStringList, expected);

        const QString words = QStringLiteral("w1 w2 w3 w4 w5");
        const QString a = addPage(QStringLiteral("a.htm"), words);
        writeFile(a, ("<body>" + words).toUtf8());
        m_options.method = ContentMethod(method);
        m_options.tags = tags == 0 ? TagMode::IgnoreTags : TagMode::ConsiderTags;
        GivenAnswers answers;
        answers.search = given[0];
        answers.count = given[1];
        answers.numbers = given[2];
        RenameRun run = makeRun();
        run.setAnswers(&answers);
        QList<RenameRun::FileResult> seen;
        run.onFileDone = [&](const RenameRun::FileResult& result) { seen.append(result); };
        run.start();

        QStringList reported;
        for (const RecordedReport& report : std::as_const(m_reporter.reports)) {
            const QString routine =
                report.label == QLatin1String(RenameRun::kLabel) ? QStringLiteral("run")
                : report.label == QLatin1String("in Orlesk2021/08/31.Renaming.RenameFile ")
                    ? QStringLiteral("file")
                    : report.label;
            reported.append(
                QStringLiteral("%1:%2:%3").arg(routine).arg(report.line).arg(report.description));
        }
        QCOMPARE(reported, reports);
        QCOMPARE(results(), expected);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].renamed, !expected.isEmpty());
        if (expected.isEmpty()) // a skipped file says which failure
            QCOMPARE(seen[0].failure ? seen[0].failure->description() : QString(),
                     reports.first().section(QLatin1Char(':'), 2));
    }

    // Each file's result says why it was passed over.
    void skipCauses_data()
    {
        QTest::addColumn<QString>("pageText");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("cause");
        QTest::addColumn<QString>("failure");

        using Cause = Renaming::SkipCause;
        QTest::newRow("renamed") << "one two"
                                 << "a.htm"
                                 << "2" << int(Cause::None) << "";
        QTest::newRow("fewer words") << "one"
                                     << "a.htm"
                                     << "2" << int(Cause::EmptyName) << "";
        QTest::newRow("control characters only") << "\x01\x02"
                                                 << "a.htm"
                                                 << "1" << int(Cause::NoNameLeft) << "";
        QTest::newRow("hidden source") << "one"
                                       << ".a.htm"
                                       << "1" << int(Cause::NotOrdinary) << "";
        QTest::newRow("count too large") << "one"
                                         << "a.htm"
                                         << "3000000000" << int(Cause::Failed) << "Overflow";
        // A failure outweighs the emptiness it leaves behind.
        QTest::newRow("page not read") << QString() << "a.htm"
                                       << "1" << int(Cause::Failed)
                                       << "The page has no body element";
        QTest::newRow("page not read, count too large")
            << QString() << "a.htm"
            << "3000000000" << int(Cause::Failed) << "The page has no body element";
    }

    void skipCauses()
    {
        QFETCH(QString, pageText);
        QFETCH(QString, fileName);
        QFETCH(QString, count);
        QFETCH(int, cause);
        QFETCH(QString, failure);

        const QString page = addPage(fileName, pageText);
        if (pageText.isNull())
            m_page.texts.remove(page);
        GivenAnswers answers;
        answers.count = count;
        RenameRun run = makeRun();
        run.setAnswers(&answers);
        QList<RenameRun::FileResult> seen;
        run.onFileDone = [&](const RenameRun::FileResult& result) { seen.append(result); };
        run.start();
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].renamed, cause == int(Renaming::SkipCause::None));
        QCOMPARE(int(seen[0].cause), cause);
        QCOMPARE(seen[0].failure ? seen[0].failure->description() : QString(), failure);
    }

    // The results folder is held: exchanged between two files for another
    // folder or for a link to one, it takes no copy more, and what now stands
    // at its path takes none; each later file fails as when the folder is gone.
    void heldResultsFolder_data()
    {
        QTest::addColumn<bool>("link");
        QTest::newRow("another folder") << false;
        QTest::newRow("a link to another folder") << true;
    }

    void heldResultsFolder()
    {
        QFETCH(bool, link);
        addPage(QStringLiteral("a.htm"), QStringLiteral("alpha"));
        addPage(QStringLiteral("b.htm"), QStringLiteral("beta"));
        addPage(QStringLiteral("c.htm"), QStringLiteral("gamma"));
        const QString other = m_dir.filePath(QStringLiteral("other"));
        const QString swap = m_dir.filePath(QStringLiteral("swap"));
        QVERIFY(QDir().mkpath(other));
        if (link)
            QVERIFY(QFile::link(other, swap));
        const QString exchanged = link ? swap : other;
        GivenAnswers answers;
        answers.count = QStringLiteral("1");
        RenameRun run = makeRun();
        run.setAnswers(&answers);
        run.setJournal({}, {});
        QList<RenameRun::FileResult> seen;
        run.onFileDone = [&](const RenameRun::FileResult& result) {
            seen.append(result);
            if (seen.size() == 1)
                QCOMPARE(::renameat2(AT_FDCWD, QFile::encodeName(m_results).constData(), AT_FDCWD,
                                     QFile::encodeName(exchanged).constData(), RENAME_EXCHANGE),
                         0);
        };
        QCOMPARE(run.start(), RenameRun::Outcome::Completed);
        QCOMPARE(seen.size(), 3);
        QVERIFY(seen[0].renamed);
        for (int i = 1; i < 3; ++i) {
            QVERIFY(!seen[i].renamed);
            QCOMPARE(seen[i].failure->kind(), Failure::Kind::ResultsFolderGone);
        }
        // The held folder, now at the other path, has the one copy made before.
        QCOMPARE(QDir(exchanged).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{"alpha.htm"});
        QCOMPARE(QDir(other).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 link ? QStringList() : QStringList{"alpha.htm"});
        QCOMPARE(QDir(m_results).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList());
    }

    // A stop asked for during a file ends the run after it: no further file is
    // touched and the closing message is left to the caller.
    void stopEndsTheRunAfterTheFileUnderWay()
    {
        addPage(QStringLiteral("a.htm"), QStringLiteral("alpha"));
        addPage(QStringLiteral("b.htm"), QStringLiteral("beta"));
        GivenAnswers answers;
        answers.count = QStringLiteral("1");
        RenameRun run = makeRun();
        run.setAnswers(&answers);
        int done = 0;
        run.onFileDone = [&](const RenameRun::FileResult&) { ++done; };
        run.stopRequested = [&] { return done == 1; };
        QCOMPARE(run.start(), RenameRun::Outcome::Stopped);
        QCOMPARE(results(), QStringList{"alpha.htm"});
        QVERIFY(m_boxes.shown.isEmpty());
        QCOMPARE(m_progress.values.last(), 0.0);
        QVERIFY(!run.busy());
    }
};

QTEST_GUILESS_MAIN(TestRenameRun)
#include "tst_renamerun.moc"
