// The metadata field reader's byte search against the reader that decodes the
// whole page, page by page: the pages where the byte search declined, where it
// differs (there must be none), and the CPU time of each reader.
//   quenby-fieldlines-check [--pages N] DIR...
// Reads the first N (10000) *.html files under the folders in sorted path
// order, for each set of fields the patterns "%a - %t", "%t", "x - %t" and
// "%s-%c-%p-%k-%d-%m-%g" search.

#include "rename/StreamedText.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    qsizetype pages = 10000;
    if (args.size() >= 2 && args.first() == QLatin1String("--pages")) {
        pages = args.at(1).toLongLong();
        args = args.mid(2);
    }
    QStringList files;
    for (const QString& dir : std::as_const(args)) {
        QDirIterator it(dir, {QStringLiteral("*.html")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
    }
    std::sort(files.begin(), files.end(),
              [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    files = files.mid(0, pages);

    const QList<QPair<const char*, QStringList>> sets = {
        {"%a - %t", {QStringLiteral("Author"), QStringLiteral("Title")}},
        {"%t", {QStringLiteral("Title")}},
        {"x - %t", {QString(), QStringLiteral("Title")}},
        {"%s-%c-%p-%k-%d-%m-%g",
         {QStringLiteral("Subject"), QStringLiteral("Creator"), QStringLiteral("Producer"),
          QStringLiteral("Keywords"), QStringLiteral("CreationDate"), QStringLiteral("ModDate"),
          QStringLiteral("Pages")}},
    };
    int status = 0;
    std::printf("%-22s %7s %9s %8s %12s %12s\n", "fields of", "pages", "declined", "differ",
                "bytes CPU s", "decoded CPU s");
    for (const auto& [pattern, fields] : sets) {
        qsizetype declined = 0, differ = 0;
        double bytesTime = 0, decodedTime = 0;
        for (const QString& file : std::as_const(files)) {
            double start = cpuSeconds();
            const std::optional<QString> fromBytes =
                StreamedText::detail::FieldLinesFromBytes(file, fields);
            bytesTime += cpuSeconds() - start;
            start = cpuSeconds();
            const QString decoded = StreamedText::detail::FieldLinesDecoded(file, fields);
            decodedTime += cpuSeconds() - start;
            if (!fromBytes) {
                ++declined;
            } else if (*fromBytes != decoded) {
                ++differ;
                std::fprintf(stderr, "differs: %s (%s)\n", qPrintable(file), pattern);
                status = 1;
            }
        }
        std::printf("%-22s %7lld %9lld %8lld %12.3f %12.3f\n", pattern,
                    static_cast<long long>(files.size()), static_cast<long long>(declined),
                    static_cast<long long>(differ), bytesTime, decodedTime);
    }
    return status;
}
