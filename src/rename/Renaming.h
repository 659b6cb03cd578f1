#pragma once

#include "platform/Trap.h"
#include "rename/NamingRequest.h"
#include "rename/RenameOptions.h"
#include "rename/TargetNames.h"
#include "rename/TextLines.h"

#include <QString>
#include <optional>

struct PageMetadata;

// The two namers. Each forms a new name for one file and copies the file into
// the results folder under the first free name; the source is never touched.
// Failures inside a namer are reported through its own trap and never escape.
class Renaming
{
public:
    Renaming(const RenameOptions& options, ErrorReporter& reporter);

    // By content: the page text (ignore-tags mode) or the file's source, cut into
    // words and picked by the content method of the options, as `request` asks.
    bool RenameFile(const QString& sourcePath, const NamingRequest& request,
                    const QString& pageText);

    // By metadata: values found within the page's tags, laid out by the pattern
    // (MetaPattern). With `page`, the values are those of the page as a browser
    // reads it (its title and <meta> elements, read by the caller); without,
    // each code's word is searched for in the file's lines.
    bool RenameMeta(const QString& sourcePath, const QString& pattern,
                    const PageMetadata* page = nullptr);

    // What the last call formed, for the command line's report: the name after
    // the character clean-up (without "!" marks and extension) and the target
    // path. Empty when the file was passed over.
    struct Outcome
    {
        QString name;
        QString target;
    };
    const std::optional<Outcome>& lastOutcome() const { return m_lastOutcome; }

    // Why the last call passed its file over, for the command line's report.
    enum class SkipCause {
        None,        // the file was renamed (or planned)
        NotOrdinary, // the source is missing, not a regular file, or hidden
        EmptyName,   // the namer found no words or values to name the file by
        NoNameLeft,  // nothing was left of the name after the character clean-up
        Failed,      // a failure was reported; see lastFailure()
    };
    SkipCause lastSkipCause() const { return m_lastSkipCause; }
    // The last failure reported while naming the last file, if there was one.
    const std::optional<Failure>& lastFailure() const { return m_lastFailure; }

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
    std::optional<Outcome> m_lastOutcome;
    SkipCause m_lastSkipCause = SkipCause::None;
    std::optional<Failure> m_lastFailure;

    void beginFile(Trap& trap, const QString& sourcePath);
    void endFile(const Trap& trap, bool renamed, SkipCause cause);
};

// The metadata namer's value of `field` in the first line that holds it (letter
// case aside): what follows it up to the first "</" on that line, without blanks
// around it. An empty field is found at the start of the first non-empty line.
QString metaFieldValue(const TextLines& lines, const QString& field);
