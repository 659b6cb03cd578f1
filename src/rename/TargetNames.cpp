#include "TargetNames.h"

#include "platform/FileSystem.h"
#include "platform/Trap.h"
#include "rename/TextRules.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr QChar kSeparator = QLatin1Char('/');

bool isForbidden(QChar c, NameVariant variant)
{
    switch (c.unicode()) {
    case u'\t':
    case u'\r':
    case u'\n':
    case u'/':
    case u'\\':
    case u'*':
    case u':':
    case u'?':
    case u'<':
    case u'>':
    case u'|':
    case u'=':
    case u'"':
    case u'\'':
        return true;
    case u'%':
        return variant == NameVariant::Metadata;
    default:
        return false;
    }
}

// Would the source open and read as a regular file? Nothing is read; a pipe or
// device is not waited on.
void requireRegularReadableSource(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw Failure::fromErrno(errno, Failure::Kind::SourceUnreadable);
    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular)
        throw Failure(QStringLiteral("Not a regular file"), 0, Failure::Kind::NotRegularFile);
}

} // namespace

QString GetFileName(const QString& path)
{
    return path.mid(path.lastIndexOf(kSeparator) + 1);
}

QString StripExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 1 ? name.left(dot) : name;
}

std::optional<QString> GetExtension(const QString& path)
{
    const QString name = GetFileName(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 1)
        return std::nullopt;
    return name.mid(dot + 1);
}

QString ReadFileToString(const QString& path)
{
    return TextRules::decodeText(FileSystem::readWholeFile(path));
}

bool FileExists(const QString& path)
{
    return ignoringFailures([&] { return FileSystem::exists(path); });
}

QString KeepNameCharacters(const QString& name)
{
    QString kept;
    kept.reserve(name.size());
    for (const QChar c : name) {
        const int code = TextRules::ansiCode(c);
        if ((code >= 32 && code <= 126) || (code >= 160 && code <= 255))
            kept.append(c);
    }
    return kept;
}

QString RemoveForbiddenCharacters(const QString& name, NameVariant variant)
{
    QString kept;
    kept.reserve(name.size());
    for (const QChar c : name) {
        if (!isForbidden(c, variant))
            kept.append(c);
    }
    return kept;
}

QString ResultsCopier::CopyToResultsFolder(const QString& sourcePath, const QString& newName,
                                           const std::optional<QString>& extension,
                                           const QByteArray* content)
{
    const QString folder = m_options.resultsFolder();
    // The separator is always inserted, whatever the folder text ends with.
    const QString stem = folder + kSeparator + newName;
    const QString tail = extension ? QLatin1Char('.') + *extension : QString();
    const auto candidate = [&](qsizetype marks) {
        return stem + QString(marks, QLatin1Char('!')) + tail;
    };
    const QString key = folder + QChar(0) + newName + QChar(0) + tail;
    qsizetype marks = m_nextMarks.value(key, 0);

    if (m_dryRun) {
        // Everything the copy would be refused for that can be known without
        // writing, so that a plan is not one the real run then turns down.
        requireRegularReadableSource(sourcePath);
        requireWritableFolder(folder);
        const auto fileName = [&](qsizetype k) { return newName + QString(k, u'!') + tail; };
        while (isTakenInPlan(folder, fileName(marks), candidate(marks)))
            ++marks;
        const QString target = candidate(marks);
        requireNameFits(folder, fileName(marks), target);
        m_planned.insert(target);
        m_nextMarks.insert(key, marks + 1);
        return target;
    }

    FileSystem::StagedCopy copy = content ? FileSystem::StagedCopy::fromBytes(*content, folder)
                                          : FileSystem::StagedCopy::fromFile(sourcePath, folder);
    // Publishing is itself the test whether a name is taken, and the only one
    // that cannot be overtaken by another writer between test and use.
    while (!copy.publishAs(candidate(marks)))
        ++marks;
    m_nextMarks.insert(key, marks + 1);
    return candidate(marks);
}

void ResultsCopier::requireWritableFolder(const QString& folder)
{
    auto known = m_folderErrors.constFind(folder);
    if (known == m_folderErrors.constEnd()) {
        const bool writable = ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
        known = m_folderErrors.insert(folder, writable ? 0 : errno);
    }
    if (*known != 0)
        throw Failure::fromErrno(*known, Failure::Kind::TargetWrite);
}

// The limits are the file system's own (FAT and network file systems differ
// from the usual 255 bytes), asked once per folder.
void ResultsCopier::requireNameFits(const QString& folder, const QString& fileName,
                                    const QString& target)
{
    auto limit = m_nameLimits.constFind(folder);
    if (limit == m_nameLimits.constEnd()) {
        const long asked = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
        limit = m_nameLimits.insert(folder, asked > 0 ? asked : NAME_MAX);
    }
    if (QFile::encodeName(fileName).size() > *limit || QFile::encodeName(target).size() >= PATH_MAX)
        throw Failure::fromErrno(ENAMETOOLONG, Failure::Kind::TargetWrite);
}

bool ResultsCopier::isTakenInPlan(const QString& folder, const QString& fileName,
                                  const QString& target)
{
    if (m_planned.contains(target))
        return true;
    auto existing = m_existing.find(folder);
    if (existing == m_existing.end()) {
        const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                         QDir::System | QDir::NoDotAndDotDot);
        existing = m_existing.insert(folder, QSet<QString>(names.begin(), names.end()));
    }
    return existing->contains(fileName);
}

std::optional<ResultsCopier::Copied>
ResultsCopier::FinishRename(const QString& sourcePath, QString newName,
                            const std::optional<QString>& extension, NameVariant variant,
                            const QByteArray* content)
{
    if (!newName.isEmpty())
        newName = KeepNameCharacters(newName);
    if (newName.isEmpty())
        return std::nullopt;
    // A name made only of removed characters goes on as the empty name.
    newName = RemoveForbiddenCharacters(newName, variant);
    QString target = CopyToResultsFolder(sourcePath, newName, extension, content);
    return Copied{newName, target};
}
