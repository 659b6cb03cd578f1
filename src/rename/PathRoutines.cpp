#include "rename/PathRoutines.h"

#include "rename/FileEntries.h"

namespace Paths {

namespace {

constexpr QChar kSeparator = u'/';

// One pass from left to right: every pair of adjacent separators becomes one.
QString halveSeparatorPairs(QStringView text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        result.append(text[i]);
        if (text[i] == kSeparator && i + 1 < text.size() && text[i + 1] == kSeparator)
            ++i;
    }
    return result;
}

} // namespace

QString NormalizePath(const QString& path)
{
    if (!path.startsWith(kSeparator))
        return halveSeparatorPairs(path);
    qsizetype p = 1;
    while (p < path.size() && path[p] == kSeparator)
        ++p;
    // One leading separator starts every absolute path here and stays one; a
    // longer leading run is a network path and keeps exactly two.
    const QString lead = p == 1 ? QStringLiteral("/") : QStringLiteral("//");
    return lead + halveSeparatorPairs(QStringView(path).mid(p));
}

bool IsInFileList(const FileEntries& list, const QString& path)
{
    const int n = list.count();
    for (int i = 1; i <= n; ++i) {
        if (list.entry(i) == path)
            return true;
    }
    return false;
}

QString JoinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(kSeparator))
        return folder + name;
    return folder + kSeparator + name;
}

} // namespace Paths
