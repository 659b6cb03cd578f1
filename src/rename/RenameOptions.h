#pragma once

#include "rename/NameOptions.h"

#include <QString>

enum class RenameBy { None, Content, Metadata };
enum class TagMode { None, IgnoreTags, ConsiderTags };

// How a content run takes words from a page, in the order of the window's list.
enum class ContentMethod { FirstWords, WordPositions, WordsAfter, WordsBefore };

// The after/before methods, which look for a search string first.
inline bool searchesText(ContentMethod method)
{
    return method == ContentMethod::WordsAfter || method == ContentMethod::WordsBefore;
}

// The panel's options as they stand at the moment of use: the window's options
// panel or the command line's arguments answer them. The run and the namers read
// them afresh every time, since the panel stays usable during a run.
class RenameOptions
{
public:
    virtual ~RenameOptions() = default;
    virtual RenameBy renameBy() const = 0;
    virtual TagMode tagMode() const = 0;
    virtual bool includeTagsBeforeBody() const = 0;
    virtual ContentMethod contentMethod() const = 0;
    virtual QString resultsFolder() const = 0;
    virtual QString metaPattern() const = 0;
    virtual NameOptions nameOptions() const { return {}; }
};

// Options held as plain values, for the command line and for tests.
struct FixedRenameOptions : RenameOptions
{
    RenameBy by = RenameBy::Content;
    TagMode tags = TagMode::IgnoreTags;
    bool includeHead = false;
    ContentMethod method = ContentMethod::FirstWords;
    QString results;
    QString pattern = QStringLiteral("%a - %t");
    NameOptions names;

    RenameBy renameBy() const override { return by; }
    TagMode tagMode() const override { return tags; }
    bool includeTagsBeforeBody() const override { return includeHead; }
    ContentMethod contentMethod() const override { return method; }
    QString resultsFolder() const override { return results; }
    QString metaPattern() const override { return pattern; }
    NameOptions nameOptions() const override { return names; }
};
