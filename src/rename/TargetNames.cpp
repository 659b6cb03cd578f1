#include "rename/TargetNames.h"

#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Trap.h"
#include "rename/TextRules.h"

#include <cerrno>
#include <climits>
#include <unistd.h>

namespace {

constexpr QChar kSeparator = QLatin1Char('/');

// The name tried with `marks` "!" marks: the new name, the marks, then the
// extension, so that a taken name becomes "name!.htm", "name!!.htm", ...
QString markedName(const QString& newName, qsizetype marks, const QString& tail)
{
    return newName + QString(marks, QLatin1Char('!')) + tail;
}

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

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
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

QString KeepNameCharacters(const QString& name)
{
    QString kept;
    kept.reserve(name.size());
    for (const QChar c : name) {
        if (!isControl(c.unicode()))
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

QString CleanName(const QString& name, NameVariant variant, NameOrigin origin)
{
    QString clean = RemoveForbiddenCharacters(KeepNameCharacters(name), variant);
    if (origin == NameOrigin::Page) {
        qsizetype dots = 0;
        while (dots < clean.size() && clean.at(dots) == u'.')
            ++dots;
        clean.remove(0, dots);
    }
    return clean;
}

QString ShortenName(const QString& name, qsizetype maxBytes)
{
    // The byte length of each prefix that ends between two characters.
    qsizetype bytes = 0;
    qsizetype fits = 0; // characters (UTF-16 units) of the longest prefix that fits
    qsizetype i = 0;
    while (i < name.size()) {
        const QChar c = name.at(i);
        const qsizetype units = c.isHighSurrogate() && i + 1 < name.size() &&
                                        name.at(i + 1).isLowSurrogate()
                                    ? 2
                                    : 1;
        const qsizetype width = c.unicode() < 0x80
                                    ? 1
                                    : FileSystem::nativePath(name.mid(i, units)).size();
        if (bytes + width > maxBytes)
            break;
        bytes += width;
        i += units;
        fits = i;
    }
    if (fits == name.size())
        return name;
    QString cut = name.left(fits);
    // A word ends where a blank follows it, also the blank just past the cut.
    if (name.at(fits) != u' ') {
        const qsizetype blank = cut.lastIndexOf(u' ');
        if (blank >= 0 && !TextRules::trimBlanks(cut.left(blank)).isEmpty())
            cut.truncate(blank);
    }
    while (cut.endsWith(u' '))
        cut.chop(1);
    return cut;
}

QString WindowsSafeName(const QString& name)
{
    QString safe = name;
    while (safe.endsWith(u'.') || safe.endsWith(u' '))
        safe.chop(1);
    const qsizetype dot = safe.indexOf(u'.');
    const QString base = (dot < 0 ? safe : safe.left(dot)).toUpper();
    static const QStringList kDevices{QStringLiteral("CON"), QStringLiteral("PRN"),
                                      QStringLiteral("AUX"), QStringLiteral("NUL")};
    const bool numbered = base.size() == 4 &&
                          (base.startsWith(QLatin1String("COM")) ||
                           base.startsWith(QLatin1String("LPT"))) &&
                          base.at(3) >= u'1' && base.at(3) <= u'9';
    if (numbered || kDevices.contains(base))
        safe.insert(dot < 0 ? safe.size() : dot, u'_');
    return safe;
}

ResultsCopier::Folder& ResultsCopier::folderAt(const QString& path)
{
    auto found = m_folders.find(path);
    if (found == m_folders.end())
        found = m_folders
                    .emplace(path, std::make_unique<Folder>(
                                       Folder{FileSystem::ResultsFolder::open(path), {}, {}, {}, 0}))
                    .first;
    return *found->second;
}

QString ResultsCopier::CopyToResultsFolder(FileSystem::Source& source, const QString& newName,
                                           const std::optional<QString>& extension,
                                           bool namedFromBytes, FileSystem::FileStamp* written)
{
    const QString folderPath = m_options.resultsFolder();
    const QString tail = extension ? QLatin1Char('.') + *extension : QString();
    const QString key = folderPath + QChar(0) + newName + QChar(0) + tail;

    if (m_dryRun) {
        // Planned only where the copy could read it.
        source.requireReadable();
        return planTarget(folderAt(folderPath), newName, tail, key);
    }

    FileSystem::SourceFile& file = source.file();
    Folder& folder = folderAt(folderPath);
    try {
        return copyOnce(file, folder, newName, tail, key, written);
    } catch (const Failure& failure) {
        // One more try for a file rewritten under our hands, unless its name
        // was formed from the content that has now changed.
        if (failure.kind() != Failure::Kind::SourceChanged || namedFromBytes)
            throw;
    }
    FileSystem::Source again(source.path());
    return copyOnce(again.file(), folder, newName, tail, key, written);
}

QString ResultsCopier::CopyToResultsFolder(const QString& sourcePath, const QString& newName,
                                           const std::optional<QString>& extension)
{
    FileSystem::Source source(sourcePath);
    return CopyToResultsFolder(source, newName, extension);
}

QString ResultsCopier::copyOnce(FileSystem::SourceFile& source, Folder& folder,
                                const QString& newName, const QString& tail, const QString& key,
                                FileSystem::FileStamp* written)
{
    qsizetype marks = m_nextMarks.value(key, 0);
    // Copies only ever go into the folder that was opened; once its path leads
    // elsewhere, the run is told so instead of writing there.
    folder.dir.requireStillAtPath();
    if (!folder.publication)
        folder.publication = FileSystem::publicationFor(folder.dir);

    if (*folder.publication == FileSystem::Publication::Direct) {
        // Each attempt copies afresh: an exclusive create is the only test of a
        // name here, and it comes before the content.
        const auto checked = [&] {
            source.requireUnchanged();
            if (m_between)
                m_between();
        };
        while (!FileSystem::copyToNewFile(source, folder.dir, markedName(newName, marks, tail),
                                          checked, written))
            ++marks;
        try {
            source.requireUnchanged();
        } catch (...) {
            ::unlinkat(folder.dir.fd(),
                       FileSystem::nativePath(markedName(newName, marks, tail)).constData(), 0);
            throw;
        }
    } else {
        FileSystem::StagedCopy copy =
            FileSystem::StagedCopy::fromFile(source, folder.dir, m_between);
        source.requireUnchanged(); // a changed source is dropped with the staged copy
        // Publishing is itself the test whether a name is taken, and the only
        // one that cannot be overtaken by another writer between test and use.
        while (!copy.publishAs(markedName(newName, marks, tail)))
            ++marks;
        if (written)
            *written = copy.written();
    }
    m_nextMarks.insert(key, marks + 1);
    return folder.dir.pathOf(markedName(newName, marks, tail));
}

void ResultsCopier::requireWritableFolder(Folder& folder)
{
    if (!folder.accessError)
        folder.accessError = ::faccessat(folder.dir.fd(), ".", W_OK | X_OK, 0) == 0 ? 0 : errno;
    if (*folder.accessError != 0)
        throw Failure::fromErrno(*folder.accessError, Failure::Kind::TargetWrite);
}

// The limits are the file system's own (FAT and network file systems differ
// from the usual 255 bytes), asked once per folder.
long ResultsCopier::nameLimit(Folder& folder)
{
    if (folder.nameLimit == 0) {
        const long asked = ::fpathconf(folder.dir.fd(), _PC_NAME_MAX);
        folder.nameLimit = asked > 0 ? asked : NAME_MAX;
    }
    return folder.nameLimit;
}

void ResultsCopier::requireNameFits(Folder& folder, const QString& fileName, const QString& target)
{
    if (FileSystem::nativePath(fileName).size() > nameLimit(folder) ||
        FileSystem::nativePath(target).size() >= PATH_MAX)
        throw Failure::fromErrno(ENAMETOOLONG, Failure::Kind::TargetWrite);
}

QString ResultsCopier::planTarget(Folder& folder, const QString& newName, const QString& tail,
                                  const QString& key)
{
    // Everything the copy would be refused for that can be known without
    // writing, so that a plan is not one the real run then turns down.
    requireWritableFolder(folder);
    if (!folder.view) {
        FolderView fresh;
        fresh.foldsCase = FileSystem::ignoresLetterCase(folder.dir);
        QStringList names;
        try {
            names = FileSystem::entryNames(folder.dir);
        } catch (const Failure&) {
            // An unreadable folder plans as an empty one; the real run will tell.
        }
        for (const QString& name : std::as_const(names))
            fresh.names.insert(fresh.foldsCase ? name.toCaseFolded() : name);
        // Listed or not, these two are never free.
        fresh.names.insert(QStringLiteral("."));
        fresh.names.insert(QStringLiteral(".."));
        folder.view = std::move(fresh);
    }
    FolderView& view = *folder.view;
    const auto listed = [&](qsizetype k) {
        const QString name = markedName(newName, k, tail);
        return view.foldsCase ? name.toCaseFolded() : name;
    };
    qsizetype marks = m_nextMarks.value(key, 0);
    while (view.names.contains(listed(marks)))
        ++marks;
    const QString name = markedName(newName, marks, tail);
    const QString target = folder.dir.pathOf(name);
    requireNameFits(folder, name, target);
    // A planned name counts as taken for the rest of the run.
    view.names.insert(listed(marks));
    m_nextMarks.insert(key, marks + 1);
    return target;
}

std::optional<ResultsCopier::Copied>
ResultsCopier::FinishRename(FileSystem::Source& source, QString newName,
                            const std::optional<QString>& extension, NameVariant variant,
                            NameOrigin origin)
{
    // An empty name would make a hidden copy of the extension alone.
    newName = CleanName(newName, variant, origin);
    const NameOptions rules = m_options.nameOptions();
    if (rules.windowsSafe)
        newName = WindowsSafeName(newName);
    if (newName.isEmpty())
        return std::nullopt;
    if (rules.shorten)
        newName = shortened(newName, extension, rules);
    Copied copied;
    copied.target = CopyToResultsFolder(source, newName, extension, origin == NameOrigin::Page,
                                        &copied.written);
    copied.name = std::move(newName);
    return copied;
}

std::optional<ResultsCopier::Copied>
ResultsCopier::FinishRename(const QString& sourcePath, QString newName,
                            const std::optional<QString>& extension, NameVariant variant,
                            NameOrigin origin)
{
    FileSystem::Source source(sourcePath);
    return FinishRename(source, std::move(newName), extension, variant, origin);
}

QString ResultsCopier::shortened(const QString& name, const std::optional<QString>& extension,
                                 const NameOptions& rules)
{
    // Room for the extension and for the "!" marks of a few clashes, so that a
    // cut name still takes them.
    constexpr qsizetype kMarksRoom = 8;
    qsizetype limit = nameLimit(folderAt(m_options.resultsFolder()));
    if (rules.maxLength > 0)
        limit = std::min<qsizetype>(limit, rules.maxLength);
    const qsizetype tail =
        extension ? FileSystem::nativePath(QLatin1Char('.') + *extension).size() : 0;
    QString cut = ShortenName(name, limit - tail - kMarksRoom);
    if (rules.windowsSafe)
        cut = WindowsSafeName(cut);
    // Nothing of the name fits beside its extension: too long, not nameless.
    if (cut.isEmpty())
        throw Failure::fromErrno(ENAMETOOLONG, Failure::Kind::TargetWrite);
    return cut;
}
