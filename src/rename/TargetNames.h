#pragma once

#include "platform/FileSystem.h"
#include "rename/RenameOptions.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <map>
#include <memory>
#include <optional>

// The path and file routines both namers share, and the common tail that turns
// a new name into a copy in the results folder. None of them traps failures: a
// Failure passes to the namer that called them, which reports it.

// The part of `path` after its last '/'; the whole path when it has none.
QString GetFileName(const QString& path);

// `name` without its last "." and what follows; unchanged when it has no dot
// after its first character (".htaccess" keeps its dot).
QString StripExtension(const QString& name);

// The extension of the file's own name (the part after the last '/'): the text
// after its last "." when that dot is not its first character, possibly empty
// ("name." gives ""). No value when the file name has no such dot, so the copy's
// name gets no "." at all; a dot in a folder name never counts.
std::optional<QString> GetExtension(const QString& path);

// `name` without its control characters: C0, DEL, C1 (U+0080 to U+009F, where
// the bytes that Windows-1252 leaves undefined land) and the bidirectional
// controls, which can make a name read as another. Every printable character
// is kept, in any script.
QString KeepNameCharacters(const QString& name);

// Which clean-up a name gets: the metadata namer removes "%" as well.
enum class NameVariant { Content, Metadata };

// `name` with every character removed that a file name may not hold (tab, CR,
// LF, / \ * : ? < > | = " ' and, for metadata names, %). Not trimmed afterwards.
QString RemoveForbiddenCharacters(const QString& name, NameVariant variant);

// Where a new name came from: the page (its words or its metadata), or the
// source's own file name, which a copy keeps as it is.
enum class NameOrigin { Page, SourceName };

// The whole clean-up of a new name: KeepNameCharacters, then
// RemoveForbiddenCharacters; a name from the page also loses its leading dots,
// so that no copy is hidden. Empty when nothing is left.
QString CleanName(const QString& name, NameVariant variant, NameOrigin origin);

// `name` cut to at most `maxBytes` bytes as the file system stores it: after
// the last whole word that fits, or, where the first word alone is too long,
// after the last whole character that fits; never inside a UTF-8 sequence, a
// surrogate pair or an escaped byte. A cut name loses its trailing blanks. A
// name that fits is returned as it is.
QString ShortenName(const QString& name, qsizetype maxBytes);

// `name` as Windows accepts it: trailing dots and blanks removed, and a name
// that is a reserved device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to
// LPT9, in any case, alone or before a ".") gets "_" right after that name.
QString WindowsSafeName(const QString& name);

// Finds free names in results folders and writes the copies there. A copy goes
// to the first of name.ext, name!.ext, name!!.ext, ... that is free; it is
// written under a temporary name first and published with a step that never
// replaces an existing file, so a name taken at the last moment just moves the
// copy on to the next candidate.
//
// One object serves one run: it remembers, per folder and name, how far the "!"
// search has got, so that thousands of files with one name cost no more than
// thousands of names (a name freed again during the run is not reused). The
// exclusive publishing is what tells a free name from a taken one, so nothing
// is ever overwritten; a dry run, which publishes nothing, tests existence.
//
// Where a results folder cannot publish a finished copy without replacing (FAT
// and most FUSE file systems), learnt once per folder by trying, the copy is
// created under its free name exclusively instead, and removed if anything
// fails. A source that changes while it is copied is never published.
class ResultsCopier
{
public:
    explicit ResultsCopier(const RenameOptions& options) : m_options(options) {}

    struct Copied
    {
        QString name;   // the new name after the clean-up
        QString target; // the path the copy was written to (or planned for)
        FileSystem::FileStamp written; // the copy as written; nothing in a dry run
    };

    // In a dry run nothing is written: the free target path is planned, and a
    // path planned earlier counts as taken.
    void setDryRun(bool dryRun) { m_dryRun = dryRun; }

    // Called between the chunks of a long copy (the window lets events run).
    void setBetweenChunks(FileSystem::BetweenChunks between) { m_between = std::move(between); }

    // Copies `source` into the results folder (read now from the options)
    // under `newName`, "!" marks as needed, and `extension`, from the source's
    // one open descriptor. A source that changes while it is copied is not
    // published; unless `namedFromBytes` (its name came from its content) it is
    // opened afresh and copied once more. Answers the target path; throws
    // Failure when the copy cannot be made, leaving nothing behind. A dry run
    // opens nothing it has not opened already: what the look tells must do.
    QString CopyToResultsFolder(FileSystem::Source& source, const QString& newName,
                                const std::optional<QString>& extension,
                                bool namedFromBytes = false,
                                FileSystem::FileStamp* written = nullptr);
    QString CopyToResultsFolder(const QString& sourcePath, const QString& newName,
                                const std::optional<QString>& extension);

    // The common tail of both namers: cleans `newName` (CleanName); no value
    // when nothing is left of it (nothing written); otherwise copies the file.
    // A name from the page holds only for the state of the file it came from,
    // so such a copy is never made again from a newer state. Throws Failure
    // when the copy fails.
    std::optional<Copied> FinishRename(FileSystem::Source& source, QString newName,
                                       const std::optional<QString>& extension, NameVariant variant,
                                       NameOrigin origin);
    std::optional<Copied> FinishRename(const QString& sourcePath, QString newName,
                                       const std::optional<QString>& extension, NameVariant variant,
                                       NameOrigin origin);

private:
    // A dry run's view of one results folder: its names as listed once, when the
    // plan first looked there, instead of one look-up per candidate name, and
    // whether the file system takes names that differ in case for one.
    struct FolderView
    {
        QSet<QString> names; // case-folded where the folder ignores case
        bool foldsCase = false;
    };
    // One results folder as this run holds it, opened when it is first needed;
    // every copy goes into the folder opened then, and what is learnt about it
    // is learnt once.
    struct Folder
    {
        FileSystem::ResultsFolder dir;
        std::optional<FileSystem::Publication> publication;
        std::optional<FolderView> view;
        std::optional<int> accessError; // a dry run's access test
        long nameLimit = 0;
    };
    Folder& folderAt(const QString& path);
    QString planTarget(Folder& folder, const QString& newName, const QString& tail,
                       const QString& key);
    QString copyOnce(FileSystem::SourceFile& source, Folder& folder, const QString& newName,
                     const QString& tail, const QString& key, FileSystem::FileStamp* written);
    void requireWritableFolder(Folder& folder);
    void requireNameFits(Folder& folder, const QString& fileName, const QString& target);
    long nameLimit(Folder& folder);
    QString shortened(const QString& name, const std::optional<QString>& extension,
                      const NameOptions& rules);

    const RenameOptions& m_options;
    bool m_dryRun = false;
    FileSystem::BetweenChunks m_between;
    QHash<QString, qsizetype> m_nextMarks; // folder, name, extension -> "!" count to try first
    std::map<QString, std::unique_ptr<Folder>> m_folders;
};
