#pragma once

#include "platform/Trap.h"
#include "rename/NameResult.h"
#include "rename/NamingRequest.h"
#include "rename/RenameOptions.h"
#include "rename/TargetNames.h"
#include "rename/TextLines.h"

#include <QString>

struct PageMetadata;

// The two namers. Each forms a new name for one file and copies the file into
// the results folder under the first free name; the source is never touched.
// Failures inside a namer are reported through its own trap and never escape.
class Renaming
{
public:
    Renaming(const RenameOptions& options, ErrorReporter& reporter);

    using SkipCause = ::SkipCause;

    // By content: the page text (ignore-tags mode) or the file's source, cut into
    // words and picked by the content method of the options, as `request` asks.
    // `source` is the file as the run opened it: its text, its copy and the
    // check that it did not change all go through that one descriptor.
    NameResult RenameFile(FileSystem::Source& source, const NamingRequest& request,
                          const QString& pageText);
    NameResult RenameFile(const QString& sourcePath, const NamingRequest& request,
                          const QString& pageText);

    // By metadata: values found within the page's tags, laid out by the pattern
    // (MetaPattern). With `page`, the values are those of the page as a browser
    // reads it (its title and <meta> elements, read by the caller); without,
    // each code's word is searched for in the file's lines.
    NameResult RenameMeta(FileSystem::Source& source, const QString& pattern,
                          const PageMetadata* page = nullptr);
    NameResult RenameMeta(const QString& sourcePath, const QString& pattern,
                          const PageMetadata* page = nullptr);

    // A dry run forms every name and its free target path but copies nothing;
    // targets planned earlier in the same run count as taken.
    void setDryRun(bool dryRun) { m_dryRun = dryRun; }
    bool dryRun() const { return m_dryRun; }

    // Called now and then while a large file is read or copied, so that the
    // window can handle events meanwhile.
    void setBetweenChunks(FileSystem::BetweenChunks between);

private:
    const RenameOptions& m_options;
    ErrorReporter& m_reporter;
    bool m_dryRun = false;
    ResultsCopier m_copier; // remembers the names taken and planned during this run
    FileSystem::BetweenChunks m_between;

    void beginFile(Trap& trap, const QString& sourcePath);
};

// The metadata namer's value of `field` in the first line that holds it (letter
// case aside): what follows it up to the first "</" on that line, without blanks
// around it. An empty field is found at the start of the first non-empty line.
QString metaFieldValue(const TextLines& lines, const QString& field);
