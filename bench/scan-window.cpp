// Times "Add All HTML File(s) In Folder" filling the window's list: the folder
// scan with the window's own event pump, then the list's bulk insertion, a
// repaint, a scroll to the end and "Clear List", offscreen; and, side by side
// in the same rounds, `find TREE -type f` listing the same tree. Prints one line
// per round, then the medians and their ratio:
//
//     scan-window TREE [ROUNDS]

#include "filelist/AddingCommands.h"
#include "filelist/FileList.h"
#include "filelist/widgets/FileListController.h"
#include "platform/KeyValueStore.h"
#include "platform/Boxes.h"
#include "platform/FileDialogs.h"
#include "platform/QtEventPump.h"
#include "platform/widgets/WindowPointer.h"
#include "platform/Trap.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class Answers : public Boxes, public FileDialogs, public KeyValueStore, public ErrorReporter
{
public:
    explicit Answers(QString folder) : m_folder(std::move(folder)) {}
    BoxAnswer message(const QString&, const QString&, BoxIcon, BoxButtons) override
    {
        return BoxAnswer::Ok;
    }
    QString input(const QString&, const QString&, const QString&) override
    {
        return QStringLiteral("*");
    }
    QString openFiles(const QString&, const QString&) override { return {}; }
    QString browseForFolder(const QString&, const QString&) override { return m_folder; }
    QString read(const QString& key, const QString& defaultValue) override
    {
        return m_values.value(key, defaultValue);
    }
    void save(const QString& key, const QString& value) override { m_values.insert(key, value); }
    void reportError(const QString& label, int line, const QString& description) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(errorReportText(label, line, description)));
    }

private:
    QString m_folder;
    QMap<QString, QString> m_values;
};

class CountingPump : public QtEventPump
{
public:
    void processEvents() override
    {
        ++calls;
        if (!quiet)
            QtEventPump::processEvents();
    }
    int calls = 0;
    // QUENBY_BENCH_NO_EVENTS=1 measures the scan without letting events through,
    // to show what the window's responsiveness costs.
    bool quiet = qEnvironmentVariableIntValue("QUENBY_BENCH_NO_EVENTS") == 1;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Wall time of `find TREE -type f`, its output read and counted as a shell
// pipeline into `wc -l` would.
double timeFind(const QString& tree, int& count)
{
    QElapsedTimer clock;
    clock.start();
    QProcess find;
    find.start(QStringLiteral("find"), {tree, QStringLiteral("-type"), QStringLiteral("f")});
    find.waitForFinished(-1);
    count = find.readAllStandardOutput().count('\n');
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: scan-window TREE [ROUNDS]\n");
        return 2;
    }
    const QString tree = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 1;

    QTreeView listView1;
    QTreeView listView3;
    listView1.resize(600, 400);
    listView1.show();
    FileList list;
    Answers answers(tree);
    CountingPump pump;
    WindowPointer pointer(&listView1);
    FileListController controller(
        &listView1, &listView3, list,
        FileListServices{answers, answers, answers, pointer, pump, answers},
        QCoreApplication::applicationDirPath());

    // A window the user clicks in has been painted already.
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    listView1.repaint();
    int found = 0;
    timeFind(tree, found); // both sides read the tree from the cache

    std::vector<double> adds;
    std::vector<double> finds;
    for (int round = 1; round <= rounds; ++round) {
        pump.calls = 0;
        QElapsedTimer clock;
        clock.start();
        controller.PushButton5_Click();
        const double add = clock.nsecsElapsed() / 1e9;

        clock.restart();
        listView1.repaint();
        const double paint = clock.nsecsElapsed() / 1e9;

        clock.restart();
        listView1.scrollToBottom();
        listView1.repaint();
        const double scroll = clock.nsecsElapsed() / 1e9;

        const int files = list.count();
        clock.restart();
        controller.PushButton3_Click();
        listView1.repaint();
        const double clear = clock.nsecsElapsed() / 1e9;

        const double findTime = timeFind(tree, found);
        adds.push_back(add);
        finds.push_back(findTime);
        std::printf("round %d: files %d add %.3f s (events let through %d times) paint %.4f s "
                    "scroll %.4f s clear %.4f s | find: files %d %.3f s\n",
                    round, files, add, pump.calls, paint, scroll, clear, found, findTime);
        std::fflush(stdout);
    }
    const double a = median(adds);
    const double f = median(finds);
    std::printf("median of %d rounds: window list (scan + AddFile) %.3f s, find %.3f s, "
                "ratio %.2f (aim: at most 3)\n",
                rounds, a, f, a / f);
    return 0;
}
