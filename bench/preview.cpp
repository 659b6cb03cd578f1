// Times the preview of new names planning a list, in its window offscreen, and,
// side by side in the same rounds, `quenby-rename --dry-run --json` planning
// the same files; meanwhile it measures the time to the first rows and the
// longest wait the window's event loop saw (a key typed then is shown that much
// later at worst). Prints one line per round, then the medians and their ratio:
//
//     preview-bench [--words N] [--show SECONDS] TREE [FILES [ROUNDS]]
//
// The first FILES (10000) *.htm and *.html files below TREE, in path order, are
// planned by the first N (1) words of their visible text, into an empty results
// folder. --show plans once on the real display and keeps the window there for
// SECONDS, for a screenshot, instead of timing.

#include "filelist/FileList.h"
#include "preview/PreviewModel.h"
#include "preview/PreviewWindow.h"
#include "rename/RunAnswers.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class NoBoxes : public RunAnswers
{
public:
    QString searchString() override { return {}; }
    AnswerNumber wordCount(ContentMethod) override { return AnswerNumber::fromText(words); }
    WordNumbers wordNumbers() override { return {}; }
    QString words = QStringLiteral("1");
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double timeDryRun(const QString& list, const QString& out, int& lines)
{
    QElapsedTimer clock;
    clock.start();
    QProcess run;
    run.start(QCoreApplication::applicationDirPath() + QStringLiteral("/quenby-rename"),
              {QStringLiteral("--dry-run"), QStringLiteral("--json"), QStringLiteral("--no-progress"),
               QStringLiteral("-o"), out, QStringLiteral("--files-from"), list});
    run.waitForFinished(-1);
    lines = run.readAllStandardOutput().count('\n');
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    QString words = QStringLiteral("1");
    int show = 0;
    while (args.size() >= 2 && args.first().startsWith(QStringLiteral("--"))) {
        const QString option = args.takeFirst();
        if (option == QStringLiteral("--words"))
            words = args.takeFirst();
        else if (option == QStringLiteral("--show"))
            show = args.takeFirst().toInt();
    }
    if (!show)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (args.isEmpty()) {
        std::fprintf(stderr,
                     "usage: preview-bench [--words N] [--show SECONDS] TREE [FILES [ROUNDS]]\n");
        return 2;
    }
    const QString tree = args.at(0);
    const int wanted = args.size() > 1 ? args.at(1).toInt() : 10000;
    const int rounds = args.size() > 2 ? args.at(2).toInt() : 3;

    QStringList files;
    QDirIterator it(tree, {QStringLiteral("*.htm"), QStringLiteral("*.html")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    std::sort(files.begin(), files.end());
    files = files.mid(0, wanted);

    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    const QString listFile = dir.filePath(QStringLiteral("list"));
    {
        QFile list(listFile);
        list.open(QIODevice::WriteOnly);
        list.write(files.join(QLatin1Char('\n')).toUtf8() + '\n');
    }

    FileList list;
    list.addFiles(files);
    FixedRenameOptions options;
    options.results = out;
    NoBoxes boxes;
    boxes.words = words;
    RememberingAnswers answers(boxes);
    answers.wordCount(ContentMethod::FirstWords);
    PreviewWindow window(list, list, options, answers);
    window.resize(900, 600);
    if (show) {
        window.show();
        QTimer::singleShot(show * 1000, &app, &QCoreApplication::quit);
        return app.exec();
    }

    // The event loop's longest wait: a timer that should fire every 5 ms.
    QElapsedTimer tick;
    qint64 longest = 0;
    QTimer beat;
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        if (tick.isValid())
            longest = std::max(longest, tick.elapsed());
        tick.restart();
    });

    int lines = 0;
    timeDryRun(listFile, out, lines); // both read the pages from the cache

    std::vector<double> previews, dryRuns, firsts;
    bool shownOnce = false;
    for (int round = 1; round <= rounds; ++round) {
        bool done = false;
        QMetaObject::Connection c = QObject::connect(&window, &PreviewWindow::planShown,
                                                     [&] { done = true; });
        QElapsedTimer clock;
        double first = -1;
        QMetaObject::Connection f = QObject::connect(
            &window.planner(), &NamePlanner::planned, [&](int plan) {
                if (first < 0 && plan == window.currentPlan())
                    first = clock.nsecsElapsed() / 1e9;
            });
        longest = 0;
        tick.invalidate();
        beat.start();
        clock.start();
        if (!shownOnce) {
            window.show(); // plans at once
            shownOnce = true;
        } else {
            window.replan();
        }
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double preview = clock.nsecsElapsed() / 1e9;
        beat.stop();
        QObject::disconnect(c);
        QObject::disconnect(f);

        const double dry = timeDryRun(listFile, out, lines);
        previews.push_back(preview);
        dryRuns.push_back(dry);
        firsts.push_back(first);
        std::printf("round %d: preview %d files, %d new names, %d problems, first rows %.3f s, "
                    "all %.3f s, longest event-loop wait %lld ms | dry run: %d lines %.3f s\n",
                    round, window.model().files(), window.model().newNames(),
                    window.model().problems(), first, preview, longest, lines, dry);
        std::fflush(stdout);
    }
    const double p = median(previews);
    const double d = median(dryRuns);
    std::printf("median of %d rounds: preview first rows %.3f s, all %.3f s; quenby-rename "
                "--dry-run --json %.3f s; ratio %.2f (aim: at most 2)\n",
                rounds, median(firsts), p, d, p / d);
    return 0;
}
