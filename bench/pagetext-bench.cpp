// Drives the page-text service over a corpus the way the rename run does: the
// whole list is handed to prefetch(), then each page is navigated to, polled
// until ready and its body text taken. Prints pages, failures, bytes and
// seconds on one line for bench/pagetext.
//
//   quenby-pagetext-bench [--words N] [--verify] DIR
//
// --verify reads every page twice, as a whole and read ahead for N words, and
// counts the pages whose first N words differ (they must not).

#include "platform/Failure.h"
#include "pagetext/service/HelperPageText.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>

namespace {

QString read(PageText& pages, const QString& path, bool& ok)
{
    pages.navigate(path);
    for (int polls = 0; pages.readyState() != 4 && polls < 100000; ++polls) {
    }
    try {
        ok = true;
        return pages.bodyText();
    } catch (const Failure& failure) {
        ok = false;
        return failure.description();
    }
}

QStringList firstWords(QString text, int n)
{
    text.remove(QChar(u'\n'));
    text.replace(QChar(u'\r'), QChar(u' '));
    while (text.startsWith(u' '))
        text.remove(0, 1);
    while (text.endsWith(u' '))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QChar(u' ')).mid(0, n);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int words = 0;
    bool verify = false;
    QString dir;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == u"--words" && !args.isEmpty())
            words = args.takeFirst().toInt();
        else if (a == u"--verify")
            verify = true;
        else
            dir = a;
    }
    if (dir.isEmpty()) {
        std::fprintf(stderr, "usage: quenby-pagetext-bench [--words N] [--verify] DIR\n");
        return 2;
    }
    QStringList paths;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    std::sort(paths.begin(), paths.end());

    qint64 bytes = 0;
    for (const QString& p : paths)
        bytes += QFileInfo(p).size();

    HelperPageText pages;
    int failed = 0, differing = 0;
    QElapsedTimer timer;
    timer.start();
    if (!verify) {
        pages.prefetch(paths, words);
        for (const QString& p : paths) {
            bool ok;
            read(pages, p, ok);
            failed += !ok;
        }
    } else {
        for (const QString& p : paths) {
            bool wholeOk, prefixOk;
            const QString whole = read(pages, p, wholeOk);
            pages.prefetch({p}, words);
            const QString prefix = read(pages, p, prefixOk);
            failed += !wholeOk;
            if (wholeOk != prefixOk || firstWords(whole, words) != firstWords(prefix, words)) {
                ++differing;
                std::fprintf(stderr, "differs: %s\n", qPrintable(p));
            }
        }
    }
    std::printf("pages %lld failed %d differing %d bytes %lld seconds %.3f\n",
                (long long)paths.size(), failed, differing, (long long)bytes,
                timer.nsecsElapsed() / 1e9);
    return 0;
}
