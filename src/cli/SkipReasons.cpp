#include "cli/SkipReasons.h"

#include "platform/FileSystem.h"
#include "rename/PathRoutines.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

SkipReason reason(const char* key, const char* phrase, std::optional<QString> error = {})
{
    return {QLatin1String(key), QLatin1String(phrase), std::move(error)};
}

SkipReason fromFailure(const Failure& failure)
{
    const QString error = failure.description();
    if (failure.code() == ENAMETOOLONG)
        return reason("name-too-long", "name too long for the file system", error);
    switch (failure.kind()) {
    case Failure::Kind::NotRegularFile:
        return reason("not-regular-file", "not a regular file", error);
    case Failure::Kind::SourceUnreadable:
        return reason("unreadable", "unreadable", error);
    case Failure::Kind::SourceChanged:
        return reason("changed", "changed while copied", error);
    case Failure::Kind::TooSlow:
        return reason("too-slow", "took too long to read", error);
    case Failure::Kind::TargetWrite:
    case Failure::Kind::ResultsFolderGone:
        return reason("copy-failed", "copy failed", error);
    case Failure::Kind::Other:
        break;
    }
    if (failure.code() == EISDIR)
        return reason("not-regular-file", "not a regular file", error);
    return reason("copy-failed", "copy failed", error);
}

// The namer only learnt that the source is no ordinary file; find out which way.
SkipReason notOrdinary(const QString& source)
{
    struct stat st;
    if (::stat(FileSystem::nativePath(source).constData(), &st) != 0)
        return reason("unreadable", "unreadable", QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(st.st_mode))
        return reason("not-regular-file", "not a regular file");
    return reason("hidden", "hidden file");
}

} // namespace

SkipReason skipReason(const RenameRun::FileResult& result, RenameBy by)
{
    using Cause = Renaming::SkipCause;
    switch (result.cause) {
    case Cause::NotOrdinary:
        return notOrdinary(result.source);
    case Cause::EmptyName:
        if (by == RenameBy::Content)
            return reason("too-few-words", "fewer words than asked");
        return reason("no-name", "no value found for the pattern");
    case Cause::NoNameLeft:
        return reason("no-name", "no name left after the clean-up");
    case Cause::Failed:
        if (result.failure)
            return fromFailure(*result.failure);
        break;
    case Cause::None:
        break;
    }
    return reason("copy-failed", "copy failed");
}

bool resultsFolderGone(const Failure& failure, const QString& resultsFolder)
{
    if (failure.kind() == Failure::Kind::ResultsFolderGone)
        return true;
    const bool mayBeTheFolder =
        failure.kind() == Failure::Kind::TargetWrite || failure.kind() == Failure::Kind::Other;
    return mayBeTheFolder && failure.code() == ENOENT && !FileSystem::isDirectory(resultsFolder);
}
