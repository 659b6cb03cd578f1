// The preview of new names: the same names and reasons as the command line's
// dry run, a new plan after each change, the cancelled plan left behind, and
// the table model.

#include "filelist/FileList.h"
#include "platform/FileSystem.h"
#include "platform/PageText.h"
#include "preview/NamePlanner.h"
#include "preview/PreviewModel.h"
#include "preview/PreviewWindow.h"
#include "rename/RunAnswers.h"
#include "support/Files.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <thread>

Q_DECLARE_METATYPE(NameOptions)

namespace {

// The answers as the window's input boxes last gave them.
class NoBoxes : public RunAnswers
{
public:
    QString searchString() override { return {}; }
    AnswerNumber wordCount(ContentMethod) override { return {}; }
    WordNumbers wordNumbers() override { return {}; }
};

// Page text that takes its time, so that a plan can be overtaken.
class SlowPageText : public PageText
{
public:
    void navigate(const QString& path) override { m_path = path; }
    void navigateMetadata(const QString& path) override { m_path = path; }
    PageMetadata metadata() override { return {}; }
    int readyState() override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return kComplete;
    }
    QString bodyText() override { return FileSystem::ownName(m_path) + QStringLiteral(" words"); }

private:
    QString m_path;
};

// What one file came to, by either engine: the copy's name and the reason.
struct Outcome
{
    QString source, fileName, reason, error;
    bool operator==(const Outcome&) const = default;
};

char* toString(const Outcome& o)
{
    return qstrdup(qPrintable(QStringLiteral("{%1 -> %2 | %3 %4}")
                                  .arg(o.source, o.fileName, o.reason, o.error)));
}

QStringList cliArguments(const PlanRequest& request)
{
    const FixedRenameOptions& o = request.options;
    QStringList arguments{"--dry-run", "--json", "--no-progress", "-o", o.results};
    arguments << "--by" << (o.by == RenameBy::Metadata ? "metadata" : "content");
    arguments << "--tags" << (o.tags == TagMode::ConsiderTags ? "consider" : "ignore");
    if (o.includeHead)
        arguments << "--include-head";
    static const char* methods[] = {"first", "positions", "after", "before"};
    arguments << "--method" << methods[int(o.method)];
    arguments << "--words" << request.wordCount << "--positions" << request.wordNumbers;
    arguments << "--search" << request.searchString << "--pattern" << o.pattern;
    if (o.names.readHtml && o.by == RenameBy::Metadata)
        arguments << "--read" << "html";
    if (o.names.shorten)
        arguments << "--shorten";
    if (o.names.maxLength > 0)
        arguments << "--max-length" << QString::number(o.names.maxLength);
    if (o.names.windowsSafe)
        arguments << "--windows-safe";
    return arguments + QStringList{"--"} + request.files;
}

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_in, m_out;

    QString page(const QString& name, const QByteArray& content)
    {
        const QString path = m_in + QLatin1Char('/') + name;
        writeFile(path, content);
        return path;
    }

    // Plans `request` to its end and answers what each entry came to.
    QList<Outcome> plan(NamePlanner& planner, const PlanRequest& request)
    {
        QList<Outcome> outcomes;
        int id = 0;
        bool done = false;
        QObject context;
        connect(&planner, &NamePlanner::planned, &context,
                [&](int plan, const QList<PlannedName>& names) {
                    if (plan != id)
                        return;
                    for (const PlannedName& n : names) {
                        outcomes.append({n.source, n.fileName,
                                         n.problem ? n.problem->key : QString(),
                                         n.problem ? n.problem->error.value_or(QString())
                                                   : QString()});
                    }
                });
        connect(&planner, &NamePlanner::finished, &context, [&](int plan) { done = plan == id; });
        id = planner.plan(request);
        if (!QTest::qWaitFor([&] { return done; }, 60000))
            qWarning("the plan did not finish");
        return outcomes;
    }

    QList<Outcome> dryRun(const PlanRequest& request)
    {
        QProcess process;
        process.start(QStringLiteral(QUENBY_BIN_DIR "/quenby-rename"), cliArguments(request));
        if (!process.waitForFinished(60000))
            qFatal("quenby-rename did not finish");
        QList<Outcome> outcomes;
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            const QString target = o.value("target").toString();
            outcomes.append({o.value("source").toString(),
                             target.isEmpty() ? QString() : FileSystem::ownName(target),
                             o.value("reason").toString(), o.value("error").toString()});
        }
        return outcomes;
    }

    PlanRequest baseRequest()
    {
        PlanRequest request;
        request.options.results = m_out;
        request.files = {
            page("a.htm", "<html><body><p>Alpha beta gamma delta</p></body></html>"),
            page("b.htm", "<html><body><p>Alpha beta gamma other</p></body></html>"),
            page("taken.htm", "<body>Taken words here</body>"),
            page("long.htm", "<body>" + QByteArray(300, 'L') + " tail</body>"),
            m_in + "/missing.htm",
            m_in + "/pipe.htm",
            page(".hidden.htm", "<body>Hidden page</body>"),
            page("meta.htm", "<html><head><title>Annual Report</title></head>\n<body>\n"
                             "<Author>Ann Lee</Author> wrote beta words</body></html>"),
            page("con.htm", "<html><head><title>nul.</title></head><body>con. words</body></html>"),
            page("words.htm", "<html><head><title>Tom &amp;\n Jerry</title>"
                              "<META content=\"Ann Lee\" NAME=\"Author\"></head><body>"
                              + QByteArray("Many words of a name ").repeated(20) + "</body></html>"),
            page("a.htm", "<html><body><p>Alpha beta gamma delta</p></body></html>"),
        };
        writeFile(m_out + "/Taken.htm", "the results folder has it");
        ::mkfifo(FileSystem::nativePath(m_in + "/pipe.htm").constData(), 0644);
        return request;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        m_in = m_dir.filePath("in");
        m_out = m_dir.filePath("out");
        QDir().mkpath(m_in);
        QDir().mkpath(m_out);
    }

    // For the same list, options and answers, the preview and the command
    // line's dry run give the same names and the same reasons.
    void sameAsDryRun_data()
    {
        QTest::addColumn<int>("by");
        QTest::addColumn<int>("tags");
        QTest::addColumn<bool>("head");
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("positions");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<NameOptions>("names");

        NameOptions shorten, narrow, windows, html;
        shorten.shorten = true;
        narrow.shorten = true;
        narrow.maxLength = 40;
        windows.windowsSafe = true;
        html.readHtml = true;
        const int content = int(RenameBy::Content), meta = int(RenameBy::Metadata);
        const int ignore = int(TagMode::IgnoreTags), consider = int(TagMode::ConsiderTags);
        const int first = int(ContentMethod::FirstWords);
        QTest::newRow("first word: clashes, a taken name, too long, missing, pipe, hidden")
            << content << ignore << false << first << "1" << "" << "10,11" << "" << NameOptions();
        QTest::newRow("too few words") << content << ignore << false << first << "5" << "" << ""
                                       << "" << NameOptions();
        QTest::newRow("positions") << content << ignore << false
                                   << int(ContentMethod::WordPositions) << "1" << "" << "2,3"
                                   << "" << NameOptions();
        QTest::newRow("words after") << content << ignore << false
                                     << int(ContentMethod::WordsAfter) << "2" << "beta" << ""
                                     << "" << NameOptions();
        QTest::newRow("words before") << content << ignore << false
                                      << int(ContentMethod::WordsBefore) << "1" << "gamma" << ""
                                      << "" << NameOptions();
        QTest::newRow("source with its tags")
            << content << consider << false << first << "2" << "" << "" << "" << NameOptions();
        QTest::newRow("source with the head")
            << content << consider << true << first << "1" << "" << "" << "" << NameOptions();
        QTest::newRow("metadata") << meta << ignore << false << first << "1" << "" << ""
                                  << "%a - %t" << NameOptions();
        QTest::newRow("first words, shortened")
            << content << ignore << false << first << "40" << "" << "" << "" << shorten;
        QTest::newRow("first words, shortened to 40 bytes")
            << content << ignore << false << first << "12" << "" << "" << "" << narrow;
        QTest::newRow("safe for Windows")
            << content << ignore << false << first << "1" << "" << "" << "" << windows;
        QTest::newRow("metadata as a browser reads it")
            << meta << ignore << false << first << "1" << "" << "" << "%a - %t (%d)" << html;
        QTest::newRow("titles as a browser reads them, safe for Windows")
            << meta << ignore << false << first << "1" << "" << "" << "Saved %t" << [&] {
                   NameOptions both = html;
                   both.windowsSafe = true;
                   return both;
               }();
    }
    void sameAsDryRun()
    {
        QFETCH(int, by);
        QFETCH(int, tags);
        QFETCH(bool, head);
        QFETCH(int, method);
        QFETCH(QString, words);
        QFETCH(QString, search);
        QFETCH(QString, positions);
        QFETCH(QString, pattern);
        QFETCH(NameOptions, names);

        PlanRequest request = baseRequest();
        request.options.by = RenameBy(by);
        request.options.tags = TagMode(tags);
        request.options.includeHead = head;
        request.options.method = ContentMethod(method);
        request.options.pattern = pattern;
        request.options.names = names;
        request.wordCount = words;
        request.searchString = search;
        request.wordNumbers = positions.isEmpty() ? QStringLiteral("10,11") : positions;

        NamePlanner planner;
        const QList<Outcome> previewed = plan(planner, request);
        const QList<Outcome> planned = dryRun(request);
        QCOMPARE(previewed.size(), request.files.size());
        QCOMPARE(previewed, planned);
        QCOMPARE(entries(m_out), QStringList{"Taken.htm"}); // nothing written by either
    }

    // The window plans again after a change of an option, a field or the list.
    void followsTheWindow()
    {
        FileList list;
        list.addFiles({page("a.htm", "Alpha beta"), page("b.htm", "Gamma delta")});
        FixedRenameOptions options;
        options.results = m_out;
        options.tags = TagMode::ConsiderTags;
        NoBoxes boxes;
        RememberingAnswers answers(boxes);
        PreviewWindow window(list, list, options, answers);
        QSignalSpy shown(&window, &PreviewWindow::planShown);
        window.show();
        const auto names = [&] {
            QStringList n;
            for (int r = 0; r < window.model().files(); ++r)
                n.append(window.model().row(r).fileName);
            return n;
        };
        QVERIFY(shown.wait(30000));
        QCOMPARE(names(), (QStringList{"Alpha.htm", "Gamma.htm"}));

        options.method = ContentMethod::WordsAfter; // an option
        window.searchField()->setText("Alpha");     // a field
        QVERIFY(shown.wait(30000));
        QCOMPARE(names(), (QStringList{"beta.htm", "b.htm"}));

        list.AddFile(page("c.htm", "Alpha omega")); // the list
        QVERIFY(shown.wait(30000));
        QCOMPARE(names(), (QStringList{"beta.htm", "b.htm", "omega.htm"}));
        QVERIFY(window.statusLine()->text().startsWith("3 files, 3 new names, 0 problems"));

        window.wordCountField()->setText("x");
        QVERIFY(shown.wait(30000));
        QCOMPARE(window.model().planned(), 0);
        QVERIFY(window.statusLine()->text().contains("must be numeric"));

        options.results = m_dir.filePath("nowhere");
        window.wordCountField()->setText("1");
        QVERIFY(shown.wait(30000));
        QCOMPARE(window.model().problems(), 3);
        QCOMPARE(window.model().row(0).problem->key, QStringLiteral("no-results-folder"));
    }

    // Several changes in a row make one plan; a plan overtaken by another is
    // cancelled and none of its names arrive after it.
    void cancelledPlans()
    {
        FileList list;
        QStringList pages;
        for (int i = 0; i < 300; ++i)
            pages.append(page(QStringLiteral("p%1.htm").arg(i), "x"));
        list.addFiles(pages);
        FixedRenameOptions options;
        options.results = m_out;
        NoBoxes boxes;
        RememberingAnswers answers(boxes);
        PreviewWindow window(list, list, options, answers,
                             [] { return std::make_unique<SlowPageText>(); });
        QSignalSpy planned(&window.planner(), &NamePlanner::planned);
        QSignalSpy finished(&window.planner(), &NamePlanner::finished);
        window.show();
        const int first = window.currentPlan();
        QVERIFY(planned.wait(10000)); // the first names are in

        window.scheduleReplan();
        window.searchField()->setText("typed");
        window.scheduleReplan();
        QTRY_VERIFY_WITH_TIMEOUT(window.currentPlan() != first, 5000);
        const int second = window.currentPlan();
        QCOMPARE(second, first + 1); // three changes, one plan
        const int before = int(planned.size());
        QTRY_VERIFY_WITH_TIMEOUT(!window.planning(), 30000);

        for (qsizetype i = before; i < planned.size(); ++i)
            QCOMPARE(planned.at(i).at(0).toInt(), second);
        bool firstCancelled = false;
        for (const auto& end : std::as_const(finished)) {
            if (end.at(0).toInt() == first) {
                QCOMPARE(end.at(1).value<NamePlanner::End>(), NamePlanner::End::Cancelled);
                QVERIFY(end.at(2).toInt() < pages.size());
                firstCancelled = true;
            }
        }
        QVERIFY(firstCancelled);
        QCOMPARE(window.model().newNames(), pages.size());
    }

    // The filter and the sorting are the view's: the list keeps its order.
    void problemsOnlyAndSorting()
    {
        FileList list;
        list.addFiles({page("z.htm", "Zulu"), m_in + "/gone.htm", page("a.htm", "Alpha")});
        const QStringList order = list.paths();
        FixedRenameOptions options;
        options.results = m_out;
        options.tags = TagMode::ConsiderTags;
        NoBoxes boxes;
        RememberingAnswers answers(boxes);
        PreviewWindow window(list, list, options, answers);
        QSignalSpy shown(&window, &PreviewWindow::planShown);
        window.show();
        QVERIFY(shown.wait(30000));

        window.problemsOnly()->setChecked(true);
        QCOMPARE(window.sortedView()->rowCount(), 1);
        QCOMPARE(window.sortedView()->index(0, PreviewModel::NumberColumn).data().toInt(), 2);
        window.problemsOnly()->setChecked(false);
        window.table()->sortByColumn(PreviewModel::NewNameColumn, Qt::DescendingOrder);
        QCOMPARE(window.sortedView()->index(0, PreviewModel::NewNameColumn).data().toString(),
                 QStringLiteral("Zulu.htm"));
        QCOMPARE(list.paths(), order);
        QTest::qWait(PreviewWindow::kReplanDelayMs + 100);
        QCOMPARE(shown.size(), 1); // sorting is no change to plan for
    }

    void modelIsSound()
    {
        PreviewModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.start({"a", "b", "c"});
        PlannedName name;
        name.number = 2;
        name.fileName = "B.htm";
        model.fill({name});
        QCOMPARE(model.planned(), 1);
        model.markAll(noResultsFolder());
        QCOMPARE(model.planned(), 3);
        QCOMPARE(model.problems(), 3); // the name planned before is no name now
        QCOMPARE(model.newNames(), 0);
        model.start({});
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
